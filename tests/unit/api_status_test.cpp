// The status answer on emulated states: idle, recording, playing, drives attached, the
// analogue input, no model record; members in order, records whole and counts true.
#include "webserver/api/api_status.h"

#include <sys/stat.h>

#include "emulator/emu_playback.h"
#include "platform/byte_order.h"
#include "tests/unit/device_api_fixture.h"
#include "tests/unit/world_tables_oracle.h"

namespace {

using nlohmann::ordered_json;

// One satellite at 19.2 degrees east with one transponder (TSID 1079, ONID 1) and two TV
// services: their logo IDs are 00c0 0001 0437 6d66 and 00c0 0001 0437 6d67.
const char kWorld[] = R"({"format": 1, "system_type": 5,
  "satellites": [{"name": "Astra", "position": 192,
                  "transponders": [{"frequency": 11836, "symbol_rate": 27500, "tsid": 1079, "onid": 1}]}],
  "services": {"tv": [{"name": "One", "service_id": 28006}, {"name": "Two", "service_id": 28007}],
               "radio": []},
  "current_channel": {"type": 0, "number": 1}})";
const char kLogoOne[] = "00c0000104376d66";
const char kLogoTwo[] = "00c0000104376d67";

class StatusAnswer : public DeviceApiTest {
 protected:
  void SetUp() override {
    DeviceApiTest::SetUp();
    Models("[(22010, 'TMS-2400 HD', 'TMS', 5, 2, 4, 0)]");
  }
  void TearDown() override {
    emu::SetPlayState(TYPE_PlayInfo());
    DeviceApiTest::TearDown();
  }
  // The profile, the channel tables of kWorld and Orvane.tap's start.
  void Pvr(const std::string &profile) {
    Profile(profile);
    EncodedWorld world = EncodeWorld(nlohmann::json::parse(kWorld));
    emu::TableImage image = world.Image();
    image.currentType = 0;
    image.currentNumber = 1;
    std::string error;
    ASSERT_TRUE(emu::InstallTables(image, &error)) << error;
    Start();
  }
  ordered_json Ask() { return DeviceApiTest::Ask(APIStatusGet); }
  // MiB free (available to users, or all free blocks) and in all of a host folder's file
  // system, as Python's os.statvfs reports them.
  std::pair<long long, long long> PythonSpace(const std::string &folder, bool availableOnly) {
    std::string out = RunPython(std::string("import os, sys\ns = os.statvfs(sys.stdin.read())\n"
                                            "print(s.f_frsize * s.") +
                                    (availableOnly ? "f_bavail" : "f_bfree") + " >> 20, s.f_frsize * s.f_blocks >> 20)\n",
                                folder);
    long long free = -2, size = -2;
    sscanf(out.c_str(), "%lld %lld", &free, &size);
    return {free, size};
  }
};

TEST_F(StatusAnswer, EveryMemberInOrderWhileIdle) {
  Pvr(R"({"sleep_timer": 45, "heap_size": 1048576})");
  ordered_json a = Ask();
  const std::vector<std::string> order = {
      "content", "state", "substate", "current_chtype", "current_chnum", "current_logoid", "totaldisk",
      "freedisk", "heapsize", "freeheapsize", "availheapsize", "playstatus", "playmode", "trickmode", "speed",
      "svctype", "svcnum", "logoid", "duration", "durationsec", "currentblock", "totalblock", "filename",
      "filename_hex", "absolutefilename", "recording", "drive_count", "sleeptimer", "timestamp"};
  EXPECT_EQ(Keys(a), order);
  EXPECT_EQ(TopLevelNames(), order);
  EXPECT_EQ(a["content"], "status");
  EXPECT_EQ(a["state"], 0);   // the receiver has the display
  EXPECT_EQ(a["current_chtype"], 0);
  EXPECT_EQ(a["current_chnum"], 1);
  EXPECT_EQ(a["current_logoid"], kLogoTwo);
  auto space = PythonSpace(Host("/mnt/hd"), true);   // the TAP API's free space
  EXPECT_EQ(a["totaldisk"].get<long long>(), space.second);
  EXPECT_NEAR(a["freedisk"].get<double>(), (double)space.first, 64);
  EXPECT_EQ(a["heapsize"], 1048576);
  EXPECT_LE(a["freeheapsize"].get<long>(), 1048576);
  EXPECT_EQ(a["playstatus"], 1);
  EXPECT_EQ(a["playmode"], 0);
  EXPECT_EQ(a["logoid"], "0000000000000000");
  EXPECT_EQ(a["filename"], "");
  EXPECT_EQ(a["absolutefilename"], "");
  ASSERT_EQ(a["recording"].size(), 4u);
  for (int slot = 0; slot < 4; slot++) {
    const ordered_json &r = a["recording"][slot];
    EXPECT_EQ(Keys(r), (std::vector<std::string>{"slot", "rectype", "tuner", "svctype", "svcnum", "logoid",
                                                 "duration", "starttime", "endtime", "endtime_raw",
                                                 "recordedsec", "filename_hex", "filename"}));
    EXPECT_EQ(r["slot"], slot);
    EXPECT_EQ(r["rectype"], 0);
    EXPECT_EQ(r["logoid"], "0000000000000000");
    EXPECT_EQ(r["starttime"], "0");
    EXPECT_EQ(r["endtime"], "0");
    EXPECT_EQ(r["endtime_raw"], "0");
  }
  EXPECT_EQ(a["drive_count"], 0);
  EXPECT_EQ(a["sleeptimer"], 45);
  // The shape of the text: an empty line before the play members, the records' brackets.
  const std::string &t = last_.body;
  EXPECT_NE(t.find("\"availheapsize\":" + std::to_string(a["availheapsize"].get<long>()) + ",\r\n\r\n\"playstatus\":"),
            std::string::npos);
  EXPECT_NE(t.find("\"recording\":\r\n[\r\n\r\n{\r\n\"slot\":0,\r\n"), std::string::npos);
  EXPECT_NE(t.find("\"filename\":\"\"\r\n}\r\n\r\n,{\r\n\"slot\":1,\r\n"), std::string::npos);
  EXPECT_NE(t.find("\r\n}\r\n],\r\n\"drive_count\":0,\r\n\"sleeptimer\":45,\r\n\"timestamp\":\""), std::string::npos);
}

