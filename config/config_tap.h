// Orvane-Config.tap's start and event handling. Started in batch mode by another TAP it
// builds the logo files and ends; started from the TAP list (or by the web server on
// TMSCommander's menu event) it stays resident and shows the settings menu at its first
// event.
#pragma once

#include "platform/tap_api.h"

// TAP_Main: 0 when the TAP ends at once (batch mode), 1 when it stays resident.
int ConfigTapMain();
// TAP_EventHandler.
dword ConfigTapEvent(word event, TapParam param1, TapParam param2);
