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
#include "platform/path_rules.h"
#include "platform/pvr_path.h"
#include "platform/tap_file_info.h"

namespace {

const char kDisk[] = "/mnt/hd";
int gStartFailure;

int Failed(int failure) {
  gStartFailure = failure;
  return 0;
}

// Where a TAP file lies: its PVR path, its folder as a TAP path and its name there. The
// name is a TAP path, absolute or relative to the current folder, or a PVR path of the
// disk ("/mnt/hd/..."); it must stay on the disk.
struct TapFileLocation {
  char diskPath[PVR_PATH_SIZE];
  char folder[TAP_FOLDER_PATH_SIZE];
  char name[TAP_FOLDER_PATH_SIZE];
};

bool LocateTapFile(const char *name, TapFileLocation *where) {
  char current[TAP_FOLDER_PATH_SIZE] = "";
  if (name[0] != '/' && !HDD_TAP_GetCurrentDir(current, sizeof current)) return false;
  bool pvrPath = strncmp(name, "/mnt/", 5) == 0;
  char joined[PVR_PATH_SIZE];
  int n = snprintf(joined, sizeof joined, "%s%s/%s", pvrPath ? "" : kDisk, name[0] == '/' ? "" : current, name);
  if (n < 0 || (size_t)n >= sizeof joined) return false;
  if (!NormalisePath(joined, where->diskPath, sizeof where->diskPath)) return false;
  if (!PathIsWithin(where->diskPath, kDisk) || strcmp(where->diskPath, kDisk) == 0) return false;
  const char *tapPath = where->diskPath + sizeof kDisk - 1;   // "/ProgramFiles/x.tap"
  const char *slash = strrchr(tapPath, '/');
  size_t folderLength = slash == tapPath ? 1 : (size_t)(slash - tapPath);
  CopyBounded(where->folder, sizeof where->folder, tapPath, folderLength);
  CopyBounded(where->name, sizeof where->name, slash + 1, strlen(slash + 1));
  return where->name[0] != '\0';
}

// A System V segment of the start, attached; detached and removed by Release.
struct StartSegment {
  int id = -1;
  byte *memory = nullptr;

  bool Create(key_t key, size_t size) {
    id = shmget(key, size, IPC_CREAT | 0666);
    if (id < 0) return false;
    void *attached = shmat(id, nullptr, 0);
    if (attached == (void *)-1) return false;
    memory = static_cast<byte *>(attached);
    return true;
  }
  void Release() {
    if (memory) shmdt(memory);
    if (id >= 0) shmctl(id, IPC_RMID, nullptr);
    memory = nullptr;
    id = -1;
  }
};

// The firmware's program start: every hook it takes.
struct StartHooks {
  FwSaveWorkFolder save;
  FwRestoreWorkFolder restore;
  FwSelectFolder select;
  FwSetWorkFolder setWork;
  FwExecProgram exec;

  bool Bind() {
    save = HookSaveWorkFolder();
    restore = HookRestoreWorkFolder();
    select = HookSelectFolder();
    setWork = HookSetWorkFolder();
    exec = HookExecProgram();
    return save && restore && select && setWork && exec;
  }
};

// Runs the file from its folder as the firmware's work folder, which is restored after.
int RunFromFolder(const StartHooks &hooks, const TapFileLocation &where) {
  hooks.save();
  byte record[FOLDER_RECORD_SIZE] = {};
  int result = Failed(TAP_START_NO_FOLDER);
  if (hooks.select(record, where.folder) == 0) {
    hooks.setWork(record);
    char fileName[TAP_FOLDER_PATH_SIZE];
    CopyBounded(fileName, sizeof fileName, where.name, sizeof where.name);
    hooks.exec(fileName);
    result = 1;
  }
  hooks.restore();
  return result;
}

}  // namespace

int HDD_TAP_Start(const char *name, bool batch, void *parameterBlock, dword *id) {
  TapFileLocation where;
  TapFileInfo info;
  if (!name || !*name || !LocateTapFile(name, &where) || !HDD_TAP_GetInfo(where.diskPath, &info)) {
    return Failed(TAP_START_NOT_A_TAP);
  }
  if (id) *id = info.id;
  StartHooks hooks;
  dword block = FirmwareWord(parameterBlock);
  if (!hooks.Bind()) return Failed(TAP_START_NO_FIRMWARE);
  if (parameterBlock && !block) return Failed(TAP_START_NO_SHARED_MEMORY);

  StartSegment batchMarker, handOver;
  int result = Failed(TAP_START_NO_SHARED_MEMORY);
  if ((!batch || batchMarker.Create(TAP_BATCH_SHM_KEY, 1)) &&
      handOver.Create(TAP_START_SHM_KEY, TAP_START_HANDOVER_SIZE)) {
    PutLE32(handOver.memory + TAP_START_HANDOVER_MAGIC, TAP_START_MAGIC);
    PutLE32(handOver.memory + TAP_START_HANDOVER_ID, info.id);
    PutLE32(handOver.memory + TAP_START_HANDOVER_BLOCK, block);
    result = RunFromFolder(hooks, where);
    PutLE32(handOver.memory + TAP_START_HANDOVER_BLOCK, 0);
  }
  handOver.Release();
  batchMarker.Release();
  return result;
}

int HDD_TAP_StartFailure() { return gStartFailure; }

const char *TapStartFailureText(int failure) {
  switch (failure) {
    case TAP_START_NO_FIRMWARE: return "Firmware start function not available";
    case TAP_START_NO_FOLDER: return "Folder of the TAP file not available";
    case TAP_START_NO_SHARED_MEMORY: return "Shared memory for the start not available";
    default: return "Requested file not found";
  }
}

int HDD_TAP_isBatchMode() { return shmget(TAP_BATCH_SHM_KEY, 0, 0) >= 0 ? 1 : 0; }

void *HDD_TAP_GetStartParameter(dword myId) {
  int segment = shmget(TAP_START_SHM_KEY, 0, 0);
  if (segment < 0) return nullptr;
  void *attached = shmat(segment, nullptr, SHM_RDONLY);
  if (attached == (void *)-1) return nullptr;
  const byte *words = static_cast<const byte *>(attached);
  bool mine = GetLE32(words + TAP_START_HANDOVER_MAGIC) == TAP_START_MAGIC &&
              GetLE32(words + TAP_START_HANDOVER_ID) == myId;
  dword block = mine ? GetLE32(words + TAP_START_HANDOVER_BLOCK) : 0;
  shmdt(attached);
  return FirmwareAddress(block);
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

bool StopTapTaskSlot(int slot) {
  TapTaskSlot task;
  dword *current = FirmwareCurrentTapTask();
  if (!current || !ReadTapTaskSlot(slot, &task) || !task.handler) return false;
  dword saved = *current;
  *current = (dword)slot;
  reinterpret_cast<TAP_EventHandlerFunction>(FirmwareAddress(task.handler))(EVT_STOP, 0, 0);
  PutLE32(FirmwareTapTasks() + slot * TAP_TASK_SLOT_SIZE + TAP_TASK_STATUS, 2);
  *current = saved;
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
    if (id != 0) {
      TapFileInfo info;
      MappedPath path(task.fileName);
      if (!path.c_str() || !ReadTapFileInfo(path.c_str(), &info) || info.id != id) continue;
    }
    dword saved = *current;
    *current = (dword)slot;
    reinterpret_cast<TAP_EventHandlerFunction>(FirmwareAddress(task.handler))(event, param1, param2);
    *current = saved;
    called++;
    if (id != 0) break;
  }
  return called;
}
