// The timers API on emulated demo worlds: the list (member order, analogue timers, 32-bit
// values, long names) and new, changed and deleted timers from POST bodies, with the
// return codes of the failures and the bounds of the body parser.
#include "webserver/api/api_timers.h"

#include <gtest/gtest.h>

#include "common/packed_date.h"
#include "platform/flash_tables.h"
#include "tests/unit/api_world_fixture.h"

namespace {

using ojson = nlohmann::ordered_json;

class APITimers : public APIWorld {
 protected:
  ojson List() { return Answer([] { APITimersGet(); }); }
  ojson Update(int mode, const std::string &body) {
    Body(body);
    return Answer([mode] { APITimersUpdate(mode); });
  }
  // The key fields of timer i as body lines (its start moved by minutes).
  std::string Keys(int i, int minutes = 0) {
    TYPE_TimerInfo t;
    EXPECT_EQ(TAP_Timer_GetInfo(i, &t), 1);
    t.startTime += (dword)minutes;
    return "index=" + std::to_string(i) + "\nold_servicetype=" + std::to_string(t.svcType) +
           "\nold_servicenum=" + std::to_string(t.svcNum) + "\nold_duration=" + std::to_string(t.duration) +
           "\nold_starttime=" + PVRDateToJSON(t.startTime, 0) + "\n";
  }
  using APIWorld::Keys;
};

TEST_F(APITimers, ListInOrderWithAnalogueTimersAndLongNames) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    ojson world = Demo(systemType);
    world["timers"][1]["analogue_type"] = 4;
    world["timers"][2]["analogue_type"] = 7;
    world["timers"][3]["event_id1"] = 0x87654321u;
    world["timers"][4]["file_name"] = "Soir\u00e9e " + std::string(123, 'x');   // 130 bytes in Latin-1
    world["timers"][5]["file_name"] = "Tab\tQuote\" Back\\slash";
    Load(world);
    ojson a = List();
    ASSERT_EQ(a["count"], world["timers"].size());
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"count", "timestamp", "content", "timers"}));
    EXPECT_EQ(a["content"], "timers");
    const ojson &timers = a["timers"];
    EXPECT_EQ(Keys(timers[0]),
              (std::vector<std::string>{"index", "tunerindex", "recmode", "demuxpath", "manualrec", "unused1", "satindex",
                                        "servicetype", "reservationtype", "unused2", "serviceid", "lcn", "logoid",
                                        "chname", "satname", "orgnetid", "duration", "unused3", "filename",
                                        "filename_hex", "starttime", "endtime", "endtime_raw", "pmtid", "isrec",
                                        "nameset", "unused4", "epgmarker", "unused5", "unknown1", "eventid1",
                                        "eventid2", "serviceindex", "analoguetype", "unused8", "icetv", "unused9"}));
    const ojson &t0 = world["timers"][0];
    const ojson &svc = world["services"]["tv"][t0["service_number"].get<int>()];
    EXPECT_EQ(timers[0]["chname"], svc["name"]);
    EXPECT_EQ(timers[0]["lcn"], svc["lcn"]);
    EXPECT_EQ(timers[0]["epgmarker"], t0["epg_marker"]);
    EXPECT_EQ(timers[1]["chname"], "AV Component");
    EXPECT_EQ(timers[1]["logoid"], "ffffffffffffff04");
    EXPECT_EQ(timers[2]["chname"], "AV Input");
    EXPECT_EQ(timers[2]["logoid"], "ffffffffffffff00");
    EXPECT_EQ(timers[3]["eventid1"], 2271560481u);   // unsigned, on the PVR as on a PC
    EXPECT_EQ(timers[4]["filename"], "Soir\u00e9e " + std::string(123, 'x'));
    EXPECT_EQ(timers[4]["filename_hex"].get<std::string>().size(), 260u);
    EXPECT_EQ(timers[5]["filename"], "Tab\tQuote\" Back\\slash");
    // 2024-05-02 20:00 for 30 minutes (tools/demo_world.py).
    EXPECT_EQ(timers[0]["starttime"], "2024/05/02 20:00:00");
    EXPECT_EQ(timers[0]["endtime"], "2024/05/02 20:30:00");
    EXPECT_EQ(timers[0]["endtime_raw"], "2024/05/02 20:30:00");
  }
}

