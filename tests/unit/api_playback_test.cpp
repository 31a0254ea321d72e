// Playback and recording control against the emulated player: what each command changes
// in the play state and what it answers. Recording headers come from the independent
// encoder (tests/oracles/recording_header.py); jump targets are computed in Python with
// the single-precision rate rounded as a 32-bit float.
#include "webserver/api/api_playback.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "emulator/emulator.h"
#include "platform/firmware_model.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/handler_answer.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/world_tables_oracle.h"
#include "webserver/core/settings.h"

namespace {

using json = nlohmann::json;

constexpr long kBlock = 9024;

// Writes a satellite header with a duration beside a recording.
const char kHeader[] = R"PY(
import json, sys
args = json.loads(sys.stdin.read())
sys.path.insert(0, args["source"] + "/tests/oracles")
import recording_header as rh
open(args["path"], "wb").write(rh.encode(dict(version=0x8000, duration_min=args["min"], duration_sec=args["sec"],
                                              service_name=b"Demo"), 5))
print("ok")
)PY";

// Jump targets in seconds: current + or - seconds * (total / duration), with the rate and
// the product in single precision.
const char kSecondsTarget[] = R"PY(
import json, struct, sys
f = lambda x: struct.unpack("f", struct.pack("f", x))[0]
out = []
for current, total, duration, sign, seconds in json.loads(sys.stdin.read()):
    rate = f(f(total) / f(duration))
    distance = f(seconds * rate)
    target = f(current + distance) if sign == "+" else f(current - distance) if sign == "-" else distance
    out.append(max(0, int(target)))
print(json.dumps(out))
)PY";

class APIPlayback : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gRecordingStreams = 0;
  }
  void TearDown() override {
    gRecordingStreams = 0;
    ReleaseFirmwareModelTable();
    EmulatedPvr::TearDown();
  }
  // A file of blocks recording blocks; with a header of that duration when minutes >= 0.
  void Recording(const std::string &pvrPath, long blocks, int minutes, int seconds) {
    WriteFile(pvrPath, "");
    ASSERT_EQ(truncate(Host(pvrPath).c_str(), blocks * kBlock), 0);
    if (minutes < 0) return;
    json input = {{"source", ORVANE_SOURCE_DIR}, {"path", Host(pvrPath + ".inf")}, {"min", minutes}, {"sec", seconds}};
    ASSERT_EQ(RunPython(kHeader, input.dump()), "ok\n");
  }
  static json Call(void (*handler)(const char *), const std::string &params) { return HandlerAnswer(handler, params); }
  static json Pause(int request) {
    return request ? HandlerAnswer([](const char *) { APIFilesPauseUnpause(1); }, "")
                   : HandlerAnswer([](const char *) { APIFilesPauseUnpause(0); }, "");
  }
  static json Stop() { return HandlerAnswer([](const char *) { APIFilesStopPlayback(); }, ""); }
  static json Jump(const std::string &params) { return HandlerAnswer(APIFilesJump, params); }
};

TEST_F(APIPlayback, PlayRecordingsMusicAndMediaFiles) {
  Recording("/mnt/hd/DataFiles/Films/Night news.rec", 500, 25, 0);
  json a = Call(APIFilesPlay, "dir=/mnt/hd/DataFiles/Films&file=Night%20news.rec&block=120");
  EXPECT_EQ(a["content"], "files_play");
  EXPECT_EQ(a["status"], 0);
  EXPECT_EQ(a["requested_file"], "Night news.rec");
  EXPECT_EQ(a["requested_dir"], "/mnt/hd/DataFiles/Films");
  EXPECT_EQ(a["requested_block"], 120);
  TYPE_PlayInfo play = emu::PlayState();
  EXPECT_EQ(play.playMode, PLAYMODE_Playing);
  EXPECT_STREQ(play.filePath, "/mnt/hd/DataFiles/Films/Night news.rec");
  EXPECT_EQ(play.totalBlock, 500u);
  EXPECT_EQ(play.currentBlock, 120u);
  EXPECT_EQ(play.durationMin, 25);

  WriteFile("/mnt/hd/MP3Files/Song.mp3", std::string(40000, 'm'));
  a = Call(APIFilesPlay, "dir=/mnt/hd/MP3Files&file_hex=536f6e672e6d7033");
  EXPECT_EQ(a["status"], 0);
  EXPECT_EQ(a["requested_file"], "Song.mp3");
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Mp3);

  // Any other folder: a media file, status 1 when it started.
  WriteFile("/mnt/hd/MediaFiles/Clip.mkv", std::string(100000, 'v'));
  a = Call(APIFilesPlay, "dir=/mnt/hd/MediaFiles&file=Clip.mkv");
  EXPECT_EQ(a["status"], 1);
  EXPECT_STREQ(emu::PlayState().filePath, "/mnt/hd/MediaFiles/Clip.mkv");
  // A missing file does not start and leaves the clip playing.
  EXPECT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/MediaFiles&file=None.mkv")["status"], 0);
  EXPECT_NE(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=None.rec")["status"], 0);
  EXPECT_STREQ(emu::PlayState().filePath, "/mnt/hd/MediaFiles/Clip.mkv");
}

