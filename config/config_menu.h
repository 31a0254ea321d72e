// The settings menu of Orvane-Config.tap on the OSD.
#pragma once

#include "platform/tap_api.h"

// At the TAP's start: language texts, the URL line, the key handler.
void ConfigMenuInitialise();
// Registers the keys, draws the menu.
void ConfigMenuOpen();
bool ConfigMenuIsOpen();
// Removes the menu from the screen (nothing saved).
void ConfigMenuClose();
// An event while the menu is open; returns what the firmware gets back (the key to pass
// on, 0 for a key the menu used).
dword ConfigMenuEvent(word event, TapParam param1, TapParam param2);

// What the menu shows (for tests): an item's display text, the item under the cursor.
const char *ConfigMenuValue(int item);
int ConfigMenuCurrent();
