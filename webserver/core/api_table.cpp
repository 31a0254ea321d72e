#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_channels.h"
#include "webserver/api/api_config.h"
#include "webserver/api/api_remote.h"
#include "webserver/api/api_status.h"
#include "webserver/api/api_timers.h"
#include "webserver/api/api_tuning.h"
#include "webserver/api/api_volume.h"

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

// Remote control.
const char *const kRemoteWords[] = {"remote", nullptr};
const char *const kAsciiWords[] = {"ascii", nullptr};
const char *const kSend[] = {"send", nullptr};
const APIAction kRemoteActions[] = {
    {kSend, [](const char *params) { APIRemoteSend(params, REMOTE_MODE_KEY); }, 0},
};
const APIAction kAsciiActions[] = {
    {kSend, [](const char *params) { APIRemoteSend(params, REMOTE_MODE_CHARACTER); }, 0},
};

// Configuration and status.
const char *const kConfigWords[] = {"config", nullptr};
const char *const kStatusWords[] = {"status", nullptr};
const APIAction kConfigActions[] = {
    {kGet, [](const char *) { APIConfigGet(); }, 0},
};
const APIAction kStatusActions[] = {
    {kGet, [](const char *) { APIStatusGet(); }, 0},
};

// Favourites.
const char *const kFavouriteWords[] = {"favourites", "favorites", nullptr};
const APIAction kFavouriteActions[] = {
    {kGet, [](const char *) { APIFavouritesGet(); }, 0},
};

// Volume.
const char *const kVolumeWords[] = {"vol", "volume", nullptr};
const APIAction kVolumeActions[] = {
    {kGet, [](const char *) { APIVolumeGet(); }, 0},
    {kSet, APIVolumeSet, 0},
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
    ROW(kRemoteWords, 0, kRemoteActions),
    ROW(kAsciiWords, 0, kAsciiActions),
    ROW(kConfigWords, 0, kConfigActions),
    ROW(kStatusWords, 0, kStatusActions),
    ROW(kFavouriteWords, 0, kFavouriteActions),
    ROW(kVolumeWords, 0, kVolumeActions),
    ROW(kSatelliteWords, COMMAND_SATELLITE, kSatelliteActions),
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = (int)(sizeof kTable / sizeof kTable[0]);
