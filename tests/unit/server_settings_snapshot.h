// The web server's settings and run-state globals, taken before a test and put back after
// it, so that a test that reads a settings file (or sets a value) leaves none of it to the
// tests that run after it, in whatever order they run.
#pragma once

#include <string.h>

#include <string>
#include <vector>

#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

class ServerSettingsSnapshot {
 public:
  void Take() {
    saved_.clear();
    for (const Global &global : Globals()) saved_.emplace_back(static_cast<const char *>(global.at), global.size);
  }
  void PutBack() const {
    const std::vector<Global> globals = Globals();
    for (size_t i = 0; i < saved_.size() && i < globals.size(); i++) memcpy(globals[i].at, saved_[i].data(), globals[i].size);
  }

 private:
  struct Global {
    void *at;
    size_t size;
  };
  // Every global the server's start and settings reader set: one list for both directions.
  static std::vector<Global> Globals() {
    return {{&gModelInfo, sizeof gModelInfo},         {&gRemoteType, sizeof gRemoteType},
            {&gRecordingStreams, sizeof gRecordingStreams}, {gRecordingExt, sizeof gRecordingExt},
            {&gBlockFactor, sizeof gBlockFactor},     {&gIsUTFFirmware, sizeof gIsUTFFirmware},
            {&gAUFirmwareFlag, sizeof gAUFirmwareFlag}, {&gUTCoffset, sizeof gUTCoffset},
            {gPVRname, sizeof gPVRname},              {&gPort, sizeof gPort},
            {&gSearchPort, sizeof gSearchPort},       {&gEPGCacheTimeout, sizeof gEPGCacheTimeout},
            {&gNextEPGOffset, sizeof gNextEPGOffset}, {&gNextEPGRefresh, sizeof gNextEPGRefresh},
            {&gEPGSource, sizeof gEPGSource},         {&gCacheControl, sizeof gCacheControl},
            {&gAuthentication, sizeof gAuthentication}, {gCredentials, sizeof gCredentials},
            {&gSEStatus, sizeof gSEStatus},           {&gSEVersion, sizeof gSEVersion},
            {&gLoggingLevel, sizeof gLoggingLevel}};
  }

  std::vector<std::string> saved_;
};
