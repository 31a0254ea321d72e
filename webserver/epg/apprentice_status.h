// The state the event thread shares with the EPG-search worker: the status, the errno of a
// failed start and the tick at which skimlet started, each read and written atomically, so
// that either side sees the other's last word.
#pragma once

#include "platform/tap_api.h"

enum {
  APPRENTICE_IDLE = 0,
  APPRENTICE_STARTING = 1,   // skimlet and its worker are being started
  APPRENTICE_RUNNING = 2,    // skimlet runs and may be reading the EPG files
  APPRENTICE_FINISHED = 3,   // skimlet ended; the worker waits to be joined
};

extern int gApprenticeStatus, gApprenticeERRNO;
extern dword gApprenticeTick;

int ApprenticeStatusGet();
void ApprenticeStatusSet(int status);
// Whether a search is starting or running, so that the files it reads must stay as they are.
bool ApprenticeBusy();
int ApprenticeErrnoGet();
void ApprenticeErrnoSet(int error);
dword ApprenticeTickGet();
void ApprenticeTickSet(dword tick);
