// The EPG search launch with a stand-in skimlet (a shell script that reports how it was
// started and waits for a signal file): the answer, one search at a time, the worker
// joined once skimlet ends, skimlet ended when the TAP stops, a failed start answered as
// an error, the dump's expiry across the tick counter's wrap, and the description dumps
// after a reload.
#include "webserver/epg/epg_search.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/unit/epg_pool_fixture.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/apprentice_status.h"
#include "webserver/epg/epg_genre.h"

namespace {

using nlohmann::json;

const char kFolder[] = "/mnt/hd/ProgramFiles/Settings/Orvane/";

class EPGSearch : public EPGPoolTest {
 protected:
  void SetUp() override {
    EPGPoolTest::SetUp();
    gLoggingLevel = 2;
    gSearchPort = 8877;
    gEPGSource = 0;
    gEPGCacheTimeout = 0;
    gNextEPGOffset = 0;
    gNextEPGRefresh = 0;
    gAUFirmwareFlag = 0;
    loadParental();
    loadGenre();
  }
  void TearDown() override {
    WriteFile(std::string(kFolder) + "go", "");
    StopApprentice();
    gLoggingLevel = 0;
    EPGPoolTest::TearDown();
  }

  // A skimlet that writes its arguments, its process group and its open descriptors to its
  // standard output, then waits for the file "go" (ignoring SIGTERM when told to).
  void InstallSkimlet(bool ignoreTerm = false) {
    std::string script = std::string("#!/bin/sh\n") + (ignoreTerm ? "trap '' TERM\n" : "") +
                         "echo \"args: $*\"\n"
                         "echo \"group: $(cut -d' ' -f5 /proc/$$/stat) pid: $$\"\n"
                         "ls -l /proc/$$/fd\n"
                         "echo listed\n"
                         "while [ ! -e \"$ORVANE_ROOT" +
                         kFolder + "go\" ]; do sleep 0.02; done\n";
    WriteFile(std::string(kFolder) + "skimlet", script);
    chmod(Host(std::string(kFolder) + "skimlet").c_str(), 0755);
  }
  std::string Output() { return ReadFile(std::string(kFolder) + "search_output.txt"); }
  // Waits until skimlet has written all three lines.
  std::string WaitForOutput() {
    for (int i = 0; i < 500 && Output().find("listed") == std::string::npos; i++) Sleep(10);
    return Output();
  }
  void Finish() {
    WriteFile(std::string(kFolder) + "go", "");
    for (int i = 0; i < 500 && ApprenticeStatusGet() != APPRENTICE_FINISHED; i++) Sleep(10);
    ApprenticeEventCheck();
    unlink(Host(std::string(kFolder) + "go").c_str());
  }
  static void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  std::string Log() { return ReadFile(std::string(kFolder) + "Orvane.log"); }
  json Search(const std::string &params = "") { return Ask(APIskimlet, params); }
};

TEST_F(EPGSearch, StartsSkimletOnceAndJoinsItsWorker) {
  InstallSkimlet();
  // Descriptors of the web server that skimlet must not inherit: a file and a socket.
  WriteFile(std::string(kFolder) + "Orvane-Network.log", "");
  int file = open(Host(std::string(kFolder) + "Orvane-Network.log").c_str(), O_RDONLY);
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(file, 0);
  ASSERT_GE(listener, 0);
  struct stat s;
  ASSERT_EQ(fstat(listener, &s), 0);
  std::string socketName = "socket:[" + std::to_string(s.st_ino) + "]";
  json a = Search("cache=0");
  EXPECT_EQ(a["content"], "skimlet_ack");
  EXPECT_EQ(a["error_code"], SEARCH_STARTING);
  EXPECT_EQ(a["error_text"], "'skimlet' starting");
  EXPECT_EQ(a["epgsource"], "pvr");
  EXPECT_EQ(a["requested_cache"], "0");
  EXPECT_EQ(a["port"], 8877);
  EXPECT_EQ(ApprenticeStatusGet(), APPRENTICE_RUNNING);
  std::string out = WaitForOutput();
  EXPECT_NE(out.find("args: -a 0 -r tcp:8877 -s pvr\n"), std::string::npos) << out;
  // Its own process group; standard input from /dev/null, output to the file; none of the
  // web server's descriptors.
  size_t g = out.find("group: "), p = out.find(" pid: ");
  ASSERT_NE(g, std::string::npos);
  EXPECT_EQ(out.substr(g + 7, p - g - 7), out.substr(p + 6, out.find('\n', p) - p - 6));
  EXPECT_NE(out.find(" 0 -> /dev/null"), std::string::npos) << out;
  EXPECT_NE(out.find(" 1 -> " + Host(std::string(kFolder) + "search_output.txt")), std::string::npos) << out;
  EXPECT_EQ(out.find("Orvane-Network.log"), std::string::npos) << out;
  EXPECT_EQ(out.find(socketName), std::string::npos) << out;
  close(file);
  close(listener);
  EXPECT_TRUE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg"));

  // While it runs: no second skimlet, and the dump it reads stays as it is.
  WriteFile(std::string(kFolder) + "PVR.epg", "being read");
  json again = Search();
  EXPECT_EQ(again["error_code"], SEARCH_ALREADY_RUNNING);
  EXPECT_EQ(again["error_text"], "'skimlet' already running");
  EXPECT_EQ(ReadFile(std::string(kFolder) + "PVR.epg"), "being read");

  Finish();
  EXPECT_EQ(ApprenticeStatusGet(), APPRENTICE_IDLE);
  EXPECT_NE(Log().find("Joining 'skimlet' thread after "), std::string::npos);
  EXPECT_EQ(Search()["error_code"], SEARCH_STARTING);
  EXPECT_NE(ReadFile(std::string(kFolder) + "PVR.epg"), "being read");
}

TEST_F(EPGSearch, AStopEndsSkimletEvenWhenItIgnoresSIGTERM) {
  InstallSkimlet(true);
  ASSERT_EQ(Search()["error_code"], SEARCH_STARTING);
  std::string out = WaitForOutput();
  int pid = atoi(out.substr(out.find(" pid: ") + 6).c_str());
  ASSERT_GT(pid, 0);
  StopApprentice();
  EXPECT_EQ(ApprenticeStatusGet(), APPRENTICE_IDLE);
  EXPECT_NE(kill(pid, 0), 0);   // ended and reaped
  EXPECT_NE(Log().find("Ending 'skimlet' (process " + std::to_string(pid) + ")."), std::string::npos);
  StopApprentice();   // nothing left to end
}

TEST_F(EPGSearch, AFailedStartAnswersAnError) {
  json a = Search();   // no skimlet on the disk
  EXPECT_EQ(a["error_code"], SEARCH_START_FAILED);
  EXPECT_EQ(a["error_text"], "'skimlet' could not be started");
  EXPECT_EQ(ApprenticeStatusGet(), APPRENTICE_IDLE);
  ApprenticeEventCheck();
  EXPECT_NE(Log().find("Unable to start 'skimlet' process, ERRNO = 2."), std::string::npos) << Log();
  // A file that is not a program fails the same way, with its own errno.
  WriteFile(std::string(kFolder) + "skimlet", "not a program");
  chmod(Host(std::string(kFolder) + "skimlet").c_str(), 0755);
  EXPECT_EQ(Search()["error_code"], SEARCH_START_FAILED);
  EXPECT_EQ(ApprenticeStatusGet(), APPRENTICE_IDLE);
}

TEST_F(EPGSearch, TheDumpStaysFreshAcrossTheTickWrap) {
  InstallSkimlet();
  gEPGCacheTimeout = 2;
  gNextEPGOffset = 2 * EPG_CACHE_UNIT_TICKS;
  const dword offset = 0xFFFFFFFFu - 1000 - TAP_GetTick();   // the expiry lies past the wrap
  emu::SetTickOffset(offset);
  ASSERT_EQ(Search("cache=1")["requested_cache"], "1");
  EXPECT_NE(Log().find("PVR EPG cache expired, refreshing PVR EPG data cache with 0 events."), std::string::npos);
  EXPECT_LT(gNextEPGRefresh, (dword)(2 * EPG_CACHE_UNIT_TICKS));
  Finish();
  WriteFile(std::string(kFolder) + "PVR.epg", "fresh");
  emu::SetTickOffset(offset + 3000);   // half a minute on: 59 whole minutes remain
  ASSERT_EQ(Search("cache=1")["error_code"], SEARCH_STARTING);
  EXPECT_EQ(ReadFile(std::string(kFolder) + "PVR.epg"), "fresh");
  EXPECT_NE(Log().find("PVR EPG cache still fresh, 59 minutes until expiry."), std::string::npos) << Log();
  Finish();
  // Without "cache" the dump is built every time.
  ASSERT_EQ(Search()["error_code"], SEARCH_STARTING);
  EXPECT_NE(ReadFile(std::string(kFolder) + "PVR.epg"), "fresh");
  EXPECT_NE(Log().find("Built PVR EPG data cache with 0 events."), std::string::npos);
}

TEST_F(EPGSearch, DescriptionDumpsWaitForARunningSearch) {
  InstallSkimlet();
  std::string genre = std::string(kFolder) + "genre.epg";
  ASSERT_EQ(Search()["error_code"], SEARCH_STARTING);
  WriteFile(genre, "being read");
  RefreshSearchDumps();   // a reload while skimlet reads the dumps
  EXPECT_EQ(ReadFile(genre), "being read");
  Finish();
  EXPECT_EQ(ReadFile(genre).size(), (size_t)GENRE_DUMP_SIZE);
  WriteFile(genre, "old");
  RefreshSearchDumps();   // no search: at once
  EXPECT_EQ(ReadFile(genre).size(), (size_t)GENRE_DUMP_SIZE);
}

TEST_F(EPGSearch, CheckApprenticeMakesSkimletExecutable) {
  EXPECT_EQ(checkApprentice(), 0);
  WriteFile(std::string(kFolder) + "skimlet", "x");
  std::string path = Host(std::string(kFolder) + "skimlet");
  chmod(path.c_str(), 0640);
  EXPECT_EQ(checkApprentice(), 1);
  struct stat s;
  ASSERT_EQ(stat(path.c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 07777, 0751u);
}

}  // namespace