// A running recording: its service and logo ID, start, end from start and duration, the
// firmware's own end time, the seconds recorded and its file name.
TEST_F(StatusAnswer, RecordingSlots) {
  Pvr(R"({"clock": "2024-05-01 19:45:00", "utc_offset": 60,
          "recordings": [{"type": 1, "duration": 90, "tuner": 1, "svc_type": 0, "svc_num": 0,
                          "start": "2024-05-01 20:15", "file": "News \"late\"\\.rec"},
                         {"type": 0}, {"type": 2, "duration": 30, "svc_num": 1, "file": "late2"},
                         {"type": 0}]})");
  ordered_json a = Ask();
  ASSERT_EQ(a["recording"].size(), 4u);
  const ordered_json &r = a["recording"][0];
  EXPECT_EQ(r["rectype"], 1);
  EXPECT_EQ(r["tuner"], 1);
  EXPECT_EQ(r["svctype"], 0);
  EXPECT_EQ(r["svcnum"], 0);
  EXPECT_EQ(r["logoid"], kLogoOne);
  EXPECT_EQ(r["duration"], 90);
  EXPECT_EQ(r["starttime"], "2024/05/01 20:15:00");
  EXPECT_EQ(r["endtime"], "2024/05/01 21:45:00");
  EXPECT_EQ(r["endtime_raw"], "2024/05/01 21:45:00");
  EXPECT_EQ(r["recordedsec"], 30 * 60);
  EXPECT_EQ(r["filename"], "News \"late\"\\.rec");
  EXPECT_EQ(r["filename_hex"], ToHex("News \"late\"\\.rec"));
  EXPECT_EQ(a["recording"][1]["rectype"], 0);
  EXPECT_EQ(a["recording"][2]["logoid"], kLogoTwo);
  EXPECT_EQ(a["recording"][2]["starttime"], "2024/05/01 20:45:00");   // started with pvrsim
  EXPECT_EQ(a["recording"][2]["recordedsec"], 0);

  // The recording is made longer: its end moves, the firmware's end time stays.
  PutLE16(FirmwareRecordingSlots() + RECORDING_SLOT_DURATION, 120);
  a = Ask();
  EXPECT_EQ(a["recording"][0]["duration"], 120);
  EXPECT_EQ(a["recording"][0]["endtime"], "2024/05/01 22:15:00");
  EXPECT_EQ(a["recording"][0]["endtime_raw"], "2024/05/01 21:45:00");
}

// Without a model record the slots are those the firmware reports, not a null record's.
TEST_F(StatusAnswer, NoModelRecordListsTheSlotsTheFirmwareReports) {
  RunCommand("rm -f '" + Host("/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat") + "'");
  Pvr(R"({"recordings": [{"type": 0}, {"type": 1, "duration": 10}, {"type": 0}]})");
  ASSERT_EQ(gModelInfo, nullptr);
  ordered_json a = Ask();
  ASSERT_EQ(a["recording"].size(), 3u);
  EXPECT_EQ(a["recording"][1]["rectype"], 1);
  Pvr(R"({"recordings": []})");
  a = Ask();
  EXPECT_EQ(a["recording"].size(), 0u);
  EXPECT_NE(last_.body.find("\"recording\":\r\n[\r\n],\r\n"), std::string::npos);
}

