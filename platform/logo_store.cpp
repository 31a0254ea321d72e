#include "platform/logo_store.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "common/common_memory.h"
#include "platform/byte_order.h"
#include "platform/file_replace.h"
#include "platform/key_lines.h"
#include "platform/pvr_text.h"
#include "platform/tfd_compress.h"

const char *const gLogoStyleFolders[LOGO_STYLES] = {"3pg", "qtblue", "qtgrey", "qttms", "trans-black",
                                                    "trans-ibblue", "trans-ibgrey", "trans-qtblue",
                                                    "trans-qtgrey"};
const char *const gLogoAspectFolders[LOGO_ASPECTS] = {"43", "169"};
const char *const gLogoSizeExtensions[LOGO_SIZES] = {"qtl", "ibl", "qsl"};
const char kLogoFolder[] = "/mnt/hd/ProgramFiles/Settings/Logos";

namespace {

const char kCacheName[] = "Logo.cache";
const char kListName[] = "Logos.lil";
const byte kCacheMagic[4] = {'L', 'G', 'C', 0};
const byte kBitmapKind[4] = {1, 0, 0, 2};

// Texts equal but for the letter case of A-Z.
bool SameName(const char *a, const char *b) {
  for (; *a && tolower((unsigned char)*a) == tolower((unsigned char)*b); a++, b++) {
  }
  return tolower((unsigned char)*a) == tolower((unsigned char)*b);
}

// A logo file found in the style and aspect folders.
struct LogoFile {
  char name[LOGO_NAME_FIELD];
  char file[256];
  dword style, size, aspect;
};

// A growing array of logo files.
struct LogoFiles {
  LogoFile *items;
  int count, capacity;
};

bool Append(LogoFiles *files, const LogoFile &file) {
  if (files->count == files->capacity) {
    int capacity = files->capacity ? files->capacity * 2 : 64;
    LogoFile *grown = static_cast<LogoFile *>(CommonAlloc(sizeof(LogoFile) * (size_t)capacity));
    if (!grown) return false;
    if (files->count) memcpy(grown, files->items, sizeof(LogoFile) * (size_t)files->count);
    CommonFree(files->items);
    files->items = grown;
    files->capacity = capacity;
  }
  files->items[files->count++] = file;
  return true;
}

int CompareFiles(const void *a, const void *b) {
  return strcmp(static_cast<const LogoFile *>(a)->file, static_cast<const LogoFile *>(b)->file);
}

// The size number of a file name's extension ("qtl", "ibl", "qsl", any letter case), or -1.
int SizeOfName(const char *name) {
  size_t n = strlen(name);
  if (n < 5 || name[n - 4] != '.') return -1;
  for (int size = 0; size < LOGO_SIZES; size++) {
    if (SameName(name + n - 3, gLogoSizeExtensions[size])) return size;
  }
  return -1;
}

int FolderPath(char *out, size_t size, const char *folder, dword style, dword aspect, const char *file) {
  int n = snprintf(out, size, "%s/%s/%s%s%s", folder, gLogoStyleFolders[style], gLogoAspectFolders[aspect],
                   file ? "/" : "", file ? file : "");
  return n > 0 && (size_t)n < size;
}

// Lists the logo files of one style and aspect folder, in name order. False when memory
// runs out.
bool ListFolder(const char *folder, dword style, dword aspect, LogoFiles *files, LogoCacheReport *report) {
  char pvrPath[PVR_PATH_SIZE];
  if (!FolderPath(pvrPath, sizeof pvrPath, folder, style, aspect, nullptr)) return true;
  MappedPath path(pvrPath);
  DIR *dir = path.c_str() ? opendir(path.c_str()) : nullptr;
  if (!dir) return true;
  int first = files->count;
  bool ok = true;
  while (dirent *entry = readdir(dir)) {
    int size = SizeOfName(entry->d_name);
    size_t length = strlen(entry->d_name);
    if (size < 0 || length >= sizeof(LogoFile::file)) continue;
    char filePath[PVR_PATH_SIZE];
    if (!FolderPath(filePath, sizeof filePath, folder, style, aspect, entry->d_name) || !IsRegularFile(filePath)) {
      continue;
    }
    LogoFile file;
    memset(&file, 0, sizeof file);
    memcpy(file.file, entry->d_name, length + 1);
    size_t nameLength = length - 4;
    if (nameLength > LOGO_NAME_MAX) nameLength = LOGO_NAME_MAX;
    memcpy(file.name, entry->d_name, nameLength);
    file.style = style;
    file.size = (dword)size;
    file.aspect = aspect;
    if (!Append(files, file)) {
      report->failed++;
      ok = false;
      break;
    }
  }
  closedir(dir);
  qsort(files->items + first, (size_t)(files->count - first), sizeof(LogoFile), CompareFiles);
  return ok;
}

static_assert(8 + LOGO_NAME_FIELD == 52 && 68 + 4 <= LOGO_CACHE_RECORD && LOGO_NAME_MAX < LOGO_NAME_FIELD,
              "a cache record: the channel ID, the name field and five 32-bit words");

void PutRecord(byte *r, const LogoFile &file, dword offset, dword length) {
  memset(r, 0, LOGO_CACHE_RECORD);
  PutLE64(r, 0);
  memcpy(r + 8, file.name, strnlen(file.name, LOGO_NAME_MAX));
  PutLE32(r + 52, file.style);
  PutLE32(r + 56, file.size);
  PutLE32(r + 60, file.aspect);
  PutLE32(r + 64, offset);
  PutLE32(r + 68, length);
}

// Reads one logo file and makes its image data (bitmap header and compressed pixels) in
// *image. Returns 1 for an image, 0 for a file to skip, -1 for one that cannot be used.
int MakeImage(const char *folder, const LogoFile &file, byte **image, dword *length) {
  *image = nullptr;
  char pvrPath[PVR_PATH_SIZE];
  if (!FolderPath(pvrPath, sizeof pvrPath, folder, file.style, file.aspect, file.file)) return -1;
  char *data;
  size_t size;
  if (ReadWholeFile(pvrPath, LOGO_FILE_LIMIT, &data, &size) != 0) return -1;
  if (size < LOGO_FILE_HEADER) {
    CommonFree(data);
    return 0;
  }
  word width = (word)GetLE32(data), height = (word)GetLE32(data + 4);
  dword pixels = (dword)width * height * 4;
  if (width == 0 || height == 0 || size - LOGO_FILE_HEADER < pixels) {
    CommonFree(data);
    return -1;
  }
  const byte *source = reinterpret_cast<const byte *>(data) + LOGO_FILE_HEADER;
  byte *out = static_cast<byte *>(CommonAlloc(LOGO_BITMAP_HEADER + TFDMaxSize(pixels)));
  dword packed = out ? CompressTFD(source, pixels, out + LOGO_BITMAP_HEADER, LOGO_TFD_BLOCK_TYPE,
                                   LOGO_TFD_SYSTEM_ID, nullptr)
                     : 0;
  CommonFree(data);
  if (!packed) {
    CommonFree(out);
    return -1;
  }
  memcpy(out, kBitmapKind, 4);
  PutLE32(out + 4, 0);
  PutLE32(out + 8, pixels);
  PutLE16(out + 12, width);
  PutLE16(out + 14, height);
  *image = out;
  *length = LOGO_BITMAP_HEADER + packed;
  return 1;
}

int CachePath(char *out, size_t size, const char *folder, const char *name) {
  int n = snprintf(out, size, "%s/%s", folder, name);
  return n > 0 && (size_t)n < size;
}

void RemoveFile(const char *pvrPath) {
  MappedPath path(pvrPath);
  if (path.c_str()) unlink(path.c_str());
}

// Reads and checks the header and records of a cache file.
int LoadRecords(LogoStore *store) {
  MappedPath path(store->cache);
  FILE *file = path.c_str() ? fopen(path.c_str(), "rb") : nullptr;
  if (!file) return LOGO_STORE_NO_CACHE;
  byte header[LOGO_CACHE_HEADER];
  int result = LOGO_STORE_INVALID_CACHE;
  long fileSize = -1;
  if (fseek(file, 0, SEEK_END) == 0) fileSize = ftell(file);
  if (fileSize >= LOGO_CACHE_HEADER && fseek(file, 0, SEEK_SET) == 0 &&
      fread(header, 1, sizeof header, file) == sizeof header && memcmp(header, kCacheMagic, 4) == 0 &&
      GetLE32(header + 4) == LOGO_CACHE_VERSION) {
    dword count = GetLE32(header + 8);
    uint64_t recordsEnd = LOGO_CACHE_HEADER + (uint64_t)count * LOGO_CACHE_RECORD;
    if (recordsEnd <= (uint64_t)fileSize) result = LOGO_STORE_OK;
    byte *raw = nullptr;
    if (result == LOGO_STORE_OK && count) {
      raw = static_cast<byte *>(CommonAlloc((size_t)count * LOGO_CACHE_RECORD));
      store->records = static_cast<LogoRecord *>(CommonAlloc(sizeof(LogoRecord) * count));
      if (!raw || !store->records) result = LOGO_STORE_NO_MEMORY;
      else if (fread(raw, LOGO_CACHE_RECORD, count, file) != count) result = LOGO_STORE_INVALID_CACHE;
    }
    for (dword i = 0; result == LOGO_STORE_OK && i < count; i++) {
      const byte *r = raw + (size_t)i * LOGO_CACHE_RECORD;
      LogoRecord &record = store->records[i];
      record.channelId = GetLE64(r);
      memcpy(record.name, r + 8, LOGO_NAME_FIELD);
      record.style = GetLE32(r + 52);
      record.size = GetLE32(r + 56);
      record.aspect = GetLE32(r + 60);
      record.offset = GetLE32(r + 64);
      record.length = GetLE32(r + 68);
      record.image = nullptr;
      bool valid = memchr(record.name, 0, LOGO_NAME_FIELD) && record.style < LOGO_STYLES &&
                   record.size < LOGO_SIZES && record.aspect < LOGO_ASPECTS && record.offset >= recordsEnd &&
                   record.length >= LOGO_BITMAP_HEADER &&
                   (uint64_t)record.offset + record.length <= (uint64_t)fileSize;
      if (!valid) result = LOGO_STORE_INVALID_CACHE;
      store->count = i + 1;
    }
    CommonFree(raw);
  }
  fclose(file);
  if (result != LOGO_STORE_OK) {
    CommonFree(store->records);
    store->records = nullptr;
    store->count = 0;
  }
  return result;
}


}  // namespace

