#include "webserver/epg/smartepg_reader.h"

#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/directory_stack.h"
#include "platform/support_log.h"

char EVENTDBNAME7[SE_CHANNEL_NAME_SIZE];

namespace {

// One loaded database: its header, the records in TAP memory, and the file its texts
// are read from.
struct LoadedDB {
  bool loaded;
  SmartEPGHeader header;
  byte *records;
  dword count;              // records loaded
  dword recordSize;
  TYPE_File *texts;
  dword textsLength;
  uint64_t textBase;        // file offset of text reference 0
  char text[SE_TEXT_MAX + 1];
};

LoadedDB gEventDB = {};     // layout 13
LoadedDB gEventDB7 = {};    // layout 15

// Messages go to the console, as the support layer's database messages always have.
void Report(const char *format, ...) __attribute__((format(printf, 1, 2)));
void Report(const char *format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof line - 1, format, args);
  va_end(args);
  if (n < 0) return;
  size_t length = strlen(line);
  line[length] = '\n';
  line[length + 1] = '\0';
  PrintNet(line);
}

// Opens name in a TAP folder; the TAP's current folder is kept.
TYPE_File *OpenIn(const char *folder, const char *name) {
  PushedDir saved;
  if (!saved.ok() || !HDD_ChangeDir(folder)) return nullptr;
  return TAP_Hdd_Fopen(name);
}

// Reads exactly n bytes at offset; false when the file has fewer there.
bool ReadAt(TYPE_File *file, uint64_t offset, void *out, dword n) {
  if (offset > 0x7FFFFFFF) return false;
  if (TAP_Hdd_Fseek(file, (long)offset, SEEK_START) != (dword)offset) return false;
  return n == 0 || TAP_Hdd_Fread(out, 1, n, file) == n;
}

void Clear(LoadedDB *db) {
  if (db->records) TAP_MemFree(db->records);
  if (db->texts) TAP_Hdd_Fclose(db->texts);
  db->loaded = false;
  memset(&db->header, 0, sizeof db->header);
  db->records = nullptr;
  db->count = 0;
  db->texts = nullptr;
  db->textsLength = 0;
  db->textBase = 0;
  db->text[0] = '\0';
}

// What distinguishes the two layouts' loads.
struct Layout {
  const char *tag;          // "EPGDB" or "EPGDB7"
  const char *folder;
  const char *eventFile;
  const char *textFile;     // null: the texts follow the records in the event file
  uint32_t version;
  dword recordSize;
  dword maxRecords;         // 0: as many as the file holds
};

// Reads the header and the records the file really holds: the header's count, cut to the
// whole records after the header and to the layout's maximum, and then to what was read.
bool ReadRecords(LoadedDB *db, const Layout &layout, TYPE_File *file) {
  byte raw[SE_HEADER_SIZE];
  dword fileLength = TAP_Hdd_Flen(file);
  if (!ReadAt(file, 0, raw, SE_HEADER_SIZE)) {
    Report("%s: unexpected DBType of '%s'", layout.tag, layout.eventFile);
    return false;
  }
  SmartEPGParseHeader(raw, &db->header);
  if (strcmp(db->header.type, SE_DB_TYPE) != 0) {
    Report("%s: unexpected DBType of '%s'", layout.tag, layout.eventFile);
    return false;
  }
  if (db->header.version != layout.version) {
    Report("%s: unexpected version of '%s'", layout.tag, layout.eventFile);
    return false;
  }
  dword held = fileLength > SE_HEADER_SIZE ? (fileLength - SE_HEADER_SIZE) / layout.recordSize : 0;
  dword count = db->header.count < held ? db->header.count : held;
  if (layout.maxRecords && count > layout.maxRecords) count = layout.maxRecords;
  db->recordSize = layout.recordSize;
  if (count == 0) return true;
  dword bytes = count * layout.recordSize;   // at most the file's length: no overflow
  db->records = static_cast<byte *>(TAP_MemAlloc(bytes));
  if (!db->records) {
    Report("%s: unable to allocate '%" PRIu32 "' bytes for EPG events '%s'", layout.tag, bytes, layout.eventFile);
    return false;
  }
  if (TAP_Hdd_Fseek(file, SE_HEADER_SIZE, SEEK_START) != SE_HEADER_SIZE) return false;
  db->count = TAP_Hdd_Fread(db->records, layout.recordSize, count, file);
  if (db->count > count) db->count = count;
  return true;
}

int Load(LoadedDB *db, const Layout &layout) {
  Clear(db);
  TYPE_File *file = OpenIn(layout.folder, layout.eventFile);
  if (!file) {
    Report("%s: failed to load '%s'", layout.tag, layout.eventFile);
    return 0;
  }
  if (!ReadRecords(db, layout, file)) {
    TAP_Hdd_Fclose(file);
    Clear(db);
    return 0;
  }
  if (layout.textFile) {
    TAP_Hdd_Fclose(file);
    file = OpenIn(layout.folder, layout.textFile);
    if (!file) {
      Report("%s: failed to load '%s'", layout.tag, layout.textFile);
      Clear(db);
      return 0;
    }
    db->textBase = 0;
  } else {
    // Texts follow the records and four bytes of their own; the header's count places them.
    db->textBase = SmartEPGV15TextOffset(0, db->header.count);
  }
  db->texts = file;
  db->textsLength = TAP_Hdd_Flen(file);
  db->loaded = true;
  return 1;
}

