#include "platform/firmware_model.h"

#include <stdio.h>
#include <string.h>

#include "platform/byte_order.h"
#include "platform/pvr_path.h"

namespace {

byte *gModelTable;       // the whole file, with a NUL byte after it
dword gModelCount;
bool gModelTableTried;

// Reads a table file whole; null when it is missing, unreadable or not a model table.
byte *ReadTable(const char *pvrPath, dword *count) {
  MappedPath path(pvrPath);
  FILE *file = path.c_str() ? fopen(path.c_str(), "rb") : nullptr;
  if (!file) return nullptr;
  byte *data = nullptr;
  long length = -1;
  if (fseek(file, 0, SEEK_END) == 0) length = ftell(file);
  if (length >= MODEL_TABLE_HEADER && fseek(file, 0, SEEK_SET) == 0) {
    data = static_cast<byte *>(TAP_MemAlloc((dword)length + 1));
    if (data && fread(data, 1, (size_t)length, file) != (size_t)length) {
      TAP_MemFree(data);
      data = nullptr;
    }
  }
  fclose(file);
  if (!data) return nullptr;
  data[length] = 0;
  if (GetLE32(data) != MODEL_TABLE_MAGIC || GetLE32(data + 8) != 0) {
    TAP_MemFree(data);
    return nullptr;
  }
  // Only whole records that the file really holds are used.
  dword claimed = GetLE32(data + 12);
  dword present = (dword)((length - MODEL_TABLE_HEADER) / MODEL_RECORD_SIZE);
  *count = claimed < present ? claimed : present;
  return data;
}

}  // namespace

dword FirmwareModelCount() {
  if (!gModelTableTried) {
    gModelTableTried = true;
    gModelTable = ReadTable("/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat", &gModelCount);
    if (!gModelTable) gModelTable = ReadTable("/mnt/hd/ProgramFiles/FirmwareTMS.dat", &gModelCount);
    if (!gModelTable) gModelCount = 0;
  }
  return gModelCount;
}

void ReleaseFirmwareModelTable() {
  if (gModelTable) TAP_MemFree(gModelTable);
  gModelTable = nullptr;
  gModelCount = 0;
  gModelTableTried = false;
}

const byte *FindModelRecord(word systemId) {
  dword count = FirmwareModelCount();
  for (dword i = 0; i < count; i++) {
    const byte *record = gModelTable + MODEL_TABLE_HEADER + i * MODEL_RECORD_SIZE;
    if (ModelSystemId(record) == systemId) return record;
  }
  return nullptr;
}

word ModelSystemId(const byte *record) { return GetLE16(record + MODEL_SYSTEM_ID); }

const char *ModelName(const byte *record) {
  // The name field is terminated by the record itself at worst (the app type follows);
  // a name that fills its field is cut there by the readers' bounded copies.
  return reinterpret_cast<const char *>(record + MODEL_NAME);
}

dword ModelField32(const byte *record, int offset) { return GetLE32(record + offset); }

bool ModelRecordsAreMpg(const byte *record) { return record[MODEL_MPG_RECORDINGS] != 0; }
