// Orvane.tap's start-up, event handler, reload and stops, and its log sinks.
#include "webserver/core/lifecycle.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "emulator/emulator.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "platform/support_log.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

int FreePort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr *>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

class OrvaneTap : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    ReleaseFirmwareModelTable();
    gServerStatus = 0;
    gStopRun = 0;
  }
  void TearDown() override {
    if (gServerStatus >= 1) closeSockets();
    gServerStatus = 0;
    gStopRun = 0;
    CloseNetworkLog();
    gLoggingLevel = 0;
    EmulatedPvr::TearDown();
  }
  void Start(int level) {
    port_ = FreePort();
    WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini",
              "port=" + std::to_string(port_) + "\r\nlogginglevel=" + std::to_string(level) + "\r\n");
    ASSERT_EQ(TAP_Main(), 1);
  }
  std::string AppLog() { return ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log"); }
  std::string NetworkLog() { return ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Network.log"); }
  int port_ = 0;
};

TEST_F(OrvaneTap, StartsListeningAndLogsTheStart) {
  Start(1);
  EXPECT_EQ(gServerStatus, 1);
  EXPECT_NE(AppLog().find(" Orvane 2.20 Started: "), std::string::npos);
  EXPECT_NE(AppLog().find("rivlibVer: __RIVLIB_VERSION_TMS__ 2016-02-29."), std::string::npos);
  int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port_);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(connect(client, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  close(client);
}

TEST_F(OrvaneTap, EventHandlerReturnValues) {
  Start(0);
  EXPECT_EQ(TAP_EventHandler(EVT_KEY, 0x1234, 0), 0x1234u);          // keys pass on unchanged
  EXPECT_EQ(TAP_EventHandler(0x0123, 77, 5), 77u);
  EXPECT_EQ(TAP_EventHandler(EVT_IDLE, 0, 0), 0u);
  EXPECT_EQ(TAP_EventHandler(0x4321, 9, 0), 9u);                      // unknown codes too
  EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, 3, 0), 0x01000003u);   // capabilities
  EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, 5, 0), 1u);
  EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, 6, 0), 1u);
  for (dword none : {0u, 4u, 7u, 9u}) EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, none, 0), 0u);
  EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, 2, 0), 1u);   // menu: Orvane-Config.tap is not on this disk
  EXPECT_EQ(gStopRun, 0);
  EXPECT_FALSE(emu::gTasks[0].exitRequested);
}

TEST_F(OrvaneTap, StopFromFirmwareExitsAtTheNextEvent) {
  Start(1);
  EXPECT_EQ(TAP_EventHandler(EVT_STOP, 0, 0), 0u);
  EXPECT_EQ(gStopRun, 1);
  EXPECT_NE(AppLog().find("Stopping TAP from EVT_STOP.\r\n"), std::string::npos);
  EXPECT_NE(AppLog().find("Starting exitRoutine.\r\n"), std::string::npos);
  EXPECT_NE(AppLog().find("Finishing exitRoutine.\r\n"), std::string::npos);
  EXPECT_FALSE(emu::gTasks[0].exitRequested);
  TAP_EventHandler(EVT_IDLE, 0, 0);
  EXPECT_TRUE(emu::gTasks[0].exitRequested);
  EXPECT_EQ(gServerStatus, 0);   // both sockets are closed, none is closed twice
}

TEST_F(OrvaneTap, StopFromTMSCommanderIsDeferred) {
  Start(1);
  EXPECT_EQ(TAP_EventHandler(EVT_TMSCOMMANDER, 1, 0), 1u);
  EXPECT_EQ(gStopRun, 2);
  EXPECT_NE(AppLog().find("STOP command from TMSCommander."), std::string::npos);
  EXPECT_EQ(AppLog().find("Starting exitRoutine."), std::string::npos);
  EXPECT_FALSE(emu::gTasks[0].exitRequested);
  EXPECT_EQ(TAP_EventHandler(EVT_KEY, 5, 0), 5u);   // the event is still handled
  EXPECT_NE(AppLog().find("Starting exitRoutine."), std::string::npos);
  EXPECT_TRUE(emu::gTasks[0].exitRequested);
  EXPECT_EQ(gServerStatus, 0);
}