// The text stored at file offset textBase + reference: a 32-bit length, then the bytes.
const char *Text(LoadedDB *db, dword reference, dword *length) {
  db->text[0] = '\0';
  if (length) *length = 0;
  if (!db->texts) return db->text;
  uint64_t at = db->textBase + reference;
  byte word[SE_TEXT_LENGTH_SIZE];
  if (at + SE_TEXT_LENGTH_SIZE > db->textsLength || !ReadAt(db->texts, at, word, sizeof word)) return db->text;
  uint64_t stored = GetLE32(word);
  uint64_t available = db->textsLength - (at + SE_TEXT_LENGTH_SIZE);
  dword n = (dword)(stored < available ? stored : available);
  if (n > SE_TEXT_MAX) n = SE_TEXT_MAX;
  if (n > 0 && TAP_Hdd_Fread(db->text, 1, n, db->texts) != n) n = 0;
  db->text[n] = '\0';
  if (length) *length = n;
  return db->text;
}

const byte *Record(const LoadedDB &db, dword index) {
  return db.loaded && index < db.count ? db.records + (size_t)index * db.recordSize : nullptr;
}

const Layout kLayout13 = {"EPGDB", SE_TAP_FOLDER, SE_V13_EVENT_FILE, SE_V13_TEXT_FILE, SE_V13_VERSION,
                          SE_V13_RECORD_SIZE, SE_V13_MAX_RECORDS};

Layout Layout15() {
  Layout layout = {"EPGDB7", SE_TAP_V15_FOLDER, EVENTDBNAME7, nullptr, SE_V15_VERSION, SE_V15_RECORD_SIZE, 0};
  return layout;
}

bool ExistsIn(const char *folder, const char *name) {
  PushedDir saved;
  return saved.ok() && HDD_ChangeDir(folder) && TAP_Hdd_Exist(name);
}

}  // namespace

int SmartEPGParseVersion(const char *versionText, int *major, int *minor) {
  if (!versionText || versionText[0] != 'V') return 0;
  char *end;
  long value = strtol(versionText + 1, &end, 10);
  if (end == versionText + 1) return 0;
  *major = (int)value;
  if (*end != '.') return 1;
  const char *next = end + 1;
  value = strtol(next, &end, 10);
  if (end == next) return 1;
  *minor = (int)value;
  return 2;
}

int SmartEPGLayoutOfVersion(const char *versionText) {
  int major = 0, minor = 0;
  if (SmartEPGParseVersion(versionText, &major, &minor) < 1) return SE_LAYOUT_15;
  return major < 7 ? SE_LAYOUT_13 : SE_LAYOUT_15;
}

int EPGDB_EventDBExists() {
  return ExistsIn(SE_TAP_FOLDER, SE_V13_EVENT_FILE) || ExistsIn(SE_TAP_FOLDER, SE_V13_TEXT_FILE);
}

int EPGDB_EventDBLoad() { return Load(&gEventDB, kLayout13); }

dword EPGDB_NrOfTotalEvents() {
  if (!gEventDB.loaded) EPGDB_EventDBLoad();
  return gEventDB.count;
}

const byte *EPGDB_EventRecord(dword index) { return Record(gEventDB, index); }

const char *EPGDB_GetEventText(dword reference, dword *length) {
  if (!gEventDB.loaded) EPGDB_EventDBLoad();
  return Text(&gEventDB, reference, length);
}

void EPGDB_EventDBDestroy() { Clear(&gEventDB); }

void EPGDB_SelectChannel7(uint64_t logoId) {
  snprintf(EVENTDBNAME7, sizeof EVENTDBNAME7, "%016" PRIx64 ".eventdb", logoId);
}

int EPGDB_EventDB7Exists7() {
  return (EVENTDBNAME7[0] && ExistsIn(SE_TAP_V15_FOLDER, EVENTDBNAME7)) ||
         ExistsIn(SE_TAP_V15_FOLDER, SE_V13_TEXT_FILE);
}

int EPGDB_EventDBLoad7() {
  if (!EVENTDBNAME7[0]) {
    Clear(&gEventDB7);
    Report("EPGDB7: failed to load '%s'", EVENTDBNAME7);
    return 0;
  }
  return Load(&gEventDB7, Layout15());
}

dword EPGDB_NrOfTotalEvents7() {
  if (!gEventDB7.loaded) EPGDB_EventDBLoad7();
  return gEventDB7.count;
}

const byte *EPGDB_EventRecord7(dword index) { return Record(gEventDB7, index); }

const char *EPGDB_GetEventText7(dword reference, dword *length) {
  if (!gEventDB7.loaded) EPGDB_EventDBLoad7();
  return Text(&gEventDB7, reference, length);
}

void EPGDB_EventDBDestroy7() { Clear(&gEventDB7); }
