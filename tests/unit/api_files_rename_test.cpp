// Rename and delete of recordings with their ".inf" and ".nav" companions on an emulated
// disk: what each file reports, companions left alone when the main file fails, renames
// refused onto existing targets, and requests naming places outside "/mnt/" or names that
// are not plain, which must leave the whole emulated root byte-identical (hashed by
// Python's hashlib over os.walk, links not followed).
#include "webserver/api/api_files_rename.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/handler_answer.h"
#include "tests/unit/python_oracle.h"
#include "webserver/core/settings.h"

namespace {

using json = nlohmann::json;

// One line per file, folder and link below the root: path, kind, SHA-256 of the content
// or the link's target.
const char kSnapshot[] = R"PY(
import hashlib, os, sys
root = sys.stdin.read().strip()
for top, dirs, files in os.walk(root):
    dirs.sort()
    print("d", os.path.relpath(top, root))
    for name in sorted(files):
        path = os.path.join(top, name)
        if os.path.islink(path):
            print("l", os.path.relpath(path, root), os.readlink(path))
        else:
            print("f", os.path.relpath(path, root), hashlib.sha256(open(path, "rb").read()).hexdigest())
    for name in dirs:
        path = os.path.join(top, name)
        if os.path.islink(path):
            print("l", os.path.relpath(path, root), os.readlink(path))
)PY";

class APIFilesRename : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gIsUTFFirmware = 1;   // names stay UTF-8
  }
  void TearDown() override {
    gIsUTFFirmware = 0;
    EmulatedPvr::TearDown();
  }
  json Delete(const std::string &params) {
    return HandlerAnswer([](const char *p) { APIFilesRenameDelete(p, FILES_DELETE); }, params);
  }
  json Rename(const std::string &params) {
    return HandlerAnswer([](const char *p) { APIFilesRenameDelete(p, FILES_RENAME); }, params);
  }
  // A recording with the companions asked for.
  void Recording(const std::string &pvrPath, bool inf, bool nav) {
    WriteFile(pvrPath, "ts:" + pvrPath);
    if (inf) WriteFile(pvrPath + ".inf", "inf:" + pvrPath);
    if (nav) WriteFile(pvrPath + ".nav", "nav:" + pvrPath);
  }
  std::string Snapshot() { return RunPython(kSnapshot, root_); }
  static void ExpectResult(const json &a, const char *member, int status, int error) {
    EXPECT_EQ(a[std::string(member) + "_status"], status) << member;
    EXPECT_EQ(a[std::string(member) + "_errno"], error) << member;
  }
};

TEST_F(APIFilesRename, DeleteTakesTheCompanionsAlong) {
  Recording("/mnt/hd/DataFiles/News.rec", true, true);
  Recording("/mnt/hd/DataFiles/Film.rec", true, false);
  json a = Delete("dir=/mnt/hd/DataFiles&file=News.rec");
  EXPECT_EQ(a["content"], "files_delete");
  EXPECT_EQ(a["count"], 0);
  ExpectResult(a, "mpg", 0, 0);
  ExpectResult(a, "inf", 0, 0);
  ExpectResult(a, "nav", 0, 0);
  EXPECT_EQ(a["file"], "News.rec");
  EXPECT_EQ(a["dir"], "/mnt/hd/DataFiles");
  for (const char *suffix : {"", ".inf", ".nav"}) EXPECT_FALSE(Exists(std::string("/mnt/hd/DataFiles/News.rec") + suffix));
  // Without ".nav" (a missing companion is no error), through "/DataFiles" and the name in
  // hex: the answer's "file" is the name as received, empty here.
  a = Delete("dir=/DataFiles&file_hex=46696c6d2e726563");
  ExpectResult(a, "mpg", 0, 0);
  ExpectResult(a, "inf", 0, 0);
  ExpectResult(a, "nav", 0, ENOENT);
  EXPECT_EQ(a["file"], "");
  EXPECT_EQ(a["dir"], "/mnt/hd/DataFiles");
  EXPECT_FALSE(Exists("/mnt/hd/DataFiles/Film.rec"));
  EXPECT_FALSE(Exists("/mnt/hd/DataFiles/Film.rec.inf"));
}

