#include "platform/ini_file.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/directory_stack.h"
#include "platform/file_replace.h"
#include "platform/tap_api.h"

char *INIBuffer;
size_t BufferSize;

namespace {

const char *const kProgramsDir = "/ProgramFiles";
const char *const kSettingsDir = "/ProgramFiles/Settings";
enum { KEY_MAX = 78, INT_TEXT_MAX = 11, BLOCK = 512, GROWTH = 1024 };

bool StartsWithNoCase(const char *text, const char *prefix) {
  for (; *prefix; text++, prefix++) {
    if (tolower((unsigned char)*text) != tolower((unsigned char)*prefix)) return false;
  }
  return true;
}

bool IsLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// A zeroed text buffer from the TAP heap, which counts in 32 bits: null for a size beyond.
char *AllocText(size_t size) {
  dword bytes = (dword)size;
  char *text = bytes == size ? static_cast<char *>(TAP_MemAlloc(bytes)) : nullptr;
  if (text) memset(text, 0, size);
  return text;
}

// The value of key in text: its start and length, or null.
const char *FindValue(const char *text, const char *key, size_t *length) {
  const char *found = INIFindKey(text, key);
  if (!found) return nullptr;
  const char *value = found + strlen(key) + 1;
  size_t n = 0;
  while (!IsLineEnd(value[n])) n++;
  *length = n;
  return value;
}

// The line of text that begins with key and "=" (letter case ignored), or null. Changes
// match whole keys only, so that "port" never changes the "searchport" line.
char *FindLineKey(char *text, const char *key) {
  size_t keyLength = strlen(key);
  for (char *p = text; *p; p++) {
    if ((p == text || p[-1] == '\r' || p[-1] == '\n') && StartsWithNoCase(p, key) && p[keyLength] == '=') return p;
  }
  return nullptr;
}

// Makes the buffer hold at least needed bytes, growing in whole KiB.
bool Reserve(size_t needed) {
  if (needed <= BufferSize) return true;
  size_t size = (needed / GROWTH + 1) * GROWTH;
  char *grown = AllocText(size);
  if (!grown) return false;
  memcpy(grown, INIBuffer, BufferSize);
  TAP_MemFree(INIBuffer);
  INIBuffer = grown;
  BufferSize = size;
  return true;
}

bool PrepareEmpty() {
  INICloseFile();
  INIBuffer = static_cast<char *>(TAP_MemAlloc(BLOCK));
  if (!INIBuffer) return false;
  memset(INIBuffer, 0, BLOCK);
  BufferSize = BLOCK;
  return true;
}

bool LoadCurrent(const char *name) {
  TYPE_File *file = TAP_Hdd_Fopen(name);
  if (!file) return false;
  dword fileLength = TAP_Hdd_Flen(file);
  // Whole blocks with room for an added line end and the NUL. A length so near 4 GiB that
  // they would pass 32 bits is refused: on the PVR the size would wrap round to a few bytes.
  size_t size = (fileLength / BLOCK + 2) * (size_t)BLOCK;
  char *text = fileLength < 0xFFFFFFFFu - 2 * BLOCK ? AllocText(size) : nullptr;
  if (!text) {
    TAP_Hdd_Fclose(file);
    return false;
  }
  size_t length = TAP_Hdd_Fread(text, 1, fileLength, file);
  TAP_Hdd_Fclose(file);
  text[length] = '\0';
  length = strlen(text);   // a NUL inside the file ends the text
  if (length == 0 || (text[length - 1] != '\r' && text[length - 1] != '\n')) {
    memcpy(text + length, "\r\n", 3);
  }
  INICloseFile();
  INIBuffer = text;
  BufferSize = size;
  return true;
}

// Changes to folder, creating it below the current folder's parent chain when missing.
bool EnterFolder(const char *parent, const char *name, bool create) {
  if (!HDD_ChangeDir(parent)) return false;
  if (create && !TAP_Hdd_Exist(name)) TAP_Hdd_Create(name, ATTR_FOLDER);
  return TAP_Hdd_ChangeDir(name) != 0;
}

bool EnterSaveFolder(int location, const char *appFolder) {
  switch (location) {
    case INILOCATION_AtCurrentDir:
      return true;
    case INILOCATION_AtAppDir:
      return EnterFolder(kProgramsDir, "Settings", true) && appFolder && *appFolder &&
             EnterFolder(kSettingsDir, appFolder, true);
    case INILOCATION_AtSettingsDir:
      return EnterFolder(kProgramsDir, "Settings", true);
    default:
      return HDD_ChangeDir(kProgramsDir) != 0;
  }
}

}  // namespace

const char *INIFindKey(const char *text, const char *key) {
  if (!text || !key || !*key) return nullptr;
  size_t keyLength = strlen(key);
  for (const char *p = text; *p; p++) {
    if (!StartsWithNoCase(p, key) || p[keyLength] != '=') continue;
    if (p > text && (p[-1] == '#' || p[-1] == ';')) continue;
    return p;
  }
  return nullptr;
}

int INIReadInt(const char *text, const char *key, int defaultValue, int minValue, int maxValue) {
  size_t length;
  const char *value = FindValue(text, key, &length);
  if (!value) return defaultValue;
  if (length > INT_TEXT_MAX) length = INT_TEXT_MAX;
  char number[INT_TEXT_MAX + 1];
  memcpy(number, value, length);
  number[length] = '\0';
  const char *digits = number[0] == '-' ? number + 1 : number;
  if (!*digits) return defaultValue;
  for (const char *p = digits; *p; p++) {
    if (!isdigit((unsigned char)*p)) return defaultValue;
  }
  long long parsed = strtoll(number, nullptr, 10);
  if (parsed < minValue) return minValue;
  if (parsed > maxValue) return maxValue;
  return (int)parsed;
}

