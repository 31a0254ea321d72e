#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_files_store.h"
#include "webserver/api/api_language.h"
#include "webserver/api/api_log.h"
#include "webserver/api/api_logos.h"
#include "webserver/api/api_settings.h"
#include "webserver/api/api_taps.h"

// Each handler family adds its row here together with the handler itself, so that no row
// names a handler that does not exist. Rows in the order of the dispatch table.
namespace {

// Handlers whose calls carry no parameters or a fixed argument.
void LogoGet(const char *) { APILogoGet(); }
void LogoRebuild(const char *) { APILogoRebuild(); }
void SettingGet(const char *params) { APISetting(params, 0); }
void SettingSet(const char *params) { APISetting(params, 1); }
void SettingDelete(const char *params) { APISetting(params, 2); }
void TapGet(const char *) { APITAPGet(); }

#define WORDS(name, ...) const char *const name[] = {__VA_ARGS__, nullptr}
#define COUNT(actions) (int)(sizeof actions / sizeof actions[0])

WORDS(kChannelWords, "channel", "channels");
WORDS(kGetLogos, "getlogos");
const APIAction kChannelActions[] = {{kGetLogos, LogoGet, 0}};

WORDS(kFilesWords, "files", "file");
WORDS(kStore, "store", "save", "put");
const APIAction kFilesActions[] = {{kStore, APIFilesStore, 0}};

WORDS(kLanguageWords, "language");
WORDS(kGet, "get");
const APIAction kLanguageActions[] = {{kGet, APILanguageGet, 0}};

WORDS(kSettingWords, "setting", "settings");
WORDS(kSet, "set");
WORDS(kDelete, "delete");
WORDS(kList, "list");
WORDS(kSettingStore, "store");
const APIAction kSettingActions[] = {{kGet, SettingGet, 0},          {kSet, SettingSet, 0},
                                     {kDelete, SettingDelete, 0},    {kList, APISettingList, 0},
                                     {kSettingStore, APIFilesStore, 0}};

WORDS(kLogoWords, "logo", "logos");
WORDS(kRebuild, "rebuild");
const APIAction kLogoActions[] = {{kGet, LogoGet, 0}, {kRebuild, LogoRebuild, 0}};

WORDS(kTapWords, "tap", "taps");
WORDS(kStop, "stop");
WORDS(kStart, "start", "run");
const APIAction kTapActions[] = {
    {kGet, TapGet, ACTION_GET}, {kStop, APITAPStop, ACTION_STOP}, {kStart, APITAPStart, ACTION_START}};

WORDS(kLogWords, "log", "logger");
WORDS(kWrite, "write", "set");
const APIAction kLogActions[] = {{kWrite, APILogWrite, 0}};

const APIFunction kTable[] = {
    {kChannelWords, 0, kChannelActions, COUNT(kChannelActions)},
    {kFilesWords, 0, kFilesActions, COUNT(kFilesActions)},
    {kLanguageWords, 0, kLanguageActions, COUNT(kLanguageActions)},
    {kSettingWords, 0, kSettingActions, COUNT(kSettingActions)},
    {kLogoWords, 0, kLogoActions, COUNT(kLogoActions)},
    {kTapWords, COMMAND_TAP, kTapActions, COUNT(kTapActions)},
    {kLogWords, 0, kLogActions, COUNT(kLogActions)},
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = COUNT(kTable);
