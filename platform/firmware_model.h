// The support layer's table of PVR models, "FirmwareTMS.dat": one 348-byte record per model.
#pragma once

#include "platform/tap_api.h"

enum {
  MODEL_TABLE_MAGIC = 0x12345678,
  MODEL_TABLE_HEADER = 20,
  MODEL_RECORD_SIZE = 348,
  // Field offsets within a record.
  MODEL_SYSTEM_ID = 0,        // uint16
  MODEL_NAME = 4,             // NUL-terminated text
  MODEL_NAME_SIZE = 256,
  MODEL_APP_TYPE = 260,       // NUL-terminated text
  MODEL_APP_TYPE_SIZE = 32,
  MODEL_SYSTEM_TYPE = 292,    // uint32
  MODEL_BIG_ENDIAN = 304,     // uint32
  MODEL_REMOTE_TYPE = 320,    // uint32
  MODEL_REC_STREAMS = 324,    // uint32
  MODEL_MPG_RECORDINGS = 328, // byte: 0 ".rec" files, otherwise ".mpg"
};
static_assert(MODEL_NAME + MODEL_NAME_SIZE == MODEL_APP_TYPE && MODEL_APP_TYPE + MODEL_APP_TYPE_SIZE == MODEL_SYSTEM_TYPE &&
                  MODEL_MPG_RECORDINGS < MODEL_RECORD_SIZE,
              "a model record's fields lie within it without overlapping");

// Loads the table on first use (from "/mnt/hd/ProgramFiles/Settings/" or else
// "/mnt/hd/ProgramFiles/") and keeps it. Returns the number of records, 0 when missing.
dword FirmwareModelCount();
// Releases the loaded table; the next use loads it again.
void ReleaseFirmwareModelTable();
// The record of the model with this system ID, or null.
const byte *FindModelRecord(word systemId);

// Fields of a record.
word ModelSystemId(const byte *record);
const char *ModelName(const byte *record);     // at most MODEL_NAME_SIZE - 1 characters
dword ModelField32(const byte *record, int offset);
bool ModelRecordsAreMpg(const byte *record);
