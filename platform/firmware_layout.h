// Layouts of the firmware data that the TAPs reach through firmware hooks. The firmware
// owns them; these declarations are what the TAPs rely on and what pvrsim provides.
#pragma once

#include "platform/tap_api.h"

enum { TAP_TASK_SLOTS = 16, TAP_FOLDER_PATH_SIZE = 512 };

// "_timeInfo" holds a pointer to the time-settings block.
enum {
  TIME_INFO_UTC_OFFSET = 0,   // int16, minutes east of UTC
  TIME_INFO_MODE = 2,         // byte; both low bits set: daylight saving in force
  TIME_INFO_SIZE = 4,
};

// One TAP of the firmware's task table ("_tapTask" holds a pointer to 16 of these).
struct FirmwareTaskRecord {
  char fileName[TAP_FOLDER_PATH_SIZE];   // absolute disk path of the TAP file
  char folder[TAP_FOLDER_PATH_SIZE];     // the TAP's current folder, a TAP path ("/ProgramFiles")
};
struct FirmwareTapTask {
  dword status;                          // 0 free; writing 2 marks the TAP as stopping
  FirmwareTaskRecord *record;            // null for a free slot
  TAP_EventHandlerFunction eventHandler;
};
// "_curTapTask" is a dword: the slot of the TAP on whose behalf the firmware runs code.

// Firmware device event posted through "PutDevEvt" to switch the PVR off.
enum : dword { DEV_EVENT_POWER_OFF = 0xEF00 };

// A folder record of the firmware's work-folder calls ("_Z20ApplHdd_SelectFolderPvPKc"
// fills it, "_Z21ApplHdd_SetWorkFolderPv" makes it the folder programs are run from).
struct FirmwareFolderRecord {
  char path[TAP_FOLDER_PATH_SIZE];   // a TAP path
};
