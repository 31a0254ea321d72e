// The settings menu driven by emulated key events: stepping, digits, the keyboard, the
// save refusal and the key translation.
#include "config/config_menu.h"

#include <unistd.h>

#include "config/config_settings.h"
#include "config/key_handler.h"
#include "config/osd_dialogs.h"
#include "platform/firmware_model.h"
#include "tests/unit/emulated_pvr.h"

namespace {

const std::string kIni = "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini";
enum { NAME, PORT, LOGGING, EPG_SOURCE, URL, AUTH, USER, PASSWORD, CACHE, RESET, SEARCH_PORT, EPG_CACHE };

class ConfigMenu : public EmulatedPvr {
 protected:
  void Open(const std::string &ini) {
    ReleaseFirmwareModelTable();   // no model table here: remote type 0, keys untranslated
    WriteFile(kIni, ini);
    ConfigMenuInitialise();
    ConfigMenuOpen();
    ASSERT_TRUE(ConfigMenuIsOpen());
  }
  void TearDown() override {
    ConfigMenuClose();
    ReleaseFirmwareModelTable();
    EmulatedPvr::TearDown();
  }
  dword Key(dword key) { return ConfigMenuEvent(EVT_KEY, key, 0); }
  void To(int item) {
    for (int i = 0; i < 12 && ConfigMenuCurrent() != item; i++) Key(RKEY_Down);
    ASSERT_EQ(ConfigMenuCurrent(), item);
  }
  std::string Shown(int item) { return ConfigMenuValue(item); }
};

TEST_F(ConfigMenu, StepsWrapAndTheTextsFollow) {
  Open("logginglevel=0\r\nepgcache=10\r\nepgsource=0\r\nauthentication=2\r\n");
  EXPECT_EQ(Shown(NAME), "<EMPTY>");
  EXPECT_EQ(Shown(URL).rfind("http://", 0), 0u);
  EXPECT_EQ(Shown(URL).substr(Shown(URL).size() - 5), ":8000");
  To(LOGGING);
  EXPECT_EQ(Key(RKEY_Left), 0u);
  EXPECT_EQ(Shown(LOGGING), "Detailed + Network");
  Key(RKEY_Forward);
  EXPECT_EQ(Shown(LOGGING), "None");
  To(AUTH);
  Key(RKEY_Right);
  EXPECT_EQ(Shown(AUTH), "NONE");
  To(EPG_CACHE);
  EXPECT_EQ(Shown(EPG_CACHE), "300 MINUTES");
  Key(RKEY_Right);
  EXPECT_EQ(Shown(EPG_CACHE), "NONE");
  Key(RKEY_Left);
  EXPECT_EQ(gConfig.epgCache, 10);
  // The URL is never selected; the EPG cache timeout only with the PVR's EPG.
  To(EPG_SOURCE);
  Key(RKEY_Right);
  EXPECT_EQ(Shown(EPG_SOURCE), "SmartEPG");
  for (int i = 0; i < 12; i++) {
    Key(RKEY_Down);
    EXPECT_NE(ConfigMenuCurrent(), URL);
    EXPECT_NE(ConfigMenuCurrent(), EPG_CACHE);
  }
  // Ports step round within 1..65535.
  To(PORT);
  Key(RKEY_Left);
  EXPECT_EQ(gConfig.port, 7999);
  gConfig.port = 65535;
  Key(RKEY_Right);
  EXPECT_EQ(gConfig.port, 1);
  Key(RKEY_Left);
  EXPECT_EQ(gConfig.port, 65535);
  // Keys the menu does not bind pass on.
  EXPECT_EQ(Key(0x10014), 0x10014u);
}

TEST_F(ConfigMenu, PortDigitsAndTheCacheReset) {
  Open("cachecontrol=1\r\n");
  To(PORT);
  for (dword digit : {7u, 0u, 0u, 0u}) Key(RKEY_0 + digit);
  EXPECT_EQ(gConfig.port, 7000);
  EXPECT_EQ(Shown(PORT), "7000");
  for (dword digit : {9u, 9u, 9u, 9u, 9u, 9u, 9u}) Key(RKEY_0 + digit);   // bounded to five digits
  EXPECT_EQ(gConfig.port, 8000);                                          // 70009 is no port
  usleep(5200 * 1000);   // a pause of more than 500 ticks starts a new number
  Key(RKEY_0 + 4);
  EXPECT_EQ(gConfig.port, 4);
  To(SEARCH_PORT);
  Key(RKEY_0 + 0);
  EXPECT_EQ(gConfig.searchPort, 8800);   // 0 is no port
  To(RESET);
  Key(RKEY_Green);
  EXPECT_EQ(gConfig.cacheControl, 3);
  Key(RKEY_Green);
  EXPECT_EQ(gConfig.cacheControl, 3);   // once until the next load
  Key(RKEY_Recall);
  EXPECT_EQ(gConfig.cacheControl, 1);
  EXPECT_EQ(gConfig.port, 8000);
}

TEST_F(ConfigMenu, KeyboardEditsTheFieldAndSaveRefusesMissingCredentials) {
  Open("authentication=1\r\nport=8000\r\n");
  Key(RKEY_Record);
  EXPECT_TRUE(OsdMessageIsOpen());
  EXPECT_EQ(ReadFile(kIni), "authentication=1\r\nport=8000\r\n");
  Key(RKEY_Ok);
  EXPECT_FALSE(OsdMessageIsOpen());

  To(USER);
  Key(RKEY_Ok);
  ASSERT_TRUE(OsdKeyboardIsOpen());
  Key(RKEY_Ok);          // "a"
  Key(RKEY_Right);
  Key(RKEY_Yellow);      // capitals
  Key(RKEY_Ok);          // "B"
  Key(RKEY_0 + 7);
  Key(RKEY_Left);
  Key(RKEY_Left);        // back to the first cell, then round to the last: "OK"
  Key(RKEY_Ok);
  EXPECT_FALSE(OsdKeyboardIsOpen());
  EXPECT_STREQ(gConfig.userName, "aB7");
  EXPECT_EQ(Shown(USER), "aB7");

  // A password of more than 63 characters is cut to its field.
  To(PASSWORD);
  Key(RKEY_Ok);
  for (int i = 0; i < 80; i++) Key(RKEY_0 + 1);
  EXPECT_EQ(std::string(OsdKeyboardText()).size(), 63u);
  Key(RKEY_Exit);        // cancelled: nothing changes
  EXPECT_STREQ(gConfig.password, "");
  Key(RKEY_Ok);
  for (int i = 0; i < 3; i++) Key(RKEY_0 + 5);
  Key(RKEY_Left);
  Key(RKEY_Ok);
  EXPECT_STREQ(gConfig.password, "555");

  Key(RKEY_Record);      // saved, and the menu closes
  EXPECT_FALSE(ConfigMenuIsOpen());
  EXPECT_NE(ReadFile(kIni).find("credentials=YUI3OjU1NQ==\r\n"), std::string::npos);   // "aB7:555"
}

TEST_F(ConfigMenu, KeyTranslation) {
  khInitialise(2);
  EXPECT_EQ(KeyTranslate(0x10024), 0x10048u);
  EXPECT_EQ(KeyTranslate(0x10048), 0x10024u);
  EXPECT_EQ(KeyTranslate(0x10012), 0x10012u);
  EXPECT_EQ(KeyTranslate(0x10065), 0x10065u);   // beyond the table: unchanged
  EXPECT_EQ(KeyTranslate(0x1FFFF), 0x1FFFFu);
  khSetTranslation(false);
  EXPECT_EQ(KeyTranslate(0x10024), 0x10024u);
  khInitialise(0);
  EXPECT_EQ(KeyTranslate(0x10024), 0x10024u);
  for (int i = 0; i < KH_LEVELS; i++) EXPECT_EQ(khRegisterKey(1, nullptr, 0, true), 1);
  EXPECT_EQ(khRegisterKey(1, nullptr, 0, true), 0);   // the stack is full
}

}  // namespace
