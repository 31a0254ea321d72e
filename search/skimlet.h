// skimlet, the EPG search program: its run state and the event it builds for each EPG
// event it reads.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "platform/epg_event.h"

enum {
  SKIMLET_PATH_SIZE = 512,
  SEARCH_BUFFER_SIZE = 32768,
  SEARCH_REQUEST_LIMIT = 24576,   // more than this collected from the socket is refused
  SEARCH_CHUNK = 8192,            // bytes received per read
  SEARCH_TIME_LIMIT = 30,         // seconds for the connection and the request
  DEFINITION_NAME_SIZE = 256,
  SOURCE_PVR = 0,
  SOURCE_SMARTEPG = 1,
  DEFAULT_RESULTS_PORT = 9000,
};

#define SKIMLET_FOLDER "/mnt/hd/ProgramFiles/Settings/Orvane"

// The event of one search hit: the EPG event with the source, the channel ID and the
// definition that claimed it.
struct SkimletEvent {
  int32_t source;                  // SOURCE_PVR or SOURCE_SMARTEPG
  uint64_t channelId;              // logo ID
  int32_t definition;              // index of the matching definition
  char definitionName[DEFINITION_NAME_SIZE];
  EPGEvent event;
};

extern char gSearchFileName[SKIMLET_PATH_SIZE];
extern char gResultsFileName[SKIMLET_PATH_SIZE];
extern int gResultsPort;            // 0: results go to a file
extern int gSearchSource;           // SOURCE_PVR or SOURCE_SMARTEPG
extern int gSEver;                  // 13 or 15
extern int gAUFirmwareFlag;
extern char gSearchBuffer[SEARCH_BUFFER_SIZE];
extern int gShowProgress;
extern int gResultsCount;
extern int gWebSocketMode;
extern int gResultsSocket;
extern int gListeningSocket;
extern FILE *resultsFile;
extern time_t t0, t1;

// Console output: the formatted text and CR LF on standard output.
void PrintLine(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Opens a file named by its PVR path (mapped below ORVANE_ROOT on a PC).
FILE *OpenPvrFile(const char *pvrPath, const char *mode);

// Resets the run state to its defaults (start of a run; tests).
void ResetSkimletState();
