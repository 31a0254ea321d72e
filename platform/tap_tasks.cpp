#include "platform/tap_tasks.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "common/text_helpers.h"
#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "platform/pvr_path.h"
#include "platform/tap_file_info.h"

namespace {

// Reads the TAP information of a file in the TAP's current folder.
bool ReadInfoOfTapFile(const char *name, TapFileInfo *info, char *folder, size_t folderSize) {
  if (!HDD_TAP_GetCurrentDir(folder, folderSize)) return false;
  char pvrPath[PVR_PATH_SIZE];
  int n = name[0] == '/' ? snprintf(pvrPath, sizeof pvrPath, "/mnt/hd%s", name)
                         : snprintf(pvrPath, sizeof pvrPath, "/mnt/hd%s/%s", strcmp(folder, "/") ? folder : "", name);
  if (n < 0 || (size_t)n >= sizeof pvrPath) return false;
  MappedPath path(pvrPath);
  return path.c_str() && ReadTapFileInfo(path.c_str(), info);
}

// The TAP ID of each slot's file as last read from its header, kept while the slot holds
// the same file, so that sending an event does not read every loaded TAP file again.
struct SlotTapId {
  char fileName[TAP_FOLDER_PATH_SIZE];
  dword id;
};
SlotTapId gSlotTapIds[TAP_TASK_SLOTS];

// The TAP ID of the file in a slot; false when its header cannot be read.
bool TapIdOfSlot(int slot, const TapTaskSlot &task, dword *id) {
  SlotTapId &known = gSlotTapIds[slot];
  if (known.fileName[0] && strcmp(known.fileName, task.fileName) == 0) {
    *id = known.id;
    return true;
  }
  known.fileName[0] = '\0';
  TapFileInfo info;
  MappedPath path(task.fileName);
  if (!path.c_str() || !ReadTapFileInfo(path.c_str(), &info)) return false;
  CopyBounded(known.fileName, sizeof known.fileName, task.fileName, sizeof task.fileName);
  known.id = info.id;
  *id = info.id;
  return true;
}

}  // namespace

int HDD_TAP_Start(const char *name, bool batch, void *parameterBlock, dword *id) {
  if (!name || !*name) return 0;
  TapFileInfo info;
  char folder[TAP_FOLDER_PATH_SIZE];
  if (!ReadInfoOfTapFile(name, &info, folder, sizeof folder)) return 0;
  if (id) *id = info.id;

  int batchSegment = -1;
  void *batchMemory = nullptr;
  if (batch) {
    batchSegment = shmget(TAP_BATCH_SHM_KEY, 1, IPC_CREAT | 0666);
    if (batchSegment >= 0) batchMemory = shmat(batchSegment, nullptr, 0);
  }
  int startSegment = shmget(TAP_START_SHM_KEY, TAP_START_HANDOVER_SIZE, IPC_CREAT | 0666);
  void *startMemory = startSegment >= 0 ? shmat(startSegment, nullptr, 0) : nullptr;
  if (startMemory != nullptr && startMemory != (void *)-1) {
    byte *handOver = static_cast<byte *>(startMemory);
    PutLE32(handOver + TAP_START_HANDOVER_MAGIC, TAP_START_MAGIC);
    PutLE32(handOver + TAP_START_HANDOVER_ID, info.id);
    PutLE32(handOver + TAP_START_HANDOVER_BLOCK, FirmwareWord(parameterBlock));
  }

  FwSaveWorkFolder save = HookSaveWorkFolder();
  FwRestoreWorkFolder restore = HookRestoreWorkFolder();
  FwSelectFolder select = HookSelectFolder();
  FwSetWorkFolder setWork = HookSetWorkFolder();
  FwExecProgram exec = HookExecProgram();
  if (save) save();
  if (select && setWork) {
    byte record[FOLDER_RECORD_SIZE] = {};
    select(record, folder);
    setWork(record);
  }
  char fileName[TAP_FOLDER_PATH_SIZE];
  snprintf(fileName, sizeof fileName, "%s", name);
  int result = exec ? 1 : 0;
  if (exec) exec(fileName);

  if (startMemory != nullptr && startMemory != (void *)-1) shmdt(startMemory);
  if (startSegment >= 0) shmctl(startSegment, IPC_RMID, nullptr);
  if (batchMemory != nullptr && batchMemory != (void *)-1) shmdt(batchMemory);
  if (batchSegment >= 0) shmctl(batchSegment, IPC_RMID, nullptr);
  if (restore) restore();
  return result;
}

bool ReadTapTaskSlot(int slot, TapTaskSlot *out) {
  byte *tasks = FirmwareTapTasks();
  if (!tasks || !out || slot < 0 || slot >= TAP_TASK_SLOTS) return false;
  const byte *task = tasks + slot * TAP_TASK_SLOT_SIZE;
  const byte *record = FirmwareAddress(GetLE32(task + TAP_TASK_RECORD));
  if (!record) return false;
  out->status = GetLE32(task + TAP_TASK_STATUS);
  out->handler = GetLE32(task + TAP_TASK_EVENT_HANDLER);
  CopyBounded(out->fileName, sizeof out->fileName, reinterpret_cast<const char *>(record + TAP_TASK_FILE_NAME),
              TAP_FOLDER_PATH_SIZE);
  return true;
}

int HDD_TAP_SendEvent(dword id, bool allowInterception, word event, TapParam param1, TapParam param2) {
  (void)allowInterception;
  dword *current = FirmwareCurrentTapTask();
  if (!current) return 0;
  int called = 0;
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    TapTaskSlot task;
    if (!ReadTapTaskSlot(slot, &task) || !task.handler || task.status == 0) continue;
    dword slotId = 0;
    if (id != 0 && (!TapIdOfSlot(slot, task, &slotId) || slotId != id)) continue;
    dword saved = *current;
    *current = (dword)slot;
    reinterpret_cast<TAP_EventHandlerFunction>(FirmwareAddress(task.handler))(event, param1, param2);
    *current = saved;
    called++;
    if (id != 0) break;
  }
  return called;
}