TEST_F(APIFilesRename, CompanionsStayWithTheirRecordingWhenTheMainFileFails) {
  // The main file cannot go (here: a folder of that name, or no main file at all): the
  // companions stay where they are.
  Recording("/mnt/hd/DataFiles/Kept.rec/inner", false, false);
  WriteFile("/mnt/hd/DataFiles/Kept.rec.inf", "inf");
  WriteFile("/mnt/hd/DataFiles/Kept.rec.nav", "nav");
  WriteFile("/mnt/hd/DataFiles/Lost.rec.inf", "inf");
  std::string before = Snapshot();
  json a = Delete("dir=/mnt/hd/DataFiles&file=Kept.rec");
  EXPECT_EQ(a["mpg_status"], -1);
  EXPECT_NE(a["mpg_errno"], 0);
  ExpectResult(a, "inf", -1, ECANCELED);
  ExpectResult(a, "nav", -1, ECANCELED);
  a = Rename("dir=/mnt/hd/DataFiles&file=Lost.rec&new_dir=/mnt/hd/DataFiles&new_file=Found.rec");
  ExpectResult(a, "mpg", -1, ENOENT);
  ExpectResult(a, "inf", -1, ECANCELED);
  ExpectResult(a, "nav", -1, ECANCELED);
  // A rename into a folder that does not exist fails for the main file alone.
  Recording("/mnt/hd/DataFiles/Here.rec", true, true);
  before = Snapshot();
  a = Rename("dir=/mnt/hd/DataFiles&file=Here.rec&new_dir=/mnt/hd/Nowhere&new_file=Here.rec");
  ExpectResult(a, "mpg", -1, ENOENT);
  ExpectResult(a, "inf", -1, ECANCELED);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(APIFilesRename, RenameMovesTheCompanionsAlongOrIsRefusedWhole) {
  Recording("/mnt/hd/DataFiles/Old name.rec", true, true);
  WriteFile("/mnt/hd/DataFiles/Films/.keep", "");
  json a = Rename("old_dir=/DataFiles&old_file=Old%20name.rec&new_dir=/mnt/hd/DataFiles/Films&new_file=N%C3%A9w.rec");
  EXPECT_EQ(a["content"], "files_rename");
  ExpectResult(a, "mpg", 0, 0);
  ExpectResult(a, "inf", 0, 0);
  ExpectResult(a, "nav", 0, 0);
  EXPECT_EQ(a["old_file"], "Old name.rec");
  EXPECT_EQ(a["old_file_hex"], "4f6c64206e616d652e726563");
  EXPECT_EQ(a["old_dir"], "/mnt/hd/DataFiles");
  EXPECT_EQ(a["new_file"], "Néw.rec");
  EXPECT_EQ(a["new_file_hex"], "4ec3a9772e726563");
  EXPECT_EQ(a["new_dir"], "/mnt/hd/DataFiles/Films");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/Films/Néw.rec"), "ts:/mnt/hd/DataFiles/Old name.rec");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/Films/Néw.rec.inf"), "inf:/mnt/hd/DataFiles/Old name.rec");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/Films/Néw.rec.nav"), "nav:/mnt/hd/DataFiles/Old name.rec");
  EXPECT_FALSE(Exists("/mnt/hd/DataFiles/Old name.rec.inf"));

  // Onto a name whose ".nav" alone exists: refused whole, each target's existence shown.
  Recording("/mnt/hd/DataFiles/A.rec", true, false);
  WriteFile("/mnt/hd/DataFiles/B.rec.nav", "other");
  std::string before = Snapshot();
  a = Rename("dir=/mnt/hd/DataFiles&file=A.rec&new_dir=/mnt/hd/DataFiles&new_file=B.rec");
  ExpectResult(a, "mpg", 0, FILES_RENAME_TARGET_EXISTS);
  ExpectResult(a, "inf", 0, FILES_RENAME_TARGET_EXISTS);
  ExpectResult(a, "nav", 1, FILES_RENAME_TARGET_EXISTS);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(APIFilesRename, PlacesOutsideMntAndNamesThatAreNotPlainTouchNothing) {
  Recording("/mnt/hd/DataFiles/Keep.rec", true, true);
  WriteFile("/etc/passwd", "root");
  WriteFile("/etc/passwd.inf", "x");
  WriteFile("/mnt/hd/DataFiles/Sub/Keep.rec", "sub");
  ASSERT_EQ(symlink("../../../etc", Host("/mnt/hd/DataFiles/Escape").c_str()), 0);
  std::string longName(600, 'n');
  std::string before = Snapshot();
  ASSERT_NE(before.find("passwd"), std::string::npos);
  const char *deletes[] = {
      "dir=/mnt/hd/../../etc&file=passwd",      "dir=/etc&file=passwd",
      "dir=/mnt/hd/DataFiles/Escape&file=passwd", "dir=/mnt/hd/DataFiles&file=../../../../etc/passwd",
      "dir=/mnt/hd/DataFiles&file=Sub%2FKeep.rec", "dir=/mnt/hd/DataFiles&file=..",
      "dir=/mnt/hd/DataFiles&file=.",           "dir=/mnt/hd/DataFiles&file=",
      "dir=/mnt/hd/DataFiles",                  "dir=/mnt/hd/DataFiles&file_hex=2e2e2f4b6565702e726563",
      "dir=relative&file=Keep.rec",             "file=Keep.rec",
      "dir=/mnt&file=hd",                       "dir=/mnt/hd/DataFiles&file=Keep.rec%00x",
      "dir=/mnt/hd/DataFiles&file_hex=4b6565702e7265630078",
  };
  for (const char *params : deletes) {
    SCOPED_TRACE(params);
    json a = Delete(params);
    ExpectResult(a, "mpg", -1, EINVAL);
    ExpectResult(a, "inf", -1, EINVAL);
    ExpectResult(a, "nav", -1, EINVAL);
  }
  std::string tooLong = "dir=/mnt/hd/DataFiles&file=" + longName;
  ExpectResult(Delete(tooLong), "mpg", -1, EINVAL);
  const char *renames[] = {
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/tmp&new_file=Keep.rec",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles&new_file=../Keep.rec",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles/../../../tmp&new_file=Keep.rec",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles/Escape&new_file=x",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles&new_file=",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles&new_file=..",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles&new_file=a%2Fb",
      "dir=/mnt/hd/DataFiles&file=Keep.rec&new_file=Other.rec",
      "dir=/etc&file=passwd&new_dir=/mnt/hd/DataFiles&new_file=passwd",
  };
  for (const char *params : renames) {
    SCOPED_TRACE(params);
    json a = Rename(params);
    ExpectResult(a, "mpg", -1, EINVAL);
    ExpectResult(a, "inf", -1, EINVAL);
    ExpectResult(a, "nav", -1, EINVAL);
  }
  EXPECT_EQ(Rename("dir=/mnt/hd/DataFiles&file=Keep.rec&new_dir=/mnt/hd/DataFiles&new_file=" + longName)["mpg_errno"],
            EINVAL);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(APIFilesRename, WithoutMemoryForTheAnswerNothingIsTouched) {
  Recording("/mnt/hd/DataFiles/Keep.rec", true, true);
  std::string before = Snapshot();
  emu::FailAllAllocations(true);
  EXPECT_EQ(HandlerBody([](const char *p) { APIFilesRenameDelete(p, FILES_DELETE); }, "dir=/DataFiles&file=Keep.rec"),
            "");
  EXPECT_EQ(HandlerBody([](const char *p) { APIFilesRenameDelete(p, FILES_RENAME); },
                        "dir=/DataFiles&file=Keep.rec&new_dir=/DataFiles&new_file=Moved.rec"),
            "");
  emu::FailAllAllocations(false);
  EXPECT_EQ(Snapshot(), before);
}

}  // namespace
