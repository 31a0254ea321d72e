// The settings writer of Orvane-Config.tap, read back by the web server's own reader
// (initGlobalVariables): what the menu writes is what the server uses. Credentials are
// checked against Python's base64 module.
#include "config/config_settings.h"

#include <string.h>

#include "platform/firmware_model.h"
#include "tests/unit/python_oracle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const std::string kIni = "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini";
const std::string kName = "/mnt/hd/ProgramFiles/Settings/PVRName.ini";

class ConfigSettingsTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    ReleaseFirmwareModelTable();
    ConfigDefaults(&s_);
  }
  void TearDown() override {
    ReleaseFirmwareModelTable();
    gLoggingLevel = 0;
    EmulatedPvr::TearDown();
  }
  std::string Base64(const std::string &text) {
    return RunPython("import base64,sys; print(base64.b64encode(sys.stdin.buffer.read()).decode(), end='')", text);
  }
  ConfigSettings s_;
};

TEST_F(ConfigSettingsTest, WhatIsWrittenIsWhatTheServerReads) {
  WriteFile(kIni, "noautologos=1\r\nsearchport=9999\r\nmykey=kept\r\nport=1234\r\n");
  snprintf(s_.pvrName, sizeof s_.pvrName, "%s", "Living Room");
  s_.port = 8080;
  s_.searchPort = 8881;
  s_.loggingLevel = 2;
  s_.epgSource = 1;
  s_.authentication = 2;
  s_.cacheControl = 5;
  s_.epgCache = 10;
  snprintf(s_.userName, sizeof s_.userName, "%s", "admin");
  snprintf(s_.password, sizeof s_.password, "%s", "pa ss:wo:rd");   // blanks and colons
  ASSERT_EQ(saveINISettings(&s_), CONFIG_SAVED);
  EXPECT_FALSE(Exists(kIni + ".tmp"));

  initGlobalVariables();
  EXPECT_STREQ(gPVRname, "Living Room");
  EXPECT_EQ(gPort, 8080);
  EXPECT_EQ(gSearchPort, 8881);   // "port" is found in its own line, not in "searchport"
  EXPECT_EQ(gLoggingLevel, 2);
  EXPECT_EQ(gEPGSource, 1);
  EXPECT_EQ(gAuthentication, 2);
  EXPECT_EQ(gCacheControl, 5);
  EXPECT_EQ(gEPGCacheTimeout, 10);
  EXPECT_EQ(std::string(gCredentials), Base64("admin:pa ss:wo:rd"));
  std::string text = ReadFile(kIni);
  EXPECT_NE(text.find("noautologos=1\r\n"), std::string::npos);   // keys the menu does not edit stay
  EXPECT_NE(text.find("mykey=kept\r\n"), std::string::npos);
  EXPECT_LT(text.find("\r\nport=8080\r\n"), text.find("searchport=8881"));

  // Loaded back: the password is split at the first colon only.
  ConfigSettings loaded;
  EXPECT_EQ(loadINISettings(&loaded), 0);
  EXPECT_STREQ(loaded.userName, "admin");
  EXPECT_STREQ(loaded.password, "pa ss:wo:rd");
  EXPECT_STREQ(loaded.pvrName, "Living Room");
  EXPECT_EQ(loaded.noAutoLogos, 1);
  EXPECT_EQ(loaded.port, 8080);
  EXPECT_EQ(loaded.searchPort, 8881);
}

TEST_F(ConfigSettingsTest, ChangingPortLeavesSearchPortAlone) {
  WriteFile(kIni, "searchport=8800\r\nport=8000\r\n");
  s_.port = 9000;
  s_.searchPort = 8800;
  s_.authentication = 0;
  ASSERT_EQ(saveINISettings(&s_), CONFIG_SAVED);
  std::string text = ReadFile(kIni);
  EXPECT_NE(text.find("port=9000"), std::string::npos);
  EXPECT_NE(text.find("searchport=8800"), std::string::npos);
  initGlobalVariables();
  EXPECT_EQ(gPort, 9000);
  EXPECT_EQ(gSearchPort, 8800);
}

TEST_F(ConfigSettingsTest, UnusableCredentialsAreRefusedAndNothingIsWritten) {
  WriteFile(kIni, "port=8000\r\n");
  s_.authentication = 1;
  EXPECT_EQ(saveINISettings(&s_), CONFIG_NEEDS_CREDENTIALS);
  snprintf(s_.userName, sizeof s_.userName, "%s", "user");
  EXPECT_EQ(saveINISettings(&s_), CONFIG_NEEDS_CREDENTIALS);
  // 95 characters of "user:password" make 128 Base64 characters: one more than the server reads.
  memset(s_.password, 'p', 63);
  s_.password[63] = '\0';
  memset(s_.userName, 'u', 31);
  s_.userName[31] = '\0';
  EXPECT_EQ(saveINISettings(&s_), CONFIG_CREDENTIALS_TOO_LONG);
  s_.userName[29] = '\0';   // 93 characters: 124 in Base64
  snprintf(s_.pvrName, sizeof s_.pvrName, "%s", "x");
  snprintf(s_.userName + 10, 5, "%s", "a:b");
  EXPECT_EQ(saveINISettings(&s_), CONFIG_USER_HAS_COLON);
  EXPECT_EQ(ReadFile(kIni), "port=8000\r\n");
  EXPECT_FALSE(Exists(kName));
  memset(s_.userName, 'u', 29);
  s_.userName[29] = '\0';
  ASSERT_EQ(saveINISettings(&s_), CONFIG_SAVED);
  initGlobalVariables();
  EXPECT_EQ(strlen(gCredentials), 124u);
  EXPECT_EQ(std::string(gCredentials), Base64(std::string(29, 'u') + ":" + std::string(63, 'p')));
}

TEST_F(ConfigSettingsTest, NoAuthenticationRemovesTheCredentialsAndAnEmptyNameItsKey) {
  WriteFile(kIni, "credentials=dXNlcjpwYXNz\r\nport=8000\r\n");
  WriteFile(kName, "pvrname=Old\r\nother=1\r\n");
  s_.authentication = 0;
  ASSERT_EQ(saveINISettings(&s_), CONFIG_SAVED);
  EXPECT_EQ(ReadFile(kIni).find("credentials"), std::string::npos);
  EXPECT_EQ(ReadFile(kName), "other=1\r\n");
}

TEST_F(ConfigSettingsTest, LoadingClampsAndTakesRebuildLogosOnce) {
  WriteFile(kIni, "port=0\r\nsearchport=70000\r\nepgcache=300\r\nlogginglevel=16\r\nauthentication=-1\r\n"
                  "cachecontrol=600\r\nrebuildlogos=1\r\nepgsource=x\r\n");
  WriteFile(kName, "pvrname=" + std::string(600, 'n') + "\r\n");
  ConfigSettings loaded;
  EXPECT_EQ(loadINISettings(&loaded), 1);
  EXPECT_EQ(loaded.port, 1);
  EXPECT_EQ(loaded.searchPort, 65535);
  EXPECT_EQ(loaded.epgCache, 10);
  EXPECT_EQ(loaded.loggingLevel, 3);
  EXPECT_EQ(loaded.authentication, 0);
  EXPECT_EQ(loaded.cacheControl, 511);
  EXPECT_EQ(loaded.epgSource, 0);
  EXPECT_EQ(strlen(loaded.pvrName), 512u);   // bounded by its field
  EXPECT_EQ(ReadFile(kIni).find("rebuildlogos"), std::string::npos);
  EXPECT_EQ(loadINISettings(&loaded), 0);
}

}  // namespace
