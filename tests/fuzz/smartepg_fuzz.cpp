// The web server's SmartEPG reader on arbitrary database files. The TAP file API is served
// from the fuzzer's input: the first byte chooses the layout and whether a valid type and
// version are put in front, for layout 13 the next two bytes where "Event.db" ends and
// "EventExtDescr.db" begins. Every record is read with its three texts, and texts at
// references taken from the input.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/support_log.h"
#include "webserver/epg/smartepg_reader.h"

struct TYPE_File {
  const std::vector<uint8_t> *data;
  size_t position;
};

namespace {

std::vector<uint8_t> gEventFile, gTextFile;
bool gHaveTextFile;

const std::vector<uint8_t> *FileOf(const char *name) {
  if (strcmp(name, SE_V13_TEXT_FILE) == 0) return gHaveTextFile ? &gTextFile : nullptr;
  return &gEventFile;
}

}  // namespace

extern "C" {
TYPE_File *TAP_Hdd_Fopen(const char *name) {
  const std::vector<uint8_t> *data = FileOf(name);
  return data ? new TYPE_File{data, 0} : nullptr;
}
dword TAP_Hdd_Fread(void *buffer, dword size, dword count, TYPE_File *file) {
  if (size == 0) return 0;
  size_t available = file->position < file->data->size() ? file->data->size() - file->position : 0;
  size_t items = available / size < count ? available / size : count;
  if (items) memcpy(buffer, file->data->data() + file->position, items * size);
  file->position += items * size;
  return (dword)items;
}
dword TAP_Hdd_Fseek(TYPE_File *file, long offset, int origin) {
  long base = origin == SEEK_CURRENT ? (long)file->position : origin == SEEK_FROM_END ? (long)file->data->size() : 0;
  if (base + offset >= 0) file->position = (size_t)(base + offset);
  return (dword)file->position;
}
dword TAP_Hdd_Flen(TYPE_File *file) { return (dword)file->data->size(); }
void TAP_Hdd_Fclose(TYPE_File *file) { delete file; }
int TAP_Hdd_Exist(const char *name) { return FileOf(name) != nullptr; }
void *TAP_MemAlloc(dword size) { return malloc(size ? size : 1); }
int TAP_MemFree(const void *address) {
  free(const_cast<void *>(address));
  return 1;
}
}

int HDD_TAP_PushDir() { return 1; }
int HDD_TAP_PopDir() { return 1; }
int HDD_ChangeDir(const char *) { return 1; }
void PrintNet(const char *) {}

namespace {

void ReadAll(dword count, const byte *(*record)(dword), const char *(*text)(dword, dword *),
             const uint8_t *extra, size_t extraSize) {
  for (dword i = 0; i < count; i++) {
    const byte *raw = record(i);
    if (!raw) abort();
    SmartEPGRecord r;
    SmartEPGParseRecord(raw, &r);
    for (uint32_t reference : {r.nameRef, r.descriptionRef, r.textRef}) {
      dword length = 0;
      const char *t = text(reference, &length);
      if (length > SE_TEXT_MAX || t[length] != '\0') abort();
    }
  }
  if (record(count)) abort();
  for (size_t i = 0; i + 4 <= extraSize && i < 64; i += 4) {
    dword length = 0;
    const char *t = text(GetLE32(extra + i), &length);
    if (length > SE_TEXT_MAX || t[length] != '\0') abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 3) return 0;
  uint8_t mode = data[0];
  bool layout15 = mode & 1;
  size_t split = GetLE16(data + 1);
  data += 3;
  size -= 3;
  if (split > size) split = size;

  gEventFile.clear();
  if (mode & 2) {   // a valid type and version in front
    static const uint8_t type[8] = {'E', 'P', 'G', '_', 'E', 'D', 'B', 0};
    gEventFile.insert(gEventFile.end(), type, type + 8);
    uint8_t version[4];
    PutLE32(version, layout15 ? SE_V15_VERSION : SE_V13_VERSION);
    gEventFile.insert(gEventFile.end(), version, version + 4);
  }
  if (layout15) {
    gEventFile.insert(gEventFile.end(), data, data + size);
    gHaveTextFile = false;
    EPGDB_SelectChannel7(0x00c000010001000aull);
    if (EPGDB_EventDBLoad7()) {
      ReadAll(EPGDB_NrOfTotalEvents7(), EPGDB_EventRecord7, EPGDB_GetEventText7, data, size);
    } else if (EPGDB_NrOfTotalEvents7() != 0 || EPGDB_EventRecord7(0)) {
      abort();
    }
    EPGDB_EventDBDestroy7();
  } else {
    gEventFile.insert(gEventFile.end(), data, data + split);
    gTextFile.assign(data + split, data + size);
    gHaveTextFile = !(mode & 4);
    if (EPGDB_EventDBLoad()) {
      ReadAll(EPGDB_NrOfTotalEvents(), EPGDB_EventRecord, EPGDB_GetEventText, data + split, size - split);
    } else if (EPGDB_NrOfTotalEvents() != 0 || EPGDB_EventRecord(0)) {
      abort();
    }
    EPGDB_EventDBDestroy();
  }
  return 0;
}
