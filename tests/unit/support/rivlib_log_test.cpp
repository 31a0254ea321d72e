// The support layer's error log entry: what the installed writer receives.
#include "platform/rivlib_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pvr_text.h"

namespace {

struct Entry {
  bool console;
  std::string text;
};
std::vector<Entry> gEntries;

void Capture(bool console, const char *text) { gEntries.push_back({console, text}); }

class RivlibLog : public ::testing::Test {
 protected:
  void SetUp() override {
    gEntries.clear();
    SetRivlibLog(Capture);
  }
  void TearDown() override { SetRivlibLog(nullptr); }
};

TEST_F(RivlibLog, EntriesReachTheInstalledWriterCutToTheirSize) {
  LogEntryRivlibPrintf(true, "%s %d", "code", 42);
  LogEntryRivlibPrintf(false, "%s", std::string(2000, 'x').c_str());
  ASSERT_EQ(gEntries.size(), 2u);
  EXPECT_TRUE(gEntries[0].console);
  EXPECT_EQ(gEntries[0].text, "code 42");
  EXPECT_FALSE(gEntries[1].console);
  EXPECT_EQ(gEntries[1].text, std::string(RIVLIB_TEXT_MAX, 'x'));
}

TEST_F(RivlibLog, WithoutAWriterEntriesAreDropped) {
  SetRivlibLog(nullptr);
  LogEntryRivlibPrintf(true, "nobody hears this");
  char out[8];
  StrToISO("\xe2\x82\xac", out);   // the euro sign has no place in the single-byte set
  EXPECT_TRUE(gEntries.empty());
}

TEST_F(RivlibLog, TheTextConversionReportsWhatItDrops) {
  char out[8];
  StrToISO("a\xe2\x82\xac", out);
  EXPECT_STREQ(out, "a");
  ASSERT_EQ(gEntries.size(), 1u);
  EXPECT_EQ(gEntries[0].text, "StrToISO: character 0x20ac ignored");
}

}  // namespace
