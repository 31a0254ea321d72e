// The status the event thread shares with the EPG-search worker (gApprenticeStatus), read
// and written atomically, so that either side sees the other's last word.
#pragma once

enum {
  APPRENTICE_IDLE = 0,
  APPRENTICE_STARTING = 1,   // the worker is being created
  APPRENTICE_RUNNING = 2,    // skimlet runs and may be reading the EPG files
  APPRENTICE_FINISHED = 3,   // skimlet ended; the worker waits to be joined
};

int ApprenticeStatusGet();
void ApprenticeStatusSet(int status);
// Whether a search is starting or running, so that the files it reads must stay as they are.
bool ApprenticeBusy();
