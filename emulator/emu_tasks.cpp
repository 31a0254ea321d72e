// TAPs: the firmware's task table ("_tapTask", "_curTapTask") in firmware memory, loading
// TAP files, running their start-up, delivering events, TAP_GenerateEvent and TAP_Exit,
// and the firmware's program start ("_Z16Appl_ExecProgramPc").
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"
#include "platform/tap_file_info.h"

namespace emu {

Task gTasks[TAP_TASK_SLOTS];

namespace {

byte *gTable;                            // TAP_TASK_TABLE_SIZE bytes
byte *gRecords[TAP_TASK_SLOTS];          // one task record per slot
std::vector<PendingEvent> gGeneratedEvents;
StartHandOver gLastHandOver;

byte *Slot(int slot) { return gTable + slot * TAP_TASK_SLOT_SIZE; }

dword &Current() { return FirmwareVariable<dword>(FW_HOOK_CurrentTapTask); }

void SetCurrent(int slot) { Current() = (dword)slot; }

int FreeSlot() {
  for (int i = 0; i < TAP_TASK_SLOTS; i++) {
    if (!gTasks[i].used) return i;
  }
  return -1;
}

void PutText(byte *field, const std::string &text) {
  memset(field, 0, TAP_FOLDER_PATH_SIZE);
  memcpy(field, text.data(), std::min(text.size(), (size_t)TAP_FOLDER_PATH_SIZE - 1));
}

std::string GetText(const byte *field) {
  const char *text = reinterpret_cast<const char *>(field);
  return std::string(text, strnlen(text, TAP_FOLDER_PATH_SIZE));
}

// Publishes a slot in the firmware's task table.
void Publish(int slot) {
  Task &task = gTasks[slot];
  byte *entry = Slot(slot);
  PutLE32(entry + TAP_TASK_STATUS, task.used ? 1 : 0);
  PutLE32(entry + TAP_TASK_RECORD, task.used ? FirmwareWord(gRecords[slot]) : 0);
  PutLE32(entry + TAP_TASK_EVENT_HANDLER,
          task.used ? FirmwareEntryPoint(reinterpret_cast<void (*)()>(task.entry.eventHandler)) : 0);
}

void Occupy(int slot, const std::string &fileName, const std::string &folder) {
  memset(gRecords[slot], 0, TAP_TASK_RECORD_SIZE);
  PutText(gRecords[slot] + TAP_TASK_FILE_NAME, fileName);
  PutText(gRecords[slot] + TAP_TASK_FOLDER, folder);
  ResetTapHeapPeak(slot);
  Publish(slot);
}

void Unload(int slot) {
  Task &task = gTasks[slot];
  if (!task.used) return;
  Effect("unloaded slot %d id 0x%08x '%s'", slot, task.id, task.programName.c_str());
  void *handle = task.handle;
  task = Task();
  Publish(slot);
  if (handle) dlclose(handle);
}

// The TAP's disk path ("/mnt/hd/...") when its file lies on the emulated disk (the file
// itself may be a link to a build folder).
std::string DiskPathOf(const std::string &hostFile) {
  std::string disk = gRoot + "/mnt/";
  size_t slash = hostFile.rfind('/');
  std::string folder = slash == std::string::npos ? "." : hostFile.substr(0, slash ? slash : 1);
  std::string name = slash == std::string::npos ? hostFile : hostFile.substr(slash + 1);
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) return hostFile;
  std::string path = std::string(resolved) + "/" + name;
  if (path.compare(0, disk.size(), disk) == 0) return "/mnt/" + path.substr(disk.size());
  return hostFile;
}

// Reads the hand-over segment a starting TAP has made, field by field.
StartHandOver ReadStartHandOver() {
  StartHandOver seen;
  int segment = shmget(TAP_START_SHM_KEY, 0, 0);
  if (segment < 0) return seen;
  void *memory = shmat(segment, nullptr, SHM_RDONLY);
  if (memory == (void *)-1) return seen;
  const byte *words = static_cast<const byte *>(memory);
  seen.found = true;
  seen.magic = GetLE32(words + TAP_START_HANDOVER_MAGIC);
  seen.id = GetLE32(words + TAP_START_HANDOVER_ID);
  seen.block = GetLE32(words + TAP_START_HANDOVER_BLOCK);
  shmdt(memory);
  seen.batch = shmget(TAP_BATCH_SHM_KEY, 0, 0) >= 0;
  return seen;
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

// The PVR's TAPs share System V IPC only with each other: the start hand-over and the
// batch marker use fixed keys, which other emulated PVRs on the same host must not see or
// remove. Each process takes a namespace of its own once, where the system allows it.
void OwnSystemVIpc() {
  static bool tried;
  if (tried) return;
  tried = true;
  if (unshare(CLONE_NEWIPC) != 0) {
    fprintf(stderr, "pvrsim: System V IPC shared with the host (%s)\n", strerror(errno));
  }
}

void StartTasks() {
  OwnSystemVIpc();
  if (!gTable) {
    gTable = FirmwareAlloc(TAP_TASK_TABLE_SIZE);
    for (byte *&record : gRecords) record = FirmwareAlloc(TAP_TASK_RECORD_SIZE);
  }
  PublishTable(FW_HOOK_TapTasks, gTable);
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) Publish(slot);
}

}  // namespace

