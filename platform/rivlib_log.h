// The support layer's error log "Rivlib.log". Every part of the support layer reports its
// errors here; where an entry goes depends on the deliverable, which installs its writer at
// start (a TAP: the file with the PVR's time and the PVR's console; skimlet: the file with
// the system time and its standard output). Until one is installed, entries are dropped.
#pragma once

enum { RIVLIB_TEXT_MAX = 511 };

#define RIVLIB_LOG_PATH "/mnt/hd/ProgramFiles/Settings/Rivlib.log"

// Writes one entry of at most RIVLIB_TEXT_MAX characters; console: show it there too.
typedef void (*RivlibLogWriter)(bool console, const char *text);

// Installs the writer (null: drop entries).
void SetRivlibLog(RivlibLogWriter writer);

// Formats an entry and hands it to the installed writer.
void LogEntryRivlibPrintf(bool console, const char *format, ...) __attribute__((format(printf, 2, 3)));
