// The firmware's task table: loading TAPs, running their start-up and delivering events.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "emulator/emulator.h"
#include "platform/tap_file_info.h"

// The firmware's task table and current-task index, reached by the TAPs through the
// symbols "_tapTask" and "_curTapTask".
extern "C" {
__attribute__((visibility("default"))) FirmwareTapTask gFirmwareTaskTable[TAP_TASK_SLOTS];
__attribute__((visibility("default"))) FirmwareTapTask *_tapTask = gFirmwareTaskTable;
__attribute__((visibility("default"))) dword _curTapTask;
}

namespace emu {

Task gTasks[TAP_TASK_SLOTS];

namespace {

std::vector<PendingEvent> gGeneratedEvents;

int FreeSlot() {
  for (int i = 0; i < TAP_TASK_SLOTS; i++) {
    if (!gTasks[i].used) return i;
  }
  return -1;
}

// Publishes a slot in the firmware's task table.
void Publish(int slot) {
  Task &task = gTasks[slot];
  gFirmwareTaskTable[slot].status = task.used ? 1 : 0;
  gFirmwareTaskTable[slot].record = task.used ? &task.record : nullptr;
  gFirmwareTaskTable[slot].eventHandler = task.used ? task.entry.eventHandler : nullptr;
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

}  // namespace

int CurrentSlot() { return _curTapTask < TAP_TASK_SLOTS ? (int)_curTapTask : 0; }
Task &CurrentTask() { return gTasks[CurrentSlot()]; }

int AttachLinkedTap(dword id, const char *folder, TAP_EventHandlerFunction handler) {
  int slot = FreeSlot();
  if (slot < 0) return -1;
  Task &task = gTasks[slot];
  task = Task();
  task.used = true;
  task.id = id;
  task.programName = "linked TAP";
  task.entry.eventHandler = handler;
  snprintf(task.record.folder, sizeof task.record.folder, "%s", folder);
  Publish(slot);
  _curTapTask = slot;
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
  snprintf(task.record.fileName, sizeof task.record.fileName, "%s", disk.c_str());
  // A TAP starts in the folder of its file.
  std::string folder = "/ProgramFiles";
  if (disk.compare(0, 8, "/mnt/hd/") == 0) folder = JoinTapPath("/", disk.substr(7) + "/..");
  snprintf(task.record.folder, sizeof task.record.folder, "%s", folder.c_str());
  Publish(slot);

  dword saved = _curTapTask;
  _curTapTask = slot;
  int resident = task.entry.main();
  _curTapTask = saved;
  // Reported once its start-up has run.
  Effect("loaded slot %d id 0x%08x '%s' from %s", slot, task.id, task.programName.c_str(),
         task.record.fileName);
  if (!resident) task.exitRequested = true;
  UnloadFinishedTaps();
  return slot;
}

dword DeliverEvent(int slot, word event, TapParam param1, TapParam param2) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS || !gTasks[slot].used || !gTasks[slot].entry.eventHandler) return 0;
  dword saved = _curTapTask;
  _curTapTask = slot;
  dword result = gTasks[slot].entry.eventHandler(event, param1, param2);
  _curTapTask = saved;
  return result;
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
    if (gTasks[slot].used && (gTasks[slot].exitRequested || gFirmwareTaskTable[slot].status == 2)) {
      Unload(slot);
    }
  }
}

std::vector<PendingEvent> TakeGeneratedEvents() {
  std::vector<PendingEvent> events;
  events.swap(gGeneratedEvents);
  return events;
}

}  // namespace emu

// TAP API: events and the TAP's own end.
extern "C" {

__attribute__((visibility("default"))) int TAP_GenerateEvent(word event, dword param1, dword param2) {
  emu::gGeneratedEvents.push_back({event, param1, param2});
  emu::Effect("generated event 0x%04x param1 0x%08x param2 0x%08x", event, param1, param2);
  return 1;
}

__attribute__((visibility("default"))) void TAP_Exit(void) {
  emu::CurrentTask().exitRequested = true;
}

}