extern const Subsystem kTasksSubsystem = {"tasks", ReadProfile, StartTasks};

int CurrentSlot() {
  dword current = Current();
  return current < TAP_TASK_SLOTS ? (int)current : 0;
}

Task &CurrentTask() { return gTasks[CurrentSlot()]; }

std::string TaskFolder(int slot) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS || !gRecords[slot]) return "/";
  std::string folder = GetText(gRecords[slot] + TAP_TASK_FOLDER);
  return folder.empty() ? "/" : folder;
}

bool SetTaskFolder(int slot, const std::string &folder) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS || folder.size() >= TAP_FOLDER_PATH_SIZE) return false;
  PutText(gRecords[slot] + TAP_TASK_FOLDER, folder);
  return true;
}

bool SetTaskFileName(int slot, const std::string &fileName) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS || fileName.size() >= TAP_FOLDER_PATH_SIZE) return false;
  PutText(gRecords[slot] + TAP_TASK_FILE_NAME, fileName);
  return true;
}

void ClearTasks() {
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    gTasks[slot] = Task();
    Publish(slot);
  }
  SetCurrent(0);
}

int AttachLinkedTap(dword id, const char *folder, TAP_EventHandlerFunction handler) {
  int slot = FreeSlot();
  if (slot < 0) return -1;
  Task &task = gTasks[slot];
  task = Task();
  task.used = true;
  task.id = id;
  task.programName = "linked TAP";
  task.entry.eventHandler = handler;
  Occupy(slot, "", folder);
  SetCurrent(slot);
  return slot;
}

int LoadTap(const std::string &hostFile, std::string *error) {
  TapFileInfo info;
  if (!ReadTapFileInfo(hostFile.c_str(), &info)) {
    *error = hostFile + " is not a readable TAP file";
    return -1;
  }
  int slot = FreeSlot();
  if (slot < 0) {
    *error = "all 16 TAP slots are in use";
    return -1;
  }
  void *handle = dlopen(hostFile.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    *error = std::string("cannot load TAP: ") + dlerror();
    return -1;
  }
  auto init = reinterpret_cast<void (*)(TAP_Registration *)>(dlsym(handle, "__TAP_Init_"));
  Task &task = gTasks[slot];
  task = Task();
  if (init) init(&task.entry);
  if (!task.entry.main || !task.entry.eventHandler) {
    dlclose(handle);
    task = Task();
    *error = hostFile + " does not register TAP_Main and TAP_EventHandler";
    return -1;
  }
  task.used = true;
  task.handle = handle;
  task.id = info.id;
  task.hostFile = hostFile;
  task.programName = info.programName;
  std::string disk = DiskPathOf(hostFile);
  // A TAP starts in the folder of its file.
  std::string folder = "/ProgramFiles";
  if (disk.compare(0, 8, "/mnt/hd/") == 0) folder = JoinTapPath("/", disk.substr(7) + "/..");
  Occupy(slot, disk, folder);

  dword saved = Current();
  SetCurrent(slot);
  int resident = task.entry.main();
  Current() = saved;
  // Reported once its start-up has run.
  Effect("loaded slot %d id 0x%08x '%s' from %s", slot, task.id, task.programName.c_str(), disk.c_str());
  if (!resident) task.exitRequested = true;
  // Only the new TAP may go now: the TAP that started it may still be running its code.
  if (task.exitRequested) Unload(slot);
  return slot;
}