int INIReadString(const char *text, const char *key, char *out, const char *defaultValue, size_t size) {
  if (!out || size == 0) return 0;
  size_t length = 0;
  const char *value = FindValue(text, key, &length);
  if (!value || length == 0) {
    snprintf(out, size, "%s", defaultValue ? defaultValue : "");
    return 0;
  }
  if (length >= size) length = size - 1;
  memcpy(out, value, length);
  out[length] = '\0';
  return 1;
}

int INILocateFile(const char *name, const char *appFolder) {
  if (!name || !*name) return INILOCATION_NotFound;
  if (TAP_Hdd_Exist(name)) return INILOCATION_AtCurrentDir;
  char start[DIR_STACK_ENTRY];
  if (!HDD_TAP_GetCurrentDir(start, sizeof start)) return INILOCATION_NotFound;

  int found = INILOCATION_NotFound;
  char appDir[DIR_STACK_ENTRY] = "";
  if (HDD_ChangeDir(kProgramsDir) && TAP_Hdd_Exist(name)) found = INILOCATION_AtProgramsDir;
  if (HDD_ChangeDir(kSettingsDir) && TAP_Hdd_Exist(name)) found = INILOCATION_AtSettingsDir;
  if (appFolder && *appFolder && appFolder[0] != '/') {
    int n = snprintf(appDir, sizeof appDir, "%s/%s", kSettingsDir, appFolder);
    if (n > 0 && (size_t)n < sizeof appDir && HDD_ChangeDir(appDir) && TAP_Hdd_Exist(name)) {
      found = INILOCATION_AtAppDir;
    }
  }
  switch (found) {
    case INILOCATION_AtProgramsDir: HDD_ChangeDir(kProgramsDir); break;
    case INILOCATION_AtSettingsDir: HDD_ChangeDir(kSettingsDir); break;
    case INILOCATION_AtAppDir: HDD_ChangeDir(appDir); break;
    default: HDD_ChangeDir(start); break;
  }
  return found;
}

int INIOpenFile(const char *name, const char *appFolder) {
  PushedDir saved;
  if (!saved.ok()) return 0;
  int location = INILocateFile(name, appFolder);
  if (location == INILOCATION_NotFound) return PrepareEmpty() ? INILOCATION_NewFile : 0;
  return LoadCurrent(name) ? location : 0;
}

int INIGetInt(const char *key, int defaultValue, int minValue, int maxValue) {
  if (!INIBuffer) return defaultValue;
  return INIReadInt(INIBuffer, key, defaultValue, minValue, maxValue);
}

int INIGetString(const char *key, char *out, const char *defaultValue, size_t size) {
  return INIReadString(INIBuffer ? INIBuffer : "", key, out, defaultValue, size);
}

int INISetString(const char *key, const char *value) {
  if (!INIBuffer || !key || !*key || !value) return 0;
  char cutKey[KEY_MAX + 1];
  snprintf(cutKey, sizeof cutKey, "%s", key);
  size_t keyLength = strlen(cutKey);
  size_t textLength = strlen(INIBuffer);
  size_t valueLength = strlen(value);

  const char *found = FindLineKey(INIBuffer, cutKey);
  if (found) {
    size_t start = (size_t)(found - INIBuffer);
    size_t end = start + keyLength + 1;
    while (!IsLineEnd(INIBuffer[end])) end++;
    size_t newLength = textLength - (end - start) + keyLength + 1 + valueLength;
    if (!Reserve(newLength + 1)) return 0;
    char *at = INIBuffer + start;
    memmove(at + keyLength + 1 + valueLength, INIBuffer + end, textLength - end + 1);
    memcpy(at, cutKey, keyLength);
    at[keyLength] = '=';
    memcpy(at + keyLength + 1, value, valueLength);
    return 1;
  }
  size_t newLength = textLength + keyLength + 1 + valueLength + 2;
  if (!Reserve(newLength + 1)) return 0;
  snprintf(INIBuffer + textLength, BufferSize - textLength, "%s=%s\r\n", cutKey, value);
  return 1;
}

int INISetInt(const char *key, int value) {
  char text[16];
  snprintf(text, sizeof text, "%d", value);
  return INISetString(key, text);
}

int INIKillKey(const char *key) {
  if (!INIBuffer || !key || !*key) return 0;
  char *found = FindLineKey(INIBuffer, key);
  if (!found) return 0;
  char *end = found + strlen(key) + 1;
  while (!IsLineEnd(*end)) end++;
  if (*end == '\r') end++;
  if (*end == '\n') end++;
  memmove(found, end, strlen(end) + 1);
  return 1;
}

int INISaveFile(const char *name, int location, const char *appFolder) {
  if (!INIBuffer || !name || !*name || strchr(name, '/')) return 0;
  PushedDir saved;
  char folder[DIR_STACK_ENTRY], path[PVR_PATH_SIZE];
  if (!saved.ok() || !EnterSaveFolder(location, appFolder) || !HDD_TAP_GetCurrentDir(folder, sizeof folder)) return 0;
  // Written beside the file and renamed over it: a failed write leaves the old file.
  int n = snprintf(path, sizeof path, "/mnt/hd%s/%s", strcmp(folder, "/") ? folder : "", name);
  if (n <= 0 || (size_t)n >= sizeof path) return 0;
  return ReplaceFile(path, INIBuffer, strlen(INIBuffer)) == 0 ? 1 : 0;
}

void INICloseFile() {
  if (INIBuffer) TAP_MemFree(INIBuffer);
  INIBuffer = nullptr;
  BufferSize = 0;
}
