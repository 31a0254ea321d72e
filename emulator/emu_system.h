// System: model identity, system variables, the receiver's display state, power, the
// analogue input and the settings block of the emulated firmware.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/tap_api.h"

namespace emu {

// An attached drive: one entry of the firmware's partition table. Its files are the host
// folder of the mount path below the root (DIR/mnt/sdb1); without that folder the drive
// is listed but its file system cannot be asked.
struct ExternalPartition {
  std::string path;          // "/dev/sdb1"
  std::string mountPath;     // "/mnt/sdb1"
  std::string name;          // shown by the PVR
  dword sizeMb = 0;
  dword type = 0;
};

// The disk's identification (ATA IDENTIFY DEVICE texts), written at start to the kernel's
// report of it, DIR/proc/ide/hda/identify; left alone when the profile names none.
struct DiskIdentity {
  bool given = false;
  std::string model, serial, firmware;
};

// Profile: "system_id", "system_type" (5 satellite, 6 terrestrial, 7 cable),
// "tap_api_version", "system_vars" ({"number": value}; variable 0 is the volume with its
// mute bit 128), "timer_padding" ({"pre": minutes, "post": minutes}:
// in the settings block, and as variables 21 and 22 on firmware that has them),
// "power_on_source", "external_partitions" (mount paths such as "/mnt/sdb1", or objects
// {"path", "mount", "name", "size_mb", "type"}), "disk_identity" ({"model", "serial",
// "firmware"}).
struct SystemProfile {
  word systemId = 22010;
  int systemType = 5;          // "system_type": 5 satellite, 6 terrestrial, 7 cable
  dword tapApiVersion = 0x1000;
  std::map<int, int> systemVars;
  int prePadding = 0, postPadding = 0;
  dword powerOnSource = 0;
  std::vector<ExternalPartition> externalPartitions;
  DiskIdentity diskIdentity;
};
extern SystemProfile gSystem;

// A key event the firmware receives (TAP_GenerateEvent of EVT_KEY): printed as a press,
// the long press's repeat or the release of its key; pressing the mute key (0x1000C)
// toggles the mute bit of the volume.
void FirmwareKey(dword code);

// The firmware's settings block ("_applEepromAddr"), SETTINGS_SIZE bytes.
byte *SettingsBlock();
// Whether the TAPs have the display (after TAP_ExitNormal) or the receiver has it.
bool DisplayIsNormal();

}  // namespace emu
