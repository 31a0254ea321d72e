// The folder tree on emulated disks, compared with Python's os.walk of the same folders
// (links not followed); a tree too large for the answer; start folders that are missing,
// outside "/mnt/" or reached through a link.
#include "webserver/api/api_files_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/handler_answer.h"
#include "tests/unit/python_oracle.h"

namespace {

using json = nlohmann::json;

// Makes random folders (names with blanks, quotes, backslashes and UTF-8) below a host
// folder, a link to a folder and a file; prints every folder os.walk finds, as PVR paths.
const char kWalk[] = R"PY(
import json, os, random, sys
args = json.loads(sys.stdin.read())
host, pvr, make = args["host"], args["pvr"], args["make"]
rnd = random.Random(5)
if make:
    folders = [host]
    for i in range(make):
        name = "".join(rnd.choice("ab c\"\\\\'éΩ日_-") for _ in range(rnd.randint(1, 12))) + str(i)
        path = os.path.join(rnd.choice(folders), name)
        os.makedirs(path, exist_ok=True)
        folders.append(path)
    open(os.path.join(folders[-1], "file.rec"), "w").close()
    os.symlink(folders[1], os.path.join(host, "link to a folder"))
found = []
for top, dirs, files in os.walk(host):
    found.append(pvr + top[len(host):])
print(json.dumps(sorted(found)))
)PY";

class APIFilesTreeTest : public EmulatedPvr {
 protected:
  json Tree(const std::string &params, std::string *raw = nullptr) { return HandlerAnswer(APIFilesTree, params, raw); }
  static std::vector<std::string> Names(const json &answer) {
    std::vector<std::string> names;
    for (const json &entry : answer["directory"]) names.push_back(entry["name"]);
    return names;
  }
  std::vector<std::string> Walk(const std::string &pvrFolder, int make) {
    json input = {{"host", Host(pvrFolder)}, {"pvr", pvrFolder}, {"make", make}};
    std::string out = RunPython(kWalk, input.dump());
    json parsed = json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << out;
    return parsed.is_discarded() ? std::vector<std::string>() : parsed.get<std::vector<std::string>>();
  }
};

TEST_F(APIFilesTreeTest, EveryFolderOnceAsOsWalkFindsThem) {
  std::vector<std::string> expected = Walk("/mnt/hd/DataFiles", 60);
  ASSERT_EQ(expected.size(), 61u);
  std::string raw;
  json a = Tree("", &raw);
  EXPECT_EQ(a["content"], "files_tree");
  EXPECT_EQ(a["truncated"], 0);
  EXPECT_TRUE(a.contains("timestamp"));
  std::vector<std::string> names = Names(a);
  EXPECT_EQ(a["count"], names.size());
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "/mnt/hd/DataFiles");   // the start folder first, then the walk's order
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
  // The same for the folder named with escapes; every parent comes before its children.
  std::vector<std::string> ordered = Names(Tree("dir=%2Fmnt%2Fhd%2FDataFiles"));
  EXPECT_EQ(ordered.size(), expected.size());
  for (size_t i = 1; i < ordered.size(); i++) {
    std::string parent = ordered[i].substr(0, ordered[i].rfind('/'));
    EXPECT_NE(std::find(ordered.begin(), ordered.begin() + (long)i, parent), ordered.begin() + (long)i) << ordered[i];
  }
}

TEST_F(APIFilesTreeTest, StartFoldersMissingOutsideMntOrThroughALink) {
  WriteFile("/mnt/sdb1/Films/Old/a.rec", "a");
  WriteFile("/etc/Inside/x", "x");
  ASSERT_EQ(symlink("../../sdb1/Films", Host("/mnt/hd/DataFiles/USB").c_str()), 0);
  ASSERT_EQ(symlink("../../../etc", Host("/mnt/hd/DataFiles/Escape").c_str()), 0);
  // Through a link: the folders where it leads, named below the folder asked for.
  EXPECT_EQ(Names(Tree("dir=/mnt/hd/DataFiles/USB")),
            (std::vector<std::string>{"/mnt/hd/DataFiles/USB", "/mnt/hd/DataFiles/USB/Old"}));
  // A walk does not follow links: the escape is not even looked into.
  std::vector<std::string> data = Names(Tree(""));
  EXPECT_EQ(data, (std::vector<std::string>{"/mnt/hd/DataFiles"}));
  for (const char *dir : {"/mnt/hd/Nowhere", "/etc", "/mnt", "/mnt/hd/DataFiles/Escape", "/mnt/hd/../../etc",
                          "/DataFiles", "relative", "/mnt/hd/%zz"}) {
    SCOPED_TRACE(dir);
    json a = Tree(std::string("dir=") + dir);
    EXPECT_TRUE(a["directory"].is_array() && a["directory"].empty());
    EXPECT_EQ(a["count"], 0);
    EXPECT_EQ(a["truncated"], 0);
  }
}

TEST_F(APIFilesTreeTest, ATreeTooLargeForTheAnswerIsCutAndSaysSo) {
  // 5000 folders of 235-byte names: about 1.35 MB of paths.
  std::string base = Host("/mnt/hd/DataFiles/Big");
  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  std::string pad(230, 'n');
  for (int i = 0; i < 5000; i++) {
    std::string path = base + "/" + pad + std::to_string(10000 + i);
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  }
  std::string raw;
  json a = Tree("dir=/mnt/hd/DataFiles/Big", &raw);
  EXPECT_EQ(a["truncated"], 1);
  EXPECT_LE(raw.size(), (size_t)FILES_TREE_ANSWER_SIZE);
  EXPECT_GT(raw.size(), (size_t)FILES_TREE_ANSWER_SIZE - 4096);
  std::vector<std::string> names = Names(a);
  EXPECT_EQ(a["count"], names.size());
  EXPECT_LT(names.size(), 5001u);
  EXPECT_GT(names.size(), 3500u);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
  // Just below the limit: everything, not truncated.
  for (int i = 3500; i < 5000; i++) rmdir((base + "/" + pad + std::to_string(10000 + i)).c_str());
  json whole = Tree("dir=/mnt/hd/DataFiles/Big");
  EXPECT_EQ(whole["truncated"], 0);
  EXPECT_EQ(whole["count"], 3501);
}

TEST_F(APIFilesTreeTest, NoAnswerWithoutMemory) {
  emu::FailAllAllocations(true);
  EXPECT_EQ(HandlerBody(APIFilesTree, ""), "");
  emu::FailAllAllocations(false);
  EXPECT_EQ(Tree("")["count"], 1);
}

}  // namespace