int LogoCacheBuild(const char *folder, LogoCacheReport *report) {
  LogoCacheReport ignored;
  if (!report) report = &ignored;
  memset(report, 0, sizeof *report);
  LogoFiles files = {nullptr, 0, 0};
  int result = LOGO_STORE_OK;
  for (dword style = 0; style < LOGO_STYLES && result == LOGO_STORE_OK; style++) {
    for (dword aspect = 0; aspect < LOGO_ASPECTS && result == LOGO_STORE_OK; aspect++) {
      if (!ListFolder(folder, style, aspect, &files, report)) result = LOGO_STORE_NO_MEMORY;
    }
  }
  char cache[PVR_PATH_SIZE];
  if (!CachePath(cache, sizeof cache, folder, kCacheName)) result = LOGO_STORE_WRITE_FAILED;
  // The records' room is kept for every file found; files that fail leave it unused.
  size_t recordBytes = (size_t)files.count * LOGO_CACHE_RECORD;
  byte *records = static_cast<byte *>(CommonAlloc(LOGO_CACHE_HEADER + recordBytes));
  if (!records) result = LOGO_STORE_NO_MEMORY;
  ReplacingFile out;
  if (result == LOGO_STORE_OK) {
    memset(records, 0, LOGO_CACHE_HEADER + recordBytes);
    if (ReplacingFileOpen(&out, cache) == 0) ReplacingFileWrite(&out, records, LOGO_CACHE_HEADER + recordBytes);
    dword offset = (dword)(LOGO_CACHE_HEADER + recordBytes);
    for (int i = 0; i < files.count && !out.error; i++) {
      byte *image;
      dword length;
      int made = MakeImage(folder, files.items[i], &image, &length);
      if (made <= 0) {
        (made == 0 ? report->skipped : report->failed)++;
        continue;
      }
      if (ReplacingFileWrite(&out, image, length) == 0) {
        PutRecord(records + LOGO_CACHE_HEADER + (size_t)report->logos * LOGO_CACHE_RECORD, files.items[i], offset, length);
        offset += length;
        report->logos++;
      }
      CommonFree(image);
    }
    memcpy(records, kCacheMagic, 4);
    PutLE32(records + 4, LOGO_CACHE_VERSION);
    PutLE32(records + 8, (dword)report->logos);
    ReplacingFileWriteAt(&out, 0, records, LOGO_CACHE_HEADER + recordBytes);
    if (ReplacingFileCommit(&out) != 0) result = LOGO_STORE_WRITE_FAILED;
  }
  CommonFree(records);
  CommonFree(files.items);
  return result;
}

