// The channels API on emulated demo worlds: the list (whole, by favourites group, with the
// analogue inputs), member order and texts, names of every character table, and the switch
// (accepted, refused, to an analogue input).
#include "webserver/api/api_channels.h"

#include <gtest/gtest.h>

#include "emulator/emu_firmware.h"
#include "platform/channel_lookup.h"
#include "tests/unit/api_world_fixture.h"

namespace {

using ojson = nlohmann::ordered_json;

class APIChannels : public APIWorld {
 protected:
  ojson Get(const std::string &params) { return Answer([&] { APIChannelsGet(params.c_str()); }); }
  ojson Set(const std::string &params) { return Answer([&] { APIChannelsSet(params.c_str()); }); }
};

const std::vector<std::string> kChannelKeys = {
    "chnum", "chtype", "satindex", "logoid", "videostreamtype", "flagdelete", "flagcas", "flaglock", "flagskip",
    "tuner", "transponderindex", "serviceid", "pmtpid", "pcrpid", "videopid", "audiopid", "lcn", "audiostreamtype",
    "servicename", "providername", "namelock", "flags2", "unknown2"};

TEST_F(APIChannels, WholeListInOrderWithNamesOfEveryTable) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    ojson world = Demo(systemType);
    Load(world);
    ojson a = Get("");
    const ojson &tv = world["services"]["tv"], &radio = world["services"]["radio"];
    ASSERT_EQ(a["count"], tv.size() + radio.size());
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"count", "timestamp", "content", "current_chtype", "current_chnum",
                                                 "current_logoid", "favourites", "fav_name", "fav_name_hex",
                                                 "channels"}));
    EXPECT_EQ(a["content"], "channels");
    EXPECT_EQ(a["favourites"], 0);
    EXPECT_EQ(a["fav_name"], "");
    ASSERT_EQ(a["channels"].size(), a["count"]);
    for (size_t i = 0; i < a["channels"].size(); i++) {
      const ojson &c = a["channels"][i];
      bool isTv = i < tv.size();
      const ojson &s = isTv ? tv[i] : radio[i - tv.size()];
      EXPECT_EQ(Keys(c), kChannelKeys);
      EXPECT_EQ(c["chtype"], isTv ? 0 : 1);
      EXPECT_EQ(c["servicename"], s["name"]) << i;
      EXPECT_EQ(c["lcn"], s["lcn"]);
      EXPECT_EQ(c["flaglock"], s["locked"].get<bool>() ? 1 : 0);
      EXPECT_EQ(c["flagcas"], s["scrambled"].get<bool>() ? 1 : 0);
      char logo[17];
      snprintf(logo, sizeof logo, "%016llx",
               (unsigned long long)LogoManager_GetChannelID(c["chtype"].get<int>(), c["chnum"].get<int>()));
      EXPECT_EQ(c["logoid"], logo);
      if (!s["provider"].is_null()) {
        EXPECT_EQ(c["providername"], world["providers"][s["provider"].get<int>()]["name"]);
      }
    }
    EXPECT_EQ(raw_.find("[\r\n\t\r\n{\r\n\t\"chnum\":0,"), raw_.find("[\r\n"));
    EXPECT_EQ(raw_.find("\t,\r\n\t,"), std::string::npos);
    EXPECT_EQ(raw_.substr(raw_.size() - 8), "\t}\r\n]}\r\n");
  }
}

TEST_F(APIChannels, FavouritesGroupsByPlainAndHexNames) {
  ojson world = Demo(5);
  // An entry naming a service that does not exist leaves no empty object behind.
  world["favourites"]["groups"][3]["services"].push_back({{"type", 0}, {"number", 999}});
  Load(world);
  ojson a = Get("favourites=Sport");
  EXPECT_EQ(a["favourites"], 1);
  EXPECT_EQ(a["fav_name"], "Sport");
  EXPECT_EQ(a["fav_name_hex"], "53706f7274");
  ASSERT_EQ(a["count"], 2);
  EXPECT_EQ(a["channels"][0]["chnum"], 12);
  EXPECT_EQ(a["channels"][1]["chnum"], 13);
  a = Get("group_hex=4e657773&favourites=Sport");   // the hex name wins
  EXPECT_EQ(a["fav_name"], "News");
  ASSERT_EQ(a["count"], 4);
  EXPECT_EQ(a["channels"][3]["chtype"], 1);
  EXPECT_EQ(a["channels"][3]["chnum"], 4);
  a = Get("group=Kids");
  ASSERT_EQ(a["count"], 2);   // the third entry cannot be read
  EXPECT_EQ(raw_.find("\t,\r\n\t,"), std::string::npos);
  a = Get("favourites=Nowhere%20%22x%22");
  EXPECT_EQ(a["favourites"], 0);
  EXPECT_EQ(a["fav_name"], "Nowhere%20%22x%22");
  EXPECT_EQ(a["count"], world["services"]["tv"].size() + world["services"]["radio"].size());
  // A plain name is read up to 63 characters, every piece up to 127.
  a = Get("favourites=" + std::string(300, 'x'));
  EXPECT_EQ(a["fav_name"].get<std::string>(), std::string(63, 'x'));
}

