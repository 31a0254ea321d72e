#include "platform/epg_event.h"

#include <gtest/gtest.h>
#include <string.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/json_answer.h"
#include "platform/epg_genre_format.h"

namespace {

void FillTables() {
  memset(gParental, 0, sizeof gParental);
  memset(gGenreDescription, 0, sizeof gGenreDescription);
  memset(gGenreDescriptionAU, 0, sizeof gGenreDescriptionAU);
  for (int i = 1; i < PARENTAL_ENTRIES; i++) snprintf(gParental[i], PARENTAL_ENTRY_SIZE, "P%d", i);
  for (int i = 1; i < GENRE_ENTRIES; i++) snprintf(gGenreDescription[i], GENRE_ENTRY_SIZE, "Genre %02X", i);
  for (int i = 1; i < GENRE_AU_ENTRIES; i++) snprintf(gGenreDescriptionAU[i], GENRE_ENTRY_SIZE, "AU %d", i);
  snprintf(gGenreDescription[0x14], GENRE_ENTRY_SIZE, "Comedy");
  snprintf(gGenreDescription[0x41], GENRE_ENTRY_SIZE, "Special Events");
  snprintf(gGenreDescription[0x40], GENRE_ENTRY_SIZE, "Sports");
  snprintf(gGenreDescriptionAU[4], GENRE_ENTRY_SIZE, "Sport");
  snprintf(gGenreDescriptionAU[3], GENRE_ENTRY_SIZE, "Entertainment");
}

struct Lookup {
  std::string text;
  int au, code;
};

Lookup Find(int auFlag, int mode, uint8_t content, uint8_t sourceflag) {
  char text[GENRE_ENTRY_SIZE];
  uint8_t au = 9, code = 0;
  FindGenreDescription(auFlag, mode, content, sourceflag, text, &au, &code);
  return {text, au, code};
}

TEST(GenreLookup, NibbleOrderAndTables) {
  FillTables();
  Lookup l = Find(0, 0, 0x14, 0);
  EXPECT_EQ(l.text, "Special Events");
  EXPECT_EQ(l.code, 0x41);
  l = Find(0, 0, 0x41, 0);
  EXPECT_EQ(l.text, "Comedy");
  EXPECT_EQ(l.code, 0x14);
  l = Find(0, 0, 0x40, 0);
  EXPECT_EQ(l.text, "Sports");
  EXPECT_EQ(l.code, 0x40);
  EXPECT_EQ(l.au, 0);
  // the AU table: when the flag is set and sourceflag is 0, or when forced
  l = Find(1, 0, 0x40, 0);
  EXPECT_EQ(l.text, "Sport");
  EXPECT_EQ(l.code, 0x40);
  EXPECT_EQ(l.au, 1);
  l = Find(1, 0, 0x03, 0);
  EXPECT_EQ(l.text, "Entertainment");
  EXPECT_EQ(l.code, 0x30);
  l = Find(1, 0, 0x40, 1);
  EXPECT_EQ(l.text, "Sports");
  EXPECT_EQ(l.au, 0);
  l = Find(0, 2, 0x40, 1);
  EXPECT_EQ(l.text, "Sport");
  EXPECT_EQ(l.au, 1);
  l = Find(1, 1, 0x40, 0);   // any other mode: general table
  EXPECT_EQ(l.au, 0);
  l = Find(0, 0, 0, 0);
  EXPECT_EQ(l.text, "");
}

TEST(GenreLookup, UnterminatedEntriesStayWithinTheirSize) {
  memset(gGenreDescription[0x20], 'g', GENRE_ENTRY_SIZE);
  memset(gGenreDescription[0x21], 'h', GENRE_ENTRY_SIZE);
  EXPECT_EQ(Find(0, 0, 0x20, 0).text.size(), (size_t)GENRE_ENTRY_SIZE - 1);
  memset(gParental, 'p', sizeof gParental);
  TerminateGenreTables();
  EXPECT_EQ(strlen(gParental[0]), (size_t)PARENTAL_ENTRY_SIZE - 1);
  EXPECT_EQ(strlen(gGenreDescription[0x20]), (size_t)GENRE_ENTRY_SIZE - 1);
  FillTables();
}

EPGEvent *Sample() {
  static EPGEvent e;
  memset(&e, 0, sizeof e);
  e.eventid = 65535;
  e.datastatus = 2;
  e.runningstatus = 4;
  e.starttime = 58132u << 16 | 20 << 8 | 15;   // 2018/01/14 20:15
  e.endtime = 58133u << 16 | 0 << 8 | 5;
  e.timezone = -90;
  e.duration = 230;
  e.satindex = 3;
  e.networkid = 1;
  e.tsid = 1079;
  e.serviceid = 28006;
  e.svctype = -1;
  e.svcnum = -1;
  memcpy(e.lang, "d\"u", 4);
  e.parental = 11;
  e.namelength = 4;
  e.descriptionlength = 0;
  e.textlength = 6;
  snprintf(e.name, sizeof e.name, "Caf\xc3\xa9");
  snprintf(e.text, sizeof e.text, "a\"b\\c/");
  e.citid = -1;
  e.contentidentifier = 0x41;
  e.sourceflag = 1;
  e.unknown14 = 7;
  e.icechannel = 8;
  memcpy(e.unknown15, "\x0a\x0b\x0c\x0d\x0e\xff", 6);
  return &e;
}

nlohmann::json Parse(const std::string &records) { return nlohmann::json::parse("[" + records + "]"); }

// The record of an event formatted alone into an answer of the given limit.
std::string Format(const EPGEvent *e, int first, int form, uint64_t logoId = 0, int limit = JSON_ANSWER_LIMIT) {
  JsonAnswer answer(limit);
  EXPECT_EQ(EPGFormatEventRecord(e, first, form, logoId, 0, &answer), 1);
  return std::string(answer.Data(), answer.Length());
}

TEST(EventRecord, SearchFormParsesAsJsonWithEveryMember) {
  FillTables();
  std::string text = Format(Sample(), 1, EPG_RECORD_SEARCH, 0x00c0000100020003ull);
  EXPECT_EQ(text.substr(0, 17), "\t{\"eventid\":65535");
  EXPECT_EQ(text.substr(text.size() - 4), "\"}\r\n");
  nlohmann::json j = Parse(text)[0];
  std::vector<std::string> keys;
  for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(j.size(), 34u);
  EXPECT_EQ(j["starttime_local"], "2018/01/14 20:15:00");
  EXPECT_EQ(j["endtime_local"], "2018/01/15 00:05:00");
  EXPECT_EQ(j["timezone"], -90);
  EXPECT_EQ(j["logoid"], "00c0000100020003");
  EXPECT_EQ(j["lang"], "d\"u");
  EXPECT_EQ(j["parental_text"], "P11");
  EXPECT_EQ(j["name"], "Caf\xc3\xa9");
  EXPECT_EQ(j["text"], "a\"b\\c/");
  EXPECT_EQ(j["citid"], -1);
  EXPECT_EQ(j["contentidentifier_hex"], "41");
  EXPECT_EQ(j["genre_text"], "Comedy");
  EXPECT_EQ(j["genre_code"], "14");
  EXPECT_EQ(j["genre_value"], 0x14);
  EXPECT_EQ(j["unknown15"], "0x0a0b0c0d0eff");
  EXPECT_EQ(j["svctype"], -1);
  EXPECT_EQ(j["eventid"], 65535);
}

TEST(EventRecord, LaterRecordsOpenWithACommaAndTheServerFormHasNoLogoId) {
  FillTables();
  JsonAnswer answer;
  EPGFormatEventRecord(Sample(), 1, EPG_RECORD_SERVER, 0, 0, &answer);
  int first = answer.Length();
  EPGFormatEventRecord(Sample(), 0, EPG_RECORD_SERVER, 0, 0, &answer);
  std::string text(answer.Data(), answer.Length());
  EXPECT_EQ(text.substr(first, 4), "\t,{\"");
  nlohmann::json j = nlohmann::json::parse("[" + text.substr(0, first) + "," + text.substr(first + 2) + "]");
  EXPECT_EQ(j.size(), 2u);
  EXPECT_FALSE(j[0].contains("logoid"));
  EXPECT_EQ(j[0]["name"], "Caf\xc3\xa9");   // UTF-8 passes the conversion unchanged
}

TEST(EventRecord, ServerFormConvertsSingleByteTexts) {
  FillTables();
  EPGEvent *e = Sample();
  snprintf(e->name, sizeof e->name, "Caf\xe9");
  EXPECT_EQ(Parse(Format(e, 1, EPG_RECORD_SERVER))[0]["name"], "Caf\xc3\xa9");
}

TEST(EventRecord, WorstCaseFitsAndTooSmallAnswersGetNothing) {
  FillTables();
  EPGEvent *e = Sample();
  memset(e->name, '"', 255);
  memset(e->description, '\\', 255);
  memset(e->text, '/', 8191);
  e->parental = 200;   // no parental text
  std::string text = Format(e, 1, EPG_RECORD_SEARCH, 1, EPG_SEARCH_RECORD_MAX + JSON_ANSWER_TAIL);
  int length = (int)text.size();
  ASSERT_GT(length, 2 * (255 + 255 + 8191));
  ASSERT_LE(length, EPG_SEARCH_RECORD_MAX);
  nlohmann::json j = Parse(text)[0];
  EXPECT_EQ(j["text"].get<std::string>(), std::string(8191, '/'));
  EXPECT_EQ(j["parental_text"], "");

  // An answer one byte short of the record and its NUL (records leave the tail free):
  // nothing is appended and the answer is full.
  JsonAnswer small(4 + length + JSON_ANSWER_TAIL);
  small.Cat("kept");
  EXPECT_EQ(EPGFormatEventRecord(e, 1, EPG_RECORD_SEARCH, 1, 0, &small), 0);
  EXPECT_STREQ(small.Data(), "kept");
  EXPECT_TRUE(small.Full());
  JsonAnswer enough(4 + length + 1 + JSON_ANSWER_TAIL);
  enough.Cat("kept");
  EXPECT_EQ(EPGFormatEventRecord(e, 1, EPG_RECORD_SEARCH, 1, 0, &enough), 1);
  EXPECT_EQ(enough.Length(), 4 + length);
}

}  // namespace
