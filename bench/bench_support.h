// What the benchmark programs share: a monotonic clock, a scratch emulated root, and the
// emulated PVR started on it with Orvane.tap linked in.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "emulator/emu_tasks.h"
#include "emulator/emulator.h"
#include "platform/tap_api.h"
#include "platform/tap_services.h"

namespace bench {

inline double Seconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// A new folder below /tmp named after the benchmark, with the folders Orvane.tap uses;
// "" when it cannot be made.
inline std::string MakeRoot(const std::string &name) {
  std::string pattern = "/tmp/orvane-" + name + "-XXXXXX";
  if (!mkdtemp(&pattern[0])) return std::string();
  std::string command = "mkdir -p " + pattern + "/mnt/hd/ProgramFiles/Settings/Orvane " + pattern + "/tmp";
  return system(command.c_str()) == 0 ? pattern : std::string();
}

inline bool RemoveRoot(const std::string &root) {
  std::string command = "rm -rf '" + root + "'";
  return system(command.c_str()) == 0;
}

// Starts the emulated PVR on root with Orvane.tap linked in as slot 0, whose allocations
// come from the emulated TAP heap (so that its peak can be read).
inline bool StartOrvane(const std::string &root) {
  std::string error;
  if (!emu::Start(root, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  emu::AttachLinkedTap(0x514B570F, "/ProgramFiles/Settings/Orvane", TAP_EventHandler);
  InstallTapServices();
  return true;
}

}  // namespace bench
