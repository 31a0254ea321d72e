#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_channels.h"
#include "webserver/api/api_files.h"
#include "webserver/api/api_files_rename.h"
#include "webserver/api/api_files_tree.h"
#include "webserver/api/api_playback.h"
#include "webserver/api/api_timers.h"
#include "webserver/api/api_tuning.h"

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

// Recordings and media files.
const char *const kFilesWords[] = {"files", "file", nullptr};
const char *const kFilesPlay[] = {"play", nullptr};
const char *const kFilesDelete[] = {"delete", nullptr};
const char *const kFilesRename[] = {"rename", nullptr};
const char *const kFilesStop[] = {"stop", "stopplay", nullptr};
const char *const kFilesStopRec[] = {"stoprec", nullptr};
const char *const kFilesTree[] = {"tree", nullptr};
const char *const kFilesJump[] = {"skip", "jump", nullptr};
const char *const kFilesPause[] = {"pause", nullptr};
const char *const kFilesResume[] = {"continue", "resume", nullptr};
const char *const kFilesDuration[] = {"duration", nullptr};
const APIAction kFilesActions[] = {
    {kGet, APIFilesGet, 0},
    {kFilesPlay, APIFilesPlay, 0},
    {kFilesDelete, [](const char *params) { APIFilesRenameDelete(params, FILES_DELETE); }, 0},
    {kFilesRename, [](const char *params) { APIFilesRenameDelete(params, FILES_RENAME); }, 0},
    {kFilesStop, [](const char *) { APIFilesStopPlayback(); }, 0},
    {kFilesStopRec, APIFilesStopRecording, 0},
    {kFilesTree, APIFilesTree, 0},
    {kFilesJump, APIFilesJump, 0},
    {kFilesPause, [](const char *) { APIFilesPauseUnpause(0); }, 0},
    {kFilesResume, [](const char *) { APIFilesPauseUnpause(1); }, 0},
    {kFilesDuration, APIFilesRecDuration, 0},
};

// Favourites.
const char *const kFavouriteWords[] = {"favourites", "favorites", nullptr};
const APIAction kFavouriteActions[] = {
    {kGet, [](const char *) { APIFavouritesGet(); }, 0},
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
    ROW(kFilesWords, 0, kFilesActions),
    ROW(kFavouriteWords, 0, kFavouriteActions),
    ROW(kSatelliteWords, COMMAND_SATELLITE, kSatelliteActions),
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = (int)(sizeof kTable / sizeof kTable[0]);
