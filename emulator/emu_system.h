// System: model identity, system variables, the receiver's display state, power, the
// analogue input and the settings block of the emulated firmware.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/tap_api.h"

namespace emu {

// Profile: "system_id", "system_type", "tap_api_version", "system_vars" ({"number": value}),
// "power_on_source", "external_partitions" (mount paths such as "/mnt/sdb1").
struct SystemProfile {
  word systemId = 22010;
  int systemType = 5;          // "system_type": 5 satellite, 6 terrestrial, 7 cable
  dword tapApiVersion = 0x1000;
  std::map<int, int> systemVars;
  dword powerOnSource = 0;
  std::vector<std::string> externalPartitions;
};
extern SystemProfile gSystem;

// The firmware's settings block ("_applEepromAddr"), SETTINGS_SIZE bytes.
byte *SettingsBlock();
// Whether the TAPs have the display (after TAP_ExitNormal) or the receiver has it.
bool DisplayIsNormal();

}  // namespace emu
