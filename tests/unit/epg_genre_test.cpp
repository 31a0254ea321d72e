// The web server's genre and parental tables: defaults, language overrides and the dumps
// the search program reads.
#include "webserver/epg/epg_genre.h"

#include <string.h>

#include "emulator/emulator.h"
#include "platform/directory_stack.h"
#include "tests/unit/emulated_pvr.h"
#include "webserver/core/logging.h"

namespace {

class GenreTables : public EmulatedPvr {
 protected:
  void TearDown() override {
    emu::gSystem.systemVars.clear();
    gLoggingLevel = 0;
    EmulatedPvr::TearDown();
  }
  std::string Genre(uint8_t content, int auFlag = 0, uint8_t *code = nullptr) {
    char text[GENRE_ENTRY_SIZE];
    uint8_t marker = 9, c = 0;
    FindGenreDescription(auFlag, GENRE_MODE_AUTO, content, 0, text, &marker, &c);
    if (code) *code = c;
    return text;
  }
};

TEST_F(GenreTables, DefaultsAndLookupByNibbles) {
  loadParental();
  loadGenre();
  EXPECT_STREQ(gParental[0], "");
  EXPECT_STREQ(gParental[7], "C");
  EXPECT_STREQ(gParental[17], "AV");
  EXPECT_STREQ(gParental[21], "21");
  EXPECT_STREQ(gGenreDescription[0], "");
  EXPECT_STREQ(gGenreDescription[0x0A], "Genre 0A");
  EXPECT_STREQ(gGenreDescription[0xFF], "Genre FF");
  EXPECT_STREQ(gGenreDescription[0x17], "Serious/Classical/Religious/Historical Movie/Drama");
  EXPECT_STREQ(gGenreDescriptionAU[15], "AU Genre F0");
  uint8_t code = 0;
  EXPECT_EQ(Genre(0x14, 0, &code), "Special Events");
  EXPECT_EQ(code, 0x41);
  EXPECT_EQ(Genre(0x41), "Comedy");
  EXPECT_EQ(Genre(0x40), "Sports");
  EXPECT_EQ(Genre(0x40, 1, &code), "Sport");
  EXPECT_EQ(code, 0x40);
  EXPECT_EQ(Genre(0x03, 1, &code), "Entertainment");
  EXPECT_EQ(code, 0x30);
}

TEST_F(GenreTables, LanguageFilesOverrideByMenuLanguage) {
  emu::gSystem.systemVars[SYSVAR_OsdLan] = 2;   // German
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/epg-parental.lng", "de_007=ab 6\r\nen_009=X\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/epg-genre-descriptions.lng",
            "de_10=Spielfilm\r\nde_11=\r\nde_au_40=Sportsendung\r\nde_au_20=\r\nen_12=Abenteuer\r\n");
  ASSERT_TRUE(HDD_ChangeDir("/DataFiles"));
  loadParental();
  loadGenre();
  EXPECT_STREQ(gParental[7], "ab 6");
  EXPECT_STREQ(gParental[9], "G");                        // another language's key
  EXPECT_STREQ(gGenreDescription[0x10], "Spielfilm");
  EXPECT_STREQ(gGenreDescription[0x11], "");              // an empty general value empties
  EXPECT_STREQ(gGenreDescription[0x12], "Adventure/Western/War");
  EXPECT_STREQ(gGenreDescriptionAU[4], "Sportsendung");
  EXPECT_STREQ(gGenreDescriptionAU[2], "News");           // an empty AU value keeps the default
  char folder[64];
  HDD_TAP_GetCurrentDir(folder, sizeof folder);
  EXPECT_STREQ(folder, "/DataFiles");

  emu::gSystem.systemVars[SYSVAR_OsdLan] = 25;           // no code: defaults only
  loadGenre();
  EXPECT_STREQ(gGenreDescription[0x10], "Movie/Drama");
}

TEST_F(GenreTables, LongOverridesAreCutToTheirEntries) {
  emu::gSystem.systemVars[SYSVAR_OsdLan] = 0;
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/epg-parental.lng", "en_001=" + std::string(40, 'p') + "\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/epg-genre-descriptions.lng",
            "en_20=" + std::string(400, 'g') + "\r\n");
  loadParental();
  loadGenre();
  EXPECT_EQ(std::string(gParental[1]), std::string(15, 'p'));
  EXPECT_EQ(std::string(gGenreDescription[0x20]), std::string(127, 'g'));
  EXPECT_STREQ(gParental[2], "2");
}

TEST_F(GenreTables, DumpsAreTheTablesByteForByte) {
  gLoggingLevel = 2;
  loadParental();
  loadGenre();
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/genre.epg", std::string(50000, 'x'));
  dumpGenreParental2File();
  const std::string folder = "/mnt/hd/ProgramFiles/Settings/Orvane/";
  std::string parental = ReadFile(folder + "parental.epg");
  std::string genre = ReadFile(folder + "genre.epg");
  std::string au = ReadFile(folder + "genre_au.epg");
  ASSERT_EQ(parental.size(), 352u);
  ASSERT_EQ(genre.size(), 32768u);
  ASSERT_EQ(au.size(), 2048u);
  EXPECT_EQ(memcmp(parental.data(), gParental, 352), 0);
  EXPECT_EQ(genre.substr(0x41 * 128, 15), std::string("Special Events\0", 15));
  EXPECT_EQ(au.substr(4 * 128, 6), std::string("Sport\0", 6));
  std::string log = ReadFile(folder + "Orvane.log");
  for (const char *line : {"Dumping parental and genre descriptions to file.", "Dumping parental descriptions to file.",
                           "Dumping ETSI genre descriptions to file.", "Dumping AU genre descriptions to file."}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

}  // namespace
