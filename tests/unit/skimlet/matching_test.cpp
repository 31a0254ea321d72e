#include "search/matching.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <sstream>
#include <string>

#include "platform/byte_order.h"
#include "search/event_sources.h"
#include "search/search_definitions.h"
#include "search/skimlet.h"
#include "tests/unit/skimlet/oracle.h"

namespace {

std::string Decode(const std::string &in, size_t size = HTML_DECODE_SIZE) {
  char out[HTML_DECODE_SIZE];
  size_t n = htmlDecode(in.c_str(), out, size);
  EXPECT_EQ(n, strlen(out));
  return std::string(out, n);
}

TEST(HtmlDecode, EveryLatin1NameAgreesWithPythonsTable) {
  ASSERT_TRUE(RequireTool("/usr/bin/python3"));
  bool ok = false;
  std::string table = Oracle(
      "/usr/bin/python3 -c \"import html.entities as h\n"
      "for n, c in sorted(h.name2codepoint.items()):\n"
      "    print(n, c)\"",
      &ok);
  ASSERT_TRUE(ok) << "/usr/bin/python3 failed";
  std::istringstream lines(table);
  std::string name;
  int code, checked = 0;
  while (lines >> name >> code) {
    std::string decoded = Decode("<&" + name + ";>");
    bool replaced = (code >= 160 && code <= 254) || code == 34 || code == 38 || code == 60 || code == 62;
    if (replaced) {
      EXPECT_EQ(decoded, std::string("<") + (char)code + ">") << name;
      checked++;
    } else {
      // other names (and yuml, 255) stay as they are
      EXPECT_EQ(decoded, "<&" + name + ";>") << name;
    }
  }
  EXPECT_EQ(checked, 95 + 4);
}

TEST(HtmlDecode, NumbersAndLimits) {
  EXPECT_EQ(Decode("&#65;&#x42;&#X43;&#32;&#254;"), "ABC \xfe");
  EXPECT_EQ(Decode("&#31;&#255;&#x;&#;&#1a;&#99999999999999;"), "&#31;&#255;&#x;&#;&#1a;&#99999999999999;");
  EXPECT_EQ(Decode("a & b; &amp &amp;amp;"), "a & b; &amp &amp;");
  EXPECT_EQ(Decode("&" + std::string(63, 'a') + ";"), "&" + std::string(63, 'a') + ";");
  EXPECT_EQ(Decode("&AMP; &Amp;"), "&AMP; &Amp;");   // names are case-sensitive
  EXPECT_EQ(Decode("x&eacute"), "x&eacute");
  // the output never exceeds its size
  EXPECT_EQ(Decode("abcdef", 4), "abc");
  EXPECT_EQ(Decode(std::string(9000, 'z')).size(), (size_t)HTML_DECODE_SIZE - 1);
}

TEST(Weekdays, AgreeWithPythonsDatetime) {
  ASSERT_TRUE(RequireTool("/usr/bin/python3"));
  bool ok = false;
  // MJD 15079 (1900-03-01) to 65535, every 7th day plus the odd ones
  std::string out = Oracle(
      "/usr/bin/python3 -c \"import datetime\n"
      "e = datetime.date(1858, 11, 17)\n"
      "for m in list(range(15079, 65536, 37)) + [0, 1, 58132, 65535]:\n"
      "    print(m, (e + datetime.timedelta(days=m)).isoweekday())\"",
      &ok);
  ASSERT_TRUE(ok) << "/usr/bin/python3 failed";
  std::istringstream lines(out);
  unsigned mjd;
  int weekday, checked = 0;
  while (lines >> mjd >> weekday) {
    EXPECT_EQ(ExtractWeekDay(mjd << 16 | 12 << 8 | 30), weekday) << mjd;
    checked++;
  }
  EXPECT_GT(checked, 1000);
}

TEST(KeepText, CutsWholeCharacters) {
  char out[16];
  EXPECT_EQ(keepText("abcdef", out, 4), 4u);
  EXPECT_STREQ(out, "abcd");
  // "é" is C3 A9: a limit inside it leaves it out
  EXPECT_EQ(keepText("abc\xc3\xa9z", out, 4), 3u);
  EXPECT_EQ(keepText("abc\xc3\xa9z", out, 5), 5u);
  // a 3-byte character cut after its first and second byte
  EXPECT_EQ(keepText("a\xe2\x82\xacz", out, 2), 1u);
  EXPECT_EQ(keepText("a\xe2\x82\xacz", out, 3), 1u);
  EXPECT_EQ(keepText("a\xe2\x82\xacz", out, 4), 4u);
  // single-byte text is cut where the limit says
  EXPECT_EQ(keepText("abc\xe9\xe9\xe9", out, 4), 4u);
  EXPECT_EQ(keepText("short", out, 10), 5u);
}

class Matching : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSkimletState();
    results_ = tmpfile();
    resultsFile = results_;
    memset(&event_, 0, sizeof event_);
    event_.source = SOURCE_PVR;
    event_.event.starttime = 60000u << 16 | 20 << 8;
    event_.event.duration = 30;
  }
  void TearDown() override {
    freeSearches();
    if (results_) fclose(results_);
    resultsFile = nullptr;
  }
  int Load(const std::string &lines) {
    snprintf(gSearchBuffer, sizeof gSearchBuffer, "%s", lines.c_str());
    return loadSearch(1);
  }
  static std::string Def(const std::string &name, const std::string &searches, int texts) {
    auto line = [](std::string key, const std::string &value) {
      key.resize(18, ' ');
      return key + value + "\r\n";
    };
    std::string d = line("ChannelCount:", "1") + line("TextCount:", std::to_string(texts)) + line("Name:", name) +
                    line("RecordingMode:", "0");
    std::istringstream s(searches);
    std::string one;
    while (std::getline(s, one, '|')) d += line("Search:", one);
    return d;
  }
  FILE *results_ = nullptr;
  SkimletEvent event_;
};

