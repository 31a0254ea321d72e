#include "config/logo_list.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/common_memory.h"
#include "platform/file_replace.h"
#include "platform/key_lines.h"
#include "platform/logo_store.h"

namespace {

enum { LIST_LIMIT = 4 * 1024 * 1024, LIST_NAME_LIMIT = 24 };

bool ListPath(char *out, size_t size, const char *folder, const char *name) {
  int n = snprintf(out, size, "%s/%s", folder, name);
  return n > 0 && (size_t)n < size;
}

// Reads the list into keys; a missing list is empty.
bool ReadList(const char *path, KeyText *keys) {
  char *data = nullptr;
  size_t length = 0;
  int error = ReadWholeFile(path, LIST_LIMIT, &data, &length);
  if (error && error != ENOENT) return false;
  KeyTextAdopt(keys, error ? nullptr : data, error ? 0 : length);
  return true;
}

bool WriteList(const char *path, const KeyText &keys) { return ReplaceFile(path, keys.text, keys.length) == 0; }

bool IsAddFile(const char *name, size_t n) {
  return n >= 5 && name[n - 4] == '.' && tolower((unsigned char)name[n - 3]) == 'a' &&
         tolower((unsigned char)name[n - 2]) == 'd' && tolower((unsigned char)name[n - 1]) == 'd';
}

bool IsHexDigits(const char *p, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (!isxdigit((unsigned char)p[i])) return false;
  }
  return true;
}

// Takes the lines of one ".add" text into keys. False when memory runs out.
bool MergeAddText(char *text, size_t length, KeyText *keys) {
  size_t at = 0;
  KeyLine line;
  while (KeyLineNext(text, length, &at, &line)) {
    char *start = text + line.start;
    size_t n = (size_t)(line.value ? line.value + line.valueLength - start : 0);
    if (!line.hasValue || n < 19 || start[0] != '0' || (start[1] | 0x20) != 'x' || !IsHexDigits(start + 2, 16) ||
        start[18] != '=') {
      continue;
    }
    for (size_t i = 0; i < n; i++) start[i] = (char)tolower((unsigned char)start[i]);
    const char *value = start + 19;
    size_t valueLength = n - 19;
    if (!KeyLineValueIsValid(value, valueLength)) continue;
    if (KeyTextSet(keys, start + 2, 16, value, valueLength) != 0) return false;
  }
  return true;
}

}  // namespace

int LogoListUpdate(const char *folder, const LogoChannel *channels, int count, int year, int month, int day) {
  char path[PVR_PATH_SIZE];
  KeyText keys = {nullptr, 0, 0};
  if (!ListPath(path, sizeof path, folder, "Logos.lil") || !ReadList(path, &keys)) return -1;
  int added = 0;
  bool ok = true;
  for (int i = 0; i < count && ok; i++) {
    char key[17];
    snprintf(key, sizeof key, "%16.16llx", (unsigned long long)channels[i].logoId);
    KeyLine found;
    if (KeyLineFind(keys.text, keys.length, key, 16, &found)) continue;
    char name[LIST_NAME_LIMIT + 2] = "";
    size_t prefix = channels[i].svcType == 1 ? 2 : 0;
    LogoManager_ChannelNameToLogoName(channels[i].name, name + prefix, LIST_NAME_LIMIT);
    if (prefix) memcpy(name, "r_", 2);
    char lines[96];
    int n = added ? 0 : snprintf(lines, sizeof lines, "\n\n# Added %4.4d-%2.2d-%2.2d\n", year, month, day);
    n += snprintf(lines + n, sizeof lines - (size_t)n, "%s=%s\n", key, name);
    // Appended as they are (the block's lines end in LF alone).
    if (KeyTextAppend(&keys, lines, strlen(lines)) != 0) {
      ok = false;
      break;
    }
    added++;
  }
  if (ok && added && !WriteList(path, keys)) ok = false;
  KeyTextFree(&keys);
  return ok ? added : -1;
}

int LogoListMergeAddFiles(const char *folder) {
  MappedPath host(folder);
  DIR *dir = host.c_str() ? opendir(host.c_str()) : nullptr;
  if (!dir) return 0;
  char path[PVR_PATH_SIZE];
  KeyText keys = {nullptr, 0, 0};
  if (!ListPath(path, sizeof path, folder, "Logos.lil") || !ReadList(path, &keys)) {
    closedir(dir);
    return -1;
  }
  int taken = 0;
  bool ok = true;
  while (dirent *entry = ok ? readdir(dir) : nullptr) {
    size_t n = strlen(entry->d_name);
    char file[PVR_PATH_SIZE];
    if (!IsAddFile(entry->d_name, n) || !ListPath(file, sizeof file, folder, entry->d_name) ||
        !IsRegularFile(file)) {
      continue;
    }
    char *text = nullptr;
    size_t length = 0;
    if (ReadWholeFile(file, LIST_LIMIT, &text, &length) != 0) continue;
    ok = MergeAddText(text, length, &keys) && WriteList(path, keys);
    CommonFree(text);
    if (!ok) break;
    MappedPath added(file);
    if (added.c_str()) unlink(added.c_str());
    taken++;
  }
  closedir(dir);
  KeyTextFree(&keys);
  if (taken) {
    char cache[PVR_PATH_SIZE];
    MappedPath hostCache(ListPath(cache, sizeof cache, folder, "Logo.cache") ? cache : "");
    if (hostCache.c_str()) unlink(hostCache.c_str());
  }
  return ok ? taken : -1;
}
