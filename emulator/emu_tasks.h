// The firmware's task table: the TAPs loaded, their start-up, events and end.
#pragma once

#include <string>
#include <vector>

#include "platform/firmware_layout.h"

namespace emu {

struct Task {
  bool used = false;
  void *handle = nullptr;        // dlopen handle, null for a TAP linked into the program
  dword id = 0;
  std::string hostFile;
  std::string programName;
  TAP_Registration entry = {};
  bool exitRequested = false;
};
extern Task gTasks[TAP_TASK_SLOTS];

int CurrentSlot();
Task &CurrentTask();
// The current folder of a slot's TAP (a TAP path) and its change.
std::string TaskFolder(int slot);
bool SetTaskFolder(int slot, const std::string &folder);
// The disk path of a slot's TAP file in its task record (tests of linked TAPs).
bool SetTaskFileName(int slot, const std::string &fileName);
// Frees every slot (tests start from an empty table).
void ClearTasks();

// Puts a TAP that is linked into this program into a slot (unit tests). Returns the slot.
int AttachLinkedTap(dword id, const char *folder, TAP_EventHandlerFunction handler);
// Loads a TAP file, runs its start-up and keeps it resident unless it exits. Returns the
// slot, or -1 with a message.
int LoadTap(const std::string &hostFile, std::string *error);
// Calls one TAP's event handler on its behalf; unloads it afterwards when it exited.
dword DeliverEvent(int slot, word event, TapParam param1, TapParam param2);
// Calls every loaded TAP's handler in slot order; returns how many TAPs got it.
int BroadcastEvent(word event, TapParam param1, TapParam param2, bool report);
// One idle event to every running TAP, nothing unloaded (the firmware's loop while it is
// busy on a TAP's behalf).
void DeliverIdleRound();
int LoadedTapCount();
void UnloadFinishedTaps();

// Events a TAP generated (TAP_GenerateEvent), delivered by the run loop.
struct PendingEvent { word event; dword param1, param2; };
std::vector<PendingEvent> TakeGeneratedEvents();

// The TAP start hand-over as "_Z16Appl_ExecProgramPc" last found it (System V segment
// TAP_START_SHM_KEY), read field by field; found is false when there was none.
struct StartHandOver {
  bool found = false;
  bool batch = false;   // the batch segment existed
  dword magic = 0, id = 0, block = 0;
};
StartHandOver LastStartHandOver();

}  // namespace emu