TEST_F(Matching, WeightsAddAndTheFirstClaimWins) {
  ASSERT_EQ(Load("SearchCount:      3\r\n" + Def("Half", "T;alpha;25|D;beta;25", 2) + Def("Low", "T;alpha;49", 1) +
                 Def("Full", "B;alpha;50", 1)),
            3);
  snprintf(event_.event.name, sizeof event_.event.name, "Alpha");
  snprintf(event_.event.description, sizeof event_.event.description, "Beta");
  EXPECT_EQ(testMatching(&event_), 50);
  EXPECT_EQ(event_.definition, 0);
  EXPECT_STREQ(event_.definitionName, "Half");
  EXPECT_EQ(gResultsCount, 1);
  EXPECT_EQ(gSearchList[0].texts[0].matched, 25);
  EXPECT_EQ(gSearchList[0].texts[1].matched, 25);

  event_.event.description[0] = '\0';
  EXPECT_EQ(testMatching(&event_), 50);
  EXPECT_EQ(event_.definition, 2);
  EXPECT_EQ(gSearchList[1].score, 49);   // tested, but below 50

  snprintf(event_.event.name, sizeof event_.event.name, "Gamma");
  EXPECT_LT(testMatching(&event_), 50);
  EXPECT_EQ(gResultsCount, 2);
  EXPECT_EQ(ftell(results_), 2L * RESULT_RECORD_SIZE);
}

// Weights are whatever the user wrote: sums beyond an int are held at its limits rather
// than wrapping, so that two large negative weights never add up to a claim.
TEST_F(Matching, HugeWeightsDoNotWrap) {
  ASSERT_EQ(Load("SearchCount:      2\r\n" + Def("Negative", "T;alpha;-2000000000|T;alp;-2000000000", 2) +
                 Def("Positive", "T;alpha;2000000000|T;alp;2000000000", 2)),
            2);
  snprintf(event_.event.name, sizeof event_.event.name, "Alpha");
  EXPECT_EQ(testMatching(&event_), INT_MAX);
  EXPECT_STREQ(event_.definitionName, "Positive");
  EXPECT_EQ(gResultsCount, 1);
}

