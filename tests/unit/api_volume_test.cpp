// Volume through the API: the level and the mute bit of the volume variable, levels
// clamped at both ends, and mute changed only by the mute key, only when needed.
#include "webserver/api/api_volume.h"

#include "tests/unit/device_api_fixture.h"
#include "webserver/api/remote_keys.h"

namespace {

using nlohmann::ordered_json;

class Volume : public DeviceApiTest {
 protected:
  void SetUp() override {
    DeviceApiTest::SetUp();
    Profile("{}");
    Start();
    emu::TakeGeneratedEvents();
  }
  ordered_json Get() { return Ask(APIVolumeGet); }
  ordered_json Set(const std::string &params) {
    return Ask([&] { APIVolumeSet(params.c_str()); });
  }
  static void Variable(int value) { emu::gSystem.systemVars[SYSVAR_Volume] = value; }
  static size_t MuteKeys() {
    size_t n = 0;
    for (const emu::PendingEvent &e : emu::TakeGeneratedEvents()) {
      EXPECT_EQ(e.event, EVT_KEY);
      EXPECT_EQ(e.param1, (dword)REMOTE_KEY_MUTE);
      n++;
    }
    return n;
  }
};

TEST_F(Volume, GetReportsTheLevelAndTheMuteBit) {
  Variable(140);
  ordered_json a = Get();
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"content", "level", "mute", "timestamp"}));
  EXPECT_EQ(a["content"], "volume");
  EXPECT_EQ(a["level"], 12);
  EXPECT_EQ(a["mute"], 1);
  Variable(5);
  a = Get();
  EXPECT_EQ(a["level"], 5);
  EXPECT_EQ(a["mute"], 0);
}

TEST_F(Volume, LevelsAreClampedAtBothEndsAndKeepTheMuteState) {
  Variable(3);
  ordered_json a = Set("level=25");
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"content", "level_before", "mute_before", "level_after",
                                                "mute_after", "timestamp"}));
  EXPECT_EQ(a["content"], "volume_change");
  EXPECT_EQ(a["level_before"], 3);
  EXPECT_EQ(a["level_after"], 17);
  EXPECT_EQ(Set("level=-5")["level_after"], 0);
  EXPECT_EQ(Set("level=9&x=1")["level_after"], 9);
  EXPECT_EQ(Set("level=abc")["level_after"], 0);
  Variable(128 + 4);
  a = Set("level=11");
  EXPECT_EQ(a["mute_before"], 1);
  EXPECT_EQ(a["level_after"], 11);
  EXPECT_EQ(a["mute_after"], 1);
  a = Set("other=1");   // no level: nothing changes
  EXPECT_EQ(a["level_before"], 11);
  EXPECT_EQ(a["level_after"], 11);
  EXPECT_EQ(MuteKeys(), 0u);
}

TEST_F(Volume, MuteAndUnmutePressTheMuteKeyOnlyWhenNeeded) {
  Variable(7);
  ordered_json a = Set("level=mute");
  EXPECT_EQ(MuteKeys(), 1u);
  EXPECT_EQ(a["mute_before"], 0);
  EXPECT_EQ(a["mute_after"], 1);
  EXPECT_EQ(a["level_after"], 7);
  a = Set("level=mute");
  EXPECT_EQ(MuteKeys(), 0u);
  EXPECT_EQ(a["mute_before"], 1);
  EXPECT_EQ(a["mute_after"], 1);
  a = Set("level=unmute");
  EXPECT_EQ(MuteKeys(), 1u);
  EXPECT_EQ(a["mute_after"], 0);
  EXPECT_EQ(a["level_after"], 7);
  a = Set("level=unmute");
  EXPECT_EQ(MuteKeys(), 0u);
  EXPECT_EQ(a["mute_after"], 0);
}

}  // namespace