TEST_F(APIChannels, AnalogueInputsOnAnAnalogueModel) {
  ojson world = Demo(5);
  std::string error;
  ASSERT_TRUE(emu::SetOptionalSymbols({"_isAnalogMode", "_Z26Appl_GetAnalogEncoderStatev", "_Z23Appl_AnalogChangeActionv"},
                                      &error));
  ASSERT_TRUE(emu::ApplySymbols(&error)) << error;
  ResetFirmwareHooks();
  Load(world, 32020);
  size_t services = world["services"]["tv"].size() + world["services"]["radio"].size();
  ojson a = Get("");
  ASSERT_EQ(a["count"], services + 3);
  const char *names[] = {"AV Input", "AV Composite", "AV Component"};
  const char *ids[] = {"ffffffffffffff00", "ffffffffffffff02", "ffffffffffffff04"};
  for (int i = 0; i < 3; i++) {
    const ojson &c = a["channels"][services + (size_t)i];
    EXPECT_EQ(c["chtype"], 99);
    EXPECT_EQ(c["chnum"], 2 * i);
    EXPECT_EQ(c["servicename"], names[i]);
    EXPECT_EQ(c["providername"], "Analogue Input");
    EXPECT_EQ(c["logoid"], ids[i]);
  }
  a = Get("favourites=Sport");
  EXPECT_EQ(a["count"], 5);   // the group's two channels and the three inputs, all counted

  ojson s = Set("chtype=99&chnum=2");
  EXPECT_EQ(s["status"], 0);
  EXPECT_EQ(s["current_chtype"], 99);
  EXPECT_EQ(s["current_chnum"], 2);
  EXPECT_EQ(s["current_lcn"], 999);
  EXPECT_EQ(s["current_chname"], "AV Input");
  EXPECT_EQ(s["current_logoid"], "ffffffffffffff00");
  EXPECT_EQ(Appl_GetAnalogEncoderState(), 1);
  s = Set("chtype=0&chnum=3");   // leaves the analogue input first
  EXPECT_EQ(s["status"], 0);
  EXPECT_EQ(Appl_GetAnalogEncoderState(), 0);
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error));
  ASSERT_TRUE(emu::ApplySymbols(&error));
}

TEST_F(APIChannels, SwitchAcceptedRefusedAndNamesEscaped) {
  ojson world = Demo(5);
  Load(world);
  ojson s = Set("chtype=0&chnum=8&mainsub=1&logoid=" + std::string(100, 'f'));
  EXPECT_EQ(Keys(s), (std::vector<std::string>{"count", "timestamp", "content", "requested_mainsub",
                                               "requested_chtype", "requested_chnum", "status", "current_chtype",
                                               "current_chnum", "current_logoid", "current_lcn", "current_chname"}));
  EXPECT_EQ(s["content"], "channels_set");
  EXPECT_EQ(s["status"], 0);
  EXPECT_EQ(s["current_chname"], "Say \"Cheese\" TV");
  EXPECT_EQ(s["current_lcn"], 9);
  s = Set("chtype=0&chnum=15");   // locked: the firmware refuses
  EXPECT_EQ(s["status"], 1);
  EXPECT_EQ(s["statustext"], "New channel 0/8 does not match requested channel 0/15.");
  EXPECT_EQ(s["current_chnum"], 8);
  s = Set("chtype=0&chnum=5");
  EXPECT_EQ(s["current_chname"], "\u039a\u03b1\u03bd\u03ac\u03bb\u03b9 \u0389\u03bb\u03b9\u03bf\u03c2");
  s = Set("chtype=99&chnum=0");   // no analogue inputs on this model: nothing switches
  EXPECT_EQ(s["status"], 1);
  EXPECT_EQ(s["current_chnum"], 5);
  s = Set("chtype=1&chnum=9999");
  EXPECT_EQ(s["status"], 1);
}

}  // namespace
