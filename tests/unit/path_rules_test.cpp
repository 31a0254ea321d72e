// Path rules: normalisation against Python's posixpath, segment-wise prefixes ("/mnt/hdd"
// is not "/mnt/hd"), traversal attempts with ".." and with symbolic links in an emulated
// root, and the plain file-name rule.
#include "platform/path_rules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"

namespace {

std::string Normalised(const std::string &path, size_t size = 1024, int *result = nullptr) {
  std::string out(size, 'x');
  int r = NormalisePath(path.c_str(), &out[0], size);
  if (result) *result = r;
  return size ? out.c_str() : "";
}

TEST(PathRules, NormalisationAgreesWithPosixpathWhereThePathStaysBelowTheRoot) {
  // Random paths of names, ".", ".." and empty segments; Python tells the normal form and
  // whether ".." ever climbs above "/".
  TestRandom random(11);
  static const char *const kSegments[] = {"mnt", "hd", "DataFiles", ".", "..", "", "a b", "...", "x.rec"};
  std::string input;
  std::vector<std::string> paths;
  for (int i = 0; i < 400; i++) {
    std::string path;
    int n = 1 + random.Below(8);
    for (int k = 0; k < n; k++) path += "/" + std::string(kSegments[random.Below(9)]);
    if (random.Below(4) == 0) path += "/";
    while (path.rfind("//", 0) == 0) path.erase(0, 1);   // POSIX keeps a leading "//"
    paths.push_back(path);
    input += path + "\n";
  }
  std::string output = RunPython(
      "import sys, posixpath\n"
      "for line in sys.stdin.read().split('\\n')[:-1]:\n"
      "    depth, climbs = 0, False\n"
      "    for s in line.split('/'):\n"
      "        if s in ('', '.'): continue\n"
      "        depth += -1 if s == '..' else 1\n"
      "        climbs = climbs or depth < 0\n"
      "    print('-' if climbs else posixpath.normpath(line))\n",
      input);
  std::vector<std::string> expected = SplitLines(output);
  ASSERT_EQ(expected.size(), paths.size()) << output.substr(0, 500);
  for (size_t i = 0; i < paths.size(); i++) {
    int result;
    std::string got = Normalised(paths[i], 1024, &result);
    if (expected[i] == "-") {
      EXPECT_EQ(result, 0) << paths[i];
      EXPECT_EQ(got, "") << paths[i];
    } else {
      EXPECT_EQ(result, 1) << paths[i];
      EXPECT_EQ(got, expected[i]) << paths[i];
    }
  }
}

TEST(PathRules, NormalisationRefusesRelativePathsAndCutsNothing) {
  int result;
  EXPECT_EQ(Normalised("mnt/hd", 1024, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Normalised("", 1024, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(NormalisePath(nullptr, nullptr, 0), 0);
  // The result must fit whole: "/mnt/hd" needs 8 bytes.
  EXPECT_EQ(Normalised("/mnt//hd/.", 8, &result), "/mnt/hd");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Normalised("/mnt//hd/.", 7, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Normalised("///", 2, &result), "/");
}

TEST(PathRules, PrefixesAreTestedSegmentBySegment) {
  EXPECT_TRUE(PathIsWithin("/mnt/hd", "/mnt/hd"));
  EXPECT_TRUE(PathIsWithin("/mnt/hd/DataFiles", "/mnt/hd"));
  EXPECT_TRUE(PathIsWithin("/mnt/hd/DataFiles", "/mnt/hd/"));
  EXPECT_FALSE(PathIsWithin("/mnt/hdd", "/mnt/hd"));
  EXPECT_FALSE(PathIsWithin("/mnt/hdd/x", "/mnt/hd"));
  EXPECT_FALSE(PathIsWithin("/mnt/hd/DataFilesOld", "/mnt/hd/DataFiles"));
  EXPECT_FALSE(PathIsWithin("/mnt", "/mnt/hd"));
  EXPECT_TRUE(PathIsWithin("/etc", "/"));
  EXPECT_FALSE(PathIsWithin("etc", "/"));
  EXPECT_FALSE(PathIsWithin(nullptr, "/"));
}

TEST(PathRules, PlainFileNames) {
  for (const char *name : {"x.rec", "a b.mpg", "...", ".hidden", "..x", "x..", "\xC3\xA9t\xC3\xA9"}) {
    EXPECT_TRUE(IsPlainFileName(name)) << name;
  }
  for (const char *name : {"", ".", "..", "/", "a/b", "../x", "x/", "/etc/passwd"}) {
    EXPECT_FALSE(IsPlainFileName(name)) << name;
  }
  EXPECT_FALSE(IsPlainFileName(nullptr));
}

class PathRulesOnDisk : public EmulatedPvr {
 protected:
  void Link(const std::string &pvrPath, const std::string &target) {
    WriteFile("/mnt/placeholder", "");
    std::string host = Host(pvrPath);
    ASSERT_EQ(symlink(target.c_str(), host.c_str()), 0) << host;
  }
  std::string Below(const std::string &path, int *result) {
    char out[1024];
    *result = PathBelowMnt(path.c_str(), out, sizeof out);
    return out;
  }
  std::string Resolved(const std::string &path, int *result = nullptr) {
    char out[1024];
    int r = ResolvePath(path.c_str(), out, sizeof out);
    if (result) *result = r;
    return out;
  }
};

TEST_F(PathRulesOnDisk, TraversalAttemptsWithDotDotAreRefused) {
  int result;
  for (const char *path : {"/mnt/hd/../../etc/passwd", "/mnt/../etc", "/mnt/hd/DataFiles/../../..", "/mnt", "/mnt/",
                           "/mnt/.", "/mnt/hd/..", "/mntx/hd", "/etc/mnt/hd", "mnt/hd", "/../mnt/hd", ""}) {
    EXPECT_EQ(Below(path, &result), "") << path;
    EXPECT_EQ(result, 0) << path;
  }
  EXPECT_EQ(Below("/mnt/hd/DataFiles/../ProgramFiles//Settings/", &result), "/mnt/hd/ProgramFiles/Settings");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Below("/mnt/hdd", &result), "/mnt/hdd");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Below("/mnt/hd/not there yet", &result), "/mnt/hd/not there yet");
  EXPECT_EQ(result, 1);
}

TEST_F(PathRulesOnDisk, LinksAreFollowedInsideTheEmulatedRoot) {
  Link("/mnt/hd/DataFiles/USB", "/mnt/sdb1");          // an attached drive
  Link("/mnt/hd/DataFiles/Music", "../MP3Files");      // relative, stays on the disk
  Link("/mnt/hd/escape", "/");                         // to the root
  Link("/mnt/hd/up", "../..");                         // relative, climbs out
  Link("/mnt/hd/etc", "/etc");
  Link("/mnt/hd/loop1", "loop2");
  Link("/mnt/hd/loop2", "loop1");
  Link("/mnt/hd/viaup", "up/mnt/hd");                  // out and back in again
  int result;
  EXPECT_EQ(Resolved("/mnt/hd/DataFiles/USB/Films"), "/mnt/sdb1/Films");
  EXPECT_EQ(Resolved("/mnt/hd/DataFiles/Music/a.mp3"), "/mnt/hd/MP3Files/a.mp3");
  EXPECT_EQ(Resolved("/mnt/hd/escape/etc"), "/etc");
  EXPECT_EQ(Resolved("/mnt/hd/up"), "/");
  EXPECT_EQ(Resolved("/mnt/hd/viaup/DataFiles"), "/mnt/hd/DataFiles");
  // ".." after a link climbs from the link's target, as the kernel does.
  EXPECT_EQ(Resolved("/mnt/hd/etc/../mnt"), "/mnt");
  EXPECT_EQ(Resolved("/mnt/hd/loop1/x", &result), "");
  EXPECT_EQ(result, 0);

  EXPECT_EQ(Below("/mnt/hd/DataFiles/USB/Films", &result), "/mnt/hd/DataFiles/USB/Films");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Below("/mnt/hd/DataFiles/Music", &result), "/mnt/hd/DataFiles/Music");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Below("/mnt/hd/viaup/DataFiles", &result), "/mnt/hd/viaup/DataFiles");
  EXPECT_EQ(result, 1);
  for (const char *path : {"/mnt/hd/escape", "/mnt/hd/escape/etc", "/mnt/hd/up/etc", "/mnt/hd/etc",
                           "/mnt/hd/loop1", "/mnt/hd/DataFiles/../escape/x"}) {
    EXPECT_EQ(Below(path, &result), "") << path;
    EXPECT_EQ(result, 0) << path;
  }
  // The path handed on is the normalised one, not the resolution.
  EXPECT_EQ(Below("/mnt/hd/etc/../DataFiles", &result), "/mnt/hd/DataFiles");
  EXPECT_EQ(result, 1);
}

}  // namespace
