// The connection module: answering one request on an open connection in one send, resumed
// after partial sends; the modes of the listening and accepted sockets; the power action
// carried out after the answer, and closing the sockets.
#include "webserver/core/http_connection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/settings.h"

// accept4 as the kernel offers it, or, while gNoAccept4 is set, as a kernel without it.
static bool gNoAccept4;
extern "C" int accept4(int fd, struct sockaddr *address, socklen_t *size, int flags) {
  if (gNoAccept4) {
    errno = ENOSYS;
    return -1;
  }
  return (int)syscall(SYS_accept4, fd, address, size, flags);
}

namespace {

// Gives the emulated PVR recording slots, true for one that records.
void SetSlots(std::initializer_list<bool> recording) {
  std::string slots;
  for (bool r : recording) slots += std::string(slots.empty() ? "" : ",") + (r ? "{\"type\":1,\"duration\":30}" : "{}");
  std::string error;
  ASSERT_TRUE(emu::ApplyProfile("{\"recordings\":[" + slots + "]}", &error)) << error;
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
  SetSlots({false, false, true});
  EXPECT_EQ(Serve(2, &answered), "");
  EXPECT_TRUE(answered);
  EXPECT_EQ(gPowerFlag, 0);   // the request is dropped, not kept for later

  SetSlots({false, false, false});
  EXPECT_EQ(Serve(2, &answered), "pvrsim: reboot\n");
  EXPECT_TRUE(answered);

  // The model's count is used when it has one.
  gRecordingStreams = 2;
  SetSlots({false, true});
  EXPECT_EQ(Serve(2, &answered), "");
  SetSlots({false});   // a slot the firmware lacks records nothing
  EXPECT_EQ(Serve(2, &answered), "pvrsim: reboot\n");

  // A model count beyond any PVR is not trusted either.
  gRecordingStreams = 100000;
  SetSlots({true});
  EXPECT_EQ(Serve(2, &answered), "");
}

TEST_F(Connection, ForcedRebootAndPowerOffIgnoreRecordings) {
  bool answered = false;
  SetSlots({true});
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

// A connected TCP pair on loopback: the server's end and the client's.
void TcpPair(int *server, int *client, int clientReceiveBuffer) {
  int listening = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listening, 1), 0);
  ASSERT_EQ(getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length), 0);
  *client = socket(AF_INET, SOCK_STREAM, 0);
  setsockopt(*client, SOL_SOCKET, SO_RCVBUF, &clientReceiveBuffer, sizeof clientReceiveBuffer);
  ASSERT_EQ(connect(*client, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  *server = accept(listening, nullptr, nullptr);
  ASSERT_GE(*server, 0);
  close(listening);
}

void SetSendTimeout(int fd, long microseconds) {
  struct timeval timeout = {microseconds / 1000000, microseconds % 1000000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

TEST_F(Connection, EveryAnswerLeavesInOneSend) {
  // On a packet socket each send call is one record: one read takes the whole answer, and
  // the next finds the connection closed.
  const std::string payload(3000, 'p');
  auto answer = [&](void (*respond)(const std::string &)) {
    int ends[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
    gInboundSocket = ends[0];
    gServerStatus = 2;
    respond(payload);
    std::vector<char> record(65536);
    ssize_t n = recv(ends[1], record.data(), record.size(), 0);
    char more;
    EXPECT_EQ(recv(ends[1], &more, 1, 0), 0);
    close(ends[1]);
    EXPECT_EQ(gServerStatus, 1);
    EXPECT_EQ(gHTTPstatus, 200);
    return n > 0 ? std::string(record.data(), (size_t)n) : std::string();
  };
  std::string file = answer([](const std::string &p) { NetHTTPRespond(p.data(), (int)p.size(), "text/css", 1); });
  EXPECT_EQ(file, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/css; charset=utf-8\r\n"
                  "Content-Length: 3000\r\n\r\n" + payload);
  gCacheControl = 1;
  std::string notModified = answer([](const std::string &p) {
    gHTTPstatus = 304;
    snprintf(gHTTPetag, sizeof gHTTPetag, "1-2-3-4");
    NetHTTPRespond(p.data(), (int)p.size(), "text/css", 1);
  });
  EXPECT_EQ(notModified, "HTTP/1.1 304 Not Modified\r\nConnection: close\r\nEtag: 1-2-3-4\r\n\r\n");
  EXPECT_EQ(answer([](const std::string &) { NetSend401(); }),
            "HTTP/1.1 401 Access Denied\r\nWWW-Authenticate: Basic realm=\"Orvane\"\r\nContent-Length: 0\r\n\r\n");
  std::string notFound = answer([](const std::string &) { NetSend404(); });
  EXPECT_EQ(notFound.rfind("HTTP/1.1 404 NOT FOUND\r\n", 0), 0u);
  EXPECT_EQ(notFound.size() - notFound.find("\r\n\r\n") - 4, 116u);
}

TEST_F(Connection, PartialSendsAreResumedUntilEveryByteIsSent) {
  // A send time-out far shorter than the slow client takes makes every send call return
  // after part of the answer; the rest must follow.
  int server, client;
  TcpPair(&server, &client, 4096);
  SetSendTimeout(server, 20000);
  int small = 4096;
  setsockopt(server, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::string payload(1 << 20, '\0');
  for (size_t i = 0; i < payload.size(); i++) payload[i] = (char)(i * 7 + i / 4096);
  std::string received;
  std::thread reader([&] {
    char chunk[2048];
    ssize_t n;
    int reads = 0;
    while ((n = recv(client, chunk, sizeof chunk, 0)) > 0) {
      received.append(chunk, (size_t)n);
      if (++reads % 8 == 0) usleep(2000);
    }
  });
  gInboundSocket = server;
  gServerStatus = 2;
  double start = Now();
  NetHTTPRespond(payload.data(), (int)payload.size(), "video/mpeg", 1);
  reader.join();
  close(client);
  EXPECT_GT(Now() - start, 0.1);   // far longer than one send call may take
  size_t headerEnd = received.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  EXPECT_NE(received.find("Content-Length: 1048576\r\n"), std::string::npos);
  EXPECT_TRUE(received.compare(headerEnd + 4, std::string::npos, payload) == 0)
      << "received " << received.size() - headerEnd - 4 << " payload bytes";
}

TEST_F(Connection, AClientThatStopsReadingIsGivenUpAfterTheSendTimeOut) {
  int server, client;
  TcpPair(&server, &client, 4096);
  SetSendTimeout(server, 50000);
  std::string payload(8 << 20, 'x');
  gInboundSocket = server;
  gServerStatus = 2;
  double start = Now();
  NetHTTPRespond(payload.data(), (int)payload.size(), "video/mpeg", 1);
  EXPECT_LT(Now() - start, 5.0);
  EXPECT_EQ(gServerStatus, 1);
  EXPECT_EQ(fcntl(server, F_GETFD), -1);   // closed
  close(client);
}

// The listening socket polls without blocking; an accepted one sends blocking, with the
// send time-out, and neither is inherited by programs the PVR starts.
void ExpectSocketModes() {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length), 0);
  close(probe);
  gPort = ntohs(address.sin_port);
  NetServerInit();
  ASSERT_EQ(gServerStatus, 1);
  EXPECT_TRUE(fcntl(gListenSocket, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(fcntl(gListenSocket, F_GETFD) & FD_CLOEXEC);

  NetServerCheck();   // nobody calls yet
  EXPECT_EQ(gServerStatus, 1);
  EXPECT_EQ(gInboundSocket, 0);

  int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  NetServerCheck();
  ASSERT_EQ(gServerStatus, 2);
  EXPECT_FALSE(fcntl(gInboundSocket, F_GETFL) & O_NONBLOCK);
  EXPECT_TRUE(fcntl(gInboundSocket, F_GETFD) & FD_CLOEXEC);
  struct timeval timeout = {};
  socklen_t size = sizeof timeout;
  ASSERT_EQ(getsockopt(gInboundSocket, SOL_SOCKET, SO_SNDTIMEO, &timeout, &size), 0);
  EXPECT_EQ(timeout.tv_sec, 30);
  EXPECT_EQ(gConnectTicks, 1);   // read at once, nothing there yet
  closeSockets();
  close(client);
}

TEST_F(Connection, ListeningAndAcceptedSocketModes) { ExpectSocketModes(); }

TEST_F(Connection, AcceptingWorksOnAKernelWithoutAccept4) {
  gNoAccept4 = true;
  ExpectSocketModes();
  gNoAccept4 = false;
}

}  // namespace
