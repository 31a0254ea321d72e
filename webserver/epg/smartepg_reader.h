// The SmartEPG TAP's database as the web server reads it: which layout the running SmartEPG
// uses, all events of layout 13 ("Event.db" with its text file "EventExtDescr.db"), the
// events of one channel of layout 15 (a file per channel in "EPGDB"), and their texts.
//
// The files come from another program and are untrusted: every count is held to the
// records the file really has, every text to the file's end and to SE_TEXT_MAX bytes.
//
// Contract for callers: a database that is missing, unreadable, of another type or
// version, or too large for the memory at hand does not load: the load gives 0, the count
// is 0 and no record is returned. The EPG answer then reports "error":1 with "count":0.
// A database is loaded for one request and destroyed at its end.
#pragma once

#include <stdint.h>

#include "platform/tap_api.h"
#include "platform/smartepg_format.h"

enum : dword { SMARTEPG_TAP_ID = 0x8E0A424E };

enum {
  SE_LAYOUT_NOT_RUNNING = -1,
  SE_LAYOUT_13 = 1,
  SE_LAYOUT_15 = 2,
  SE_TEXT_MAX = 8193,          // bytes of a text returned at most (the longest kept field)
  SE_CHANNEL_NAME_SIZE = 128,  // EVENTDBNAME7
};

// TAP paths of the database.
#define SE_TAP_FOLDER "/ProgramFiles/Settings/SmartEPG_TMS"
#define SE_TAP_V15_FOLDER "/ProgramFiles/Settings/SmartEPG_TMS/EPGDB"

// Layout of a SmartEPG version text ("V6.3", as in the TAP's version section): major
// versions below 7 use layout 13, later ones and unparsable texts layout 15.
int SmartEPGLayoutOfVersion(const char *versionText);
// Reads "V<major>.<minor>" from a version text; returns the numbers read (0, 1 or 2).
int SmartEPGParseVersion(const char *versionText, int *major, int *minor);

// Finds the running SmartEPG TAP and the layout of its version. Sets gSEStatus (1 running,
// 0 not found); returns SE_LAYOUT_NOT_RUNNING, SE_LAYOUT_13 or SE_LAYOUT_15.
int findSmartEPGVersion();
// Learns once whether SmartEPG runs and which layout it uses (gSEStatus, gSEVersion), as
// the EPG answer and the search launch both do; returns gSEVersion when SmartEPG can be
// used (SE_LAYOUT_13 or SE_LAYOUT_15), else 0.
int settleSmartEPG();

// ---- layout 13 ----
// Non-zero when "Event.db" or "EventExtDescr.db" exists in the SmartEPG folder.
int EPGDB_EventDBExists();
// Reads the header and the records (at most SE_V13_MAX_RECORDS, at most what the file
// holds) and opens the text file. 1 loaded, 0 failed (nothing loaded).
int EPGDB_EventDBLoad();
// Records loaded; loads first when nothing is loaded. 0 when the load fails.
dword EPGDB_NrOfTotalEvents();
// The bytes of record index (SE_V13_RECORD_SIZE of them), null when index is not loaded.
const byte *EPGDB_EventRecord(dword index);
// The text at a reference of the text file: terminated, at most SE_TEXT_MAX bytes, empty
// when the reference or its length lies outside the file. Valid until the next call.
// length (may be null) receives the bytes returned.
const char *EPGDB_GetEventText(dword reference, dword *length);
// Frees the records and closes the text file.
void EPGDB_EventDBDestroy();

// ---- layout 15 ----
// The file of the channel to read: "%016llx.eventdb" of its logo ID.
extern char EVENTDBNAME7[SE_CHANNEL_NAME_SIZE];
void EPGDB_SelectChannel7(uint64_t logoId);
// Non-zero when the channel file or "EventExtDescr.db" exists in the EPGDB folder.
int EPGDB_EventDB7Exists7();
int EPGDB_EventDBLoad7();
dword EPGDB_NrOfTotalEvents7();
const byte *EPGDB_EventRecord7(dword index);
const char *EPGDB_GetEventText7(dword reference, dword *length);
void EPGDB_EventDBDestroy7();
