// Finding the running SmartEPG TAP in the firmware's task table and the database layout
// its version uses.
#include <string.h>

#include "common/text_helpers.h"
#include "platform/pvr_path.h"
#include "platform/tap_file_info.h"
#include "platform/tap_tasks.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/smartepg_reader.h"

namespace {

// The task slot of the running TAP with this ID and its file's information; -1 when no
// running TAP has it.
int FindRunningTap(dword id, TapFileInfo *info, char *fileName, size_t fileNameSize) {
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    TapTaskSlot task;
    if (!ReadTapTaskSlot(slot, &task) || task.status == 0) continue;
    MappedPath path(task.fileName);
    if (!path.c_str() || !ReadTapFileInfo(path.c_str(), info) || info->id != id) continue;
    CopyBounded(fileName, fileNameSize, task.fileName, sizeof task.fileName);
    return slot;
  }
  return -1;
}

}  // namespace

int findSmartEPGVersion() {
  LOGF(LOG_DETAIL, "Searching for SmartEPG.");
  TapFileInfo info;
  char fileName[TAP_FOLDER_PATH_SIZE];
  int slot = FindRunningTap(SMARTEPG_TAP_ID, &info, fileName, sizeof fileName);
  if (slot < 0) {
    gSEStatus = 0;
    LOGF(LOG_DETAIL, "SmartEPG not running.");
    return SE_LAYOUT_NOT_RUNNING;
  }
  gSEStatus = 1;
  info.version[sizeof info.version - 1] = '\0';
  LOGF(LOG_DETAIL, "TAP %d = '%s'. (%s)", slot, fileName, info.version);
  int major = 0, minor = 0;
  if (SmartEPGParseVersion(info.version, &major, &minor) < 1) return SE_LAYOUT_15;
  LOGF(LOG_DETAIL, "SmartEPG Version: %d (minor: %d).", major, minor);
  return SmartEPGLayoutOfVersion(info.version);
}

int settleSmartEPG() {
  if (gSEStatus == 0) {
    TapFileInfo info;
    char fileName[TAP_FOLDER_PATH_SIZE];
    gSEStatus = FindRunningTap(SMARTEPG_TAP_ID, &info, fileName, sizeof fileName) >= 0 ? 1 : 2;
  }
  if (gSEStatus == 1 && gSEVersion == -1) {
    gSEVersion = findSmartEPGVersion();
    if (gSEVersion == SE_LAYOUT_NOT_RUNNING) {
      LOGF(LOG_DETAIL, "Giving up on finding SmartEPG.");
      gSEVersion = 0;
    }
  }
  return gSEStatus == 1 && gSEVersion > 0 ? gSEVersion : 0;
}