TEST_F(APIPlayback, PlayStaysBelowMnt) {
  WriteFile("/etc/secret.rec", std::string(9024, 's'));
  WriteFile("/mnt/hd/DataFiles/Sub/A.rec", std::string(9024, 'a'));
  ASSERT_EQ(symlink("../../../etc", Host("/mnt/hd/DataFiles/Escape").c_str()), 0);
  for (const char *params : {"dir=/etc&file=secret.rec", "dir=/mnt/hd/DataFiles/../../../etc&file=secret.rec",
                             "dir=/mnt/hd/DataFiles&file=../../../etc/secret.rec", "dir=/mnt/hd/DataFiles&file=Sub%2FA.rec",
                             "dir=/mnt/hd/DataFiles/Escape&file=secret.rec", "dir=/mnt/hd/DataFiles&file=..",
                             "dir=/mnt/hd/DataFiles&file="}) {
    SCOPED_TRACE(params);
    EXPECT_EQ(Call(APIFilesPlay, params)["status"], -1);
    EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_None);
  }
  std::string tooLong = "dir=/mnt/hd/DataFiles&file=" + std::string(600, 'x');
  EXPECT_EQ(Call(APIFilesPlay, tooLong)["status"], -1);
}

TEST_F(APIPlayback, PauseResumeAndStop) {
  Recording("/mnt/hd/DataFiles/A.rec", 100, 5, 0);
  ASSERT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=A.rec")["status"], 0);
  json a = Pause(0);
  EXPECT_EQ(a["content"], "files_pause_unpause");
  EXPECT_EQ(a["request"], 0);
  EXPECT_EQ(a["error"], 0);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Paused);
  EXPECT_EQ(Pause(0)["error"], 1);   // already paused: no toggle back
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Paused);
  // Play information that cannot be read: nothing changes, the failure is reported.
  emu::FailPlayInfo(true);
  EXPECT_EQ(Pause(1)["error"], -1);
  EXPECT_EQ(Pause(0)["error"], -1);
  emu::FailPlayInfo(false);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Paused);
  EXPECT_EQ(Pause(1)["error"], 0);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Playing);
  EXPECT_EQ(Pause(1)["error"], 1);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Playing);

  a = Stop();
  EXPECT_EQ(a["content"], "files_stop");
  EXPECT_EQ(a["return_code"], 0);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_None);
  // Nothing playing: a pause asks the firmware, which refuses.
  EXPECT_EQ(Pause(0)["error"], -1);
}

TEST_F(APIPlayback, JumpsInBlocksAndSeconds) {
  Recording("/mnt/hd/DataFiles/A.rec", 1000, 7, 13);   // 433 s: an inexact rate
  ASSERT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=A.rec&block=400")["status"], 0);
  struct Case {
    const char *params;
    dword start;
    char sign;
    int seconds;
  };
  const Case cases[] = {
      {"time=%2B30", 400, '+', 30},   {"sec=-45", 400, '-', 45},  {"seconds==100", 400, '=', 100},
      {"time=30", 400, '3', 0},       {"time=-9999", 400, '-', 9999}, {"seconds=%2B1", 990, '+', 1},
  };
  json input = json::array();
  for (const Case &c : cases) input.push_back({c.start, 1000, 433, std::string(1, c.sign), c.seconds});
  json expected = json::parse(RunPython(kSecondsTarget, input.dump()), nullptr, false);
  ASSERT_EQ(expected.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); i++) {
    SCOPED_TRACE(cases[i].params);
    ASSERT_EQ(TAP_Hdd_ChangePlaybackPos(cases[i].start), 1);
    json a = Jump(std::string(cases[i].params) + "&nohide=1");
    EXPECT_EQ(a["content"], "files_jump");
    EXPECT_EQ(a["error"], 0);
    EXPECT_EQ(a["error_text"], "No error");
    EXPECT_EQ(a["original_currentblock"], cases[i].start);
    EXPECT_EQ(a["original_totalblock"], 1000);
    EXPECT_EQ(a["target_block"], expected[i]);
    EXPECT_EQ(emu::PlayState().currentBlock, expected[i].get<dword>());
  }
  // Blocks win over seconds; "-" past the start stops at block 0.
  ASSERT_EQ(TAP_Hdd_ChangePlaybackPos(400), 1);
  EXPECT_EQ(Jump("time=%2B10&blocks=%2B25")["target_block"], 425);
  EXPECT_EQ(Jump("block=-500")["target_block"], 0);
  EXPECT_EQ(emu::PlayState().currentBlock, 0u);
  EXPECT_EQ(Jump("block==1000")["error"], 0);

  // Errors leave the position where it was and still report it.
  ASSERT_EQ(TAP_Hdd_ChangePlaybackPos(300), 1);
  struct Failure {
    const char *params;
    int error;
    const char *text;
  };
  for (const Failure &f : {Failure{"block=%2B701", 4, "Attemp to jump past end"},
                           Failure{"block==1001", 4, "Attemp to jump past end"},
                           Failure{"block=%2Babc", 3, "Invalid jump value"},
                           Failure{"nohide=1", 3, "Invalid jump value"},
                           Failure{"time=", 3, "Invalid jump value"}}) {
    SCOPED_TRACE(f.params);
    json a = Jump(f.params);
    EXPECT_EQ(a["error"], f.error);
    EXPECT_EQ(a["error_text"], f.text);
    EXPECT_EQ(a["original_currentblock"], 300);
    EXPECT_EQ(emu::PlayState().currentBlock, 300u);
  }
  emu::FailPlayInfo(true);
  json a = Jump("block=%2B1");
  EXPECT_EQ(a["error"], 1);
  EXPECT_EQ(a["error_text"], "TAP_Hdd_GetPlayInfo() failed");
  emu::FailPlayInfo(false);
  EXPECT_EQ(emu::PlayState().currentBlock, 300u);
}

