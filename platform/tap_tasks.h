// Starting TAP files and sending events to other running TAPs through the firmware's
// task table.
#pragma once

#include "platform/firmware_layout.h"

// One slot of the firmware's task table, as read at its byte offsets.
struct TapTaskSlot {
  dword status;                            // 0 free; 2 stopping
  dword handler;                           // address of the TAP's event handler, 0 when none
  char fileName[TAP_FOLDER_PATH_SIZE];     // absolute disk path of the TAP file (terminated)
};

// Reads slot (0..TAP_TASK_SLOTS-1) of the task table; false when the table is absent, the
// slot is out of range or it holds no task record.
bool ReadTapTaskSlot(int slot, TapTaskSlot *out);

// Starts the TAP file name (relative to the current folder). 1 when the start was handed
// to the firmware, 0 when the file is not a readable TAP. The started TAP's ID goes to id.
int HDD_TAP_Start(const char *name, bool batch, void *parameterBlock, dword *id);

// Calls the event handler of the running TAP with this ID (every running TAP when id is 0)
// on its own behalf. Returns the number of TAPs called.
int HDD_TAP_SendEvent(dword id, bool allowInterception, word event, TapParam param1, TapParam param2);
