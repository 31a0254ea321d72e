// Orvane.tap's connection handling when the TAP heap runs out: the request read and the
// API forwarding log the documented lines, answer as documented and give back every byte.
#include "webserver/core/http_connection.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

class HttpConnection : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gLoggingLevel = 1;
    gAuthentication = 0;
  }
  void TearDown() override {
    if (peer_ >= 0) close(peer_);
    gServerStatus = 0;
    gLoggingLevel = 0;
    EmulatedPvr::TearDown();
  }
  // A client connection with this request waiting on it.
  void Connect(const std::string &request) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    if (peer_ >= 0) close(peer_);
    peer_ = pair[1];
    fcntl(peer_, F_SETFL, O_NONBLOCK);
    gInboundSocket = pair[0];
    gServerStatus = 2;
    gConnectTicks = 0;
    ASSERT_EQ(write(peer_, request.data(), request.size()), (ssize_t)request.size());
  }
  std::string Answer() {
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = read(peer_, buffer, sizeof buffer)) > 0) answer.append(buffer, (size_t)n);
    return answer;
  }
  std::string Log() { return ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log"); }
  size_t HeapInUse() { return emu::TapHeapUse(emu::CurrentSlot()).inUse; }
  int peer_ = -1;
};

TEST_F(HttpConnection, ARequestWithoutAReadBufferWaitsForTheNextPoll) {
  Connect("GET /missing.html HTTP/1.1\r\n\r\n");
  size_t before = HeapInUse();
  emu::FailAllocation(1);
  NetServerRead();
  EXPECT_NE(Log().find("Error allocating memory for inbound socket buffer."), std::string::npos) << Log();
  EXPECT_EQ(Answer(), "");
  EXPECT_EQ(gServerStatus, 2);
  EXPECT_EQ(HeapInUse(), before);
  // The request is still waiting and is served at the next poll.
  NetServerRead();
  EXPECT_EQ(Answer().rfind("HTTP/1.1 404", 0), 0u);
  EXPECT_EQ(HeapInUse(), before);
}

// Whichever allocation of a forwarded request fails, one answer is sent and nothing is
// kept; when it is the copy of the body, that is logged with the body's size plus one.
TEST_F(HttpConnection, ForwardingWithoutMemory) {
  const std::string request =
      "POST /api?function=f&action=a&tap=1234&session=s!p=1 HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello";
  int bodyFailures = 0;
  for (unsigned failing = 1; failing <= 12; failing++) {
    WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log", "");
    Connect(request);
    size_t before = HeapInUse();
    emu::FailAllocation(failing);
    NetServerRead();
    if (failing == 1) {
      EXPECT_EQ(Answer(), "");   // nothing read yet: no answer
      close(gInboundSocket);
    } else {
      // No TAP 1234 runs: the failure object is the answer.
      std::string answer = Answer();
      EXPECT_NE(answer.find("\"content\":\"tap_response\""), std::string::npos) << failing << answer;
      EXPECT_NE(answer.find("\"tap\":1234,"), std::string::npos) << failing << answer;
    }
    EXPECT_EQ(HeapInUse(), before) << failing;
    if (Log().find("Failed to allocate 6 bytes for gHTTPpost.") != std::string::npos) bodyFailures++;
    emu::FailAllocation(0);
    gServerStatus = 0;
  }
  EXPECT_EQ(bodyFailures, 1);
}

}  // namespace
