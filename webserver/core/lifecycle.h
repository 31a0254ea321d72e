// Orvane.tap's skeleton: start-up, the event handler (the server's only scheduler), reload,
// the two stops and the PVR's own network address.
#pragma once

#include <pthread.h>

#include "platform/tap_api.h"

extern int gStopRun;           // 0 running, 1 stopped by the firmware, 2 stop requested
extern int allow_idle_events;  // 0 while another TAP is being started
extern dword gMyIPAddress, gMySubnetMask, gMyNetwork;   // network byte order
extern int gMyNetworkFlag;
// The EPG-search thread: status 3 means finished and waiting to be joined.
extern volatile int gApprenticeStatus, gApprenticeERRNO;
extern volatile dword gApprenticeTick;
extern pthread_t gApprenticeThread;

void exitRoutine();
void getIPAddress();

// Starts a TAP file (HDD_TAP_Start) for the server: name in folder (a TAP path; null: name
// alone, absolute or relative to the current folder), with socket polling paused while the
// firmware runs the TAP's start-up. Returns HDD_TAP_Start's result; after a failure
// HDD_TAP_StartFailure tells why.
int StartTapFile(const char *folder, const char *name, bool batch, void *parameterBlock, dword *id);
