// The web server's settings and run-state globals, taken before a test and put back after
// it, so that a test that reads a settings file (or sets a value) leaves none of it to the
// tests that run after it, in whatever order they run.
#pragma once

#include <string.h>

#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

class ServerSettingsSnapshot {
 public:
  void Take() {
    modelInfo_ = gModelInfo;
    remoteType_ = gRemoteType;
    recordingStreams_ = gRecordingStreams;
    memcpy(recordingExt_, gRecordingExt, sizeof recordingExt_);
    blockFactor_ = gBlockFactor;
    utf_ = gIsUTFFirmware;
    au_ = gAUFirmwareFlag;
    utcOffset_ = gUTCoffset;
    memcpy(pvrName_, gPVRname, sizeof pvrName_);
    port_ = gPort;
    searchPort_ = gSearchPort;
    epgCacheTimeout_ = gEPGCacheTimeout;
    nextEPGOffset_ = gNextEPGOffset;
    nextEPGRefresh_ = gNextEPGRefresh;
    epgSource_ = gEPGSource;
    cacheControl_ = gCacheControl;
    authentication_ = gAuthentication;
    memcpy(credentials_, gCredentials, sizeof credentials_);
    seStatus_ = gSEStatus;
    seVersion_ = gSEVersion;
    loggingLevel_ = gLoggingLevel;
  }
  void PutBack() const {
    gModelInfo = modelInfo_;
    gRemoteType = remoteType_;
    gRecordingStreams = recordingStreams_;
    memcpy(gRecordingExt, recordingExt_, sizeof recordingExt_);
    gBlockFactor = blockFactor_;
    gIsUTFFirmware = utf_;
    gAUFirmwareFlag = au_;
    gUTCoffset = utcOffset_;
    memcpy(gPVRname, pvrName_, sizeof pvrName_);
    gPort = port_;
    gSearchPort = searchPort_;
    gEPGCacheTimeout = epgCacheTimeout_;
    gNextEPGOffset = nextEPGOffset_;
    gNextEPGRefresh = nextEPGRefresh_;
    gEPGSource = epgSource_;
    gCacheControl = cacheControl_;
    gAuthentication = authentication_;
    memcpy(gCredentials, credentials_, sizeof credentials_);
    gSEStatus = seStatus_;
    gSEVersion = seVersion_;
    gLoggingLevel = loggingLevel_;
  }

 private:
  const byte *modelInfo_ = nullptr;
  int remoteType_ = 0, recordingStreams_ = 0;
  char recordingExt_[sizeof gRecordingExt] = {};
  int blockFactor_ = 0, utf_ = 0, au_ = 0;
  int16_t utcOffset_ = 0;
  char pvrName_[sizeof gPVRname] = {};
  word port_ = 0, searchPort_ = 0;
  int epgCacheTimeout_ = 0;
  dword nextEPGOffset_ = 0, nextEPGRefresh_ = 0;
  int epgSource_ = 0, cacheControl_ = 0, authentication_ = 0;
  char credentials_[sizeof gCredentials] = {};
  int seStatus_ = 0, seVersion_ = 0, loggingLevel_ = 0;
};
