// The user's logo packs: collected from the USB drives, listed and unpacked with busybox
// tar into the logo folder, refused whole when an entry could leave it. Packs are made by
// Python's tarfile module.
#include "platform/logo_pack.h"

#include <unistd.h>

#include "tests/unit/python_oracle.h"

namespace {

const std::string kLogos = "/mnt/hd/ProgramFiles/Settings/Logos";

// Writes a tar file at host path: entries "name=content" a line, "name->target" for a
// symbolic link, "name/" for a folder.
const char kMakePack[] = R"PY(
import io, sys, tarfile
lines = sys.stdin.read().split("\n")
with tarfile.open(lines[0], "w", format=tarfile.GNU_FORMAT) as tar:
    for line in lines[1:]:
        if not line:
            continue
        if "->" in line:
            name, target = line.split("->")
            info = tarfile.TarInfo(name); info.type = tarfile.SYMTYPE; info.linkname = target
            tar.addfile(info)
        elif line.endswith("/"):
            info = tarfile.TarInfo(line); info.type = tarfile.DIRTYPE
            tar.addfile(info)
        else:
            name, content = line.split("=")
            info = tarfile.TarInfo(name); info.size = len(content)
            tar.addfile(info, io.BytesIO(content.encode()))
)PY";

class LogoPackTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile(kLogos + "/Logo.cache", "old");
    ASSERT_EQ(symlink("/bin/busybox", Host("/mnt/hd/ProgramFiles/busybox").c_str()), 0);
  }
  void Pack(const std::string &pvrPath, const std::string &entries) {
    WriteFile(pvrPath, "");
    RunPython(kMakePack, Host(pvrPath) + "\n" + entries);
  }
};

TEST_F(LogoPackTest, SafeNames) {
  EXPECT_TRUE(LogoPackNameIsSafe("trans-black/169/zdf.qtl"));
  EXPECT_TRUE(LogoPackNameIsSafe("a..b/..c/d.."));
  EXPECT_FALSE(LogoPackNameIsSafe(""));
  EXPECT_FALSE(LogoPackNameIsSafe("/etc/passwd"));
  EXPECT_FALSE(LogoPackNameIsSafe("../x"));
  EXPECT_FALSE(LogoPackNameIsSafe("a/../../x"));
  EXPECT_FALSE(LogoPackNameIsSafe("a/.."));
  EXPECT_FALSE(LogoPackNameIsSafe("a\\..\\x"));
  EXPECT_FALSE(LogoPackNameIsSafe("a\nb"));
}

TEST_F(LogoPackTest, CollectedFromTheUsbDrivesAndUnpacked) {
  Pack("/mnt/sdb1/LogoPack.tar", "qtblue/\nqtblue/43/\nqtblue/43/one.qtl=11111111\ntrans-black/169/two name.qtl=22\n");
  WriteFile("/mnt/sdc/lil.add", "0x0000000000000001=one\n");
  WriteFile("/mnt/sdd2/Logos.lil", "not looked for");
  EXPECT_EQ(LogoPackCollect(kLogos.c_str()), 2);
  EXPECT_FALSE(Exists("/mnt/sdb1/LogoPack.tar"));
  EXPECT_TRUE(Exists(kLogos + "/lil.add"));
  EXPECT_TRUE(Exists("/mnt/sdd2/Logos.lil"));

  LogoPackReport report;
  ASSERT_EQ(LogoPackExtract(kLogos.c_str(), &report), LOGO_PACK_EXTRACTED) << report.reason;
  EXPECT_EQ(report.files, 2);
  EXPECT_EQ(ReadFile(kLogos + "/qtblue/43/one.qtl"), "11111111");
  EXPECT_EQ(ReadFile(kLogos + "/trans-black/169/two name.qtl"), "22");
  EXPECT_FALSE(Exists(kLogos + "/LogoPack.tar"));
  EXPECT_FALSE(Exists(kLogos + "/Logo.cache"));   // outdated by the new logos
  EXPECT_FALSE(Exists(kLogos + "/.LogoPack.tmp"));
  EXPECT_EQ(LogoPackExtract(kLogos.c_str(), &report), LOGO_PACK_NONE);
}

TEST_F(LogoPackTest, HostilePacksAreRefusedWholeAndKept) {
  const char *const packs[] = {
      "good.qtl=1\n../escape.qtl=2\n",
      "good.qtl=1\n/tmp/escape.qtl=2\n",
      "good.qtl=1\nx/../../escape.qtl=2\n",
      "good.qtl=1\nout->/tmp\nout/escape.qtl=2\n",
      "good.qtl=1\nx/..=2\n",
  };
  for (const char *entries : packs) {
    Pack(kLogos + "/LogoPack.tar", entries);
    LogoPackReport report;
    EXPECT_EQ(LogoPackExtract(kLogos.c_str(), &report), LOGO_PACK_REFUSED) << entries;
    EXPECT_NE(report.reason[0], '\0');
    EXPECT_TRUE(Exists(kLogos + "/LogoPack.tar"));
    EXPECT_FALSE(Exists(kLogos + "/good.qtl"));
    EXPECT_TRUE(Exists(kLogos + "/Logo.cache"));
  }
  WriteFile(kLogos + "/LogoPack.tar", "no tar file at all");
  LogoPackReport report;
  EXPECT_NE(LogoPackExtract(kLogos.c_str(), &report), LOGO_PACK_EXTRACTED);
  EXPECT_TRUE(Exists(kLogos + "/LogoPack.tar"));
}

}  // namespace
