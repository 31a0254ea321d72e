#include "webserver/core/api_table.h"

#include "common/url_params.h"
#include "webserver/api/api_files.h"
#include "webserver/api/api_files_rename.h"
#include "webserver/api/api_files_tree.h"
#include "webserver/api/api_playback.h"

// Each handler family adds its row here together with the handler itself, so that no row
// names a handler that does not exist. Rows in the order of the dispatch table.
namespace {

// Handlers whose calls carry no parameters or a fixed argument.
void FilesDelete(const char *params) { APIFilesRenameDelete(params, FILES_DELETE); }
void FilesRename(const char *params) { APIFilesRenameDelete(params, FILES_RENAME); }
void FilesStop(const char *) { APIFilesStopPlayback(); }
void FilesPause(const char *) { APIFilesPauseUnpause(0); }
void FilesResume(const char *) { APIFilesPauseUnpause(1); }

#define WORDS(name, ...) const char *const name[] = {__VA_ARGS__, nullptr}
#define COUNT(actions) (int)(sizeof actions / sizeof actions[0])

WORDS(kGet, "get");
WORDS(kDelete, "delete");

WORDS(kFilesWords, "files", "file");
WORDS(kPlay, "play");
WORDS(kRename, "rename");
WORDS(kStopPlay, "stop", "stopplay");
WORDS(kStopRec, "stoprec");
WORDS(kTree, "tree");
WORDS(kJump, "skip", "jump");
WORDS(kPause, "pause");
WORDS(kResume, "continue", "resume");
WORDS(kDuration, "duration");
const APIAction kFilesActions[] = {
    {kGet, APIFilesGet, 0},       {kPlay, APIFilesPlay, 0},    {kDelete, FilesDelete, 0},
    {kRename, FilesRename, 0},    {kStopPlay, FilesStop, 0},   {kStopRec, APIFilesStopRecording, 0},
    {kTree, APIFilesTree, 0},     {kJump, APIFilesJump, 0},    {kPause, FilesPause, 0},
    {kResume, FilesResume, 0},    {kDuration, APIFilesRecDuration, 0},
};

const APIFunction kTable[] = {
    {kFilesWords, 0, kFilesActions, COUNT(kFilesActions)},
};

}  // namespace

const APIFunction *const kAPIFunctions = kTable;
const int kAPIFunctionCount = COUNT(kTable);
