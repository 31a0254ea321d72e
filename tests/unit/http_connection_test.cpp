// The connection module: answering one request on an open connection, the power action
// carried out after the answer, and closing the sockets.
#include "webserver/core/http_connection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/settings.h"

namespace {

TYPE_RecInfo Slot(bool recording) {
  TYPE_RecInfo info = {};
  info.recType = recording ? 1 : 0;
  info.duration = recording ? 30 : 0;
  return info;
}

class Connection : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gCacheControl = 0;
    gRecordingStreams = 0;
    gPowerFlag = 0;
  }
  void TearDown() override {
    gPowerFlag = 0;
    gRecordingStreams = 0;
    gServerStatus = 0;
    EmulatedPvr::TearDown();
  }

  // Serves one request on a fresh connection with a power action pending; returns the
  // firmware effects the emulator printed and whether the client got its answer first.
  std::string Serve(int powerFlag, bool *answered) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    gInboundSocket = ends[0];
    gServerStatus = 2;
    gPowerFlag = powerFlag;
    std::string request = "GET /missing.html HTTP/1.1\r\n\r\n";
    std::vector<char> buffer(request.begin(), request.end());
    buffer.resize(request.size() + 2048, '\0');
    testing::internal::CaptureStdout();
    NetReadCommand(buffer.data(), (int)request.size());
    std::string effects = testing::internal::GetCapturedStdout();
    char answer[64] = "";
    ssize_t n = read(ends[1], answer, sizeof answer - 1);
    *answered = n > 0 && std::string(answer, (size_t)n).rfind("HTTP/1.1 404 NOT FOUND\r\n", 0) == 0;
    close(ends[1]);
    return effects;
  }
};

TEST_F(Connection, RebootWaitsForRecordingsInEverySlotTheFirmwareReports) {
  bool answered = false;
  // No model record gave a slot count: every slot the firmware has is asked.
  emu::gProfile.recordings = {Slot(false), Slot(false), Slot(true)};
  EXPECT_EQ(Serve(2, &answered), "");
  EXPECT_TRUE(answered);
  EXPECT_EQ(gPowerFlag, 0);   // the request is dropped, not kept for later

  emu::gProfile.recordings = {Slot(false), Slot(false), Slot(false)};
  EXPECT_EQ(Serve(2, &answered), "pvrsim: reboot\n");
  EXPECT_TRUE(answered);

  // The model's count is used when it has one.
  gRecordingStreams = 2;
  emu::gProfile.recordings = {Slot(false), Slot(true)};
  EXPECT_EQ(Serve(2, &answered), "");
  emu::gProfile.recordings = {Slot(false)};   // a slot the firmware lacks records nothing
  EXPECT_EQ(Serve(2, &answered), "pvrsim: reboot\n");

  // A model count beyond any PVR is not trusted either.
  gRecordingStreams = 100000;
  emu::gProfile.recordings = {Slot(true)};
  EXPECT_EQ(Serve(2, &answered), "");
}

TEST_F(Connection, ForcedRebootAndPowerOffIgnoreRecordings) {
  bool answered = false;
  emu::gProfile.recordings = {Slot(true)};
  EXPECT_EQ(Serve(3, &answered), "pvrsim: reboot\n");
  EXPECT_TRUE(answered);
  EXPECT_EQ(Serve(1, &answered), "pvrsim: power off\n");
  EXPECT_TRUE(answered);
  EXPECT_EQ(Serve(0, &answered), "");
}

TEST_F(Connection, ClosingTheSocketsLeavesNoSocketToPoll) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  int listening = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listening, 0);
  gListenSocket = listening;
  gInboundSocket = ends[0];
  gServerStatus = 2;
  closeSockets();
  EXPECT_EQ(gServerStatus, 0);
  char byte;
  EXPECT_EQ(read(ends[1], &byte, 1), 0);   // the client sees the connection closed
  close(ends[1]);
  NetServerPoll();   // nothing to poll: no socket is touched
  EXPECT_EQ(gServerStatus, 0);
}

}  // namespace
