// The emulated PVR's world: the tables pvrsim builds from world.json, byte for byte against
// the independent Python encoder for the three system types, both favourites variants and
// both terrestrial timer sizes; the TAP API on the same bytes; the firmware's timer and
// favourites changes written back to world.json and built again to the same bytes.
#include "emulator/emu_world.h"

#include <gtest/gtest.h>
#include <string.h>

#include <fstream>

#include "emulator/emulator.h"
#include "platform/flash_tables.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/world_tables_oracle.h"

namespace {

using json = nlohmann::json;

class EmulatedWorld : public EmulatedPvr {
 protected:
  // Writes a world as the emulated root's world.json and loads it.
  void Load(const json &world) {
    WriteFile("/world.json", world.dump(1));
    emu::gSystem.systemType = world.value("system_type", 5);
    InstallDemoModel(root_, emu::gSystem.systemType);
    std::string error;
    ASSERT_TRUE(emu::LoadWorld(Host("/world.json"), &error)) << error;
  }
  json Saved() { return json::parse(ReadFile("/world.json")); }
};

// A firmware table: the bytes under its hook, size bytes.
std::vector<byte> Published(FirmwareHookId id, size_t size) {
  byte *table = emu::PublishedTable(id);
  return std::vector<byte>(table, table + size);
}

// The table as the emulator holds it: the encoder's bytes, zero-padded to the firmware size.
void ExpectTable(FirmwareHookId id, const std::vector<byte> &encoded, size_t size, const char *what) {
  std::vector<byte> expected = encoded;
  ASSERT_LE(expected.size(), size) << what;
  expected.resize(size, 0);
  EXPECT_EQ(Published(id, size), expected) << what;
}

TEST_F(EmulatedWorld, TablesAreThoseOfTheIndependentEncoder) {
  struct Case { int systemType; const char *options; };
  for (Case c : {Case{5, "--favourites-variant 9424"}, Case{5, "--favourites-variant 1644"}, Case{6, ""},
                 Case{6, "--timer-entry-size 200 --favourites-variant 9424"}, Case{7, ""}}) {
    SCOPED_TRACE(std::to_string(c.systemType) + " " + c.options);
    json world = DemoWorld(c.systemType, c.options);
    // Every timer field given, and the bytes no field covers.
    world["timers"][0]["unused9"] = "a1a2a3a4a5a6a7a8a9aaabacad";
    world["timers"][0]["spare_bytes"] = std::string(304, 'e');
    world["timers"][1]["analogue_type"] = 4;
    Load(world);
    EncodedWorld e = EncodeWorld(world);
    ExpectTable(FW_HOOK_TvServices, e.blocks["tvSvc"], e.blocks["tvSvc"].size(), "tvSvc");
    ExpectTable(FW_HOOK_RadioServices, e.blocks["radioSvc"], e.blocks["radioSvc"].size(), "radioSvc");
    ExpectTable(FW_HOOK_ServiceNames, e.blocks["svcName"], SERVICE_NAME_BLOCK_SIZE, "svcName");
    ExpectTable(FW_HOOK_Providers, e.blocks["providerInfo"], PROVIDER_BLOCK_SIZE, "providerInfo");
    ExpectTable(FW_HOOK_Satellites, e.blocks["satInfo"], SAT_TABLE_SIZE, "satInfo");
    ExpectTable(FW_HOOK_Transponders, e.blocks["tpInfo"], TP_TABLE_SIZE, "tpInfo");
    ExpectTable(FW_HOOK_Favourites, e.blocks["favGrp"], e.blocks["favGrp"].size(), "favGrp");
    ExpectTable(FW_HOOK_Settings, e.blocks["applEepromAddr"], SETTINGS_BLOCK_SIZE, "applEepromAddr");
    ExpectTable(FW_HOOK_Timers, e.blocks["timer"], e.blocks["timer"].size(), "timer");
    EXPECT_EQ(emu::PublishedTable(FW_HOOK_GameSaveData) - emu::PublishedTable(FW_HOOK_Favourites),
              (long)e.blocks["favGrp"].size());
    EXPECT_EQ(emu::PublishedTable(FW_HOOK_TimerTempInfo) - emu::PublishedTable(FW_HOOK_TimerEditInfo),
              (long)e.timerEntrySize);
  }
}

TEST_F(EmulatedWorld, TapApiAnswersFromTheSameTables) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    json world = DemoWorld(systemType);
    Load(world);
    int tv = 0, radio = 0;
    TAP_Channel_GetTotalNum(&tv, &radio);
    ASSERT_EQ(tv, (int)world["services"]["tv"].size());
    ASSERT_EQ(radio, (int)world["services"]["radio"].size());
    for (int i = 0; i < tv; i++) {
      const json &s = world["services"]["tv"][i];
      TYPE_TapChInfo info;
      ASSERT_EQ(TAP_Channel_GetInfo(0, i, &info), 1);
      const json &sat = world["satellites"][s["satellite"].get<int>()];
      const json &tp = sat["transponders"][s["transponder"].get<int>()];
      EXPECT_EQ(info.logicalChNum, s["lcn"].get<int>());
      EXPECT_EQ(info.svcId, s["service_id"].get<int>());
      EXPECT_EQ(info.tsId, tp["tsid"].get<int>());
      EXPECT_EQ(info.orgNetId, tp["onid"].get<int>());
      EXPECT_STREQ(info.satName, systemType == 7 ? "Cable" : sat["name"].get<std::string>().c_str());
      ServiceRecord r;
      ASSERT_EQ(FlashServiceGetInfo(0, i, &r), 1);
      EXPECT_STREQ(info.chName, r.serviceName);   // the same bytes as the table decoder reads
    }
    int type = -1, number = -1;
    ASSERT_EQ(TAP_Channel_GetCurrent(&type, &number), 1);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(number, 0);
    // Locked and deleted services are refused and the current channel stays.
    for (int i = 0; i < tv; i++) {
      const json &s = world["services"]["tv"][i];
      bool refused = s["locked"].get<bool>() || s["deleted"].get<bool>();
      EXPECT_EQ(TAP_Channel_Start(1, 0, i), refused ? 0 : 1) << i;
      ASSERT_EQ(TAP_Channel_GetCurrent(&type, &number), 1);
      if (!refused) {
        EXPECT_EQ(number, i);
      }
    }
    EXPECT_EQ(TAP_Channel_Start(1, 1, radio), 0);
  }
}

