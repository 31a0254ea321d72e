#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/epg/api_epg.h"
#include "webserver/epg/api_epg_genre.h"
#include "webserver/epg/epg_search.h"

// Each handler family adds its rows here together with the handler itself, so that no row
// names a handler that does not exist.
namespace {

const char *const kGet[] = {"get", nullptr};

// EPG
const char *const kEPGFunction[] = {"epg", "guide", nullptr};
const char *const kEPGGenre[] = {"genre", nullptr};
const char *const kEPGSearch[] = {"search", nullptr};
const APIAction kEPGActions[] = {
    {kGet, APIEPGGet, ACTION_GET},
    {kEPGGenre, APIEPGgenre, ACTION_GENRE},
    {kEPGSearch, APIskimlet, ACTION_SEARCH},
};

#define API_ROWS(actions) actions, (int)(sizeof actions / sizeof *actions)
const APIFunction kFunctions[] = {
    {kEPGFunction, COMMAND_EPG, API_ROWS(kEPGActions)},
};
#undef API_ROWS

}  // namespace

const APIFunction *const kAPIFunctions = kFunctions;
const int kAPIFunctionCount = (int)(sizeof kFunctions / sizeof *kFunctions);
