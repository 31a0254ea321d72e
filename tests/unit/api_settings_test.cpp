// The settings handlers on the emulated PVR through the request path: the parameter scan,
// the answer, refused requests and a save that runs out of memory.
#include "webserver/api/api_settings.h"

#include "emulator/emulator.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/served_request.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kClient[] = "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini";

class SettingsApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;
  }
  nlohmann::json Ask(const std::string &action, const std::string &params) {
    ServedAnswer answer = ServeGet("/api?function=settings&action=" + action + "!" + params);
    EXPECT_EQ(answer.status, "HTTP/1.1 200 OK");
    EXPECT_NE(answer.head.find("Content-Type: application/json; charset=utf-8\r\n"), std::string::npos);
    return answer.Json();
  }
};

}  // namespace

TEST_F(SettingsApi, SetGetListAndDelete) {
  nlohmann::json set = Ask("set", "key=name&value=TV%20%22one%22&module=&key=title");
  EXPECT_EQ(set["content"], "setting_set");
  EXPECT_EQ(set["status"], 1);
  EXPECT_EQ(set["setting_key"], "title");   // the last piece of a keyword wins
  EXPECT_EQ(set["setting_value"], "TV \"one\"");
  EXPECT_EQ(ReadFile(kClient), "title=TV \"one\"\r\n");
  nlohmann::json get = ServeGet("/api?function=setting&action=get!key=TITLE").Json();
  EXPECT_EQ(get["status"], 1);
  EXPECT_EQ(get["setting_value"], "TV \"one\"");
  EXPECT_EQ(Ask("get", "key=missing")["status"], 0);
  nlohmann::json list = Ask("list", "");
  EXPECT_EQ(list["count"], 1);
  EXPECT_EQ(list["setting"]["title"], "TV \"one\"");
  nlohmann::json gone = Ask("delete", "key=title&value=ignored");
  EXPECT_EQ(gone["setting_value"], "TV \"one\"");
  EXPECT_EQ(ReadFile(kClient), "");
  // A module's file.
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/clock/settings.ini", "size=3\r\n");
  EXPECT_EQ(Ask("set", "module=clock&key=size&value=4")["status"], 1);
  EXPECT_EQ(Ask("list", "module=clock")["setting"]["size"], "4");
  EXPECT_EQ(Ask("list", "module=..%2F..")["error_text"], "Invalid module name");
  EXPECT_EQ(Ask("list", "module=../..")["error_text"], "Invalid module name");
}

TEST_F(SettingsApi, ValuesAreRefusedNotCut) {
  WriteFile(kClient, "k=old\r\n");
  // 512 characters fit their field; 513 do not, and neither does a request the server
  // could not read whole.
  std::string fits(400, 'v');
  EXPECT_EQ(Ask("set", "key=k&value=" + fits)["status"], 1);
  EXPECT_EQ(ReadFile(kClient), "k=" + fits + "\r\n");
  nlohmann::json refused = Ask("set", "key=k&value=" + std::string(520, 'w'));
  EXPECT_EQ(refused["status"], 0);
  EXPECT_EQ(refused["error_text"], "Key or value too long");
  EXPECT_EQ(Ask("set", "key=k&value=a%0Db")["error_text"], "Invalid value");
  EXPECT_EQ(Ask("delete", "key=" + std::string(600, 'k'))["error_code"], 5);
  EXPECT_EQ(ReadFile(kClient), "k=" + fits + "\r\n");
}

// The settings text grows through the TAP heap: when that fails, the answer says so and the
// file keeps its old contents.
TEST_F(SettingsApi, ASaveWithoutMemoryKeepsTheFile) {
  WriteFile(kClient, "k=old\r\n");
  bool seen = false;
  for (unsigned nth = 1; nth <= 10; nth++) {
    emu::FailAllocation(nth);
    ServedAnswer answer = ServeGet("/api?function=settings&action=set!key=new&value=" + std::string(300, 'n'));
    emu::FailAllocation(0);
    if (answer.body.find("Out of memory") != std::string::npos) {
      seen = true;
      EXPECT_EQ(answer.Json()["status"], 0);
      EXPECT_EQ(ReadFile(kClient), "k=old\r\n");
    } else if (!answer.body.empty()) {
      EXPECT_EQ(answer.Json()["status"], 1) << nth;
      WriteFile(kClient, "k=old\r\n");
    }
  }
  EXPECT_TRUE(seen);
}
