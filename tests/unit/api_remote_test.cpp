// Key presses and typed characters through the API: the key events each word generates on
// each remote type, long presses, the power words and the refused reboot, characters for
// every loaded TAP, and echoes that stay JSON.
#include "webserver/api/api_remote.h"

#include <vector>

#include "tests/unit/device_api_fixture.h"
#include "webserver/api/remote_keys.h"

namespace {

using nlohmann::ordered_json;

struct SeenEvent {
  word event;
  TapParam param1, param2;
  int slot;
};
std::vector<SeenEvent> gSeen;

dword RecordEvent(word event, TapParam param1, TapParam param2) {
  gSeen.push_back({event, param1, param2, emu::CurrentSlot()});
  return 0;
}

class RemoteSend : public DeviceApiTest {
 protected:
  void SetUp() override {
    DeviceApiTest::SetUp();
    Models("[(1, 'One', 'T', 5, 1, 2, 0), (2, 'Two', 'T', 5, 2, 2, 0), (3, 'Three', 'T', 5, 3, 2, 0)]");
    gSeen.clear();
  }
  // The PVR of a remote type, with its two recording slots; recording says whether one runs.
  void Remote(int remoteType, bool recording = false) {
    Profile("{\"system_id\": " + std::to_string(remoteType) + ", \"recordings\": [{\"type\": 0}, {\"type\": " +
            (recording ? "1, \"duration\": 30" : "0") + "}]}");
    Start();
    ASSERT_EQ(gRemoteType, remoteType);
    emu::TakeGeneratedEvents();
  }
  ordered_json Key(const std::string &params) {
    return Ask([&] { APIRemoteSend(params.c_str(), REMOTE_MODE_KEY); });
  }
  ordered_json Char(const std::string &params) {
    return Ask([&] { APIRemoteSend(params.c_str(), REMOTE_MODE_CHARACTER); });
  }
  static std::vector<dword> KeyEvents() {
    std::vector<dword> codes;
    for (const emu::PendingEvent &e : emu::TakeGeneratedEvents()) {
      EXPECT_EQ(e.event, EVT_KEY);
      EXPECT_EQ(e.param2, 0u);
      codes.push_back(e.param1);
    }
    return codes;
  }
};

TEST_F(RemoteSend, EachRemoteTypeHasItsCodes) {
  const dword red[] = {0x1003F, 0x10047, 0x10023};
  const dword chup[] = {0x10045, 0x10025, 0x10045};
  for (int type = 1; type <= 3; type++) {
    SCOPED_TRACE(type);
    Remote(type);
    ordered_json a = Key("key=red");
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"count", "timestamp", "content", "requested_key", "code_generated"}));
    EXPECT_EQ(a["count"], 0);
    EXPECT_EQ(a["content"], "remote");
    EXPECT_EQ(a["requested_key"], "red");
    char code[16];
    snprintf(code, sizeof code, "0x%06x", red[type - 1]);
    EXPECT_EQ(a["code_generated"], code);
    EXPECT_EQ(KeyEvents(), (std::vector<dword>{red[type - 1], red[type - 1] + 0x02000000}));
    Key("key=chup");
    EXPECT_EQ(KeyEvents(), (std::vector<dword>{chup[type - 1], chup[type - 1] + 0x02000000}));
    Key("key=menu");
    EXPECT_EQ(KeyEvents(), (std::vector<dword>{0x1001C, 0x201001C}));
    EXPECT_EQ(gPowerFlag, 0);
  }
}

