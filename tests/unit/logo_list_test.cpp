// "Logos.lil": made for the channels that are not in it yet, extended by ".add" files.
#include "config/logo_list.h"

#include "tests/unit/emulated_pvr.h"

namespace {

const std::string kLogos = "/mnt/hd/ProgramFiles/Settings/Logos";

class LogoListTest : public EmulatedPvr {};

TEST_F(LogoListTest, NewChannelsAreAppendedInADatedBlock) {
  const LogoChannel channels[] = {
      {0, 0, 0x011a000207d11005ull, "Das Erste HD"},
      {0, 1, 0xffffffff80021015ull, "\x05Sehr langer Sendername mit Umlaut"},
      {1, 0, 0x00000000000000ffull, "Radio Eins+ (B)"},
  };
  WriteFile(kLogos + "/Logos.lil", "# mine\r\nffffffff80021015=kept\r\n");
  EXPECT_EQ(LogoListUpdate(kLogos.c_str(), channels, 3, 2024, 3, 9), 2);
  EXPECT_EQ(ReadFile(kLogos + "/Logos.lil"),
            "# mine\r\nffffffff80021015=kept\r\n\n\n# Added 2024-03-09\n011a000207d11005=daserstehd\n"
            "00000000000000ff=r_radioeins+b\n");
  EXPECT_EQ(LogoListUpdate(kLogos.c_str(), channels, 3, 2024, 3, 10), 0);
}

TEST_F(LogoListTest, AddFilesAreTakenAndDeleted) {
  WriteFile(kLogos + "/Logos.lil", "0000000000000001=old\n");
  WriteFile(kLogos + "/Logo.cache", "x");
  WriteFile(kLogos + "/lil.add",
            "0x0000000000000001=New\r\n# comment\r\n0X00000000000000AB=Second Name\n0x12=short\nfoo=bar\n");
  WriteFile(kLogos + "/other.ADD", "0x00000000000000cd=third\n");
  EXPECT_EQ(LogoListMergeAddFiles(kLogos.c_str()), 2);
  std::string list = ReadFile(kLogos + "/Logos.lil");
  EXPECT_NE(list.find("0000000000000001=new\n"), std::string::npos);
  EXPECT_NE(list.find("00000000000000ab=second name"), std::string::npos);
  EXPECT_NE(list.find("00000000000000cd=third"), std::string::npos);
  EXPECT_EQ(list.find("short"), std::string::npos);
  EXPECT_EQ(list.find("foo"), std::string::npos);
  EXPECT_FALSE(Exists(kLogos + "/lil.add"));
  EXPECT_FALSE(Exists(kLogos + "/other.ADD"));
  EXPECT_FALSE(Exists(kLogos + "/Logo.cache"));
}

}  // namespace
