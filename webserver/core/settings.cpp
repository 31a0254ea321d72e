#include "webserver/core/settings.h"

#include <stdio.h>
#include <string.h>

#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "platform/ini_file.h"
#include "webserver/core/logging.h"
#include "webserver/epg/epg_genre.h"

const byte *gModelInfo;
int gRemoteType, gRecordingStreams;
char gRecordingExt[8];
int gBlockFactor;
int gIsUTFFirmware, gAUFirmwareFlag;
int16_t gUTCoffset;
char gPVRname[513];
word gPort, gSearchPort;
int gEPGCacheTimeout;
dword gNextEPGOffset, gNextEPGRefresh;
int gEPGSource, gCacheControl, gAuthentication;
char gCredentials[128];
int gSEStatus, gSEVersion;

namespace {

const char *const kAppFolder = "Orvane";   // below "/ProgramFiles/Settings"

void FindModel() {
  word systemId = TAP_GetSystemId();
  const byte *record = FindModelRecord(systemId);
  if (record) {
    gModelInfo = record;
    gRemoteType = (int)ModelField32(record, MODEL_REMOTE_TYPE);
    gRecordingStreams = (int)ModelField32(record, MODEL_REC_STREAMS);
    if (!ModelRecordsAreMpg(record)) {
      snprintf(gRecordingExt, sizeof gRecordingExt, ".rec");
      gBlockFactor = 9028;
    }
  }
  LOGF(LOG_OPERATIONAL, "Remote type is %d for sysID %d.", gRemoteType, systemId);
}

void ReadTimeZone() {
  const byte *timeInfo = FirmwareTimeInfo();
  if (timeInfo) gUTCoffset = (int16_t)GetLE16(timeInfo + TIME_INFO_UTC_OFFSET);
}

void ReadPVRName() {
  PushedDir saved;
  if (!HDD_ChangeDir("/ProgramFiles/Settings")) return;
  // The model name is the default; without a matching model the earlier name stays.
  char fallback[sizeof gPVRname];
  if (gModelInfo) {
    snprintf(fallback, sizeof fallback, "%.*s", MODEL_NAME_SIZE - 1, ModelName(gModelInfo));
  } else {
    snprintf(fallback, sizeof fallback, "%s", gPVRname[0] ? gPVRname : "PVR");
  }
  if (INIOpenFile("PVRName.ini", kAppFolder) >= INILOCATION_AtCurrentDir) {
    INIGetString("pvrname", gPVRname, fallback, sizeof gPVRname);
  } else {
    memcpy(gPVRname, fallback, sizeof gPVRname);
  }
  INICloseFile();
}

void LogConfiguration() {
  if (gLoggingLevel < LOG_DETAIL) return;
  LOGF(LOG_DETAIL, "Running configuration.");
  LOGF(LOG_DETAIL, "  PVR Name = %s.", gPVRname);
  LOGF(LOG_DETAIL, "  TCP Listening Port = %d.", gPort);
  LOGF(LOG_DETAIL, "  Logging level = %d.", gLoggingLevel);
  LOGF(LOG_DETAIL, "  EPG Source = %d.", gEPGSource);
  LOGF(LOG_DETAIL, "  Authentication = %d.", gAuthentication);
  LOGF(LOG_DETAIL, "  Cache Control = %d (%s).", gCacheControl, (gCacheControl & 1) ? "ON" : "OFF");
  LOGF(LOG_DETAIL, "  EPG Search Port = %d.", gSearchPort);
  LOGF(LOG_DETAIL, "  EPG Cache Timeout = %d, (%ld minutes).", gEPGCacheTimeout, (long)(gNextEPGOffset / 6000));
}

void ReadOrvaneIni() {
  PushedDir saved;
  HDD_ChangeDir("/ProgramFiles/Settings/Orvane");
  INIOpenFile("Orvane.ini", kAppFolder);
  gPort = (word)INIGetInt("port", 8000, 1, 65535);
  gSearchPort = (word)INIGetInt("searchport", 8800, 1, 65535);
  gEPGCacheTimeout = INIGetInt("epgcache", 0, 0, 10);
  gNextEPGRefresh = 0;
  gNextEPGOffset = (dword)gEPGCacheTimeout * EPG_CACHE_UNIT_TICKS;
  gLoggingLevel = INIGetInt("logginglevel", 0, 0, 16);
  gEPGSource = INIGetInt("epgsource", 0, 0, 1);
  gCacheControl = INIGetInt("cachecontrol", 1, 0, 511);
  gAuthentication = INIGetInt("authentication", 1, 0, 2);
  INIGetString("credentials", gCredentials, "", sizeof gCredentials);
  // Without credentials no request token can match.
  if (!gCredentials[0]) memset(gCredentials, 0xFB, sizeof gCredentials);
  LogConfiguration();
  INICloseFile();
}

}  // namespace

void initGlobalVariables() {
  snprintf(gRecordingExt, sizeof gRecordingExt, ".mpg");
  gBlockFactor = 9024;
  FindModel();
  gIsUTFFirmware = isUTFFirmware() ? 1 : 0;
  gAUFirmwareFlag = isAUFirmware() ? 1 : 0;
  ReadTimeZone();
  loadParental();
  loadGenre();
  ReadPVRName();
  ReadOrvaneIni();
  gSEStatus = 0;
  gSEVersion = -1;
}
