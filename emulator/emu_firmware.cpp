// Firmware functions and tables beyond the TAP API, under the firmware's symbol names.
// C++ functions at global scope carry the firmware's mangled names.
#include <string.h>

#include "emulator/emulator.h"
#include "platform/byte_order.h"

#define FIRMWARE_DATA extern "C" __attribute__((visibility("default")))
#define FIRMWARE_FUNCTION __attribute__((visibility("default")))

namespace {
byte gTimeBlock[TIME_INFO_SIZE];
std::string gWorkFolder;
std::vector<std::string> gSavedWorkFolders;
}  // namespace

FIRMWARE_DATA byte *_timeInfo;
byte *_timeInfo = gTimeBlock;

namespace emu {

void PublishProfile() {
  // The firmware's offset includes the daylight-saving hour while that is in force.
  PutLE16(gTimeBlock + TIME_INFO_UTC_OFFSET, (uint16_t)LocalOffsetMinutes());
  gTimeBlock[TIME_INFO_MODE] = gProfile.timeMode;
}

}  // namespace emu

// Local time of a packed UTC date (MJD << 16 | hour << 8 | minute).
FIRMWARE_FUNCTION dword Appl_TimeToLocal(unsigned int utc) {
  int64_t minutes = (int64_t)(utc >> 16) * 1440 + ((utc >> 8) & 0xFF) * 60 + (utc & 0xFF);
  minutes += emu::LocalOffsetMinutes();
  dword mjd = (dword)(minutes / 1440), rest = (dword)(minutes % 1440);
  return mjd << 16 | (rest / 60) << 8 | rest % 60;
}

extern "C" FIRMWARE_FUNCTION void PutDevEvt(dword event, dword param) {
  if (event == DEV_EVENT_POWER_OFF) {
    emu::Effect("power off");
  } else {
    emu::Effect("device event 0x%04x param 0x%08x", event, param);
  }
}

FIRMWARE_FUNCTION void ApplHdd_SaveWorkFolder() {
  gSavedWorkFolders.push_back(gWorkFolder.empty() ? emu::CurrentTask().record.folder : gWorkFolder);
}

FIRMWARE_FUNCTION void ApplHdd_RestoreWorkFolder() {
  if (gSavedWorkFolders.empty()) return;
  gWorkFolder = gSavedWorkFolders.back();
  gSavedWorkFolders.pop_back();
}

FIRMWARE_FUNCTION int ApplHdd_SelectFolder(void *folder, const char *path) {
  if (!folder || !path) return -1;
  auto *record = static_cast<FirmwareFolderRecord *>(folder);
  snprintf(record->path, sizeof record->path, "%s", emu::JoinTapPath("/", path).c_str());
  return 0;
}

FIRMWARE_FUNCTION void ApplHdd_SetWorkFolder(void *folder) {
  if (folder) gWorkFolder = static_cast<FirmwareFolderRecord *>(folder)->path;
}

// Runs a TAP file of the work folder (or of the current TAP's folder).
FIRMWARE_FUNCTION int Appl_ExecProgram(char *fileName) {
  if (!fileName) return 0;
  std::string folder = gWorkFolder.empty() ? emu::CurrentTask().record.folder : gWorkFolder;
  std::string host = emu::HostPathOfTapPath(folder, fileName);
  std::string error;
  if (emu::LoadTap(host, &error) < 0) {
    emu::Effect("cannot run %s: %s", fileName, error.c_str());
    return 0;
  }
  return 1;
}