TEST_F(OrvaneTap, ReloadReadsTheSettingsAgainAndListensOnTheNewPort) {
  Start(2);
  int newPort = FreePort();
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini",
            "port=" + std::to_string(newPort) + "\r\nlogginglevel=2\r\n");
  EXPECT_EQ(TAP_EventHandler(EVT_RELOAD_CONFIG, 0, 0), 0u);
  EXPECT_EQ(gPort, newPort);
  EXPECT_EQ(gServerStatus, 1);
  EXPECT_NE(AppLog().find("Received request to re-load configuration."), std::string::npos);
  EXPECT_NE(AppLog().find("  TCP Listening Port = " + std::to_string(newPort) + "."), std::string::npos);
}

TEST_F(OrvaneTap, LevelZeroWritesNothingButCreatesAnEmptyNetworkLog) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Network.log", "from an earlier run\r\n");
  Start(0);
  TAP_EventHandler(EVT_TMSCOMMANDER, 6, 0);
  EXPECT_FALSE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log"));
  EXPECT_TRUE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Network.log"));
  EXPECT_EQ(NetworkLog(), "");
}

TEST_F(OrvaneTap, NetworkEntriesReachTheNetworkLogOnlyAtLevelThree) {
  Start(2);
  LOGF(LOG_NETWORK, "trace entry");
  EXPECT_EQ(AppLog().find("trace entry"), std::string::npos);   // a level-3 entry reaches no sink
  EXPECT_EQ(NetworkLog(), "");
  gLoggingLevel = 3;
  LOGF(LOG_NETWORK, "trace entry");
  EXPECT_NE(AppLog().find(" trace entry\r\n"), std::string::npos);   // with a time stamp
  EXPECT_NE(NetworkLog().find("trace entry\r\n"), std::string::npos);
  EXPECT_EQ(NetworkLog().find(" trace entry"), std::string::npos);  // without one
  LOGF(LOG_DETAIL, "detail entry");
  EXPECT_EQ(NetworkLog().find("detail entry"), std::string::npos);
  gLoggingLevel = 16;   // above 3 behaves as 3
  LOGF(LOG_NETWORK, "more trace");
  EXPECT_NE(NetworkLog().find("more trace\r\n"), std::string::npos);
}

TEST_F(OrvaneTap, MissingAnalogueHooksStayNullUntilTheyAppear) {
  std::string error;
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error)) << error;
  BindAnalogHooks();
  EXPECT_EQ(FirmwareIsAnalogMode(), nullptr);
  EXPECT_EQ(HookGetAnalogEncoderState(), nullptr);
  EXPECT_EQ(HookSetAnalogEncoderMode(), nullptr);
  // A null result is not kept: once the firmware has the symbol, it binds.
  ASSERT_TRUE(emu::SetOptionalSymbols({"_Z25Appl_GetAnalogEncoderModev", "_isAnalogMode"}, &error)) << error;
  EXPECT_NE(HookGetAnalogEncoderMode(), nullptr);
  EXPECT_EQ(HookGetAnalogEncoderMode()(), 0);
  EXPECT_NE(FirmwareIsAnalogMode(), nullptr);
  EXPECT_EQ(HookAnalogChangeAction(), nullptr);
}

TEST_F(OrvaneTap, ConsoleGetsLongTextsInPiecesOf510Bytes) {
  std::string fifo = Host("/dev/pts/0");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  int console = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(console, 0);
  std::string text(1200, 'x');
  LogEntry("", "Orvane", true, 0, text.c_str());
  std::string got(4096, '\0');
  ssize_t n = read(console, &got[0], got.size());
  close(console);
  ASSERT_GT(n, 0);
  got.resize((size_t)n);
  // Every piece is written with its terminating NUL.
  std::vector<size_t> pieces;
  for (size_t start = 0, end; (end = got.find('\0', start)) != std::string::npos; start = end + 1) {
    pieces.push_back(end - start);
  }
  EXPECT_EQ(pieces, (std::vector<size_t>{8, 510, 510, 180, 1}));   // "Orvane: ", the text, "\n"
}

}  // namespace
