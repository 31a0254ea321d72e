// Starting TAP files and sending events to other running TAPs through the firmware's
// task table.
#pragma once

#include "platform/firmware_layout.h"

// Starts the TAP file name (relative to the current folder). 1 when the start was handed
// to the firmware, 0 when the file is not a readable TAP. The started TAP's ID goes to id.
int HDD_TAP_Start(const char *name, bool batch, void *parameterBlock, dword *id);

// Calls the event handler of the running TAP with this ID (every running TAP when id is 0)
// on its own behalf. Returns the number of TAPs called.
int HDD_TAP_SendEvent(dword id, bool allowInterception, word event, TapParam param1, TapParam param2);
