// The logo API: the check at start-up and the rebuild start Orvane-Config.tap in batch mode
// (a test TAP in its place reports how it was started), the index served as a file.
#include "webserver/api/api_logos.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "emulator/emulator.h"
#include "platform/directory_stack.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/served_request.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kWeb[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/";

class LogoApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;
    gCacheControl = 1;
    ASSERT_EQ(TAP_Hdd_ChangeDir("/ProgramFiles/Settings/Orvane"), 1);
    std::string fifo = Host("/dev/pts/0");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    console_ = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  }
  void TearDown() override {
    close(console_);
    gCacheControl = 0;
    EmulatedPvr::TearDown();
  }
  // The test TAP as the configuration TAP.
  void InstallConfigTap() {
    std::ifstream in(ORVANE_ECHO_TAP, std::ios::binary);
    WriteFile("/mnt/hd/ProgramFiles/Orvane-Config.tap",
              std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  }
  void WriteLogoFiles() {
    for (const char *name : {"service-logos.css", "service-logos.log", "service-logos.png", "service-logos.txt"}) {
      WriteFile(std::string(kWeb) + name, std::string("{\"content\":\"logos\"}") + name);
    }
  }
  std::string Console() {
    std::string text;
    char buffer[1024];
    for (ssize_t n; (n = read(console_, buffer, sizeof buffer)) > 0;) text.append(buffer, (size_t)n);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
  }
  std::string CurrentFolder() {
    char folder[TAP_FOLDER_PATH_SIZE] = "";
    HDD_TAP_GetCurrentDir(folder, sizeof folder);
    return folder;
  }
  int console_ = -1;
};

}  // namespace

TEST_F(LogoApi, MissingFilesAtStartUpStartABatchRebuild) {
  InstallConfigTap();
  WriteLogoFiles();
  checkLogos();
  EXPECT_EQ(Console(), "");   // all four exist: nothing to do
  ASSERT_EQ(unlink(Host(std::string(kWeb) + "service-logos.log").c_str()), 0);
  checkLogos();
  EXPECT_EQ(Console(), "echo-tap: started in batch mode\n");
  EXPECT_TRUE(emu::LastStartHandOver().batch);
  EXPECT_EQ(CurrentFolder(), "/ProgramFiles/Settings/Orvane");
  EXPECT_EQ(allow_idle_events, 1);
}

TEST_F(LogoApi, ARebuildReportsWhetherItStarted) {
  nlohmann::json answer = ServeGet("/api?function=logos&action=rebuild!").Json();
  EXPECT_EQ(answer["content"], "logo_rebuild_requested");
  EXPECT_EQ(answer["return_code"], 0);
  EXPECT_EQ(answer["error"], 1);
  EXPECT_EQ(answer["error_text"], "Requested file not found");
  InstallConfigTap();
  ServedAnswer served = ServeGet("/api?function=logo&action=rebuild!");
  answer = served.Json();
  EXPECT_EQ(answer["return_code"], 1);
  EXPECT_EQ(answer["error"], 0);
  EXPECT_EQ(answer["error_text"], "Start request succeeded");
  EXPECT_EQ(served.body.rfind("{\"content\":\"logo_rebuild_requested\",\r\n", 0), 0u);
  EXPECT_NE(served.body.find("\"timestamp\":\""), std::string::npos);
  EXPECT_EQ(Console(), "echo-tap: started in batch mode\n");
  EXPECT_EQ(CurrentFolder(), "/ProgramFiles/Settings/Orvane");
}

TEST_F(LogoApi, TheIndexIsServedAsAFile) {
  EXPECT_EQ(ServeGet("/api?function=logos&action=get!").status, "HTTP/1.1 404 NOT FOUND");
  WriteLogoFiles();
  ServedAnswer logos = ServeGet("/api?function=logos&action=get!");
  EXPECT_EQ(logos.status, "HTTP/1.1 200 OK");
  EXPECT_EQ(logos.body, "{\"content\":\"logos\"}service-logos.txt");
  EXPECT_NE(logos.head.find("Content-Type: text/plain; charset=utf-8\r\n"), std::string::npos);
  size_t tag = logos.head.find("Etag: ");
  ASSERT_NE(tag, std::string::npos);
  std::string etag = logos.head.substr(tag + 6, logos.head.find("\r\n", tag) - tag - 6);
  ServedAnswer channels = ServeGet("/api?function=channels&action=getlogos!");
  EXPECT_EQ(channels.body, logos.body);
  // The entity tag sent back: not modified.
  ServedAnswer again = ServeRequest("GET /api?function=logo&action=get! HTTP/1.1\r\nIf-None-Match: " + etag + "\r\n\r\n");
  EXPECT_EQ(again.status, "HTTP/1.1 304 Not Modified");
  EXPECT_EQ(CurrentFolder(), "/ProgramFiles/Settings/Orvane");
}
