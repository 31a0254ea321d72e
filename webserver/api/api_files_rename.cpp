#include "webserver/api/api_files_rename.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/path_rules.h"
#include "platform/pvr_path.h"
#include "platform/pvr_text.h"
#include "webserver/api/files_params.h"
#include "webserver/api/pvr_text_answer.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

// The recording and its companions, in the order they are handled.
enum { MAIN_FILE, INF_FILE, NAV_FILE, FILE_KINDS };
const char *const kSuffixes[FILE_KINDS] = {"", ".inf", ".nav"};
const char *const kMembers[FILE_KINDS] = {"mpg", "inf", "nav"};

const char *const kOldDirWords[] = {"dir", "old_dir", nullptr};
const char *const kOldFileWords[] = {"file", "old_file", nullptr};
const char *const kOldHexWords[] = {"file_hex", "old_file_hex", nullptr};

struct RenameRequest {
  char oldDir[FILES_RENAME_FIELD_SIZE];
  char oldFile[FILES_RENAME_FIELD_SIZE];    // as received (URL-decoded), for the answer
  char oldHex[FILES_RENAME_HEX_SIZE];
  bool hexFlag;
  char newDir[FILES_RENAME_FIELD_SIZE];
  char newFile[FILES_RENAME_FIELD_SIZE];    // in the PVR's character set
  bool refused;                             // a value did not fit its field
};

struct FileResult {
  int status;
  int error;
};

void TakeRenameParam(void *context, const char *keyword, const char *value, size_t length) {
  RenameRequest *r = static_cast<RenameRequest *>(context);
  bool ok = true;
  if (FilesKeywordIs(keyword, kOldDirWords)) {
    ok = TakeFilesURLValue(r->oldDir, sizeof r->oldDir, value, length);
  } else if (FilesKeywordIs(keyword, kOldFileWords)) {
    ok = TakeFilesURLValue(r->oldFile, sizeof r->oldFile, value, length);
  } else if (FilesKeywordIs(keyword, kOldHexWords)) {
    ok = TakeFilesValue(r->oldHex, sizeof r->oldHex, value, length);
    r->hexFlag = true;
  } else if (strcmp(keyword, "new_dir") == 0) {
    ok = TakeFilesURLValue(r->newDir, sizeof r->newDir, value, length);
  } else if (strcmp(keyword, "new_file") == 0) {
    char received[FILES_RENAME_FIELD_SIZE];
    ok = TakeFilesURLValue(received, sizeof received, value, length);
    if (gIsUTFFirmware) {
      CopyBounded(r->newFile, sizeof r->newFile, received, sizeof received);
    } else {
      StrToISO(received, r->newFile);   // never longer than its UTF-8 form
    }
  }
  if (!ok) r->refused = true;
}

// "/DataFiles..." names the disk's folder; then the folder must lie below "/mnt/".
bool CheckedFolder(const char *dir, char *out, size_t size) {
  char completed[FILES_RENAME_FIELD_SIZE + 8];
  const char *folder = dir;
  if (strncmp(dir, "/DataFiles", 10) == 0) {
    snprintf(completed, sizeof completed, "/mnt/hd%s", dir);
    folder = completed;
  }
  return PathBelowMnt(folder, out, size) != 0;
}

// The host paths of a file and its companions; false when one does not fit.
bool CompanionPaths(const char *folder, const char *name, char paths[FILE_KINDS][PVR_PATH_SIZE]) {
  for (int k = 0; k < FILE_KINDS; k++) {
    char pvrPath[PVR_PATH_SIZE];
    int length = snprintf(pvrPath, sizeof pvrPath, "%s/%s%s", folder, name, kSuffixes[k]);
    if (length < 0 || (size_t)length >= sizeof pvrPath || !PvrPath(pvrPath, paths[k], PVR_PATH_SIZE)) return false;
  }
  return true;
}

// The main file first; its companions only when that succeeded. A missing companion is
// no error.
void Apply(int mode, char from[FILE_KINDS][PVR_PATH_SIZE], char to[FILE_KINDS][PVR_PATH_SIZE],
           FileResult result[FILE_KINDS]) {
  for (int k = 0; k < FILE_KINDS; k++) {
    if (k > MAIN_FILE && result[MAIN_FILE].status != 0) {
      result[k] = {-1, ECANCELED};
      continue;
    }
    if (mode == FILES_DELETE) {
      if (k == MAIN_FILE) LOGF(LOG_DETAIL, "APIFilesRenameDelete: Deleting '%s'.", from[k]);
      errno = 0;
      result[k].status = unlink(from[k]);
    } else {
      if (k == MAIN_FILE) {
        LOGF(LOG_DETAIL, "APIFilesRenameDelete: Renaming '%s' to '%s'.", from[k], to[k]);
      } else {
        LOGF(LOG_DETAIL, "About to rename '%s' to '%s'.", from[k], to[k]);
      }
      errno = 0;
      result[k].status = rename(from[k], to[k]);
    }
    result[k].error = errno;
    if (k > MAIN_FILE && result[k].error == ENOENT) result[k].status = 0;
    LOGF(LOG_DETAIL, "Return code = %d, errno = %d.", result[k].status, result[k].error);
  }
}

