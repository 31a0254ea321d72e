// Orvane.tap's skeleton: start-up, the event handler (the server's only scheduler), reload,
// the two stops and the PVR's own network address.
#pragma once

#include "platform/tap_api.h"

extern int gStopRun;           // 0 running, 1 stopped by the firmware, 2 stop requested
extern int allow_idle_events;  // 0 while another TAP is being started
extern dword gMyIPAddress, gMySubnetMask, gMyNetwork;   // network byte order
extern int gMyNetworkFlag;

void exitRoutine();
void getIPAddress();
