// Layouts of the firmware data that the TAPs reach through firmware hooks and System V
// shared memory. The firmware owns them; they are read and written field by field at these
// byte offsets (little-endian). A firmware address inside them is a 32-bit word, as on the
// PVR; pvrsim keeps firmware memory below 4 GiB so that such a word is a real address on a
// 64-bit host too.
#pragma once

#include "platform/firmware_tables.h"
#include "platform/tap_api.h"

// The address held in a 32-bit firmware word.
inline byte *FirmwareAddress(dword value) { return reinterpret_cast<byte *>((uintptr_t)value); }
// The 32-bit word of a firmware address; 0 for an address that does not fit.
inline dword FirmwareWord(const void *address) {
  uintptr_t value = reinterpret_cast<uintptr_t>(address);
  return value <= 0xFFFFFFFFu ? (dword)value : 0;
}

enum { TAP_TASK_SLOTS = 16, TAP_FOLDER_PATH_SIZE = 512 };

// "_timeInfo": the time-settings block.
enum {
  TIME_INFO_UTC_OFFSET = 0,   // int16, minutes east of UTC
  TIME_INFO_MODE = 2,         // byte; both low bits set: daylight saving in force
  TIME_INFO_SLEEP_TIMER = 4,  // u16, minutes until the sleep timer switches off; 0 when off
  TIME_INFO_SIZE = 8,
};
static_assert(TIME_INFO_UTC_OFFSET + 2 == TIME_INFO_MODE && TIME_INFO_MODE < TIME_INFO_SIZE,
              "the time settings' fields lie within the block");

// "_tapTask": the task table, TAP_TASK_SLOTS slots of this layout.
enum {
  TAP_TASK_STATUS = 0,          // u32: 0 free; writing 2 marks the TAP as stopping
  TAP_TASK_RECORD = 4,          // u32: address of the task record, 0 for a free slot
  TAP_TASK_EVENT_HANDLER = 8,   // u32: address of the TAP's event handler
  TAP_TASK_SLOT_SIZE = 12,
  TAP_TASK_TABLE_SIZE = TAP_TASK_SLOTS * TAP_TASK_SLOT_SIZE,
};
// A task record.
enum {
  TAP_TASK_FILE_NAME = 0,                       // char[512]: absolute disk path of the TAP file
  TAP_TASK_FOLDER = TAP_FOLDER_PATH_SIZE,       // char[512]: current folder, a TAP path
  TAP_TASK_RECORD_SIZE = 2 * TAP_FOLDER_PATH_SIZE,
};
static_assert(TAP_TASK_SLOT_SIZE == 3 * 4 && TAP_TASK_EVENT_HANDLER + 4 == TAP_TASK_SLOT_SIZE,
              "a task slot is three 32-bit words");
static_assert(TAP_TASK_RECORD_SIZE == 1024, "a task record is two 512-byte texts");
// "_curTapTask" is a u32: the slot of the TAP on whose behalf the firmware runs code.

// TAP start hand-over: System V shared memory that exists while a start call runs.
enum { TAP_START_SHM_KEY = 86568, TAP_BATCH_SHM_KEY = 86567 };
enum : dword { TAP_START_MAGIC = 0xF1EB1D1B };
enum {
  TAP_START_HANDOVER_MAGIC = 0,   // u32 TAP_START_MAGIC
  TAP_START_HANDOVER_ID = 4,      // u32 TAP ID of the TAP being started
  TAP_START_HANDOVER_BLOCK = 8,   // u32 address of the parameter block, or 0
  TAP_START_HANDOVER_SIZE = 12,
};
static_assert(TAP_START_HANDOVER_SIZE == 3 * 4 && TAP_START_HANDOVER_BLOCK + 4 == TAP_START_HANDOVER_SIZE,
              "the hand-over is three 32-bit words");

// Firmware device event posted through "PutDevEvt" to switch the PVR off.
enum : dword { DEV_EVENT_POWER_OFF = 0xEF00 };

