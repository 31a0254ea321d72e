// Orvane.tap's settings: the model lookup, both settings files and the firmware variant.
#include "webserver/core/settings.h"

#include <string.h>

#include "emulator/emulator.h"
#include "platform/firmware_model.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/logging.h"

namespace {

class Settings : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    // The demo disk's generator writes the model table independently of the reader.
    int status = -1;
    RunCommand("/usr/bin/python3 " ORVANE_SOURCE_DIR "/tools/make_demo_disk.py " + root_, &status);
    ASSERT_EQ(status, 0);
    ReleaseFirmwareModelTable();
    gPVRname[0] = '\0';
  }
  void TearDown() override {
    ReleaseFirmwareModelTable();
    gLoggingLevel = 0;
    EmulatedPvr::TearDown();
  }
  void Ini(const std::string &text) { WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini", text); }
  std::string Log() { return ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log"); }
};

TEST_F(Settings, DefaultsWithoutAFile) {
  Ini("");
  initGlobalVariables();
  EXPECT_EQ(gPort, 8000);
  EXPECT_EQ(gSearchPort, 8800);
  EXPECT_EQ(gEPGCacheTimeout, 0);
  EXPECT_EQ(gLoggingLevel, 0);
  EXPECT_EQ(gEPGSource, 0);
  EXPECT_EQ(gCacheControl, 1);
  EXPECT_EQ(gAuthentication, 1);
  for (unsigned char c : gCredentials) EXPECT_EQ(c, 0xFB);   // no token can match
  EXPECT_EQ(gSEStatus, 0);
  EXPECT_EQ(gSEVersion, -1);
}

TEST_F(Settings, ValuesAreClampedAndMalformedOnesDefault) {
  Ini("port=65536\r\nsearchport=abc\r\nepgcache=3\r\nlogginglevel=-4\r\nepgsource=7\r\n"
      "cachecontrol=2\r\nauthentication=1x\r\ncredentials=dXNlcjpwYXNz\r\n");
  initGlobalVariables();
  EXPECT_EQ(gPort, 65535);
  EXPECT_EQ(gSearchPort, 8800);
  EXPECT_EQ(gEPGCacheTimeout, 3);
  EXPECT_EQ(gNextEPGOffset, 540000u);
  EXPECT_EQ(gNextEPGRefresh, 0u);
  EXPECT_EQ(gLoggingLevel, 0);
  EXPECT_EQ(gEPGSource, 1);
  EXPECT_EQ(gCacheControl, 2);
  EXPECT_EQ(gAuthentication, 1);
  EXPECT_STREQ(gCredentials, "dXNlcjpwYXNz");
}

TEST_F(Settings, SearchportBeforePortIsReadAsThePort) {
  Ini("searchport=8800\r\nport=9000\r\n");
  initGlobalVariables();
  EXPECT_EQ(gPort, 8800);
}

TEST_F(Settings, LongCredentialsAreCutNeverOverrun) {
  Ini("credentials=" + std::string(300, 'c') + "\r\nport=9001\r\n");
  initGlobalVariables();
  EXPECT_EQ(strnlen(gCredentials, sizeof gCredentials), 127u);
  EXPECT_EQ(std::string(gCredentials), std::string(127, 'c'));
  EXPECT_EQ(gPort, 9001);
}

TEST_F(Settings, RunningConfigurationIsLoggedAtLevelTwo) {
  Ini("port=9000\r\nlogginglevel=2\r\ncachecontrol=2\r\nepgcache=3\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/PVRName.ini", "pvrname=Living room\r\n");
  initGlobalVariables();
  std::string log = Log();
  const char *lines[] = {"Running configuration.", "  PVR Name = Living room.", "  TCP Listening Port = 9000.",
                         "  Logging level = 2.", "  EPG Source = 0.", "  Authentication = 1.",
                         "  Cache Control = 2 (OFF).", "  EPG Search Port = 8800.",
                         "  EPG Cache Timeout = 3, (90 minutes)."};
  size_t at = 0;
  for (const char *line : lines) {
    size_t found = log.find(std::string(" ") + line + "\r\n", at);
    ASSERT_NE(found, std::string::npos) << line << "\n" << log;
    at = found;
  }
  // Entries carry the PVR's local time: "YYYY-MM-DD hh:mm:ss ".
  EXPECT_EQ(log[4], '-');
  EXPECT_EQ(log[13], ':');
}

TEST_F(Settings, ModelRecordDecidesRecordingsAndName) {
  Ini("");
  emu::gProfile.systemId = 22010;   // ".rec" recordings
  initGlobalVariables();
  ASSERT_NE(gModelInfo, nullptr);
  EXPECT_STREQ(gRecordingExt, ".rec");
  EXPECT_EQ(gBlockFactor, 9028);
  EXPECT_EQ(gRecordingStreams, 4);
  EXPECT_EQ(gRemoteType, 2);
  EXPECT_STREQ(gPVRname, "TMS-2400 HD");   // no PVRName.ini: the model name

  emu::gProfile.systemId = 22570;   // ".mpg" recordings
  initGlobalVariables();
  EXPECT_STREQ(gRecordingExt, ".mpg");
  EXPECT_EQ(gBlockFactor, 9024);
  WriteFile("/mnt/hd/ProgramFiles/Settings/PVRName.ini", "other=1\r\n");
  initGlobalVariables();
  EXPECT_STREQ(gPVRname, "TMS-3200 MPG");   // no pvrname key: the model name
}

TEST_F(Settings, PVRNameIsLookedForInTheApplicationFolderToo) {
  Ini("");
  emu::gProfile.systemId = 22010;
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/PVRName.ini", "pvrname=Application folder\r\n");
  initGlobalVariables();
  EXPECT_STREQ(gPVRname, "Application folder");
  // Of the other places the later wins: the application folder over "/ProgramFiles".
  WriteFile("/mnt/hd/ProgramFiles/PVRName.ini", "pvrname=Programs\r\n");
  initGlobalVariables();
  EXPECT_STREQ(gPVRname, "Application folder");
  // The current folder, "/ProgramFiles/Settings", comes first.
  WriteFile("/mnt/hd/ProgramFiles/Settings/PVRName.ini", "pvrname=Settings\r\n");
  initGlobalVariables();
  EXPECT_STREQ(gPVRname, "Settings");
}

TEST_F(Settings, UnknownModelKeepsEarlierValues) {
  Ini("");
  emu::gProfile.systemId = 22010;
  initGlobalVariables();
  emu::gProfile.systemId = 1;
  initGlobalVariables();
  EXPECT_STREQ(gRecordingExt, ".mpg");   // reset at every load
  EXPECT_EQ(gBlockFactor, 9024);
  EXPECT_EQ(gRecordingStreams, 4);       // kept
}

TEST_F(Settings, TimeZoneAndFirmwareVariant) {
  Ini("");
  emu::gProfile.utcOffset = -300;
  emu::PublishProfile();
  std::string error;
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error)) << error;
  initGlobalVariables();
  EXPECT_EQ(gUTCoffset, -300);
  EXPECT_EQ(gAUFirmwareFlag, 0);
  ASSERT_TRUE(emu::SetOptionalSymbols({"_contentDesStr_AUS"}, &error)) << error;
  initGlobalVariables();
  EXPECT_EQ(gAUFirmwareFlag, 1);
}

}  // namespace