TEST_F(EmulatedWorld, FirmwareChangesAreWrittenBackAndBuildTheSameTables) {
  for (const char *options : {"", "--timer-entry-size 200", "--favourites-variant 1644"}) {
    for (int systemType : {5, 6, 7}) {
      if (systemType != 6 && strstr(options, "timer")) continue;
      SCOPED_TRACE(std::to_string(systemType) + " " + options);
      json world = DemoWorld(systemType, options);
      Load(world);
      emu::SaveWorldChanges();
      EXPECT_EQ(ReadFile("/world.json"), world.dump(1)) << "nothing changed, nothing written";

      // A timer through the TAP API and its table fields through the support layer.
      TYPE_TimerInfo t = {};
      t.isRec = 1;
      t.tuner = 3;
      t.svcNum = 2;
      t.duration = 45;
      t.startTime = (60500u << 16) | (21 << 8) | 5;
      snprintf(t.fileName, sizeof t.fileName, "Caf\xe9 \"late\".rec");
      ASSERT_EQ(TAP_Timer_Add(&t), TIMER_ADDED);
      int added = TAP_Timer_GetTotalNum() - 1;
      TimerTableRecord record;
      ASSERT_EQ(FlashTimerGetInfo(added, &record), 1);
      record.epgMarker = 2;
      record.eventId1 = 0x87654321u;
      ASSERT_EQ(FlashTimerSetInfo(added, record), 1);
      ASSERT_EQ(TAP_Timer_Delete(0), 1);
      // A favourites group renamed and the selection changed.
      FavouritesGroupRecord group;
      ASSERT_EQ(FlashFavoritesGetInfo(1, &group), 1);
      snprintf(group.groupName, sizeof group.groupName, "Sport+");
      ASSERT_EQ(FlashFavoritesSetInfo(1, group), 1);
      emu::SettingsBlock()[SETTINGS_FAV_GROUP] = 1;
      size_t entry = 0;
      std::vector<byte> timers = emu::TimerTable(&entry);
      std::vector<byte> favourites = emu::FavouritesBlock();
      emu::SaveWorldChanges();

      json saved = Saved();
      ASSERT_EQ(saved["timers"].size(), world["timers"].size());
      const json &last = saved["timers"].back();
      EXPECT_EQ(last["file_name"], "Caf\u00e9 \"late\".rec");
      EXPECT_EQ(last["epg_marker"], 2);
      EXPECT_EQ(last["event_id1"], 0x87654321u);
      EXPECT_EQ(last["start"], "2024-07-09 21:05");
      EXPECT_EQ(saved["timers"][0]["start"], world["timers"][1]["start"]);
      EXPECT_EQ(saved["favourites"]["groups"][1]["name"], "Sport+");
      EXPECT_EQ(saved["favourites"]["selected"], 1);
      EXPECT_EQ(saved["services"], world["services"]);   // the rest is kept

      // Loaded again (a restart), the same bytes; the Python encoder agrees.
      Load(saved);
      EXPECT_EQ(emu::TimerTable(&entry), timers);
      EXPECT_EQ(emu::FavouritesBlock(), favourites);
      EncodedWorld e = EncodeWorld(saved);
      EXPECT_EQ(e.blocks["timer"], timers);
      EXPECT_EQ(e.blocks["favGrp"], favourites);
    }
  }
}

TEST_F(EmulatedWorld, InvalidWorldsAreRefusedWithAMessage) {
  json world = DemoWorld(5);
  std::string error;
  emu::TableImage image;
  json bad = world;
  bad["services"]["tv"][0]["charset"] = "iso8859-2";
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  EXPECT_NE(error.find("cannot be stored"), std::string::npos) << error;
  bad = world;
  bad["services"]["tv"][0]["name"] = "\u65e5\u672c";   // not in Latin-1
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  bad = world;
  bad["favourites_variant"] = 1000;
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  bad = world;
  bad["timer_entry_size"] = 360;   // only terrestrial models have them
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  bad = DemoWorld(6);
  bad["timer_entry_size"] = 204;
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  bad = world;
  bad["timers"][0]["start"] = "tomorrow";
  EXPECT_FALSE(emu::BuildTableImage(bad, &image, &error));
  // A world of another system type than the firmware's.
  WriteFile("/world.json", DemoWorld(7).dump());
  emu::gSystem.systemType = 5;
  EXPECT_FALSE(emu::LoadWorld(Host("/world.json"), &error));
  EXPECT_NE(error.find("system type 7"), std::string::npos) << error;
}

}  // namespace
