// The support layer's log sinks: a time-stamped line appended to a log file, the PVR's
// console, and the TAPs' writer of the support layer's error log "Rivlib.log".
#pragma once

#include <stddef.h>

enum {
  CONSOLE_PIECE = 510,     // the console gets long texts in pieces of this many bytes
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

// A TAP's writer of the support layer's error log (see rivlib_log.h): appends the entry
// with the PVR's local time to "Rivlib.log", only when that file exists.
void RivlibLogWrite(bool console, const char *text);
