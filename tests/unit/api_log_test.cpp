// The browser's log entries: the body as one entry of "Orvane.log", the module as source.
#include "webserver/api/api_log.h"

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/served_request.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

class LogApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;   // the browser's entries are written at every level
  }
  std::string Log() { return ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.log"); }
};

}  // namespace

TEST_F(LogApi, TheBodyBecomesOneEntry) {
  ServedAnswer answer = ServePost("/api?function=log&action=write!module=Clock&x=1", "view opened");
  nlohmann::json j = answer.Json();
  EXPECT_EQ(j["content"], "log_response");
  EXPECT_EQ(j["requested_module"], "Clock");
  EXPECT_EQ(j["bytes_written"], 11);
  EXPECT_NE(answer.body.find("\"requested_module\":\"Clock\",\r\n\"bytes_written\":11\r\n}\r\n"), std::string::npos);
  EXPECT_NE(Log().find(" view opened\r\n"), std::string::npos);
  // The default source; a module name that needs escaping in the answer.
  EXPECT_EQ(ServePost("/api?function=logger&action=set!", "x").Json()["requested_module"], "ZEL5 Web");
  EXPECT_EQ(ServePost("/api?function=log&action=write!module=a\"b", "y").Json()["requested_module"], "a\"b");
  // Without a body nothing is written.
  std::string before = Log();
  EXPECT_EQ(ServeGet("/api?function=log&action=write!").Json()["bytes_written"], 0);
  EXPECT_EQ(Log(), before);
}