dword DeliverEvent(int slot, word event, TapParam param1, TapParam param2) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS || !gTasks[slot].used || !gTasks[slot].entry.eventHandler) return 0;
  dword saved = Current();
  SetCurrent(slot);
  dword result = gTasks[slot].entry.eventHandler(event, param1, param2);
  Current() = saved;
  return result;
}

void DeliverIdleRound() {
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    if (gTasks[slot].used && !gTasks[slot].exitRequested) DeliverEvent(slot, EVT_IDLE, 0, 0);
  }
}

int BroadcastEvent(word event, TapParam param1, TapParam param2, bool report) {
  int delivered = 0;
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    if (!gTasks[slot].used || gTasks[slot].exitRequested) continue;
    dword result = DeliverEvent(slot, event, param1, param2);
    delivered++;
    if (report) {
      Effect("event 0x%04x param1 0x%08lx param2 0x%08lx to slot %d returned 0x%08x", event,
             (unsigned long)param1, (unsigned long)param2, slot, result);
    }
  }
  UnloadFinishedTaps();
  return delivered;
}

int LoadedTapCount() {
  int n = 0;
  for (const Task &task : gTasks) n += task.used ? 1 : 0;
  return n;
}

void UnloadFinishedTaps() {
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    if (gTasks[slot].used && (gTasks[slot].exitRequested || GetLE32(Slot(slot) + TAP_TASK_STATUS) == 2)) {
      Unload(slot);
    }
  }
}

std::vector<PendingEvent> TakeGeneratedEvents() {
  std::vector<PendingEvent> events;
  events.swap(gGeneratedEvents);
  return events;
}

StartHandOver LastStartHandOver() { return gLastHandOver; }

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_GenerateEvent(word event, dword param1, dword param2) {
  emu::gGeneratedEvents.push_back({event, param1, param2});
  emu::Effect("generated event 0x%04x param1 0x%08x param2 0x%08x", event, param1, param2);
  return 1;
}

TAP_API_FUNCTION void TAP_Exit(void) { emu::CurrentTask().exitRequested = true; }

// ---- Firmware hooks ----

// Runs a TAP file of the work folder (or of the current TAP's folder). The firmware's event
// loop goes on meanwhile: the running TAPs get an idle event before the new TAP starts.
FIRMWARE_HOOK int Appl_ExecProgram(char *fileName) {
  if (!fileName) return 0;
  emu::gLastHandOver = emu::ReadStartHandOver();
  std::string tapPath = emu::JoinTapPath(emu::WorkFolder(), fileName);
  emu::Effect("exec %s%s%s", tapPath.c_str(), emu::gLastHandOver.found ? "" : " without a start hand-over",
              emu::gLastHandOver.batch ? " in batch mode" : "");
  emu::DeliverIdleRound();
  std::string error;
  if (emu::LoadTap(emu::HostPathOfTapPath("/", tapPath), &error) < 0) {
    emu::Effect("cannot run %s: %s", fileName, error.c_str());
    return 0;
  }
  return 1;
}
