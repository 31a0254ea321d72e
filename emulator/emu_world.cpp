// The PVR's world: installs the firmware's tables (emu_world.h).
#include "emulator/emu_world.h"

#include <string.h>

#include "emulator/emulator.h"

namespace emu {

bool InstallTables(const TableImage &image, std::string *error) {
  if (image.settings.size() > SETTINGS_SIZE) {
    *error = "the settings block holds at most " + std::to_string(SETTINGS_SIZE) + " bytes";
    return false;
  }
  if (!InstallChannelTables(image, error) || !InstallTimerTable(image, error)) return false;
  byte *settings = SettingsBlock();
  memset(settings, 0, SETTINGS_SIZE);
  if (image.settings.empty()) {
    settings[SETTINGS_FAV_GROUP] = FAV_GROUP_NONE;
  } else {
    memcpy(settings, image.settings.data(), image.settings.size());
  }
  return true;
}

}  // namespace emu