TEST(ResultRecord, FieldsAtTheirOffsets) {
  static SkimletEvent e;
  memset(&e, 0, sizeof e);
  e.source = 1;
  e.channelId = 0x0102030405060708ull;
  e.definition = 3;
  snprintf(e.definitionName, sizeof e.definitionName, "Def");
  e.event.eventid = 0xA1B2;
  e.event.datastatus = 9;
  e.event.runningstatus = -2;
  e.event.starttime = 0x11223344;
  e.event.endtime = 0x55667788;
  e.event.timezone = -60;
  e.event.duration = 90;
  e.event.satindex = 1;
  e.event.networkid = 2;
  e.event.tsid = 3;
  e.event.serviceid = 4;
  e.event.svctype = -1;
  e.event.svcnum = 300;
  memcpy(e.event.lang, "eng", 4);
  e.event.parental = 11;
  e.event.namelength = 4;
  e.event.descriptionlength = 5;
  e.event.textlength = 8191;
  snprintf(e.event.name, sizeof e.event.name, "Name");
  snprintf(e.event.description, sizeof e.event.description, "Descr");
  memset(e.event.text, 't', 8191);
  e.event.citid = -7;
  e.event.contentidentifier = 0x14;
  e.event.sourceflag = 1;
  e.event.unknown14 = 0xBEEF;
  e.event.icechannel = 0xCAFE;
  memcpy(e.event.unknown15, "\x01\x02\x03\x04\x05\x06", 6);
  static uint8_t r[RESULT_RECORD_SIZE];
  packResultRecord(&e, r);
  EXPECT_EQ(GetLE32(r + 0), 1u);
  EXPECT_EQ(GetLE32(r + 4), 0u);
  EXPECT_EQ(GetLE64(r + 8), 0x0102030405060708ull);
  EXPECT_EQ(GetLE32(r + 16), 3u);
  EXPECT_STREQ((const char *)r + 20, "Def");
  EXPECT_EQ(GetLE16(r + 276), 0xA1B2);
  EXPECT_EQ(r[278], 9);
  EXPECT_EQ(r[279], 0);
  EXPECT_EQ((int32_t)GetLE32(r + 280), -2);
  EXPECT_EQ(GetLE32(r + 284), 0x11223344u);
  EXPECT_EQ(GetLE32(r + 288), 0x55667788u);
  EXPECT_EQ((int16_t)GetLE16(r + 292), -60);
  EXPECT_EQ(GetLE16(r + 294), 90);
  EXPECT_EQ(GetLE16(r + 296), 1);
  EXPECT_EQ(GetLE16(r + 298), 2);
  EXPECT_EQ(GetLE16(r + 300), 3);
  EXPECT_EQ(GetLE16(r + 302), 4);
  EXPECT_EQ((int32_t)GetLE32(r + 304), -1);
  EXPECT_EQ(GetLE32(r + 308), 300u);
  EXPECT_STREQ((const char *)r + 312, "eng");
  EXPECT_EQ(r[316], 11);
  EXPECT_EQ(r[317], 4);
  EXPECT_EQ(r[318], 5);
  EXPECT_EQ(r[319], 0);
  EXPECT_EQ(GetLE16(r + 320), 8191);
  EXPECT_STREQ((const char *)r + 322, "Name");
  EXPECT_STREQ((const char *)r + 578, "Descr");
  EXPECT_EQ(strnlen((const char *)r + 834, 8194), 8191u);
  EXPECT_EQ((int32_t)GetLE32(r + 9028), -7);
  EXPECT_EQ(r[9032], 0x14);
  EXPECT_EQ(r[9033], 1);
  EXPECT_EQ(GetLE16(r + 9034), 0xBEEF);
  EXPECT_EQ(GetLE16(r + 9036), 0xCAFE);
  EXPECT_EQ(memcmp(r + 9038, "\x01\x02\x03\x04\x05\x06", 6), 0);
  EXPECT_EQ(GetLE32(r + 9044), 0u);
}

}  // namespace
