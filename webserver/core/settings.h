// The web server's run state and settings, read from "Orvane.ini" and "PVRName.ini".
#pragma once

#include <stdint.h>

#include "platform/tap_api.h"

enum : dword { ORVANE_TAP_ID = 0x514B570F, ORVANE_CONFIG_TAP_ID = 0x514B5710 };
enum { EPG_CACHE_UNIT_TICKS = 180000 };   // 30 minutes per unit of "epgcache"

extern const byte *gModelInfo;     // the model record of this PVR, or null
extern int gRemoteType, gRecordingStreams;
extern char gRecordingExt[8];
extern int gBlockFactor;
extern int gIsUTFFirmware, gAUFirmwareFlag;
extern int16_t gUTCoffset;
extern char gPVRname[513];
extern word gPort, gSearchPort;
extern int gEPGCacheTimeout;
extern dword gNextEPGOffset, gNextEPGRefresh;
extern int gEPGSource, gCacheControl, gAuthentication;
extern char gCredentials[128];
extern int gSEStatus, gSEVersion;

// (Re)reads the model, the firmware variant, the time zone and both settings files.
void initGlobalVariables();