TEST_F(APIPlayback, JumpsNeedBlocksAndForSecondsADuration) {
  // A recording whose header gives no duration: seconds cannot be turned into blocks.
  Recording("/mnt/hd/DataFiles/NoTime.rec", 800, 0, 0);
  ASSERT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=NoTime.rec&block=100")["status"], 0);
  json a = Jump("time=%2B30");
  EXPECT_EQ(a["error"], JUMP_NO_DURATION);
  EXPECT_EQ(a["error_text"], "Duration unknown");
  EXPECT_EQ(emu::PlayState().currentBlock, 100u);
  EXPECT_EQ(Jump("block=%2B30")["target_block"], 130);   // blocks still work
  // An empty file: no blocks at all.
  Recording("/mnt/hd/DataFiles/Empty.rec", 0, 10, 0);
  ASSERT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=Empty.rec")["status"], 0);
  a = Jump("block=1");
  EXPECT_EQ(a["error"], 6);
  EXPECT_EQ(a["error_text"], "totalBlock = 0");
}

TEST_F(APIPlayback, JumpWhilePausedResumesUnlessToldNot) {
  Recording("/mnt/hd/DataFiles/A.rec", 200, 10, 0);
  ASSERT_EQ(Call(APIFilesPlay, "dir=/mnt/hd/DataFiles&file=A.rec")["status"], 0);
  ASSERT_EQ(Pause(0)["error"], 0);
  EXPECT_EQ(Jump("block=%2B10&nounpause=")["error"], 0);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Paused);
  EXPECT_EQ(Jump("block=%2B10&noresume=1")["error"], 0);
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Paused);
  EXPECT_EQ(Jump("block=%2B10&nocontinue=1&noresume=0")["error"], 0);   // the later piece wins
  EXPECT_EQ(emu::PlayState().playMode, PLAYMODE_Playing);
  EXPECT_EQ(emu::PlayState().currentBlock, 30u);
}

TEST_F(APIPlayback, StopRecordingAndChangeItsDuration) {
  InstallDemoModel(root_, 5);
  std::string error;
  ASSERT_TRUE(emu::ApplyProfile(R"({"recordings":[{"type":1,"duration":30},{},{"type":1,"duration":90},{}]})", &error))
      << error;
  gRecordingStreams = 4;
  json a = Call(APIFilesStopRecording, "");
  EXPECT_EQ(a["content"], "files_stoprec");
  EXPECT_EQ(a["requested_slot"], 255);
  EXPECT_EQ(a["return_code"], 99);
  EXPECT_EQ(Call(APIFilesStopRecording, "slot=4")["return_code"], 99);
  EXPECT_EQ(Call(APIFilesStopRecording, "slot=260")["requested_slot"], 4);   // the low 8 bits

  a = Call(APIFilesRecDuration, "slot=2&duration=120");
  EXPECT_EQ(a["content"], "files_duration");
  EXPECT_EQ(a["requested_slot"], 2);
  EXPECT_EQ(a["requested_duration"], 120);
  EXPECT_EQ(a["return_code"], 1);
  TYPE_RecInfo info;
  ASSERT_EQ(TAP_Hdd_GetRecInfo(2, &info), 1);
  EXPECT_EQ(info.duration, 120u);
  EXPECT_EQ(Call(APIFilesRecDuration, "slot=2&duration=0")["return_code"], 99);
  EXPECT_EQ(Call(APIFilesRecDuration, "slot=1&duration=60")["return_code"], 0);   // not recording
  EXPECT_EQ(Call(APIFilesRecDuration, "duration=60")["return_code"], 99);
  EXPECT_EQ(Call(APIFilesRecDuration, "slot=2&duration=65656")["requested_duration"], 120);   // the low 16 bits
  ASSERT_EQ(TAP_Hdd_GetRecInfo(2, &info), 1);
  EXPECT_EQ(info.duration, 120u);

  a = Call(APIFilesStopRecording, "slot=0");
  EXPECT_EQ(a["requested_slot"], 0);
  EXPECT_EQ(a["return_code"], 1);
  ASSERT_EQ(TAP_Hdd_GetRecInfo(0, &info), 1);
  EXPECT_EQ(info.duration, 0u);
  EXPECT_EQ(Call(APIFilesStopRecording, "slot=0")["return_code"], 0);   // no longer recording
}

}  // namespace
