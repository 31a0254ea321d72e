#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_channels.h"
#include "webserver/api/api_files.h"
#include "webserver/api/api_files_rename.h"
#include "webserver/api/api_files_store.h"
#include "webserver/api/api_files_tree.h"
#include "webserver/api/api_language.h"
#include "webserver/api/api_log.h"
#include "webserver/api/api_logos.h"
#include "webserver/api/api_playback.h"
#include "webserver/api/api_settings.h"
#include "webserver/api/api_taps.h"
#include "webserver/api/api_timers.h"
#include "webserver/api/api_tuning.h"

// Each handler family adds its rows here together with the handler itself, so that no row
// names a handler that does not exist. The families keep the order of the dispatch table.
namespace {

#define ROW(functions, command, actions) {functions, command, actions, (int)(sizeof actions / sizeof actions[0])}

const char *const kGet[] = {"get", nullptr};
const char *const kSet[] = {"set", nullptr};
const char *const kDelete[] = {"delete", nullptr};

// Timers.
const char *const kTimerWords[] = {"timers", "timer", "reservations", "reservation", nullptr};
const char *const kTimerNew[] = {"new", "create", nullptr};
const char *const kTimerModify[] = {"modify", "update", nullptr};
const APIAction kTimerActions[] = {
    {kGet, [](const char *) { APITimersGet(); }, 0},
    {kTimerNew, [](const char *) { APITimersUpdate(TIMERS_NEW); }, 0},
    {kTimerModify, [](const char *) { APITimersUpdate(TIMERS_MODIFY); }, 0},
    {kDelete, [](const char *) { APITimersUpdate(TIMERS_DELETE); }, 0},
};

// Channels, and their logos.
const char *const kChannelWords[] = {"channel", "channels", nullptr};
const char *const kGetLogos[] = {"getlogos", nullptr};
const APIAction kChannelActions[] = {
    {kGet, APIChannelsGet, 0},
    {kSet, APIChannelsSet, 0},
    {kGetLogos, [](const char *) { APILogoGet(); }, 0},
};

// Recordings and media files, and uploads.
const char *const kFilesWords[] = {"files", "file", nullptr};
const char *const kFilesPlay[] = {"play", nullptr};
const char *const kFilesRename[] = {"rename", nullptr};
const char *const kFilesStop[] = {"stop", "stopplay", nullptr};
const char *const kFilesStopRec[] = {"stoprec", nullptr};
const char *const kFilesTree[] = {"tree", nullptr};
const char *const kFilesJump[] = {"skip", "jump", nullptr};
const char *const kFilesPause[] = {"pause", nullptr};
const char *const kFilesResume[] = {"continue", "resume", nullptr};
const char *const kFilesDuration[] = {"duration", nullptr};
const char *const kStore[] = {"store", "save", "put", nullptr};
const APIAction kFilesActions[] = {
    {kGet, APIFilesGet, 0},
    {kFilesPlay, APIFilesPlay, 0},
    {kDelete, [](const char *params) { APIFilesRenameDelete(params, FILES_DELETE); }, 0},
    {kFilesRename, [](const char *params) { APIFilesRenameDelete(params, FILES_RENAME); }, 0},
    {kFilesStop, [](const char *) { APIFilesStopPlayback(); }, 0},
    {kFilesStopRec, APIFilesStopRecording, 0},
    {kFilesTree, APIFilesTree, 0},
    {kFilesJump, APIFilesJump, 0},
    {kFilesPause, [](const char *) { APIFilesPauseUnpause(0); }, 0},
    {kFilesResume, [](const char *) { APIFilesPauseUnpause(1); }, 0},
    {kFilesDuration, APIFilesRecDuration, 0},
    {kStore, APIFilesStore, 0},
};

// Language files.
const char *const kLanguageWords[] = {"language", nullptr};
const APIAction kLanguageActions[] = {
    {kGet, APILanguageGet, 0},
};

// Settings of the browser and its modules, and uploads.
const char *const kSettingWords[] = {"setting", "settings", nullptr};
const char *const kList[] = {"list", nullptr};
const char *const kSettingStore[] = {"store", nullptr};
const APIAction kSettingActions[] = {
    {kGet, [](const char *params) { APISetting(params, 0); }, 0},
    {kSet, [](const char *params) { APISetting(params, 1); }, 0},
    {kDelete, [](const char *params) { APISetting(params, 2); }, 0},
    {kList, APISettingList, 0},
    {kSettingStore, APIFilesStore, 0},
};

// Favourites.
const char *const kFavouriteWords[] = {"favourites", "favorites", nullptr};
const APIAction kFavouriteActions[] = {
    {kGet, [](const char *) { APIFavouritesGet(); }, 0},
};

// Logos.
const char *const kLogoWords[] = {"logo", "logos", nullptr};
const char *const kRebuild[] = {"rebuild", nullptr};
const APIAction kLogoActions[] = {
    {kGet, [](const char *) { APILogoGet(); }, 0},
    {kRebuild, [](const char *) { APILogoRebuild(); }, 0},
};

// TAPs.
const char *const kTapWords[] = {"tap", "taps", nullptr};
const char *const kStop[] = {"stop", nullptr};
const char *const kStart[] = {"start", "run", nullptr};
const APIAction kTapActions[] = {
    {kGet, [](const char *) { APITAPGet(); }, ACTION_GET},
    {kStop, APITAPStop, ACTION_STOP},
    {kStart, APITAPStart, ACTION_START},
};

// The browser's log entries.
const char *const kLogWords[] = {"log", "logger", nullptr};
const char *const kWrite[] = {"write", "set", nullptr};
const APIAction kLogActions[] = {
    {kWrite, APILogWrite, 0},
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
    ROW(kLanguageWords, 0, kLanguageActions),
    ROW(kSettingWords, 0, kSettingActions),
    ROW(kFavouriteWords, 0, kFavouriteActions),
    ROW(kLogoWords, 0, kLogoActions),
    ROW(kTapWords, COMMAND_TAP, kTapActions),
    ROW(kLogWords, 0, kLogActions),
    ROW(kSatelliteWords, COMMAND_SATELLITE, kSatelliteActions),
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = (int)(sizeof kTable / sizeof kTable[0]);
