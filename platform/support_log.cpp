#include "platform/support_log.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "platform/directory_stack.h"
#include "platform/firmware_layout.h"
#include "platform/pvr_path.h"
#include "platform/pvr_text.h"
#include "platform/rivlib_log.h"
#include "platform/tap_api.h"

namespace {

enum { CONSOLES = 20 };

struct PvrClock {
  word mjd, year;
  byte month, day, weekDay, hour, minute, second;
};

PvrClock ReadClock() {
  PvrClock c = {};
  TAP_GetTime(&c.mjd, &c.hour, &c.minute, &c.second);
  TAP_ExtractMjd(c.mjd, &c.year, &c.month, &c.day, &c.weekDay);
  return c;
}

// The PVR's local time as seconds since 1970, for file times.
time_t PvrUnixTime() {
  PvrClock c = ReadClock();
  return ((time_t)c.mjd - 40587) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
}

void TouchFile(const char *path) {
  struct utimbuf times;
  times.actime = times.modtime = PvrUnixTime();
  utime(path, &times);
}

// Appends prefix, text and CR LF to the file at a host path.
void AppendLine(const char *path, const char *prefix, const char *text, bool mustExist) {
  FILE *file = fopen(path, mustExist ? "r+b" : "ab");
  if (!file) return;
  if (mustExist) fseek(file, 0, SEEK_END);
  fputs(prefix, file);
  if (*text) fputs(text, file);
  fputs("\r\n", file);
  fclose(file);
  TouchFile(path);
}

// Prints text to the console in pieces of at most CONSOLE_PIECE bytes.
void PrintPieces(const char *text) {
  char piece[CONSOLE_PIECE + 1];
  size_t length = strlen(text);
  for (size_t at = 0; at < length; at += CONSOLE_PIECE) {
    size_t n = length - at < (size_t)CONSOLE_PIECE ? length - at : (size_t)CONSOLE_PIECE;
    memcpy(piece, text + at, n);
    piece[n] = '\0';
    PrintNet(piece);
  }
}

}  // namespace

char *LogTimePrefix(int timeFormat, char *out, size_t size) {
  if (!out || size == 0) return out;
  out[0] = '\0';
  if (timeFormat < 1 || timeFormat > 6) return out;
  PvrClock c = ReadClock();
  switch (timeFormat) {
    case 1: snprintf(out, size, "%02d:%02d", c.hour, c.minute); break;
    case 2: snprintf(out, size, "%02d:%02d:%02d", c.hour, c.minute, c.second); break;
    case 3: snprintf(out, size, "%02d-%02d-%02d", c.year, c.month, c.day); break;
    case 4: snprintf(out, size, "%04d-%02d-%02d %02d:%02d", c.year, c.month, c.day, c.hour, c.minute); break;
    case 5:
      snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
               c.minute, c.second);
      break;
    case 6: snprintf(out, size, "%04d%02d%02d_%02d%02d", c.year, c.month, c.day, c.hour, c.minute); break;
  }
  return out;
}

void LogEntry(const char *fileName, const char *programName, bool console, int timeFormat,
              const char *text) {
  if (!text) return;
  char prefix[40];
  LogTimePrefix(timeFormat, prefix, sizeof prefix - 1);
  if (prefix[0]) strcat(prefix, " ");

  if (fileName && *fileName) {
    char folder[TAP_FOLDER_PATH_SIZE] = "";
    char pvrPath[PVR_PATH_SIZE];
    HDD_TAP_GetCurrentDir(folder, sizeof folder);
    int n = snprintf(pvrPath, sizeof pvrPath, "/mnt/hd%s/%s", strcmp(folder, "/") ? folder : "",
                     fileName);
    MappedPath path(pvrPath);
    if (n > 0 && (size_t)n < sizeof pvrPath && path.c_str()) AppendLine(path.c_str(), prefix, text, false);
  }

  if (console) {
    if (timeFormat != 0) PrintNet(prefix);
    if (programName && *programName) {
      char name[80];
      snprintf(name, sizeof name, "%s: ", programName);
      PrintNet(name);
    }
    // The console shows the PVR's single-byte character set.
    size_t length = strlen(text);
    char *single = static_cast<char *>(TAP_MemAlloc((dword)length + 1));
    if (single) {
      StrToISO(text, single);
      PrintPieces(single);
      TAP_MemFree(single);
    } else {
      PrintPieces(text);
    }
    PrintNet("\n");
  }
}

void PrintNet(const char *text) {
  if (!text) return;
  for (int i = 0; i < CONSOLES; i++) {
    char pvrPath[32];
    snprintf(pvrPath, sizeof pvrPath, "/dev/pts/%d", i);
    MappedPath path(pvrPath);
    if (!path.c_str()) return;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) continue;
    ssize_t ignored = write(fd, text, strlen(text) + 1);
    (void)ignored;
    close(fd);
    return;
  }
}

void RivlibLogWrite(bool console, const char *text) {
  if (!text) return;
  char prefix[32];
  LogTimePrefix(5, prefix, sizeof prefix - 1);
  strcat(prefix, " ");
  MappedPath settings("/mnt/hd/ProgramFiles/Settings");
  if (settings.c_str()) mkdir(settings.c_str(), 0775);
  MappedPath path(RIVLIB_LOG_PATH);
  if (path.c_str()) AppendLine(path.c_str(), prefix, text, true);
  if (console) {
    char line[RIVLIB_TEXT_MAX + 64];
    snprintf(line, sizeof line, "%sRIVLIB - %.*s\n", prefix, RIVLIB_TEXT_MAX, text);
    PrintNet(line);
  }
}