int LogoStoreOpen(LogoStore *store, const char *folder, int rebuild) {
  memset(store, 0, sizeof *store);
  if (!CachePath(store->cache, sizeof store->cache, folder, kCacheName)) return LOGO_STORE_NO_CACHE;
  int result = LoadRecords(store);
  if (result == LOGO_STORE_INVALID_CACHE) RemoveFile(store->cache);
  if ((result == LOGO_STORE_INVALID_CACHE || result == LOGO_STORE_NO_CACHE) && rebuild) {
    result = LogoCacheBuild(folder, nullptr);
    if (result == LOGO_STORE_OK) result = LoadRecords(store);
  }
  char list[PVR_PATH_SIZE];
  if (CachePath(list, sizeof list, folder, kListName) &&
      ReadWholeFile(list, LOGO_FILE_LIMIT, &store->list, &store->listLength) != 0) {
    store->list = nullptr;
    store->listLength = 0;
  }
  return result;
}

void LogoStoreClose(LogoStore *store) {
  for (dword i = 0; i < store->count; i++) CommonFree(store->records[i].image);
  CommonFree(store->records);
  CommonFree(store->list);
  memset(store, 0, sizeof *store);
}

LogoRecord *LogoStoreFindByName(LogoStore *store, const char *name, dword style, dword size, dword aspect) {
  if (!name || !*name) return nullptr;
  for (dword i = 0; i < store->count; i++) {
    LogoRecord &r = store->records[i];
    if (r.style == style && r.size == size && r.aspect == aspect && SameName(r.name, name)) return &r;
  }
  return nullptr;
}

