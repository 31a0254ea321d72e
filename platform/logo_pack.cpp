#include "platform/logo_pack.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/common_memory.h"
#include "platform/file_replace.h"
#include "platform/pvr_path.h"
#include "platform/shell_command.h"

namespace {

const char kBusybox[] = "/mnt/hd/ProgramFiles/busybox";
const char kPack[] = "LogoPack.tar";
const char *const kPackFiles[] = {"LogoPack.tar", "Logos.lil", "lil.add"};
enum { COMMAND_SIZE = 3 * PVR_PATH_SIZE + 64, LISTING_LIMIT = 4 * 1024 * 1024, MAX_DEPTH = 8 };

bool Join(char *out, size_t size, const char *folder, const char *name) {
  int n = snprintf(out, size, "%s/%s", folder, name);
  return n > 0 && (size_t)n < size;
}

// The reason goes into the HTML-ish log of the sheet: markup in a name is not taken over.
void Reason(LogoPackReport *report, const char *text, const char *detail) {
  snprintf(report->reason, sizeof report->reason, "%s%s%.100s%s", text, detail ? " '" : "", detail ? detail : "",
           detail ? "'" : "");
  for (char *p = report->reason; *p; p++) {
    if (*p == '<' || *p == '>' || *p == '&' || (unsigned char)*p < 0x20) *p = '?';
  }
}

// Removes a folder and everything below it (rm -rf on the mapped, quoted path).
void RemoveTree(const char *pvrPath) {
  char command[COMMAND_SIZE] = "rm -rf ";
  if (ShellAppendPath(command, sizeof command, pvrPath)) RunShellCommand(command);
}

// Checks a busybox "tar tv" listing with its messages: "<mode> <owner> <size> <date>
// <time> <name>" a line, where links carry " -> <target>"; a message ("tar: removing
// leading '../' ...") tells of a name that tar would have changed. Returns 1 when every
// entry is a plain file or folder with a safe name, there is no message and at least one
// entry is there.
int CheckListing(char *listing, LogoPackReport *report) {
  int entries = 0;
  for (char *line = listing; line && *line;) {
    char *end = strchr(line, '\n');
    if (end) *end = '\0';
    if (*line) {
      if (!strncmp(line, "tar: ", 5)) {
        Reason(report, "a name that leaves the logo folder:", line + 5);
        return 0;
      }
      if (line[0] != '-' && line[0] != 'd') {
        Reason(report, "an entry that is not a plain file or folder:", line);
        return 0;
      }
      char *name = line;
      for (int field = 0; field < 5 && name; field++) {
        name = strchr(name, ' ');
        while (name && *name == ' ') name++;
      }
      if (!name || strstr(name, " -> ") || strstr(name, " link to ")) {
        Reason(report, "an entry that cannot be read or is a link:", line);
        return 0;
      }
      if (!LogoPackNameIsSafe(name)) {
        Reason(report, "an entry outside the logo folder:", name);
        return 0;
      }
      entries++;
    }
    line = end ? end + 1 : nullptr;
  }
  if (!entries) Reason(report, "an empty or unreadable pack", nullptr);
  return entries > 0;
}

bool MakeFolders(const char *hostPath) {
  char path[PVR_PATH_SIZE];
  snprintf(path, sizeof path, "%s", hostPath);
  for (char *p = path + 1; *p; p++) {
    if (*p != '/') continue;
    *p = '\0';
    if (mkdir(path, 0755) != 0 && errno != EEXIST) return false;
    *p = '/';
  }
  return mkdir(path, 0755) == 0 || errno == EEXIST;
}

// Moves the plain files below from (host paths) to the same place below to; anything else
// (links, devices) fails the move. Returns false on the first failure.
bool MoveTree(const char *from, const char *to, int depth, LogoPackReport *report) {
  if (depth > MAX_DEPTH) {
    Reason(report, "folders nested too deep", nullptr);
    return false;
  }
  DIR *dir = opendir(from);
  if (!dir) return false;
  bool ok = MakeFolders(to);
  while (dirent *entry = ok ? readdir(dir) : nullptr) {
    if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, "..")) continue;
    char source[PVR_PATH_SIZE], target[PVR_PATH_SIZE];
    struct stat s;
    if (!Join(source, sizeof source, from, entry->d_name) || !Join(target, sizeof target, to, entry->d_name) ||
        lstat(source, &s) != 0) {
      ok = false;
    } else if (S_ISDIR(s.st_mode)) {
      ok = MoveTree(source, target, depth + 1, report);
    } else if (S_ISREG(s.st_mode)) {
      struct stat t;
      if (lstat(target, &t) == 0 && !S_ISREG(t.st_mode)) {
        Reason(report, "a file would replace something else:", entry->d_name);
        ok = false;
      } else {
        ok = rename(source, target) == 0;
        report->files += ok;
      }
    } else {
      Reason(report, "an unpacked entry that is not a plain file:", entry->d_name);
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

int LogoPackNameIsSafe(const char *name) {
  if (!name || !*name || name[0] == '/') return 0;
  for (const char *p = name; *p; p++) {
    if ((unsigned char)*p < 0x20 || *p == 0x7F || *p == '\\') return 0;
  }
  for (const char *segment = name; segment;) {
    const char *slash = strchr(segment, '/');
    size_t length = slash ? (size_t)(slash - segment) : strlen(segment);
    if (length == 2 && segment[0] == '.' && segment[1] == '.') return 0;
    segment = slash ? slash + 1 : nullptr;
  }
  return 1;
}

int LogoPackCollect(const char *folder) {
  int moved = 0;
  for (char drive = 'b'; drive <= 'e'; drive++) {
    for (int partition = 0; partition < 2; partition++) {
      for (const char *name : kPackFiles) {
        char source[PVR_PATH_SIZE];
        if (partition) snprintf(source, sizeof source, "/mnt/sd%c%c/%s", drive, '1', name);
        else snprintf(source, sizeof source, "/mnt/sd%c/%s", drive, name);
        if (!IsRegularFile(source)) continue;
        char command[COMMAND_SIZE] = "mv ";
        if (ShellAppendPath(command, sizeof command, source) && ShellAppend(command, sizeof command, " ") &&
            ShellAppendPath(command, sizeof command, folder) && RunShellCommand(command) == 0) {
          moved++;
        }
      }
    }
  }
  return moved;
}

int LogoPackExtract(const char *folder, LogoPackReport *report) {
  LogoPackReport ignored;
  if (!report) report = &ignored;
  memset(report, 0, sizeof *report);
  char pack[PVR_PATH_SIZE], listFile[PVR_PATH_SIZE], temporary[PVR_PATH_SIZE], cache[PVR_PATH_SIZE];
  if (!Join(pack, sizeof pack, folder, kPack) || !IsRegularFile(pack)) return LOGO_PACK_NONE;
  if (!Join(listFile, sizeof listFile, folder, ".LogoPack.list") ||
      !Join(temporary, sizeof temporary, folder, ".LogoPack.tmp") || !Join(cache, sizeof cache, folder, "Logo.cache")) {
    Reason(report, "a logo folder path too long", nullptr);
    return LOGO_PACK_FAILED;
  }
  if (!IsRegularFile(kBusybox)) {
    Reason(report, "no tar program:", kBusybox);
    return LOGO_PACK_FAILED;
  }

  // 1. The listing, checked entry by entry.
  char command[COMMAND_SIZE] = "";
  int listed = ShellAppendPath(command, sizeof command, kBusybox) && ShellAppend(command, sizeof command, " tar tvf ") &&
               ShellAppendPath(command, sizeof command, pack) && ShellAppend(command, sizeof command, " > ") &&
               ShellAppendPath(command, sizeof command, listFile) && ShellAppend(command, sizeof command, " 2>&1") &&
               RunShellCommand(command) == 0;
  char *listing = nullptr;
  size_t length = 0;
  if (listed) listed = ReadWholeFile(listFile, LISTING_LIMIT, &listing, &length) == 0;
  MappedPath mappedList(listFile);
  if (mappedList.c_str()) unlink(mappedList.c_str());
  if (!listed) {
    CommonFree(listing);
    Reason(report, "the pack cannot be listed", nullptr);
    return LOGO_PACK_FAILED;
  }
  int safe = memchr(listing, 0, length) == nullptr && CheckListing(listing, report);
  CommonFree(listing);
  if (!safe) return LOGO_PACK_REFUSED;

  // 2. Unpacked into an empty temporary folder.
  MappedPath hostTemporary(temporary), hostFolder(folder);
  if (!hostTemporary.c_str() || !hostFolder.c_str()) return LOGO_PACK_FAILED;
  RemoveTree(temporary);
  if (mkdir(hostTemporary.c_str(), 0755) != 0) {
    Reason(report, "the temporary folder cannot be made", nullptr);
    return LOGO_PACK_FAILED;
  }
  command[0] = '\0';
  bool ok = ShellAppend(command, sizeof command, "cd ") && ShellAppendPath(command, sizeof command, temporary) &&
            ShellAppend(command, sizeof command, " && ") && ShellAppendPath(command, sizeof command, kBusybox) &&
            ShellAppend(command, sizeof command, " tar xf ") && ShellAppendPath(command, sizeof command, pack) &&
            RunShellCommand(command) == 0;
  if (!ok) Reason(report, "the pack cannot be unpacked", nullptr);

  // 3. Its plain files moved into place.
  if (ok) ok = MoveTree(hostTemporary.c_str(), hostFolder.c_str(), 0, report);
  if (!ok && !report->reason[0]) Reason(report, "the unpacked files cannot be moved into place", nullptr);
  RemoveTree(temporary);
  if (!ok) return LOGO_PACK_FAILED;
  MappedPath hostPack(pack), hostCache(cache);
  if (hostPack.c_str()) unlink(hostPack.c_str());
  if (hostCache.c_str()) unlink(hostCache.c_str());
  return LOGO_PACK_EXTRACTED;
}