TEST_F(RemoteSend, LongPressesUnknownWordsAndEchoes) {
  Remote(1);
  ordered_json a = Key("key=long-ok");
  EXPECT_EQ(a["requested_key"], "ok");
  EXPECT_EQ(a["code_generated"], "0x01001e");
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0x1001E, 0x101001E, 0x201001E}));
  a = Key("key=OK");   // case matters: no key, events all the same
  EXPECT_EQ(a["code_generated"], "0x000000");
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0, 0x2000000}));
  a = Key("key=menu&char=5&other=x");   // later parameters keep the key word
  EXPECT_EQ(a["requested_key"], "menu");
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0x1001C, 0x201001C}));
  a = Key("key=a\"b\\c%22");   // as it stands, escaped
  EXPECT_EQ(a["requested_key"], "a\"b\\c%22");
  a = Key("key=" + std::string(100, 'k'));   // cut to its 31 characters
  EXPECT_EQ(a["requested_key"], std::string(31, 'k'));
  a = Key("");
  EXPECT_EQ(a["requested_key"], "");
  // None of the last three words is a key: code 0 for each.
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0, 0x2000000, 0, 0x2000000, 0, 0x2000000}));
}

// "power" and "forcereboot" press the power key and leave their action; "reboot" does so
// only while no recording runs, else nothing is pressed and nothing is left to do.
TEST_F(RemoteSend, PowerWordsAndTheRefusedReboot) {
  Remote(2);
  Key("key=power");
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0x1000A, 0x201000A}));
  EXPECT_EQ(gPowerFlag, POWER_ACTION_OFF);
  gPowerFlag = 0;
  ordered_json a = Key("key=reboot");
  EXPECT_EQ(a["code_generated"], "0x01000a");
  EXPECT_EQ(KeyEvents().size(), 2u);
  EXPECT_EQ(gPowerFlag, POWER_ACTION_REBOOT);
  gPowerFlag = 0;

  Remote(2, true);
  a = Key("key=reboot");
  EXPECT_EQ(a["requested_key"], "reboot");   // answered all the same
  EXPECT_TRUE(KeyEvents().empty());
  EXPECT_EQ(gPowerFlag, 0);
  Key("key=forcereboot");
  EXPECT_EQ(KeyEvents(), (std::vector<dword>{0x1000A, 0x201000A}));
  EXPECT_EQ(gPowerFlag, POWER_ACTION_FORCE_REBOOT);
}

// A character goes to every loaded TAP, each called on its own behalf, as event 0x0FFD;
// no key reaches the firmware. "requested_char" is the "char" value as sent.
TEST_F(RemoteSend, CharactersReachEveryLoadedTap) {
  Remote(1);
  ASSERT_EQ(emu::AttachLinkedTap(0x11112222, "/ProgramFiles", RecordEvent), 1);
  *FirmwareCurrentTapTask() = 0;   // Orvane.tap's turn again
  ordered_json a = Char("char=72&key=x");
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"count", "timestamp", "content", "requested_char", "char_generated"}));
  EXPECT_EQ(a["content"], "ascii");
  EXPECT_EQ(a["requested_char"], "72");
  EXPECT_EQ(a["char_generated"], "72");
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].event, REMOTE_CHARACTER_EVENT);
  EXPECT_EQ(gSeen[0].param1, 72u);
  EXPECT_EQ(gSeen[0].param2, 0u);
  EXPECT_EQ(gSeen[0].slot, 1);
  EXPECT_EQ(*FirmwareCurrentTapTask(), 0u);
  EXPECT_TRUE(emu::TakeGeneratedEvents().empty());

  a = Char("key=x&char=-3");
  EXPECT_EQ(a["requested_char"], "-3");
  EXPECT_EQ(a["char_generated"], "-3");
  EXPECT_EQ(gSeen.back().param1, (TapParam)0xFFFFFFFDu);
  a = Char("key=x");
  EXPECT_EQ(a["requested_char"], "");
  EXPECT_EQ(a["char_generated"], "0");
  a = Char("char=6\"5");
  EXPECT_EQ(a["requested_char"], "6\"5");
  EXPECT_EQ(a["char_generated"], "6");

  // Without the firmware's task table no TAP gets the character; the answer is the same.
  gSeen.clear();
  Profile(R"({"system_id": 1, "absent_symbols": ["_tapTask"]})");
  a = Char("char=65");
  EXPECT_EQ(a["char_generated"], "65");
  EXPECT_TRUE(gSeen.empty());
}

}  // namespace
