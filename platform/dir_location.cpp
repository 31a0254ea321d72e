#include "platform/dir_location.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/text_helpers.h"
#include "platform/path_rules.h"
#include "platform/pvr_path.h"

namespace {

void Clear(char *text, size_t size) {
  if (text && size > 0) text[0] = '\0';
}

// Appends "/" when the text does not end with one and it fits.
void AddTrailingSlash(char *text, size_t size) {
  size_t length = strlen(text);
  if ((length == 0 || text[length - 1] != '/') && length + 1 < size) {
    text[length] = '/';
    text[length + 1] = '\0';
  }
}

// Decodes the mount table's octal escapes ("\040" for a blank) in place.
void DecodeOctalEscapes(char *text) {
  char *to = text;
  for (const char *from = text; *from;) {
    if (from[0] == '\\' && from[1] >= '0' && from[1] <= '3' && from[2] >= '0' && from[2] <= '7' && from[3] >= '0' &&
        from[3] <= '7') {
      char c = (char)((from[1] - '0') << 6 | (from[2] - '0') << 3 | (from[3] - '0'));
      if (c == '\0') break;
      *to++ = c;
      from += 4;
    } else {
      *to++ = *from++;
    }
  }
  *to = '\0';
}

// Cuts the next blank-separated field out of *line (in place); null when there is none.
char *NextField(char **line) {
  char *p = *line;
  while (*p == ' ' || *p == '\t') p++;
  if (!*p || *p == '\n') return nullptr;
  char *start = p;
  while (*p && *p != ' ' && *p != '\t' && *p != '\n') p++;
  if (*p) *p++ = '\0';
  *line = p;
  return start;
}

}  // namespace

int HDD_FindSymbolicLink(const char *path, char *linkTarget, size_t targetSize, char *resolvedPath,
                         size_t resolvedSize) {
  Clear(linkTarget, targetSize);
  Clear(resolvedPath, resolvedSize);
  if (!path || path[0] != '/') return 0;
  size_t length = strlen(path);
  if (length >= PVR_PATH_SIZE) return 0;
  char prefix[PVR_PATH_SIZE];
  char target[PVR_PATH_SIZE];
  for (size_t end = 1; end <= length; end++) {
    if (end < length && path[end] != '/') continue;
    memcpy(prefix, path, end);
    prefix[end] = '\0';
    MappedPath mapped(prefix);
    if (!mapped.c_str()) continue;
    ssize_t n = readlink(mapped.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    if ((size_t)n >= sizeof target - 1) return 0;   // too long to be taken whole
    target[n] = '\0';
    // The path through the link: from the link's folder when the text is relative.
    char through[3 * PVR_PATH_SIZE];
    const char *folderEnd = strrchr(prefix, '/');
    int written = target[0] == '/' ? snprintf(through, sizeof through, "%s%s", target, path + end)
                                   : snprintf(through, sizeof through, "%.*s/%s%s", (int)(folderEnd - prefix),
                                              prefix, target, path + end);
    if (written < 0 || (size_t)written >= sizeof through) return 0;
    if (linkTarget) CopyBounded(linkTarget, targetSize, target, (size_t)n);
    char normalised[PVR_PATH_SIZE];
    if (resolvedPath && NormalisePath(through, normalised, sizeof normalised)) {
      CopyBounded(resolvedPath, resolvedSize, normalised, sizeof normalised);
    }
    return (int)n;
  }
  return 0;
}

int HDD_FindMountPointDevice(const char *path, char *mountPoint, size_t mountSize, char *device, size_t deviceSize) {
  Clear(mountPoint, mountSize);
  Clear(device, deviceSize);
  char wanted[PVR_PATH_SIZE];
  if (!path || !NormalisePath(path, wanted, sizeof wanted)) return 0;
  MappedPath table("/proc/mounts");
  FILE *file = table.c_str() ? fopen(table.c_str(), "r") : nullptr;
  if (!file) return 0;
  char line[MOUNT_LINE_SIZE];
  size_t best = 0;
  bool found = false;
  for (int lines = 0; lines < MOUNT_LINES && fgets(line, sizeof line, file); lines++) {
    if (!strchr(line, '\n') && strlen(line) == sizeof line - 1) {
      // Longer than a line can be: the rest of it is passed over and nothing taken from it.
      while (fgets(line, sizeof line, file) && !strchr(line, '\n')) {
      }
      continue;
    }
    char *p = line;
    char *deviceField = NextField(&p);
    char *folderField = NextField(&p);
    if (!deviceField || !folderField) continue;
    DecodeOctalEscapes(deviceField);
    DecodeOctalEscapes(folderField);
    size_t folderLength = strlen(folderField);
    if (!PathIsWithin(wanted, folderField) || (found && folderLength < best)) continue;
    found = true;
    best = folderLength;
    if (mountPoint) CopyBounded(mountPoint, mountSize, folderField, folderLength);
    if (device) CopyBounded(device, deviceSize, deviceField, strlen(deviceField));
  }
  fclose(file);
  if (!found) return 0;
  if (mountPoint) AddTrailingSlash(mountPoint, mountSize);
  if (device) AddTrailingSlash(device, deviceSize);
  return 1;
}

void GetDirLocation(const char *path, DirLocation *where) {
  if (!where) return;
  char resolved[PVR_PATH_SIZE];
  bool linked = HDD_FindSymbolicLink(path, where->link, sizeof where->link, resolved, sizeof resolved) > 0;
  HDD_FindMountPointDevice(linked ? resolved : path, where->mount, sizeof where->mount, where->device,
                           sizeof where->device);
  if (strncmp(where->device, "/dev/", 5) != 0) {
    where->location = 3;
  } else if (strncmp(where->device, "/dev/sda", 8) != 0) {
    where->location = 2;
  } else {
    where->location = linked ? 1 : 0;
  }
}
