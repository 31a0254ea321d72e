// The logo store of the configuration TAP: the logo files of the user's logo packs,
//   "/ProgramFiles/Settings/Logos/<style>/<aspect>/<logo name>.<qtl|ibl|qsl>",
// kept together in "Logo.cache" in that folder as TAP bitmaps whose pixel data is TFD-
// compressed, and the list "Logos.lil" that names the logo of each channel (key: the logo
// ID as 16 hex digits, value: the logo name).
//
// A logo file is an 8-byte header (width and height, 32-bit little-endian words of which
// the low 16 bits count) followed by width x height pixels of 4 bytes (blue, green, red,
// alpha, as the OSD keeps them).
//
// "Logo.cache" (little-endian): "LGC" and a zero byte, version 2 (u32), record count (u32),
// then one 80-byte record per logo: channel ID (u64, 0), logo name (44 bytes, at most 40
// characters, NUL-terminated), style, size, aspect, offset and length of the image data,
// a pointer slot (0) and a reserved word (u32 each). The image data is a 16-byte bitmap
// header (1, 0, 0, 2; a pointer word 0; the pixel data's length; width and height as u16)
// and the pixel data compressed by CompressTFD (block type 1, system identifier 0xFFFF).
// The cache is untrusted when read: every count, offset and length is checked against the
// file's size, and a cache that fails a check is deleted (and built again when opened).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/pvr_path.h"
#include "platform/tap_api.h"

enum {
  LOGO_STYLES = 9,
  LOGO_SIZES = 3,                 // 0 ".qtl", 1 ".ibl", 2 ".qsl"
  LOGO_ASPECTS = 2,               // 0 "43" (4:3), 1 "169" (16:9)
  LOGO_NAME_FIELD = 44,
  LOGO_NAME_MAX = 40,
  LOGO_FILE_HEADER = 8,
  LOGO_FILE_LIMIT = 4 * 1024 * 1024,
  LOGO_BITMAP_HEADER = 16,
  LOGO_CACHE_HEADER = 12,
  LOGO_CACHE_RECORD = 80,
  LOGO_CACHE_VERSION = 2,
  LOGO_TFD_BLOCK_TYPE = 1,
  LOGO_TFD_SYSTEM_ID = 0xFFFF,
};

// The style folders, by style number: "3pg", "qtblue", ... "trans-qtgrey".
extern const char *const gLogoStyleFolders[LOGO_STYLES];
extern const char *const gLogoAspectFolders[LOGO_ASPECTS];
extern const char *const gLogoSizeExtensions[LOGO_SIZES];   // "qtl", "ibl", "qsl"

// The logo folder of the PVR: "/mnt/hd/ProgramFiles/Settings/Logos".
extern const char kLogoFolder[];

enum LogoStoreResult {
  LOGO_STORE_OK = 0,
  LOGO_STORE_NO_MEMORY = 1,
  LOGO_STORE_WRITE_FAILED = 2,
  LOGO_STORE_INVALID_CACHE = 3,   // the cache failed a check and was deleted
  LOGO_STORE_NO_CACHE = 4,
};

// What building the cache met: logos stored; files skipped (shorter than their header);
// files that could not be used (unreadable, pixel data shorter than width x height,
// memory that ran out), which are not counted as logos.
struct LogoCacheReport {
  int logos;
  int skipped;
  int failed;
};

// Builds "Logo.cache" in folder (a PVR path) from the logo files of every style and aspect
// folder below it, written to a temporary file and renamed into place.
int LogoCacheBuild(const char *folder, LogoCacheReport *report);

struct LogoRecord {
  uint64_t channelId;
  char name[LOGO_NAME_FIELD];
  dword style;
  dword size;
  dword aspect;
  dword offset;           // of the image data in the cache
  dword length;
  byte *image;            // the image data once read (common allocator), else null
};

struct LogoStore {
  LogoRecord *records;
  dword count;
  char cache[PVR_PATH_SIZE];   // the cache's PVR path
  char *list;                  // the text of "Logos.lil" (null when there is none)
  size_t listLength;
};

// Reads the cache's records from folder (its image data is read on first use), and the
// list "Logos.lil". With rebuild set, a missing or invalid cache is built first.
int LogoStoreOpen(LogoStore *store, const char *folder, int rebuild);
void LogoStoreClose(LogoStore *store);

// The record of a logo name (letter case ignored) with the style, size and aspect, or null.
LogoRecord *LogoStoreFindByName(LogoStore *store, const char *name, dword style, dword size, dword aspect);
// The logo that "Logos.lil" names for a logo ID, or null.
LogoRecord *LogoStoreFindById(LogoStore *store, uint64_t logoId, dword style, dword size, dword aspect);
// A channel's logo (LogoManager_GetLogoByChannel): by its PC-safe name, else by its logo ID.
LogoRecord *LogoStoreFindChannel(LogoStore *store, const char *logoName, uint64_t logoId, dword style,
                                 dword size, dword aspect);
// The record's image data (bitmap header and compressed pixels), read from the cache on
// first use and kept; null when it cannot be read or its header is not a logo bitmap.
const byte *LogoStoreImage(LogoStore *store, LogoRecord *record, dword *length);

// The PC-safe name of a channel (LogoManager_ChannelNameToLogoName): without its character-
// table bytes, in ISO 8859-1, lower-cased, only a-z, 0-9, "+" and the umlauts, which become
// "ae", "oe", "ue". out holds size bytes and is always terminated.
void LogoManager_ChannelNameToLogoName(const char *channelName, char *out, size_t size);