TEST_F(APITimers, NewTimersTakeTheirDefaults) {
  ojson world = Demo(6);
  Load(world);
  int n = TAP_Timer_GetTotalNum();
  ojson a = Update(TIMERS_NEW, "starttime=2024/06/01 20:15:00\nduration=60\nservicetype=0\nservicenum=3\nisrec=1\n");
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"start_count", "timestamp", "content", "end_count", "return_code",
                                               "return_text"}));
  EXPECT_EQ(a["content"], "timers_new");
  EXPECT_EQ(a["return_code"], 0);
  EXPECT_EQ(a["return_text"], "");
  EXPECT_EQ(a["start_count"], n);
  EXPECT_EQ(a["end_count"], n + 1);
  TimerTableRecord r;
  ASSERT_EQ(FlashTimerGetInfo(n, &r), 1);
  EXPECT_EQ(r.tunerIndex, 3);
  EXPECT_STREQ(r.fileName, "New Orvane Timer.rec");
  EXPECT_EQ(r.nameSet, 0);
  EXPECT_EQ(r.epgMarker, 2);
  EXPECT_EQ(r.duration, 60);
  EXPECT_EQ(r.serviceIndex, 3);

  a = Update(TIMERS_NEW, "starttime=2024/06/02 06:00:00\r\nduration=30\r\nservicenum=1\r\nreservationtype=5\r\n"
                         "filename=Caf\xc3\xa9.rec\r\neventid1=4000000000\r\nanaloguetype=2\r\n");
  EXPECT_EQ(a["return_code"], 0);
  ASSERT_EQ(FlashTimerGetInfo(n + 1, &r), 1);
  EXPECT_EQ(r.epgMarker, 6);
  EXPECT_STREQ(r.fileName, "Caf\xe9.rec");   // Latin-1 on a firmware without UTF-8, no CR
  EXPECT_EQ(r.nameSet, 1);
  EXPECT_EQ(r.eventId1, 4000000000u);
  EXPECT_EQ(r.unused8[TIMER_ANALOGUE_TYPE], 2);
  EXPECT_EQ(r.tunerIndex, 4);

  a = Update(TIMERS_NEW, "starttime=2024/06/02 06:00:00\nservicenum=1\n");   // no duration: refused
  EXPECT_EQ(a["return_code"], 1);
  EXPECT_EQ(a["return_text"], "Error creating timer.  TAP return code = 1.");
  EXPECT_EQ(a["end_count"], n + 2);
}

TEST_F(APITimers, ModifyKeepsWhatWasNotSent) {
  ojson world = Demo(5);
  Load(world);
  TimerTableRecord before, after;
  ASSERT_EQ(FlashTimerGetInfo(1, &before), 1);
  ojson a = Update(TIMERS_MODIFY, Keys(1) + "filename=Renamed " + std::string(200, 'y') + "\n");
  EXPECT_EQ(a["content"], "timers_modify");
  EXPECT_EQ(a["return_code"], 0);
  ASSERT_EQ(FlashTimerGetInfo(1, &after), 1);
  EXPECT_EQ(std::string(after.fileName), "Renamed " + std::string(119, 'y'));   // cut to the 127 of a value
  EXPECT_EQ(after.startTime, before.startTime);
  EXPECT_EQ(after.duration, before.duration);
  EXPECT_EQ(after.serviceIndex, before.serviceIndex);
  EXPECT_EQ(after.epgMarker, before.epgMarker);
  EXPECT_EQ(after.eventId1, before.eventId1);
  EXPECT_EQ(after.reservationType, before.reservationType);

  // One minute off in the key: nothing changes.
  a = Update(TIMERS_MODIFY, Keys(2, 1) + "duration=5\n");
  EXPECT_EQ(a["return_code"], 2);
  EXPECT_EQ(a["return_text"], "Key fields do not match for modify or delete timer request.");
  ASSERT_EQ(FlashTimerGetInfo(2, &after), 1);
  EXPECT_NE(after.duration, 5);
  a = Update(TIMERS_MODIFY, "index=2\nduration=5\n");   // the defaults match no timer
  EXPECT_EQ(a["return_code"], 2);
}

TEST_F(APITimers, DeleteAndIndexesOutsideTheTable) {
  ojson world = Demo(7);
  Load(world);
  int n = TAP_Timer_GetTotalNum();
  ojson a = Update(TIMERS_DELETE, "old_duration=30\n");
  EXPECT_EQ(a["content"], "timers_delete");
  EXPECT_EQ(a["return_code"], 3);
  EXPECT_EQ(a["return_text"], "Index not set for modify or delete timer request.");
  for (const std::string &index : {std::string("-2"), std::to_string(n), std::string("99999")}) {
    a = Update(TIMERS_DELETE, "index=" + index + "\nold_servicetype=0\n");
    EXPECT_EQ(a["return_code"], 3) << index;
    a = Update(TIMERS_MODIFY, "index=" + index + "\nduration=1\n");
    EXPECT_EQ(a["return_code"], 3) << index;
  }
  EXPECT_EQ(TAP_Timer_GetTotalNum(), n);
  a = Update(TIMERS_DELETE, Keys(0));
  EXPECT_EQ(a["return_code"], 0);
  EXPECT_EQ(a["start_count"], n);
  EXPECT_EQ(a["end_count"], n - 1);
  // Lines without "=" are skipped; a body without a header end is not read.
  a = Update(TIMERS_DELETE, "garbage\n\n=\n" + Keys(0));
  EXPECT_EQ(a["return_code"], 0);
  gHTTPpost.headerEndMissing = 1;
  Body(Keys(0));
  gHTTPpost.headerEndMissing = 1;
  a = Answer([] { APITimersUpdate(TIMERS_DELETE); });
  EXPECT_EQ(a["return_code"], 3);
}

}  // namespace
