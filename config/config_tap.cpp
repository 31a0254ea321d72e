#include "config/config_tap.h"

#include "config/config_menu.h"
#include "config/config_settings.h"
#include "config/logo_builder.h"
#include "platform/directory_stack.h"
#include "platform/support_log.h"
#include "platform/tap_services.h"
#include "platform/tap_tasks.h"

namespace {

bool gMenuShown;

// "/ProgramFiles/Settings/Orvane/public_html" and the folders above it.
void MakeFolders() {
  PushedDir saved;
  const char *const names[] = {"Settings", "Orvane", "public_html"};
  if (!saved.ok() || !HDD_ChangeDir("/ProgramFiles")) return;
  for (const char *name : names) {
    if (!TAP_Hdd_Exist(name)) TAP_Hdd_Create(name, ATTR_FOLDER);
    if (!TAP_Hdd_ChangeDir(name)) return;
  }
}

// The menu's start at the first event: a pending "rebuildlogos" builds the logos instead.
void doConfigScreen() {
  if (loadINISettings(&gConfig)) {
    PrintNet("Orvane-Config: rebuilding the logo files as Orvane.ini asks.\n");
    createLogoFile(nullptr);
    TAP_EnterNormal();
    TAP_Exit();
    return;
  }
  ConfigMenuOpen();
}

}  // namespace

int ConfigTapMain() {
  InstallTapServices();
  MakeFolders();
  if (HDD_TAP_isBatchMode()) {
    loadINISettings(&gConfig);
    if (!gConfig.noAutoLogos) createLogoFile(nullptr);
    TAP_EnterNormal();
    return 0;
  }
  ConfigMenuInitialise();
  gMenuShown = false;
  return 1;
}

dword ConfigTapEvent(word event, TapParam param1, TapParam param2) {
  if (event == EVT_STOP || (event == EVT_TMSCOMMANDER && param1 == 1)) {
    ConfigMenuClose();
    TAP_Exit();
    return event == EVT_STOP ? (dword)param1 : 1;
  }
  if (event == EVT_TMSCOMMANDER) {
    // TMSCommander's commands as Orvane.tap answers them: capabilities, and the others
    // (menu, 5, user event) taken without action.
    switch (param1) {
      case 3: return 0x01000003u;
      case 2: case 5: case 6: return 1;
      default: return 0;
    }
  }
  if (!gMenuShown) {
    gMenuShown = true;
    doConfigScreen();
    if (!ConfigMenuIsOpen()) return (dword)param1;
  }
  return ConfigMenuEvent(event, param1, param2);
}
