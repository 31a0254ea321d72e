// pvrsim: the emulated PVR firmware. One source file per firmware subsystem (emu_time,
// emu_tasks, emu_files, emu_channels, emu_timers, emu_epg, emu_osd, emu_playback,
// emu_system), each with its part of the model profile, its TAP API functions and its
// firmware tables and hooks; emu_symbols decides which firmware symbols exist, emu_memory
// holds firmware memory and the TAPs' heap, emu_faults injects failures. Unit tests link
// the emulator with a TAP's code and set the emulated state directly.
#pragma once

#include <stdint.h>

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "emulator/emu_faults.h"
#include "emulator/emu_files.h"
#include "emulator/emu_memory.h"
#include "emulator/emu_osd.h"
#include "emulator/emu_playback.h"
#include "emulator/emu_symbols.h"
#include "emulator/emu_system.h"
#include "emulator/emu_tasks.h"
#include "emulator/emu_time.h"
#include "platform/firmware_layout.h"

namespace emu {

extern std::string gRoot;   // host folder playing the PVR's "/"

// A firmware subsystem: reads its part of the model profile ("pvrsim.json"), after
// resetting it to the defaults, and builds its firmware tables.
struct Subsystem {
  const char *name;
  bool (*readProfile)(const nlohmann::json &profile, std::string *error);
  void (*start)();
};

// Starts the emulated PVR on a root folder: reads the profile, sets ORVANE_ROOT, builds
// the firmware tables and makes the profile's firmware symbols available. Returns false
// with a message on failure.
bool Start(const std::string &root, std::string *error);
// Applies a model profile given as JSON text (every subsystem; keys left out take their
// defaults). False with a message when it is not valid.
bool ApplyProfile(const std::string &json, std::string *error);

// Host path of a path of the TAP file system ("/ProgramFiles/x"), relative to folder.
std::string HostPathOfTapPath(const std::string &folder, const std::string &name);
// The TAP path after applying name to folder (".." and "." resolved, never above "/").
std::string JoinTapPath(const std::string &folder, const std::string &name);

// A firmware effect without a PC equivalent: printed as one line on standard output.
void Effect(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace emu
