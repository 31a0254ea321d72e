// pvrsim: the emulated PVR firmware. The state below is what the TAP API, the firmware
// symbols and the run loop share; unit tests set it directly.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "platform/firmware_layout.h"

namespace emu {

// The model profile, "pvrsim.json" in the emulated root.
struct Profile {
  word systemId = 22010;
  int16_t utcOffset = 60;        // minutes, the firmware's time zone
  byte timeMode = 0;             // both low bits set: daylight saving in force
  bool clockFollowsHost = true;
  int64_t fixedUtc = 0;          // Unix seconds, when the clock stands still
  std::vector<std::string> optionalSymbols;   // optional firmware symbols that resolve
  std::vector<TYPE_RecInfo> recordings;       // one entry per recording slot
  std::map<int, int> systemVars;              // TAP_GetSystemVar values ("system_vars")
};

struct Task {
  bool used = false;
  void *handle = nullptr;        // dlopen handle, null for a TAP linked into the program
  dword id = 0;
  std::string hostFile;
  std::string programName;
  TAP_Registration entry = {};
  FirmwareTaskRecord record = {};
  bool exitRequested = false;
};

extern Profile gProfile;
extern std::string gRoot;               // host folder playing the PVR's "/"
extern Task gTasks[TAP_TASK_SLOTS];

// Starts the emulated PVR on a root folder: reads the profile, sets ORVANE_ROOT, makes
// the firmware's optional symbols available. Returns false with a message on failure.
bool Start(const std::string &root, std::string *error);
// Reads the profile from text; false with a message when it is not valid.
bool ParseProfile(const std::string &json, Profile *profile, std::string *error);
// Makes exactly the given optional firmware symbols resolvable.
bool SetOptionalSymbols(const std::vector<std::string> &symbols, std::string *error);
// Every optional firmware symbol pvrsim knows.
const std::vector<std::string> &KnownOptionalSymbols();

// Host path of a path of the TAP file system ("/ProgramFiles/x"), relative to folder.
std::string HostPathOfTapPath(const std::string &folder, const std::string &name);
// The TAP path after applying name to folder (".." and "." resolved, never above "/").
std::string JoinTapPath(const std::string &folder, const std::string &name);

// Clock: UTC now in Unix seconds, and the PVR's local time.
int64_t UtcNow();
int64_t LocalNow();
int LocalOffsetMinutes();
void SetFixedClock(int64_t utc);

// Copies the profile into the firmware data the TAPs read (time block).
void PublishProfile();

// Tasks.
int CurrentSlot();
Task &CurrentTask();
// Puts a TAP that is linked into this program into a slot (unit tests). Returns the slot.
int AttachLinkedTap(dword id, const char *folder, TAP_EventHandlerFunction handler);
// Loads a TAP file, runs its start-up and keeps it resident unless it exits. Returns the
// slot, or -1 with a message.
int LoadTap(const std::string &hostFile, std::string *error);
// Calls one TAP's event handler on its behalf; unloads it afterwards when it exited.
dword DeliverEvent(int slot, word event, TapParam param1, TapParam param2);
// Calls every loaded TAP's handler in slot order; returns how many TAPs got it.
int BroadcastEvent(word event, TapParam param1, TapParam param2, bool report);
int LoadedTapCount();
void UnloadFinishedTaps();

// Events a TAP generated (TAP_GenerateEvent), delivered by the run loop.
struct PendingEvent { word event; dword param1, param2; };
std::vector<PendingEvent> TakeGeneratedEvents();

// A firmware effect without a PC equivalent: printed as one line on standard output.
void Effect(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace emu
