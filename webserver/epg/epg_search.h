// The EPG search: "/api?epg!search" prepares the events skimlet reads ("PVR.epg" for the
// PVR's own EPG, refreshed by its expiry), starts skimlet as a child process of its own and
// answers at once with the port on which skimlet serves the results.
//
// At most one skimlet runs. A worker thread waits for it and reports through the shared
// status (apprentice_status.h); the event handler joins the worker once skimlet has ended.
// When Orvane.tap stops, skimlet is ended and the worker joined before the TAP goes, so no
// thread is left to return into unloaded code.
#pragma once

#include "platform/tap_api.h"

#define SKIMLET_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/skimlet"
#define SKIMLET_OUTPUT_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/search_output.txt"

enum {
  SEARCH_STARTING = 0,         // "error_code" of the answer
  SEARCH_ALREADY_RUNNING = 1,
  SEARCH_START_FAILED = 2,
  SEARCH_DUMP_FAILED = 3,
  SEARCH_SOURCE_SIZE = 128,
};

extern char gApprenticeSource[SEARCH_SOURCE_SIZE];   // the source text handed to skimlet

// "/api?epg!search": params is the handler parameter text ("epgsource"/"source", "cache").
void APIskimlet(const char *params);
// Starts skimlet with the source text and the worker that waits for it. 1 when skimlet
// runs; 0 when it could not be started (the status is back to idle, gApprenticeERRNO says
// why).
int startApprentice(const char *sourceText);
// The worker thread: waits for skimlet to end, then reports the finished status.
void *runApprentice(void *argument);
// Makes skimlet executable (owner, group and others) when it is not. 1 when the file could
// be opened. Called once by TAP_Main.
int checkApprentice();

// The event handler's step on every event: logs a failed start, and joins the worker once
// skimlet has ended (then writes the description dumps a reload held back).
void ApprenticeEventCheck();
// Ends a running skimlet (its whole process group) and joins the worker. Called when the
// TAP stops.
void StopApprentice();
// Writes the genre and parental dumps again (after a reload), or, while a search may read
// them, as soon as it has ended.
void RefreshSearchDumps();
