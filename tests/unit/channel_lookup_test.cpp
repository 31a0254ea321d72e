// Channel lookups on the emulated PVR holding tables of the independent Python encoder:
// logo IDs (checked against a Python computation from the world file), the service of a
// logo ID, channels by name and by tuning identity, favourites groups by name, and the
// analogue inputs.
#include "platform/channel_lookup.h"

#include <gtest/gtest.h>
#include <inttypes.h>
#include <string.h>

#include <vector>

#include "common/common_log.h"
#include "emulator/emulator.h"
#include "platform/firmware_hooks.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/world_tables_oracle.h"

namespace {

using json = nlohmann::json;

// The logo ID of every service of a world, computed in Python from the world's fields:
// lines "type number logoid".
const char *const kLogoIdScript = R"(
import json, sys
w = json.load(sys.stdin)
for kind, t in (("tv", 0), ("radio", 1)):
    for n, s in enumerate(w["services"][kind]):
        sat = w["satellites"][s.get("satellite", 0)]
        tp = sat["transponders"][s.get("transponder", 0)]
        position = sat.get("position", 0) if w.get("system_type", 5) == 5 else 0
        low = tp.get("tsid", 0) << 16 | s.get("service_id", 0)
        value = position << 48 | tp.get("onid", 0) << 32 | low
        if low >= 0x80000000:
            value |= 0xFFFFFFFF00000000
        print(t, n, "%016x" % value)
)";

class ChannelLookup : public EmulatedPvr {
 protected:
  void Install(const json &world) {
    EncodedWorld encoded = EncodeWorld(world);
    InstallDemoModel(root_, encoded.systemType);
    std::string error;
    ASSERT_TRUE(emu::InstallTables(encoded.Image(), &error)) << error;
  }
};

std::string Hex(uint64_t id) {
  char text[17];
  snprintf(text, sizeof text, "%016" PRIx64, id);
  return text;
}

TEST_F(ChannelLookup, LogoIdsOfEveryDemoServiceMatchThePythonComputation) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    json world = DemoWorld(systemType);
    Install(world);
    std::vector<std::string> lines = SplitLines(RunPython(kLogoIdScript, world.dump()));
    ASSERT_EQ(lines.size(), world["services"]["tv"].size() + world["services"]["radio"].size());
    bool signExtended = false;
    for (const std::string &line : lines) {
      int type = 0, number = 0;
      char expected[17] = "";
      ASSERT_EQ(sscanf(line.c_str(), "%d %d %16s", &type, &number, expected), 3) << line;
      uint64_t id = LogoManager_GetChannelID(type, number);
      EXPECT_EQ(Hex(id), expected) << line;
      signExtended |= id >> 32 == 0xFFFFFFFFu;
      // The service of the logo ID: the first with that ID, which is this one or an earlier.
      int foundType = -1, foundNumber = -1;
      ASSERT_EQ(LogoManager_GetServiceNumByChannelID(id, &foundType, &foundNumber), 1);
      EXPECT_EQ(LogoManager_GetChannelID(foundType, foundNumber), id);
      EXPECT_TRUE(foundType < type || (foundType == type && foundNumber <= number));
    }
    if (systemType == 5) {
      EXPECT_TRUE(signExtended);   // the demo network with TSIDs from 0x8000 up
    }
    EXPECT_EQ(LogoManager_GetChannelID(0, (int)world["services"]["tv"].size()), 0u);
    EXPECT_EQ(LogoManager_GetChannelID(2, 0), 0u);
    EXPECT_EQ(LogoManager_GetChannelID(99, 0), 0u);
    EXPECT_EQ(LogoManager_GetServiceNumByChannelID(0x1234, nullptr, nullptr), 0);
  }
}

// One satellite at position 0x00C0 with a transponder of TSID 0x0401 / ONID 0x0002 and one
// of TSID 0x8001, each with a service of ID 0x0010.
json SmallWorld() {
  json tp0 = {{"frequency", 11000}, {"tsid", 0x0401}, {"onid", 0x0002}};
  json tp1 = {{"frequency", 12000}, {"tsid", 0x8001}, {"onid", 0x0055}};
  json sat = {{"name", "Sat"}, {"position", 0xC0}, {"transponders", json::array({tp0, tp1})}};
  json svc0 = {{"name", "Alpha"}, {"service_id", 0x10}, {"transponder", 0}};
  json svc1 = {{"name", "Beta"}, {"service_id", 0x10}, {"transponder", 1}};
  json svc2 = {{"name", "Exactly 23 characters!!"}, {"service_id", 0x11}, {"transponder", 9}};   // no such transponder
  json radio = {{"name", "Alpha"}, {"service_id", 0x20}, {"transponder", 1}};
  json world = {{"system_type", 5}, {"satellites", json::array({sat})},
                {"services", {{"tv", json::array({svc0, svc1, svc2})}, {"radio", json::array({radio, svc1})}}}};
  return world;
}

