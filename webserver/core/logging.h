// The web server's log: one call, LogWriteEntry, filtered by gLoggingLevel, reaching
// "Orvane.log" (time-stamped), the console and, for network-trace entries, the per-run
// "Orvane-Network.log".
#pragma once

#include <stdio.h>

#include "platform/tap_api.h"

enum {
  LOG_OPERATIONAL = 1,   // start, stop, requests, failures
  LOG_DETAIL = 2,        // configuration, parsed requests, decisions, timing, parameters
  LOG_NETWORK = 3,       // socket set-up, connections, sizes, send results
  LOG_ENTRY_SIZE = 8096,
};

extern int gLoggingLevel;
extern char logEntry[LOG_ENTRY_SIZE];   // every message is formatted here first
extern char puffer[1024];               // console lines
extern TYPE_File *logHandle;            // the open "Orvane-Network.log"

void LogWriteEntry(int level, const char *text);
// Deletes, creates and opens "Orvane-Network.log" in the current folder.
void OpenNetworkLog();
void CloseNetworkLog();

// Formats into logEntry and logs, only when the level is enabled: nothing is formatted
// (and no argument evaluated) for suppressed entries.
#define LOGF(level, ...)                                        \
  do {                                                          \
    if (gLoggingLevel >= (level)) {                             \
      snprintf(logEntry, sizeof logEntry, __VA_ARGS__);         \
      LogWriteEntry((level), logEntry);                         \
    }                                                           \
  } while (0)
