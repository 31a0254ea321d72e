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

// Starts the TAP file name (a TAP path, absolute or relative to the current folder, or a
// PVR path of the disk such as "/mnt/hd/ProgramFiles/x.tap"): the firmware runs it from
// its own folder, with the start hand-over (and in batch mode the batch marker) in System
// V shared memory for as long as the start runs. 1 when the start was handed to the
// firmware; 0 when the file is not a readable TAP on the disk, a firmware hook of the
// start is absent, the folder cannot be selected or the shared memory cannot be had
// (nothing was started then). The started TAP's ID goes to id. parameterBlock must lie
// where a firmware word reaches it (the TAP heap does).
int HDD_TAP_Start(const char *name, bool batch, void *parameterBlock, dword *id);

// Why the last HDD_TAP_Start that returned 0 failed, and its text for answers.
enum TapStartFailure {
  TAP_START_NOT_A_TAP = 0,        // "Requested file not found"
  TAP_START_NO_FIRMWARE = 1,      // "Firmware start function not available"
  TAP_START_NO_FOLDER = 2,        // "Folder of the TAP file not available"
  TAP_START_NO_SHARED_MEMORY = 3, // "Shared memory for the start not available"
};
int HDD_TAP_StartFailure();
const char *TapStartFailureText(int failure);

// For the TAP being started, during its start-up: whether the starting TAP asked for batch
// mode (the batch marker exists).
int HDD_TAP_isBatchMode();
// The parameter block the starting TAP handed over to the TAP with this ID, or null (no
// hand-over, another TAP's, or none given). Valid only during the start-up.
void *HDD_TAP_GetStartParameter(dword myId);

// Stops the TAP of a slot: its event handler gets the stop event (0x0900) on its own
// behalf, then the slot is marked as stopping (status 2) and the firmware removes it.
// False, and nothing done, when the table or the current-task index is not reachable, the
// slot is out of range or free, or it has no event handler.
bool StopTapTaskSlot(int slot);

// Calls the event handler of the running TAP with this ID (every running TAP when id is 0)
// on its own behalf. Returns the number of TAPs called.
int HDD_TAP_SendEvent(dword id, bool allowInterception, word event, TapParam param1, TapParam param2);