TEST_F(ChannelLookup, LogoIdRuleAndItsUnreadableCases) {
  Install(SmallWorld());
  EXPECT_EQ(Hex(LogoManager_GetChannelID(0, 0)), "00c0000204010010");
  EXPECT_EQ(Hex(LogoManager_GetChannelID(0, 1)), "ffffffff80010010");
  EXPECT_EQ(LogoManager_GetChannelID(0, 2), 0u);   // its transponder cannot be read
  EXPECT_EQ(Hex(ChannelLogoID(0xFFFF, 0xFFFF, 0x7FFF, 0xFFFF)), "ffffffff7fffffff");
  EXPECT_EQ(Hex(AnalogueInputLogoID(0)), "ffffffffffffff00");
  EXPECT_EQ(Hex(AnalogueInputLogoID(2)), "ffffffffffffff02");
  EXPECT_EQ(Hex(AnalogueInputLogoID(4)), "ffffffffffffff04");
  EXPECT_EQ(Hex(AnalogueInputLogoID(7)), "ffffffffffffff00");
  EXPECT_STREQ(AnalogueInputName(2), "AV Composite");
  EXPECT_STREQ(AnalogueInputName(4), "AV Component");
  EXPECT_STREQ(AnalogueInputName(1), "AV Input");

  // TV services come first; the same ID on a radio service is found as the TV one.
  int type = -1, number = -1;
  ASSERT_EQ(LogoManager_GetServiceNumByChannelID(0xffffffff80010010ull, &type, &number), 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(number, 1);
  ASSERT_EQ(LogoManager_GetServiceNumByChannelID(0xffffffff80010020ull, &type, &number), 1);
  EXPECT_EQ(type, 1);
  EXPECT_EQ(number, 0);
  // Both halves are compared.
  EXPECT_EQ(LogoManager_GetServiceNumByChannelID(0x00c0000304010010ull, &type, &number), 0);
  EXPECT_EQ(LogoManager_GetServiceNumByChannelID(0x00c0000204010011ull, &type, &number), 0);
}

TEST_F(ChannelLookup, ChannelsByNameAndByTuningIdentity) {
  Install(SmallWorld());
  int type = -1, number = -1;
  ASSERT_EQ(findChannelByName("Beta", &type, &number), 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(number, 1);
  ASSERT_EQ(findChannelByName("Alpha", &type, &number), 1);   // TV before radio
  EXPECT_EQ(type, 0);
  EXPECT_EQ(number, 0);
  ASSERT_EQ(findChannelByName("Exactly 23 characters!!", &type, &number), 1);
  EXPECT_EQ(number, 2);
  type = number = 7;
  EXPECT_EQ(findChannelByName("alpha", &type, &number), 0);   // case-sensitive
  EXPECT_EQ(type, 0);
  EXPECT_EQ(number, 0);
  type = number = 7;
  EXPECT_EQ(findChannelByName("", &type, &number), 0);
  EXPECT_EQ(type + number, 0);
  EXPECT_EQ(findChannelByName("Alph", nullptr, nullptr), 0);

  number = -1;
  ASSERT_EQ(matchChannel(0, 0, 1, 0x10, &number), 1);
  EXPECT_EQ(number, 1);
  ASSERT_EQ(matchChannel(1, 0, 1, 0x10, &number), 1);
  EXPECT_EQ(number, 1);
  ASSERT_EQ(matchChannel(1, 0, 1, 0x20, &number), 1);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(matchChannel(0, 1, 1, 0x10, &number), 0);
  EXPECT_EQ(matchChannel(0, 0, 0, 0x11, &number), 0);
  EXPECT_EQ(matchChannel(2, 0, 0, 0x10, &number), 0);
}

std::vector<std::string> gLog;
int gLevel = 2;
void Collect(int level, const char *text) { gLog.push_back(std::to_string(level) + ":" + text); }

TEST_F(ChannelLookup, FavouritesGroupsByNameInBothVariants) {
  for (const char *variant : {"--favourites-variant 1644", "--favourites-variant 9424"}) {
    SCOPED_TRACE(variant);
    json world = DemoWorld(5, variant);
    world["favourites"]["groups"][2]["name"] = "TwelveChars!";   // fills its field, no terminator
    Install(world);
    gLog.clear();
    SetCommonLog(&gLevel, Collect);
    FavouritesGroupRecord r;
    ASSERT_EQ(FindFavouritesGroup("Sport", &r), 1);
    SetCommonLog(nullptr, nullptr);
    EXPECT_STREQ(r.groupName, "Sport");
    EXPECT_EQ(r.svcCount, 2);
    EXPECT_EQ(r.svcNum[0], 12);
    EXPECT_EQ(r.svcNum[1], 13);
    ASSERT_EQ(gLog.size(), 1u);
    EXPECT_EQ(gLog[0], "2:Index for group 'Sport' is 1.");
    ASSERT_EQ(FindFavouritesGroup("TwelveChars!", &r), 2);
    EXPECT_EQ(FindFavouritesGroup("Late Nights!", nullptr), 6);
    memset(&r, 0x5A, sizeof r);
    EXPECT_EQ(FindFavouritesGroup("sport", &r), -1);
    EXPECT_EQ(FindFavouritesGroup("", &r), -1);
    EXPECT_EQ(FindFavouritesGroup("TwelveChars!x", &r), -1);
    EXPECT_EQ(r.svcCount, 0x5A);   // untouched
  }
}

TEST_F(ChannelLookup, AnalogueInputsNeedAllThreeHooks) {
  std::string error;
  const std::vector<std::string> analogue = {"_isAnalogMode", "_Z26Appl_GetAnalogEncoderStatev",
                                             "_Z23Appl_AnalogChangeActionv"};
  ASSERT_TRUE(emu::SetOptionalSymbols(analogue, &error)) << error;
  ASSERT_TRUE(emu::ApplySymbols(&error)) << error;
  ResetFirmwareHooks();
  EXPECT_TRUE(AnalogueInputAvailable());
  for (const std::string &missing : analogue) {
    std::vector<std::string> some;
    for (const std::string &s : analogue) {
      if (s != missing) some.push_back(s);
    }
    ASSERT_TRUE(emu::SetOptionalSymbols(some, &error)) << error;
    ASSERT_TRUE(emu::ApplySymbols(&error)) << error;
    ResetFirmwareHooks();
    EXPECT_FALSE(AnalogueInputAvailable()) << missing;
  }
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error));
  ASSERT_TRUE(emu::ApplySymbols(&error));
}

}  // namespace