LogoRecord *LogoStoreFindById(LogoStore *store, uint64_t logoId, dword style, dword size, dword aspect) {
  char key[17];
  snprintf(key, sizeof key, "%16.16llx", (unsigned long long)logoId);
  KeyLine line;
  if (!KeyLineFind(store->list, store->listLength, key, 16, &line)) return nullptr;
  char name[LOGO_NAME_FIELD];
  size_t length = line.valueLength;
  while (length && (line.value[length - 1] == ' ' || line.value[length - 1] == '\t')) length--;
  if (length == 0 || length > LOGO_NAME_MAX) return nullptr;
  memcpy(name, line.value, length);
  name[length] = '\0';
  return LogoStoreFindByName(store, name, style, size, aspect);
}

LogoRecord *LogoStoreFindChannel(LogoStore *store, const char *logoName, uint64_t logoId, dword style,
                                 dword size, dword aspect) {
  LogoRecord *found = LogoStoreFindByName(store, logoName, style, size, aspect);
  return found ? found : LogoStoreFindById(store, logoId, style, size, aspect);
}

const byte *LogoStoreImage(LogoStore *store, LogoRecord *record, dword *length) {
  if (!record) return nullptr;
  if (!record->image) {
    MappedPath path(store->cache);
    FILE *file = path.c_str() ? fopen(path.c_str(), "rb") : nullptr;
    if (!file) return nullptr;
    byte *image = static_cast<byte *>(CommonAlloc(record->length));
    bool read = image && fseek(file, (long)record->offset, SEEK_SET) == 0 &&
                fread(image, 1, record->length, file) == record->length;
    fclose(file);
    // A bitmap of this kind whose pixel length is its width x height x 4.
    if (!read || memcmp(image, kBitmapKind, 4) != 0 ||
        GetLE32(image + 8) != (dword)GetLE16(image + 12) * GetLE16(image + 14) * 4) {
      CommonFree(image);
      return nullptr;
    }
    record->image = image;
  }
  if (length) *length = record->length;
  return record->image;
}

void LogoManager_ChannelNameToLogoName(const char *channelName, char *out, size_t size) {
  if (!out || size == 0) return;
  out[0] = '\0';
  if (!channelName) return;
  enum { NAME_INPUT = 128 };
  char name[NAME_INPUT];
  snprintf(name, sizeof name, "%s", SkipCharTableBytes(channelName));
  char utf8[4 * NAME_INPUT + 1], latin[4 * NAME_INPUT + 1];
  StrToUTF8(name, utf8, gDefaultCharacterSet);
  StrToISO(utf8, latin);
  size_t n = 0;
  for (const byte *p = (const byte *)latin; *p; p++) {
    byte c = *p;
    if (c >= 'A' && c <= 'Z') c = (byte)(c - 'A' + 'a');
    if (c == 0xC4 || c == 0xD6 || c == 0xDC) c = (byte)(c + 0x20);   // Ä Ö Ü
    const char *text = nullptr;
    char single[2] = {(char)c, 0};
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+') text = single;
    else if (c == 0xE4) text = "ae";
    else if (c == 0xF6) text = "oe";
    else if (c == 0xFC) text = "ue";
    if (!text) continue;
    size_t add = strlen(text);
    if (n + add >= size) break;
    memcpy(out + n, text, add);
    n += add;
  }
  out[n] = '\0';
}