// A folder record of the firmware's work-folder calls ("_Z20ApplHdd_SelectFolderPvPKc"
// fills it, "_Z21ApplHdd_SetWorkFolderPv" makes it the folder programs are run from);
// "_hddTapFolder" and "_hddRecordFile" hold the addresses of two such records (the TAPs'
// folder and the folder of the recording being written).
enum {
  FOLDER_RECORD_PATH = 0,   // char[512]: a TAP path
  FOLDER_RECORD_SIZE = TAP_FOLDER_PATH_SIZE,
};

// The service, name, provider, satellite, transponder, favourites and timer tables: their
// layouts are those of platform/firmware_tables.h.
// Settings ("_applEepromAddr"): byte SETTINGS_FAV_GROUP is the selected favourites group;
// the timer padding of firmware without the padding variables is kept in the low
// SETTINGS_PADDING_BITS of two bytes.
enum {
  SETTINGS_SIZE = SETTINGS_BLOCK_SIZE,
  SETTINGS_PRE_PADDING = 24,
  SETTINGS_POST_PADDING = 25,
  SETTINGS_PADDING_BITS = 5,
};
// Recording slots ("_pvrRecInfo"): entries of the timer entry size; u16 duration at 6.
enum { RECORDING_SLOT_DURATION = 6 };
// EPG events of the firmware's pool: u32 address of the next event at offset 0.
enum { EPG_EVENT_NEXT = 0 };
// "_contentDesStr_AUS": 16 u32 addresses of the genre texts of the Australian firmware.
enum { AU_GENRE_TEXTS = 16 };
// OSD ("_osdInfo"): u32 address of the pixels, u16 width, u16 height per plane.
enum {
  OSD_PLANES = 3,
  OSD_WIDTH = 720,
  OSD_HEIGHT = 576,
  OSD_INFO_PIXELS = 0,
  OSD_INFO_WIDTH = 4,
  OSD_INFO_HEIGHT = 6,
  OSD_INFO_ENTRY_SIZE = 8,
};
static_assert(OSD_INFO_PIXELS + 4 == OSD_INFO_WIDTH && OSD_INFO_WIDTH + 2 == OSD_INFO_HEIGHT &&
                  OSD_INFO_HEIGHT + 2 == OSD_INFO_ENTRY_SIZE,
              "an OSD plane's entry: a 32-bit address and two 16-bit sizes");
// External partitions ("_extPartitionInfo"): "_nExtPartition" entries of this layout, the
// texts NUL-terminated within their fields (a text that fills its field has no NUL).
enum {
  EXT_PARTITION_PATH = 0,         // char[12]: the device, "/dev/sdb1"
  EXT_PARTITION_PATH_SIZE = 12,
  EXT_PARTITION_MOUNT = 12,       // char[16]: where it is mounted, "/mnt/sdb1"
  EXT_PARTITION_MOUNT_SIZE = 16,
  EXT_PARTITION_NAME = 28,        // char[8]: the name the PVR shows
  EXT_PARTITION_NAME_SIZE = 8,
  EXT_PARTITION_SIZE_MB = 36,     // u32: size in MiB
  EXT_PARTITION_TYPE = 40,        // u32: partition type
  EXT_PARTITION_ENTRY_SIZE = 44,
};
static_assert(EXT_PARTITION_PATH + EXT_PARTITION_PATH_SIZE == EXT_PARTITION_MOUNT &&
                  EXT_PARTITION_MOUNT + EXT_PARTITION_MOUNT_SIZE == EXT_PARTITION_NAME &&
                  EXT_PARTITION_NAME + EXT_PARTITION_NAME_SIZE == EXT_PARTITION_SIZE_MB &&
                  EXT_PARTITION_SIZE_MB + 4 == EXT_PARTITION_TYPE && EXT_PARTITION_TYPE + 4 == EXT_PARTITION_ENTRY_SIZE,
              "a partition entry: three texts, then the 32-bit size and type");
