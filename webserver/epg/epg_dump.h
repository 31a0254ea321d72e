// "PVR.epg": the dump of the PVR's own EPG that skimlet searches (format in
// pvr_epg_format.h). Written to a temporary file that is renamed into place, so that a
// reader never sees half a file; not written while a search may be reading it.
#pragma once

enum {
  EPG_DUMP_FAILED = -1,   // not written: the previous file (if any) stays, the cache is not fresh
  EPG_DUMP_BUSY = -2,     // a search is starting or running: the file was left as it is
};

#define PVR_EPG_TEMP_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg.tmp"

// Writes one record per event of the firmware's pool of all events, in pool order, then the
// trailer. A missing or empty pool gives a file holding only the trailer. Returns the number
// of records written, or EPG_DUMP_FAILED / EPG_DUMP_BUSY.
int dumpEPG2File();
