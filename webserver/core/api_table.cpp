#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_channels.h"
#include "webserver/api/api_timers.h"
#include "webserver/api/api_tuning.h"
#include "webserver/epg/api_epg.h"
#include "webserver/epg/api_epg_genre.h"
#include "webserver/epg/epg_search.h"

// Each handler family adds its rows here together with the handler itself, so that no row
// names a handler that does not exist. The families keep the order of the dispatch table.
namespace {

#define ROW(functions, command, actions) {functions, command, actions, (int)(sizeof actions / sizeof actions[0])}

// Timers.
const char *const kTimerWords[] = {"timers", "timer", "reservations", "reservation", nullptr};
const char *const kGet[] = {"get", nullptr};
const char *const kTimerNew[] = {"new", "create", nullptr};
const char *const kTimerModify[] = {"modify", "update", nullptr};
const char *const kTimerDelete[] = {"delete", nullptr};
const APIAction kTimerActions[] = {
    {kGet, [](const char *) { APITimersGet(); }, 0},
    {kTimerNew, [](const char *) { APITimersUpdate(TIMERS_NEW); }, 0},
    {kTimerModify, [](const char *) { APITimersUpdate(TIMERS_MODIFY); }, 0},
    {kTimerDelete, [](const char *) { APITimersUpdate(TIMERS_DELETE); }, 0},
};

// Channels.
const char *const kChannelWords[] = {"channel", "channels", nullptr};
const char *const kSet[] = {"set", nullptr};
const APIAction kChannelActions[] = {
    {kGet, APIChannelsGet, 0},
    {kSet, APIChannelsSet, 0},
};

// Favourites.
const char *const kFavouriteWords[] = {"favourites", "favorites", nullptr};
const APIAction kFavouriteActions[] = {
    {kGet, [](const char *) { APIFavouritesGet(); }, 0},
};

// EPG: events, genres, searches.
const char *const kEPGWords[] = {"epg", "guide", nullptr};
const char *const kEPGGenre[] = {"genre", nullptr};
const char *const kEPGSearch[] = {"search", nullptr};
const APIAction kEPGActions[] = {
    {kGet, APIEPGGet, ACTION_GET},
    {kEPGGenre, APIEPGgenre, ACTION_GENRE},
    {kEPGSearch, APIskimlet, ACTION_SEARCH},
};

// Satellites and transponders.
const char *const kSatelliteWords[] = {"sat", "satellite", nullptr};
const char *const kTransponders[] = {"transpond", "transponders", "transponder", nullptr};
const APIAction kSatelliteActions[] = {
    {kGet, APISatGet, ACTION_GET},
    {kTransponders, APISatGet, ACTION_TRANSPONDERS},
};


const APIFunction kTable[] = {
    ROW(kTimerWords, 0, kTimerActions),
    ROW(kChannelWords, 0, kChannelActions),
    ROW(kFavouriteWords, 0, kFavouriteActions),
    ROW(kEPGWords, COMMAND_EPG, kEPGActions),
    ROW(kSatelliteWords, COMMAND_SATELLITE, kSatelliteActions),
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = (int)(sizeof kTable / sizeof kTable[0]);
