// Language files: the code asked for or the PVR's menu language, the English fallback, the
// modules' files, and codes or modules that cannot name a file.
#include "webserver/api/api_language.h"

#include "emulator/emulator.h"
#include "platform/directory_stack.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/served_request.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kWeb[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html";

class LanguageApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;
    gCacheControl = 0;
    WriteFile(std::string(kWeb) + "/language-en.txt", "english");
    WriteFile(std::string(kWeb) + "/language-de.txt", "deutsch");
    WriteFile(std::string(kWeb) + "/modules/clock/lng/language-en.txt", "clock english");
    WriteFile(std::string(kWeb) + "/modules/clock/lng/language-fr.txt", "clock french");
  }
  void SetOsdLanguage(int language) {
    std::string error;
    ASSERT_TRUE(emu::ApplyProfile("{\"system_vars\":{\"1\":" + std::to_string(language) + "}}", &error)) << error;
  }
  std::string Get(const std::string &params) {
    ServedAnswer answer = ServeGet("/api?function=language&action=get!" + params);
    return answer.status == "HTTP/1.1 200 OK" ? answer.body : answer.status;
  }
};

}  // namespace

TEST_F(LanguageApi, TheCodeAskedForOrTheMenuLanguageWithEnglishAsFallback) {
  SetOsdLanguage(2);   // German
  EXPECT_EQ(Get(""), "deutsch");
  EXPECT_EQ(Get("lang=en"), "english");
  EXPECT_EQ(Get("lng=de&lang=en"), "deutsch");
  EXPECT_EQ(Get("lang=xx"), "english");
  SetOsdLanguage(11);   // Dutch: no file
  EXPECT_EQ(Get(""), "english");
  SetOsdLanguage(20);   // no code at all
  EXPECT_EQ(Get(""), "HTTP/1.1 404 NOT FOUND");
  EXPECT_EQ(Get("lang=de"), "deutsch");
  char folder[TAP_FOLDER_PATH_SIZE];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(folder, sizeof folder), 1);
  EXPECT_STREQ(folder, "/ProgramFiles/Settings/Orvane");   // restored after the lookup
}

TEST_F(LanguageApi, ModulesAndCodesThatNameNoFile) {
  SetOsdLanguage(1);   // French
  EXPECT_EQ(Get("module=clock"), "clock french");
  EXPECT_EQ(Get("module=clock&lang=de"), "clock english");
  EXPECT_EQ(Get("module=weather"), "HTTP/1.1 404 NOT FOUND");   // no folder, no English file
  EXPECT_EQ(Get("module=..&lang=en"), "HTTP/1.1 404 NOT FOUND");
  EXPECT_EQ(Get("module=clock%2F..&lang=en"), "HTTP/1.1 404 NOT FOUND");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/secret.txt", "secret");
  // Codes longer than their field or with other characters are no codes: English.
  for (const char *code : {"../../secret", "de/../..", "d%2Fe", "abcdefghijklmnop", "de.txt"}) {
    EXPECT_EQ(Get(std::string("lang=") + code), "english") << code;
  }
  EXPECT_EQ(Get("lang=abcdefghijklmno"), "english");   // 15 characters: a code without a file
  EXPECT_STREQ(OsdLanguageCode(0), "en");
  EXPECT_STREQ(OsdLanguageCode(19), "bg");
  EXPECT_EQ(OsdLanguageCode(-1), nullptr);
}