// A rename onto existing files is refused whole: true, with each target's existence.
bool TargetsExist(char to[FILE_KINDS][PVR_PATH_SIZE], FileResult result[FILE_KINDS]) {
  int found[FILE_KINDS];
  bool any = false;
  for (int k = 0; k < FILE_KINDS; k++) {
    found[k] = access(to[k], F_OK);
    any = any || found[k] == 0;
  }
  LOGF(LOG_DETAIL, "APIFilesRenameDelete: Test existing: MPG = %d, INF = %d, NAV = %d.", found[MAIN_FILE],
       found[INF_FILE], found[NAV_FILE]);
  if (!any) return false;
  for (int k = 0; k < FILE_KINDS; k++) result[k] = {found[k] == 0 ? 1 : 0, FILES_RENAME_TARGET_EXISTS};
  return true;
}

void AppendResults(JsonAnswer *a, const FileResult result[FILE_KINDS]) {
  for (int k = 0; k < FILE_KINDS; k++) {
    a->Printf("\"%s_status\":%d,\r\n\"%s_errno\":%d,\r\n", kMembers[k], result[k].status, kMembers[k],
              result[k].error);
  }
}

}  // namespace

void APIFilesRenameDelete(const char *params, int mode) {
  LOGF(LOG_DETAIL, "Processing API-Files-Rename-Delete, mode = %d.", mode);
  RenameRequest r;
  memset(&r, 0, sizeof r);
  ScanFilesParams(params, TakeRenameParam, &r);
  LOGF(LOG_DETAIL, "HEX = '%s', %d.", r.oldHex, r.hexFlag ? 1 : 0);
  char name[FILES_RENAME_FIELD_SIZE];
  CopyBounded(name, sizeof name, r.oldFile, sizeof r.oldFile);
  if (r.oldHex[0] && r.hexFlag) {
    LOGF(LOG_DETAIL, "'file_hex' present, raw value = '%s'.", r.oldHex);
    if (!TakeFilesHexValue(name, sizeof name, r.oldHex, strlen(r.oldHex))) r.refused = true;
    LOGF(LOG_DETAIL, "'file_hex' present, new value = '%s'.", name);
  }

  // Without an answer nothing is touched: a change the client never hears of is not made.
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for the files answer.");
    return;
  }

  // Nothing is touched unless every folder lies below "/mnt/" and every name is plain.
  char oldFolder[FILES_RENAME_FIELD_SIZE] = "", newFolder[FILES_RENAME_FIELD_SIZE] = "";
  char from[FILE_KINDS][PVR_PATH_SIZE], to[FILE_KINDS][PVR_PATH_SIZE];
  bool valid = !r.refused && CheckedFolder(r.oldDir, oldFolder, sizeof oldFolder) && IsPlainFileName(name) &&
               CompanionPaths(oldFolder, name, from);
  if (mode == FILES_RENAME) {
    valid = valid && CheckedFolder(r.newDir, newFolder, sizeof newFolder) && IsPlainFileName(r.newFile) &&
            CompanionPaths(newFolder, r.newFile, to);
  }
  FileResult result[FILE_KINDS];
  if (!valid) {
    LOGF(LOG_OPERATIONAL, "APIFilesRenameDelete: refused '%s' in '%s'.", name, r.oldDir);
    for (FileResult &each : result) each = {-1, EINVAL};
  } else if (mode != FILES_RENAME || !TargetsExist(to, result)) {
    Apply(mode, from, to, result);
  }

  answer.Printf("{\"count\":%d,\r\n\"timestamp\":\"%s\",\r\n", 0, PVRDateToJSON(0, 0));
  answer.Printf("\"content\":\"%s\",\r\n", mode == FILES_RENAME ? "files_rename" : "files_delete");
  AppendResults(&answer, result);
  if (mode == FILES_RENAME) {
    char oldName[FILES_RENAME_FIELD_SIZE];
    if (gIsUTFFirmware) {
      CopyBounded(oldName, sizeof oldName, r.oldFile, sizeof r.oldFile);
    } else {
      StrToISO(r.oldFile, oldName);
    }
    answer.Cat("\"old_file_hex\":");
    answer.HexString(oldName);
    answer.Cat(",\r\n\"old_file\":");
    answer.String(r.oldFile);
    answer.Cat(",\r\n\"old_dir\":");
    answer.String(oldFolder[0] ? oldFolder : r.oldDir);
    answer.Cat(",\r\n\"new_file_hex\":");
    answer.HexString(r.newFile);
    answer.Cat(",\r\n\"new_file\":\"");
    AppendPvrText(&answer, r.newFile, sizeof r.newFile);
    answer.Cat("\",\r\n\"new_dir\":");
    answer.String(newFolder[0] ? newFolder : r.newDir);
    answer.Cat("}\r\n");
    LOGF(LOG_DETAIL, "Sending files rename page.");
  } else {
    answer.Cat("\"file\":");
    answer.String(r.oldFile);
    answer.Cat(",\r\n\"dir\":");
    answer.String(oldFolder[0] ? oldFolder : r.oldDir);
    answer.Cat("}\r\n");
    LOGF(LOG_DETAIL, "Sending files delete page.");
  }
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
