// The support layer's table access on the PVR's own tables: what the hook layer finds
// (system type of the model, sizes from the TAP API and the distances between firmware
// blocks, the fixed maxima) on tables that the independent Python encoder wrote and the
// emulated firmware holds.
#include "platform/flash_tables.h"

#include <gtest/gtest.h>
#include <string.h>

#include "emulator/emulator.h"
#include "platform/firmware_hooks.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/world_tables_oracle.h"

namespace {

using json = nlohmann::json;

class FlashTables : public EmulatedPvr {
 protected:
  // Installs a world's tables as the emulated firmware's, on a model of its system type.
  EncodedWorld Install(const json &world) {
    EncodedWorld encoded = EncodeWorld(world);
    InstallDemoModel(root_, encoded.systemType);
    std::string error;
    EXPECT_TRUE(emu::InstallTables(encoded.Image(), &error)) << error;
    return encoded;
  }
};

TEST_F(FlashTables, TheHookLayerFindsEveryTableWithItsSize) {
  struct Case { int systemType; const char *options; dword favourites, timerEntry; };
  for (Case c : {Case{5, "", 9424, 200}, Case{6, "", 1644, 360}, Case{6, "--timer-entry-size 200", 1644, 200},
                 Case{7, "--favourites-variant 1644", 1644, 200}}) {
    SCOPED_TRACE(std::to_string(c.systemType) + " " + c.options);
    json world = DemoWorld(c.systemType, c.options);
    Install(world);
    FirmwareTables t;
    GetFirmwareTables(&t);
    EXPECT_EQ(t.systemType, c.systemType);
    EXPECT_EQ(t.tvServices.size, 32 * world["services"]["tv"].size());
    EXPECT_EQ(t.radioServices.size, 32 * world["services"]["radio"].size());
    EXPECT_EQ(t.favourites.size, c.favourites);
    EXPECT_EQ(t.timerEntrySize, c.timerEntry);
    EXPECT_EQ(t.timers.size, c.timerEntry * world["timers"].size());
    EXPECT_EQ(t.serviceNames.size, (dword)SERVICE_NAME_BLOCK_SIZE);
    EXPECT_EQ(t.providers.size, (dword)PROVIDER_BLOCK_SIZE);
    EXPECT_EQ(t.satellites.size, (dword)SAT_TABLE_SIZE);
    EXPECT_EQ(t.transponders.size, (dword)TP_TABLE_SIZE);
    EXPECT_EQ(t.settings.size, (dword)SETTINGS_BLOCK_SIZE);
    EXPECT_EQ(FlashTimerStructSize(), (int)c.timerEntry);
    int groups = 0, entries = 0;
    ASSERT_EQ(FlashFavoritesGetParameters(&groups, &entries), 1);
    EXPECT_EQ(groups * entries, c.favourites == 1644 ? 500 : 3000);
    EXPECT_EQ(FlashSatTablesGetTotal(), (int)world["satellites"].size());

    // Every service of the world, through the functions without a table argument.
    for (int type = 0; type < 2; type++) {
      const json &list = world["services"][type ? "radio" : "tv"];
      for (size_t i = 0; i < list.size(); i++) {
        ServiceRecord r;
        ASSERT_EQ(FlashServiceGetInfo(type, (int)i, &r), 1);
        EXPECT_EQ(r.serviceId, list[i]["service_id"].get<int>());
        EXPECT_EQ(r.lcn, list[i]["lcn"].get<int>());
      }
      ServiceRecord r;
      EXPECT_EQ(FlashServiceGetInfo(type, (int)list.size(), &r), 0);
    }
    FavouritesGroupRecord current;
    ASSERT_EQ(FlashFavoritesGetInfoCurrent(&current), 1);   // the demo selects group 0
    EXPECT_STREQ(current.groupName, world["favourites"]["groups"][0]["name"].get<std::string>().c_str());
  }
}

TEST_F(FlashTables, TimerTableAndTapApiShowTheSameTimers) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    json world = DemoWorld(systemType);
    Install(world);
    int n = TAP_Timer_GetTotalNum();
    ASSERT_EQ(n, (int)world["timers"].size());
    for (int i = 0; i < n; i++) {
      TimerTableRecord r;
      TYPE_TimerInfo info;
      ASSERT_EQ(FlashTimerGetInfo(i, &r), 1);
      ASSERT_EQ(TAP_Timer_GetInfo(i, &info), 1);
      EXPECT_EQ(r.serviceIndex, info.svcNum);
      EXPECT_EQ(r.duration, info.duration);
      EXPECT_EQ(r.startTime, info.startTime);
      EXPECT_STREQ(r.fileName, info.fileName);
      EXPECT_EQ(r.epgMarker, world["timers"][i]["epg_marker"].get<int>());
    }
    // A write through the table is what the TAP API then reads.
    TimerTableRecord r;
    ASSERT_EQ(FlashTimerGetInfo(1, &r), 1);
    r.duration = 17;
    snprintf(r.fileName, sizeof r.fileName, "Changed.rec");
    ASSERT_EQ(FlashTimerSetInfo(1, r), 1);
    TYPE_TimerInfo info;
    ASSERT_EQ(TAP_Timer_GetInfo(1, &info), 1);
    EXPECT_EQ(info.duration, 17);
    EXPECT_STREQ(info.fileName, "Changed.rec");
    EXPECT_EQ(FlashTimerGetInfo(n, &r), 0);
    EXPECT_EQ(FlashTimerSetInfo(n, r), 0);   // never past the timers in use
  }
}

TEST_F(FlashTables, AnUnknownModelOrAMissingHookReadsNothing) {
  json world = DemoWorld(5);
  Install(world);
  ServiceRecord r;
  ASSERT_EQ(FlashServiceGetInfo(0, 0, &r), 1);

  emu::gSystem.systemId = 12345;   // no such model: no layout is known
  EXPECT_EQ(PVRSystemType(), 0);
  EXPECT_EQ(FlashServiceGetInfo(0, 0, &r), 0);
  EXPECT_EQ(FlashSatTablesGetTotal(), 0);
  EXPECT_EQ(FlashTimerStructSize(), 0);

  InstallDemoModel(root_, 5);
  std::string error;
  ASSERT_TRUE(emu::MakeHookAbsent("_tvSvc", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(FlashServiceGetInfo(0, 0, &r), 0);
  EXPECT_EQ(FlashServiceGetInfo(1, 0, &r), 1);
  ASSERT_TRUE(emu::MakeHookAbsent("_gameSaveData", true, &error)) << error;
  ResetFirmwareHooks();
  int groups = 1, entries = 1;
  EXPECT_EQ(FlashFavoritesGetParameters(&groups, &entries), 0);   // no distance, no variant
  EXPECT_EQ(groups + entries, 0);
  ASSERT_TRUE(emu::MakeHookAbsent("_timerTempInfo", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(FlashTimerStructSize(), 0);
  TimerTableRecord timer;
  EXPECT_EQ(FlashTimerGetInfo(0, &timer), 0);
}

}  // namespace
