// The support layer's log sinks: a time-stamped line appended to a log file, the PVR's
// console, and the support layer's own error log "Rivlib.log".
#pragma once

#include <stddef.h>

enum {
  CONSOLE_PIECE = 510,     // the console gets long texts in pieces of this many bytes
  RIVLIB_TEXT_MAX = 511,
};

// Formats the PVR's current local time in one of the time formats 1..6 (0 and anything
// else give an empty text). Returns out.
char *LogTimePrefix(int timeFormat, char *out, size_t size);

// Appends prefix, text and CR LF to fileName (relative to the TAP's current folder) and,
// when console is set, prints the same to the console.
void LogEntry(const char *fileName, const char *programName, bool console, int timeFormat,
              const char *text);

// Writes text to the first console (pseudo-terminal) that opens; dropped when none does.
void PrintNet(const char *text);

// Logs an error of the support layer to "Rivlib.log", only when that file exists.
void LogEntryRivlibPrintf(bool console, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
