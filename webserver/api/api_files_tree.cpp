#include "webserver/api/api_files_tree.h"

#include <ftw.h>
#include <string.h>
#include <sys/stat.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/path_rules.h"
#include "platform/pvr_path.h"
#include "webserver/api/files_params.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/request_parser.h"

JsonAnswer *Gapitext;
int GtreeCount;
int GtreeTruncated;

namespace {

const char kDefaultFolder[] = "/mnt/hd/DataFiles";

// The walk reports host paths; the answer names them by the PVR path they have below the
// requested folder.
char gTreeStart[FILES_TREE_DIR_SIZE];
size_t gTreeHostLength;

void TakeTreeParam(void *context, const char *keyword, const char *value, size_t length) {
  if (strcmp(keyword, "dir") != 0) return;
  // A value too long for its field or that does not decode names no folder.
  char *dir = static_cast<char *>(context);
  if (!TakeFilesURLValue(dir, FILES_TREE_DIR_SIZE, value, length)) dir[0] = '\x01';
}

int treeList(const char *path, const struct stat *, int type, struct FTW *) {
  if (type != FTW_D) return 0;   // only folders that could be read
  const char *below = path + gTreeHostLength;
  int mark = Gapitext->BeginRecord();
  Gapitext->Cat(GtreeCount ? ",{\"name\":\"" : "{\"name\":\"");
  Gapitext->Escaped(gTreeStart);
  Gapitext->Escaped(below);
  Gapitext->Cat("\"}\r\n");
  if (!Gapitext->EndRecord(mark)) {
    GtreeTruncated = 1;
    LOGF(LOG_DETAIL, "Aborting treewalk to prevent buffer overflow [%d / %d].", Gapitext->Length(),
         FILES_TREE_ANSWER_SIZE);
    return 1;   // ends the walk
  }
  GtreeCount++;
  LOGF(LOG_DETAIL, "%s%s, %d.", gTreeStart, below, Gapitext->Length());
  return 0;
}

}  // namespace

void APIFilesTree(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Tree request '%s'.", gHTTPpath);
  char dir[FILES_TREE_DIR_SIZE] = "";
  ScanFilesParams(params, TakeTreeParam, dir);
  if (!dir[0]) CopyBounded(dir, sizeof dir, kDefaultFolder, sizeof kDefaultFolder);

  JsonAnswer answer(FILES_TREE_ANSWER_SIZE, 64 * 1024);
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for the directory tree.");
    return;
  }
  Gapitext = &answer;
  GtreeCount = 0;
  GtreeTruncated = 0;
  answer.Cat("{\"content\":\"files_tree\",\r\n\"directory\":\r\n[\r\n");

  // The walk starts where the folder's links lead; only a folder below "/mnt/" is walked.
  char resolved[PVR_PATH_SIZE];
  if (PathBelowMnt(dir, gTreeStart, sizeof gTreeStart) && ResolvePath(gTreeStart, resolved, sizeof resolved)) {
    MappedPath host(resolved);
    struct stat status;
    if (host.c_str() && stat(host.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
      gTreeHostLength = strlen(host.c_str());
      nftw(host.c_str(), treeList, FILES_TREE_OPEN_FOLDERS, FTW_PHYS);
    }
  }
  answer.Printf("],\r\n\"count\":%d,\r\n\"truncated\":%d,\r\n\"timestamp\":\"%s\"}\r\n", GtreeCount,
                GtreeTruncated, PVRDateToJSON(0, 0));
  Gapitext = nullptr;
  LOGF(LOG_NETWORK, "Sending directory tree.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
