// Settings files: key lookup and value rules, locating, loading, changing and saving.
#include "platform/ini_file.h"

#include <unistd.h>

#include <string>

#include "platform/directory_stack.h"
#include "tests/unit/emulated_pvr.h"

namespace {

TEST(IniKeyLookup, FindsKeysWithoutRegardToCaseAndSkipsComments) {
  const char *text = "#port=1\r\n;PORT=2\r\nPORT=9000\r\n";
  EXPECT_EQ(INIReadInt(text, "port", 8000, 1, 65535), 9000);
  EXPECT_EQ(INIReadInt("#port=9000\r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("x=1\r\n", "port", 8000, 1, 65535), 8000);
}

TEST(IniKeyLookup, KeyMatchesInsideALongerKeyLikeSearchport) {
  // No anchoring to the line start: "port=" also occurs inside "searchport=".
  EXPECT_EQ(INIReadInt("searchport=8800\r\nport=9000\r\n", "port", 8000, 1, 65535), 8800);
  EXPECT_EQ(INIReadInt("port=9000\r\nsearchport=8800\r\n", "port", 8000, 1, 65535), 9000);
}

TEST(IniIntegerValues, ClampMalformedAndLimits) {
  EXPECT_EQ(INIReadInt("port=65536\r\n", "port", 8000, 1, 65535), 65535);
  EXPECT_EQ(INIReadInt("port=abc\r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("port=-5\r\n", "port", 8000, 1, 65535), 1);
  EXPECT_EQ(INIReadInt("port=\r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("port=-\r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("port=12 \r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("port=--1\r\n", "port", 8000, 1, 65535), 8000);
  EXPECT_EQ(INIReadInt("level=99999999999999\r\n", "level", 0, 0, 16), 16);   // cut to 11 digits
  EXPECT_EQ(INIReadInt("level=-99999999999\r\n", "level", 0, -5, 16), -5);
  EXPECT_EQ(INIReadInt("level=7", "level", 0, 0, 16), 7);   // no line end at all
}

TEST(IniStringValues, CutToTheBufferAndDefaultWhenEmpty) {
  char out[8];
  EXPECT_EQ(INIReadString("name=abcdefghijkl\r\n", "name", out, "dflt", sizeof out), 1);
  EXPECT_STREQ(out, "abcdefg");
  EXPECT_EQ(INIReadString("name=\r\n", "name", out, "dflt", sizeof out), 0);
  EXPECT_STREQ(out, "dflt");
  EXPECT_EQ(INIReadString("other=x\r\n", "name", out, "dflt", sizeof out), 0);
  EXPECT_STREQ(out, "dflt");
}

class IniFile : public EmulatedPvr {
 protected:
  void TearDown() override {
    INICloseFile();
    EmulatedPvr::TearDown();
  }
  std::string CurrentDir() {
    char folder[256];
    HDD_TAP_GetCurrentDir(folder, sizeof folder);
    return folder;
  }
};

TEST_F(IniFile, LoadsIntoWholeBlocksAndAddsALineEnd) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/big.ini", std::string(998, 'a') + "=1");
  EXPECT_EQ(INIOpenFile("big.ini", nullptr), INILOCATION_AtCurrentDir);
  EXPECT_EQ(BufferSize, 1536u);
  EXPECT_EQ(std::string(INIBuffer).substr(998), "=1\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/empty.ini", "");
  EXPECT_EQ(INIOpenFile("empty.ini", nullptr), INILOCATION_AtCurrentDir);
  EXPECT_STREQ(INIBuffer, "\r\n");
}

TEST_F(IniFile, RefusesAFileTooLargeForTheHeapsSizes) {
  // Just under 4 GiB (sparse): whole blocks plus room for a line end pass 32 bits. The
  // buffer's size once wrapped round to a few hundred bytes (or was cut short in the call
  // to the 32-bit allocator), and the whole file was read into it.
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/huge.ini", "");
  ASSERT_EQ(truncate64(Host("/mnt/hd/ProgramFiles/Settings/Orvane/huge.ini").c_str(), 0xFFFFFF00), 0);
  EXPECT_EQ(INIOpenFile("huge.ini", nullptr), 0);
  EXPECT_EQ(INIBuffer, nullptr);
}

TEST_F(IniFile, LocatesInCurrentFolderFirstThenLaterPlacesWin) {
  WriteFile("/mnt/hd/ProgramFiles/a.ini", "where=programs\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/a.ini", "where=settings\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/App/a.ini", "where=app\r\n");
  ASSERT_TRUE(HDD_ChangeDir("/DataFiles"));
  char where[32];
  EXPECT_EQ(INIOpenFile("a.ini", "App"), INILOCATION_AtAppDir);
  INIGetString("where", where, "", sizeof where);
  EXPECT_STREQ(where, "app");
  EXPECT_EQ(CurrentDir(), "/DataFiles");   // opening restores the folder
  EXPECT_EQ(INIOpenFile("a.ini", nullptr), INILOCATION_AtSettingsDir);
  EXPECT_EQ(INIOpenFile("a.ini", "/App"), INILOCATION_AtSettingsDir);   // absolute app folders are ignored
  EXPECT_EQ(INILocateFile("a.ini", nullptr), INILOCATION_AtSettingsDir);
  EXPECT_EQ(CurrentDir(), "/ProgramFiles/Settings");   // locating leaves the TAP where it found the file
  ASSERT_TRUE(HDD_ChangeDir("/DataFiles"));
  EXPECT_EQ(INILocateFile("missing.ini", "App"), INILOCATION_NotFound);
  EXPECT_EQ(CurrentDir(), "/DataFiles");
  EXPECT_EQ(INIOpenFile("missing.ini", nullptr), INILOCATION_NewFile);
  EXPECT_EQ(BufferSize, 512u);
  EXPECT_STREQ(INIBuffer, "");
}

TEST_F(IniFile, SetReplacesInPlaceOrAppends) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/s.ini", "a=1\r\nport=8000\r\nb=2\r\n");
  ASSERT_EQ(INIOpenFile("s.ini", nullptr), INILOCATION_AtCurrentDir);
  EXPECT_EQ(INISetInt("port", 9000), 1);
  EXPECT_STREQ(INIBuffer, "a=1\r\nport=9000\r\nb=2\r\n");
  EXPECT_EQ(INISetString("PORT", "70000"), 1);   // found without regard to case, written as given
  EXPECT_STREQ(INIBuffer, "a=1\r\nPORT=70000\r\nb=2\r\n");
  EXPECT_EQ(INISetString("new", "x"), 1);
  EXPECT_STREQ(INIBuffer, "a=1\r\nPORT=70000\r\nb=2\r\nnew=x\r\n");
  EXPECT_EQ(INIKillKey("b"), 1);
  EXPECT_STREQ(INIBuffer, "a=1\r\nPORT=70000\r\nnew=x\r\n");
  EXPECT_EQ(INIKillKey("absent"), 0);
  EXPECT_EQ(INIKillKey("new"), 1);
  EXPECT_STREQ(INIBuffer, "a=1\r\nPORT=70000\r\n");
}

TEST_F(IniFile, GrowsTheBufferForLargeValuesWithoutLosingText) {
  ASSERT_EQ(INIOpenFile("fresh.ini", nullptr), INILOCATION_NewFile);
  std::string big(3000, 'v');
  EXPECT_EQ(INISetString("first", "1"), 1);
  EXPECT_EQ(INISetString("big", big.c_str()), 1);
  EXPECT_EQ(BufferSize % 1024, 0u);
  EXPECT_GT(BufferSize, strlen(INIBuffer));
  EXPECT_EQ(std::string(INIBuffer), "first=1\r\nbig=" + big + "\r\n");
  std::string key(100, 'k');   // keys are cut to 78 characters
  EXPECT_EQ(INISetString(key.c_str(), "z"), 1);
  EXPECT_NE(std::string(INIBuffer).find(std::string(78, 'k') + "=z\r\n"), std::string::npos);
  EXPECT_EQ(std::string(INIBuffer).find(std::string(79, 'k')), std::string::npos);
}

TEST_F(IniFile, SavesWholeTextToTheChosenFolder) {
  ASSERT_EQ(INIOpenFile("new.ini", nullptr), INILOCATION_NewFile);
  EXPECT_EQ(INISaveFile("new.ini", INILOCATION_AtCurrentDir, nullptr), 1);
  EXPECT_TRUE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/new.ini"));
  EXPECT_EQ(ReadFile("/mnt/hd/ProgramFiles/Settings/Orvane/new.ini"), "");   // an empty file
  INISetString("k", "v");
  EXPECT_EQ(INISaveFile("app.ini", INILOCATION_AtAppDir, "Fresh"), 1);   // folders are created
  EXPECT_EQ(ReadFile("/mnt/hd/ProgramFiles/Settings/Fresh/app.ini"), "k=v\r\n");
  EXPECT_EQ(INISaveFile("p.ini", INILOCATION_AtProgramsDir, nullptr), 1);
  EXPECT_EQ(ReadFile("/mnt/hd/ProgramFiles/p.ini"), "k=v\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/s.ini", "old longer text\r\n");
  EXPECT_EQ(INISaveFile("s.ini", INILOCATION_AtSettingsDir, nullptr), 1);
  EXPECT_EQ(ReadFile("/mnt/hd/ProgramFiles/Settings/s.ini"), "k=v\r\n");   // replaced, not overwritten in place
  EXPECT_EQ(CurrentDir(), "/ProgramFiles/Settings/Orvane");
}

}  // namespace
