// The genre list: either table, the language of the menu or of the request, the source
// the PVR's EPG marks, and echoes that stay JSON.
#include "webserver/epg/api_epg_genre.h"

#include "tests/unit/epg_pool_fixture.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"

namespace {

using nlohmann::json;

class APIEPGGenre : public EPGPoolTest {
 protected:
  void SetUp() override {
    EPGPoolTest::SetUp();
    emu::gSystem.systemVars[SYSVAR_OsdLan] = 0;   // English menu
    loadParental();
    loadGenre();
    gAUFirmwareFlag = 0;
    gEPGSource = 0;
  }
  void TearDown() override {
    emu::gSystem.systemVars.clear();
    gAUFirmwareFlag = 0;
    EPGPoolTest::TearDown();
  }
  json Ask(const std::string &params) { return EPGPoolTest::Ask(APIEPGgenre, params); }
  static std::string Text(const json &answer, int index) {
    return answer["genres"][index]["genre_text"].get<std::string>();
  }
};

TEST_F(APIEPGGenre, GeneralAndAustralianTables) {
  json a = Ask("");
  EXPECT_EQ(a["count"], 256);
  EXPECT_EQ(a["content"], "epg_genre");
  EXPECT_EQ(a["returned_source"], "etsi");
  EXPECT_EQ(a["requested_source"], "");
  EXPECT_EQ(a["requested_language"], "");
  ASSERT_EQ(a["genres"].size(), 256u);
  EXPECT_EQ(a["genres"][0x14]["genre_code"], "14");
  EXPECT_EQ(a["genres"][0x14]["genre_value"], 0x14);
  EXPECT_EQ(Text(a, 0x14), "Comedy");
  EXPECT_EQ(Text(a, 0xFF), "Genre FF");
  EXPECT_TRUE(a.contains("timestamp"));
  a = Ask("genre_source=au");
  EXPECT_EQ(a["count"], 16);
  EXPECT_EQ(a["returned_source"], "au");
  EXPECT_EQ(a["requested_source"], "au");
  EXPECT_EQ(a["genres"][4]["genre_code"], "40");
  EXPECT_EQ(a["genres"][4]["genre_value"], 64);
  EXPECT_EQ(Text(a, 4), "Sport");
}

TEST_F(APIEPGGenre, AustralianFirmwareFollowsThePvrEPG) {
  gAUFirmwareFlag = 1;
  EXPECT_EQ(Ask("")["returned_source"], "au");   // no EPG at all
  Build("events = [PoolEvent(D(2024, 1, 1, 0, 0), 5, b'A', sourceflag=1), PoolEvent(D(2024, 1, 1, 0, 5), 5, b'B')]\n");
  json a = Ask("");
  EXPECT_EQ(a["returned_source"], "etsi");
  EXPECT_EQ(a["count"], 256);
  Build("events = [PoolEvent(D(2024, 1, 1, 0, 0), 5, b'A'), PoolEvent(D(2024, 1, 1, 0, 5), 5, b'B', sourceflag=1)]\n");
  EXPECT_EQ(Ask("")["returned_source"], "au");   // the first event decides
  gEPGSource = 1;
  Build("events = [PoolEvent(D(2024, 1, 1, 0, 0), 5, b'A', sourceflag=1)]\n");
  EXPECT_EQ(Ask("")["returned_source"], "au");   // SmartEPG configured: no probe
  EXPECT_EQ(Ask("genre_source=etsi")["returned_source"], "etsi");
}

TEST_F(APIEPGGenre, LanguagesAreTwoLettersAndEchoesStayJson) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/epg-genre-descriptions.lng",
            "de_10=Spielfilm\r\nde_au_40=Sportsendung\r\nen_10=Film \xe9t\xe9\r\n");
  json a = Ask("language=de");
  EXPECT_EQ(a["requested_language"], "de");
  EXPECT_EQ(Text(a, 0x10), "Spielfilm");
  EXPECT_EQ(Text(a, 0x11), "Detective/Thriller");
  EXPECT_EQ(Text(Ask("language=de&genre_source=au"), 4), "Sportsendung");
  // The menu's language, converted to UTF-8.
  EXPECT_EQ(Text(Ask(""), 0x10), "Film \xc3\xa9t\xc3\xa9");
  // Not a language: the menu's stays; what was asked is echoed, escaped and bounded.
  a = Ask("language=de\"\\" + std::string(400, 'x') + "&genre_source=\"au\"");
  EXPECT_EQ(Text(a, 0x10), "Film \xc3\xa9t\xc3\xa9");
  EXPECT_EQ(a["requested_language"].get<std::string>().substr(0, 4), "de\"\\");
  EXPECT_EQ(a["requested_language"].get<std::string>().size(), 128u);
  EXPECT_EQ(a["requested_source"], "\"au\"");
  EXPECT_EQ(a["returned_source"], "etsi");
}

}  // namespace
