#include "search/search_definitions.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "search/skimlet.h"

namespace {

std::string Line(const std::string &key, const std::string &value) {
  std::string l = key;
  l.resize(18, ' ');
  return l + value + "\r\n";
}

class Definitions : public ::testing::Test {
 protected:
  void SetUp() override { ResetSkimletState(); }
  void TearDown() override { freeSearches(); }

  int Load(const std::string &request) {
    snprintf(gSearchBuffer, sizeof gSearchBuffer, "%s", request.c_str());
    return loadSearch(1);
  }
};

TEST(SearchLines, KeyCodes) {
  struct Case {
    const char *line;
    int code;
  } cases[] = {
      {"Name:             x", KEY_NAME}, {"Search:           T;a;50", KEY_SEARCH},
      {"ChannelID:        0", KEY_CHANNELID}, {"StartTime:        1", KEY_STARTTIME},
      {"EndTime:          1", KEY_ENDTIME}, {"MaxLength:        1", KEY_MAXLENGTH},
      {"MinLength:        1", KEY_MINLENGTH}, {"StartDate:        1", KEY_STARTDATE},
      {"EndDate:          1", KEY_ENDDATE}, {"WeekDays:         1", KEY_WEEKDAYS}, {"ID:               1", KEY_ID},
      {"Genre:            14", KEY_GENRE}, {"RecordingMode:    0", KEY_RECORDINGMODE},
      {"SearchCount:      1", KEY_SEARCHCOUNT}, {"TextCount:        1", KEY_TEXTCOUNT},
      {"ChannelCount:     1", KEY_CHANNELCOUNT}, {"ShowProgress:     1", KEY_SHOWPROGRESS},
      {"EndQuery:", KEY_OTHER}, {"name:             x", KEY_OTHER}, {" Name:", KEY_OTHER}, {"", KEY_OTHER},
  };
  for (const Case &c : cases) {
    char line[64];
    snprintf(line, sizeof line, "%s", c.line);
    EXPECT_EQ(parseSearchLine(line, 0), c.code) << c.line;
  }
}

TEST(SearchLines, StripAndValue) {
  char line[64] = "Name:             News\r\n\r";
  parseSearchLine(line, 1);
  EXPECT_STREQ(line, "Name:             News\r");   // at most two removed
  EXPECT_STREQ(searchLineValue("Name:             News"), "News");
  EXPECT_STREQ(searchLineValue("Name:  short"), "");
  EXPECT_STREQ(searchLineValue("Name:             "), "");
}

TEST(SearchLines, FileLinesEndAtCrLfOrBothAndLongLinesAreCut) {
  FILE *f = tmpfile();
  ASSERT_NE(f, nullptr);
  std::string longLine(3000, 'x');
  fprintf(f, "one\r\ntwo\rthree\n%s\nfour", longLine.c_str());
  rewind(f);
  char line[SEARCH_LINE_SIZE];
  std::string got;
  while (readSearchLine(f, line, sizeof line)) got += std::string(line) + "|";
  fclose(f);
  EXPECT_EQ(got, "one|two|three|" + std::string(SEARCH_LINE_SIZE - 1, 'x') + "|four|");
}

TEST(SearchLines, CountsInAFileKeepThePosition) {
  FILE *f = tmpfile();
  std::string text = Line("Name:", "A") + Line("RecordingMode:", "0") + Line("ChannelID:", "0000000000000001") +
                     Line("Search:", "T;a;50") + Line("Search:", "T;b;50") + Line("Name:", "B") +
                     Line("RecordingMode:", "1") + Line("Name:", "C");
  fputs(text.c_str(), f);
  rewind(f);
  EXPECT_EQ(countSearches(f), 2);
  EXPECT_EQ(ftell(f), 0);
  char line[SEARCH_LINE_SIZE];
  readSearchLine(f, line, sizeof line);
  readSearchLine(f, line, sizeof line);
  long here = ftell(f);
  int channels = -1, texts = -1;
  countSizes(f, &channels, &texts);
  EXPECT_EQ(channels, 1);
  EXPECT_EQ(texts, 2);
  EXPECT_EQ(ftell(f), here);
  fclose(f);
}

TEST(RegexText, WildcardsAndExpressions) {
  struct Case {
    const char *pattern, *regex;
    int isRegex;
  } cases[] = {
      {"*news*", ".*news.*", 0}, {"a.b", "a\\.b", 0}, {"a?c", "a.c", 0}, {"/^News$/", "^News$", 1},
      {"5\\*", "5\\*", 0}, {"\\", "\\", 0}, {"//x//", "//x//", 0}, {"/ab/", "ab", 1}, {"/a/", "/a/", 0},
      {"/x", "/x", 0}, {"(a|b)+", "(a|b)+", 0},
  };
  for (const Case &c : cases) {
    char regex[SEARCH_REGEX_SIZE];
    EXPECT_EQ(makeRegexText(c.pattern, regex, sizeof regex), c.isRegex) << c.pattern;
    EXPECT_STREQ(regex, c.regex) << c.pattern;
  }
  // 255 asterisks double to 510 characters and still fit
  std::string stars(255, '*');
  char regex[SEARCH_REGEX_SIZE];
  makeRegexText(stars.c_str(), regex, sizeof regex);
  EXPECT_EQ(strlen(regex), 510u);
  char tiny[4];
  makeRegexText("*.*", tiny, sizeof tiny);
  EXPECT_STREQ(tiny, ".*");
}

TEST_F(Definitions, RequestFieldsAreRead) {
  std::string r = Line("SearchCount:", "2") + Line("ShowProgress:", "1") + Line("ChannelCount:", "2") +
                  Line("TextCount:", "3") + Line("Name:", "Late") + Line("RecordingMode:", "0") +
                  Line("ChannelID:", "00c000010001000a") + Line("ChannelID:", "0000000000000000") +
                  Line("ChannelID:", "ffffffffaffffff0") + Line("Search:", "A;*news*;30") +
                  Line("Search:", "G;x;5") + Line("Search:", "q;/bad(/;20") + Line("StartTime:", "5632") +
                  Line("EndTime:", "512") + Line("MinLength:", "10") + Line("MaxLength:", "90") +
                  Line("StartDate:", "e2d5") + Line("EndDate:", "E2DC") + Line("WeekDays:", "1234567") +
                  Line("Genre:", "14") + Line("Genre:", "00") + Line("ID:", "7") + Line("ChannelCount:", "1") +
                  Line("TextCount:", "1") + Line("Name:", "Second") + Line("RecordingMode:", "2") +
                  Line("ChannelID:", "0000000000000000") + Line("Search:", "T;x;50") + Line("WeekDays:", "") +
                  Line("EndQuery:", "");
  ASSERT_EQ(Load(r), 2);
  EXPECT_EQ(gShowProgress, 1);
  const SearchDefinition &d = gSearchList[0];
  EXPECT_STREQ(d.name, "Late");
  ASSERT_EQ(d.channelCount, 2);   // zero adds nothing; the third line is beyond the count
  EXPECT_EQ(d.channels[0], 0x00c000010001000aull);
  EXPECT_EQ(d.channels[1], 0xffffffffaffffff0ull);
  ASSERT_EQ(d.textCount, 3);
  EXPECT_STREQ(d.texts[0].text, "*news*");
  EXPECT_EQ(d.texts[0].weight, 30);
  EXPECT_TRUE(d.texts[0].inName && d.texts[0].inDescription && !d.texts[0].inText);
  EXPECT_NE(d.texts[0].code, nullptr);
  EXPECT_TRUE(d.texts[1].genreFlag && !d.texts[1].inName && !d.texts[1].inDescription && !d.texts[1].inText);
  EXPECT_TRUE(d.texts[2].inName && d.texts[2].inText && !d.texts[2].inDescription);
  EXPECT_EQ(d.texts[2].code, nullptr);   // does not compile: never matches
  EXPECT_EQ(d.startMinutes, 22 * 60);
  EXPECT_EQ(d.endMinutes, 1560);
  EXPECT_EQ(d.windowWraps, 1);
  EXPECT_EQ(d.timeWindowActive, 1);
  EXPECT_EQ(d.minLength, 10);
  EXPECT_EQ(d.maxLength, 90);
  EXPECT_EQ(d.startDate, 0xe2d5u << 16);
  EXPECT_EQ(d.endDate, 0xe2dcu << 16);
  EXPECT_EQ(d.dateRangeActive, 1);
  EXPECT_EQ(d.weekdays, 254);
  EXPECT_EQ(d.genreActive, 1);
  for (int g = 0; g < 256; g++) EXPECT_EQ(d.genres[g], g == 0x14 ? 1 : 0);
  const SearchDefinition &e = gSearchList[1];
  EXPECT_STREQ(e.name, "Second");
  EXPECT_EQ(e.weekdays, 255);
  EXPECT_EQ(e.channelCount, 0);
  EXPECT_EQ(e.textCount, 1);
}

TEST_F(Definitions, EndBeforeStartWrapsEitherOrder) {
  std::string r = Line("SearchCount:", "2") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                  Line("Name:", "A") + Line("RecordingMode:", "0") + Line("EndTime:", "512") +
                  Line("StartTime:", "5632") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                  Line("Name:", "B") + Line("RecordingMode:", "0") + Line("StartTime:", "2560") +
                  Line("EndTime:", "3072");
  ASSERT_EQ(Load(r), 2);
  EXPECT_EQ(gSearchList[0].endMinutes, 1560);
  EXPECT_EQ(gSearchList[0].windowWraps, 1);
  EXPECT_EQ(gSearchList[1].startMinutes, 600);
  EXPECT_EQ(gSearchList[1].endMinutes, 720);
  EXPECT_EQ(gSearchList[1].windowWraps, 0);
}

TEST_F(Definitions, WeekDayCharacters) {
  struct Case {
    const char *value;
    int mask;
  } cases[] = {{"135", 0x2A}, {"7", 0x80}, {"", 255}, {"1234567", 254}, {"0", 1}, {"9", 255}, {"12345678901", 254}};
  for (const Case &c : cases) {
    std::string r = Line("SearchCount:", "1") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                    Line("Name:", "W") + Line("RecordingMode:", "0") + Line("WeekDays:", c.value);
    ASSERT_EQ(Load(r), 1);
    // bits beyond the eighth are lost; nothing left means every day
    EXPECT_EQ(gSearchList[0].weekdays, c.mask) << c.value;
  }
}

TEST_F(Definitions, MissingArraysStopLoading) {
  std::string r = Line("SearchCount:", "1") + Line("ChannelCount:", "1") + Line("TextCount:", "0") +
                  Line("Name:", "A") + Line("RecordingMode:", "0");
  EXPECT_EQ(Load(r), -1);
  r = Line("SearchCount:", "1") + Line("TextCount:", "1") + Line("Name:", "A") + Line("RecordingMode:", "0");
  EXPECT_EQ(Load(r), -1);
}

TEST_F(Definitions, MoreDefinitionsThanCountedAreIgnored) {
  std::string r = Line("SearchCount:", "1");
  for (int i = 0; i < 5; i++) {
    r += Line("ChannelCount:", "1") + Line("TextCount:", "1") + Line("Name:", "N" + std::to_string(i)) +
         Line("RecordingMode:", "0") + Line("Search:", "T;x;50");
  }
  ASSERT_EQ(Load(r), 1);
  EXPECT_STREQ(gSearchList[0].name, "N0");
  EXPECT_EQ(Load(Line("SearchCount:", "-4")), 0);
  EXPECT_EQ(Load(""), 0);
}

// The counts of a request are the client's word: they size allocations only as far as
// the request has lines to fill them, so a huge count cannot exhaust memory.
TEST_F(Definitions, RequestCountsAreBoundedByTheLinesSent) {
  std::string r = Line("SearchCount:", "2147483647") + Line("ChannelCount:", "2147483647") +
                  Line("TextCount:", "2147483647") + Line("Name:", "A") + Line("RecordingMode:", "0") +
                  Line("ChannelID:", "00c000010001000a") + Line("ChannelID:", "00c0000200020014") +
                  Line("Search:", "T;x;50") + Line("ChannelCount:", "100000") + Line("TextCount:", "100000") +
                  Line("Name:", "B") + Line("RecordingMode:", "0") + Line("Search:", "T;y;50");
  ASSERT_EQ(Load(r), 2);
  EXPECT_EQ(gSearchList[0].channelCapacity, 2);
  EXPECT_EQ(gSearchList[0].channelCount, 2);
  EXPECT_EQ(gSearchList[0].textCapacity, 2);   // both "Search:" lines of the request
  EXPECT_EQ(gSearchList[1].channelCapacity, 2);
  EXPECT_EQ(gSearchList[1].channelCount, 0);   // no channel list: any channel
  EXPECT_EQ(gSearchList[1].textCount, 1);
  // A count of one without its line still gives an array of one, as before.
  r = Line("SearchCount:", "1") + Line("ChannelCount:", "1") + Line("TextCount:", "1") + Line("Name:", "C") +
      Line("RecordingMode:", "0") + Line("Search:", "T;z;50");
  ASSERT_EQ(Load(r), 1);
  EXPECT_EQ(gSearchList[0].channelCapacity, 1);
}

TEST_F(Definitions, LongNameAndPatternAreCut) {
  std::string name(600, 'n'), pattern(600, 'p');
  std::string r = Line("SearchCount:", "1") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                  Line("Name:", name) + Line("RecordingMode:", "0") + Line("Search:", "T;" + pattern + ";50");
  ASSERT_EQ(Load(r), 1);
  EXPECT_EQ(strlen(gSearchList[0].name), 255u);
  ASSERT_EQ(gSearchList[0].textCount, 1);
  EXPECT_EQ(strlen(gSearchList[0].texts[0].text), 255u);
}

}  // namespace