TEST_F(StatusAnswer, PlayingAndPausedFiles) {
  Pvr("{}");
  TYPE_PlayInfo play = {};
  play.playMode = PLAYMODE_Playing;
  play.trickMode = 2;
  play.speed = 4;
  play.svcType = 0;
  play.svcNum = 1;
  play.durationMin = 42;
  play.durationSec = 17;
  play.currentBlock = 100;
  play.totalBlock = 2000;
  snprintf(play.filePath, sizeof play.filePath, "/DataFiles/My \"film\" \xe9.rec");
  emu::SetPlayState(play);
  ordered_json a = Ask();
  EXPECT_EQ(a["playstatus"], 1);
  EXPECT_EQ(a["playmode"], 1);
  EXPECT_EQ(a["trickmode"], 2);
  EXPECT_EQ(a["speed"], 4);
  EXPECT_EQ(a["svctype"], 0);
  EXPECT_EQ(a["svcnum"], 1);
  EXPECT_EQ(a["logoid"], kLogoTwo);
  EXPECT_EQ(a["duration"], 42);
  EXPECT_EQ(a["durationsec"], 17);
  EXPECT_EQ(a["currentblock"], 100);
  EXPECT_EQ(a["totalblock"], 2000);
  EXPECT_EQ(a["filename"], "My \"film\" \xc3\xa9.rec");
  EXPECT_EQ(a["filename_hex"], ToHex("My \"film\" \xe9.rec"));
  EXPECT_EQ(a["absolutefilename"], "/mnt/hd/DataFiles/My \"film\" \xc3\xa9.rec");

  // Paused, on an attached drive, with a name that fills its field.
  play.playMode = PLAYMODE_Paused;
  memset(play.filePath, 'x', sizeof play.filePath);
  memcpy(play.filePath, "/mnt/sdb1/", 10);
  emu::SetPlayState(play);
  a = Ask();
  EXPECT_EQ(a["playmode"], 4);
  EXPECT_EQ(a["absolutefilename"].get<std::string>().size(), (size_t)PLAY_INFO_PATH_SIZE);
  EXPECT_EQ(a["filename"], std::string(PLAY_INFO_PATH_SIZE - 10, 'x'));
}

// Attached drives: the space of their file systems, -1 free and the table's size when the
// mount path cannot be asked, at most ten, none without the hooks.
TEST_F(StatusAnswer, DrivesAttached) {
  mkdir(Host("/mnt/sdb1").c_str(), 0755);
  Pvr(R"({"external_partitions": [
           {"path": "/dev/sdb1", "mount": "/mnt/sdb1", "name": "USB \"1\"", "size_mb": 100, "type": 12},
           {"path": "/dev/sdc1", "mount": "/mnt/sdc1", "name": "USB-2", "size_mb": 333, "type": 7},
           "/mnt/sdd1"]})");
  ordered_json a = Ask();
  EXPECT_EQ(a["drive_count"], 3);
  ASSERT_EQ(a["drives"].size(), 3u);
  const ordered_json &d = a["drives"][0];
  EXPECT_EQ(Keys(d), (std::vector<std::string>{"name", "path", "mountpath", "partitiontype", "free_mb", "size_mb"}));
  EXPECT_EQ(d["name"], "USB \"1\"");
  EXPECT_EQ(d["path"], "/dev/sdb1");
  EXPECT_EQ(d["mountpath"], "/mnt/sdb1");
  EXPECT_EQ(d["partitiontype"], 12);
  auto space = PythonSpace(Host("/mnt/sdb1"), false);   // every free block
  EXPECT_EQ(d["size_mb"].get<long long>(), space.second);
  EXPECT_NEAR(d["free_mb"].get<double>(), (double)space.first, 64);
  EXPECT_EQ(a["drives"][1]["free_mb"], -1);
  EXPECT_EQ(a["drives"][1]["size_mb"], 333);
  EXPECT_EQ(a["drives"][2]["mountpath"], "/mnt/sdd1");
  EXPECT_EQ(a["drives"][2]["name"], "sdd1");
  EXPECT_NE(last_.body.find("\"drive_count\":3,\r\n\"drives\":\r\n[\r\n{\r\n\"name\":"), std::string::npos);
  EXPECT_NE(last_.body.find("\r\n}\r\n,{\r\n\"name\":\"USB-2\""), std::string::npos);

  std::string twelve = "[";
  for (int i = 0; i < 12; i++) twelve += std::string(i ? "," : "") + "\"/mnt/sd" + (char)('b' + i) + "1\"";
  Pvr("{\"external_partitions\": " + twelve + "]}");
  a = Ask();
  EXPECT_EQ(a["drive_count"], 10);
  EXPECT_EQ(a["drives"].size(), 10u);

  Pvr(R"({"external_partitions": ["/mnt/sdb1"], "absent_symbols": ["_nExtPartition"]})");
  a = Ask();
  EXPECT_EQ(a["drive_count"], 0);
  EXPECT_FALSE(a.contains("drives"));
}

// While the analogue input is shown the current channel is the AV input.
TEST_F(StatusAnswer, AnalogueInputAsCurrentChannel) {
  Pvr(R"({"optional_symbols": ["_isAnalogMode", "_Z26Appl_GetAnalogEncoderStatev", "_Z23Appl_AnalogChangeActionv"]})");
  EXPECT_EQ(Ask()["current_chtype"], 0);
  FwAnalogChangeAction change = HookAnalogChangeAction();
  ASSERT_NE(change, nullptr);
  change();
  ordered_json a = Ask();
  EXPECT_EQ(a["current_chtype"], 99);
  EXPECT_EQ(a["current_chnum"], 0);
  EXPECT_EQ(a["current_logoid"], "ffffffffffffff00");
}

}  // namespace
