// Settings of the browser and its modules on an emulated disk: whole-key matching, refused
// values, module names, failed saves, and listings parsed back by Python's json module
// against Python's own reading of the file.
#include "webserver/api/module_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "common/json_answer.h"
#include "tests/unit/python_oracle.h"

namespace {

const char kClient[] = "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini";
const char kModules[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/";
const char kStamp[] = "2024/05/06 07:08:09";

class ModuleSettings : public EmulatedPvr {
 protected:
  // One request; the answer text in *text, the result returned.
  int Request(int operation, const char *module, const char *key, const char *value, std::string *text = nullptr) {
    JsonAnswer answer;
    int result = SettingsAnswer(&answer, operation, module, key, value, kStamp);
    if (text) *text = std::string(answer.Data(), answer.Length());
    return result;
  }
  std::string List(const char *module, int *result = nullptr, int limit = JSON_ANSWER_LIMIT) {
    JsonAnswer answer(limit, 64);
    int r = SettingsListAnswer(&answer, module, kStamp);
    if (result) *result = r;
    return std::string(answer.Data(), answer.Length());
  }
  // Every file below the disk with its contents, to see that nothing else changed.
  std::string Snapshot() {
    return RunCommand("cd '" + root_ + "' && find . -type f -o -type d | sort && find . -type f -exec md5sum {} + | sort");
  }
};

// Python reads the answer strictly (pairs in order, duplicates kept) and returns lines
// "member=value" for the scalar members and "entry key=value" for the setting entries.
std::string ParseAnswer(const std::string &answer) {
  return RunPython(R"PY(
import json, sys
doc = json.loads(sys.stdin.buffer.read().decode("utf-8"), object_pairs_hook=lambda p: p)
for k, v in doc:
    if k == "setting":
        for ek, ev in v:
            print("entry", ek + "=" + ev)
    else:
        print(k + "=" + str(v))
)PY", answer);
}

}  // namespace

TEST_F(ModuleSettings, KeysAreMatchedWholeAtTheStartOfALine) {
  WriteFile(kClient, "username=joe\r\n#name=old\r\nname2=x\r\nmy name=y\r\nname=Box\r\nzoom=2");
  std::string text;
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "name", "TV", &text), SETTINGS_OK);
  EXPECT_EQ(ReadFile(kClient), "username=joe\r\n#name=old\r\nname2=x\r\nmy name=y\r\nname=TV\r\nzoom=2");
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "port", "9000"), SETTINGS_OK);   // absent: appended after a line end
  EXPECT_EQ(ReadFile(kClient), "username=joe\r\n#name=old\r\nname2=x\r\nmy name=y\r\nname=TV\r\nzoom=2\r\nport=9000\r\n");
  EXPECT_EQ(Request(SETTINGS_GET, nullptr, "NAME", nullptr, &text), SETTINGS_OK);   // letter case as the reader
  EXPECT_EQ(ParseAnswer(text),
            "timestamp=2024/05/06 07:08:09\ncontent=setting_get\nstatus=1\nsetting_key=NAME\nsetting_value=TV\n");
  EXPECT_EQ(Request(SETTINGS_GET, nullptr, "user", nullptr, &text), SETTINGS_OK);
  EXPECT_EQ(ParseAnswer(text),
            "timestamp=2024/05/06 07:08:09\ncontent=setting_get\nstatus=0\nsetting_key=user\nsetting_value=\n");
}

TEST_F(ModuleSettings, SetDecodesAndDeleteRemovesWholeLines) {
  WriteFile(kClient, "a=1\r\nzoom=2\r\nb=3\r\nzoom=4\n");
  std::string text;
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "title", "a%20b+c%22%5C", &text), SETTINGS_OK);
  EXPECT_EQ(ParseAnswer(text),
            "timestamp=2024/05/06 07:08:09\ncontent=setting_set\nstatus=1\nsetting_key=title\nsetting_value=a b c\"\\\n");
  EXPECT_EQ(Request(SETTINGS_DELETE, nullptr, "zoom", nullptr, &text), SETTINGS_OK);
  EXPECT_EQ(ParseAnswer(text),
            "timestamp=2024/05/06 07:08:09\ncontent=setting_delete\nstatus=1\nsetting_key=zoom\nsetting_value=2\n");
  EXPECT_EQ(ReadFile(kClient), "a=1\r\nb=3\r\ntitle=a b c\"\\\r\n");
  EXPECT_EQ(Request(SETTINGS_DELETE, nullptr, "zoom", nullptr, &text), SETTINGS_OK);
  EXPECT_NE(text.find("\"setting_value\":\"\""), std::string::npos);
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "empty", ""), SETTINGS_OK);
  EXPECT_EQ(ReadFile(kClient), "a=1\r\nb=3\r\ntitle=a b c\"\\\r\nempty=\r\n");
}

TEST_F(ModuleSettings, AGetOfAMissingFileLeavesAnEmptyFile) {
  EXPECT_FALSE(Exists(kClient));
  EXPECT_EQ(Request(SETTINGS_GET, nullptr, "zoom", nullptr), SETTINGS_OK);
  EXPECT_TRUE(Exists(kClient));
  EXPECT_EQ(ReadFile(kClient), "");
  EXPECT_FALSE(Exists(std::string(kClient) + ".tmp"));
}

TEST_F(ModuleSettings, ValuesThatCannotBeStoredAreRefused) {
  WriteFile(kClient, "k=old\r\n");
  std::string text;
  for (const char *value : {"a%0Db", "a%0Ab", "a%0D%0Ab", "x%00y", "50%", "%zz"}) {
    EXPECT_EQ(Request(SETTINGS_SET, nullptr, "k", value, &text), SETTINGS_BAD_VALUE) << value;
    EXPECT_NE(text.find("\"status\":0"), std::string::npos);
    EXPECT_NE(text.find("\"error_code\":4"), std::string::npos);
  }
  std::string longest(512, 'v'), tooLong(513, 'v');
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "k", tooLong.c_str()), SETTINGS_TOO_LONG);
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "k", (std::string(511, 'v') + "%41%41").c_str()), SETTINGS_TOO_LONG);
  EXPECT_EQ(ReadFile(kClient), "k=old\r\n") << "nothing cut, nothing stored";
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "k", longest.c_str()), SETTINGS_OK);
  EXPECT_EQ(ReadFile(kClient), "k=" + longest + "\r\n");

  for (const char *key : {"", "a=b", "#k", ";k", "/k", "'k", " k", "k\r", "k\nx"}) {
    EXPECT_EQ(Request(SETTINGS_SET, nullptr, key, "1"), SETTINGS_BAD_KEY) << key;
  }
  EXPECT_EQ(Request(SETTINGS_GET, nullptr, nullptr, nullptr), SETTINGS_BAD_KEY);
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, std::string(513, 'k').c_str(), "1"), SETTINGS_TOO_LONG);
  EXPECT_EQ(ReadFile(kClient), "k=" + longest + "\r\n");
}

TEST_F(ModuleSettings, ModulesAreFoldersThatExist) {
  WriteFile(std::string(kModules) + "clock/settings.ini", "size=3\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/settings.ini", "size=9\r\n");
  std::string text;
  EXPECT_EQ(Request(SETTINGS_GET, "clock", "size", nullptr, &text), SETTINGS_OK);
  EXPECT_NE(text.find("\"setting_value\":\"3\""), std::string::npos);
  EXPECT_EQ(Request(SETTINGS_SET, "clock", "size", "4"), SETTINGS_OK);
  EXPECT_EQ(ReadFile(std::string(kModules) + "clock/settings.ini"), "size=4\r\n");

  std::string before = Snapshot();
  for (const char *module : {"../..", "..", ".", "a/b", "/etc", "clock/..", "x..y", "a\\b"}) {
    EXPECT_EQ(Request(SETTINGS_SET, module, "size", "5", &text), SETTINGS_BAD_MODULE) << module;
    EXPECT_NE(text.find("\"error_text\":\"Invalid module name\""), std::string::npos);
    int result;
    List(module, &result);
    EXPECT_EQ(result, SETTINGS_BAD_MODULE);
  }
  for (int operation : {SETTINGS_GET, SETTINGS_SET, SETTINGS_DELETE}) {
    EXPECT_EQ(Request(operation, "weather", "size", "5", &text), SETTINGS_NO_MODULE);
    EXPECT_NE(text.find("\"error_text\":\"Module not found\""), std::string::npos);
  }
  EXPECT_EQ(Request(SETTINGS_SET, std::string(513, 'm').c_str(), "size", "5"), SETTINGS_BAD_MODULE);
  EXPECT_EQ(Snapshot(), before) << "a refused module touched a file";
}

TEST_F(ModuleSettings, AFailedSaveIsReportedAndKeepsTheFile) {
  WriteFile(kClient, "k=old\r\n");
  // A folder where the temporary file would go: it cannot be created.
  WriteFile(std::string(kClient) + ".tmp/keep", "");
  std::string text;
  EXPECT_EQ(Request(SETTINGS_SET, nullptr, "k", "new", &text), SETTINGS_SAVE_FAILED);
  EXPECT_EQ(ParseAnswer(text),
            "timestamp=2024/05/06 07:08:09\ncontent=setting_set\nstatus=0\nsetting_key=k\nsetting_value=new\n"
            "error_code=7\nerror_text=Error saving settings file\n");
  EXPECT_EQ(ReadFile(kClient), "k=old\r\n");
  EXPECT_EQ(Request(SETTINGS_DELETE, nullptr, "k", nullptr), SETTINGS_SAVE_FAILED);
  EXPECT_EQ(ReadFile(kClient), "k=old\r\n");
  // A settings "file" that is a folder cannot be read, and nothing replaces it.
  WriteFile(std::string(kModules) + "odd/settings.ini/x", "");
  EXPECT_EQ(Request(SETTINGS_SET, "odd", "k", "1"), SETTINGS_READ_FAILED);
  EXPECT_TRUE(Exists(std::string(kModules) + "odd/settings.ini/x"));
}

TEST_F(ModuleSettings, ListingAgreesWithPythonsReadingOfTheFile) {
  std::string file =
      "# comment\r\nname=Box\r\nzoom=2\r\n/slash=1\r\n'quote=1\r\n\r\nno equals sign\r\n=empty key\r\n"
      "quote=say \"hi\" \\ / \x01\ttab\r\nutf8=caf\xc3\xa9\r\nempty=\r\nlf only=1\nname=again\r\neq=a=b=c\r\n"
      "last=no line end";
  WriteFile(kClient, file);
  int result;
  std::string answer = List(nullptr, &result);
  EXPECT_EQ(result, SETTINGS_OK);
  std::string script = R"PY(
import json, sys
raw = sys.stdin.buffer.read()
file, answer = raw.split(b"\0SPLIT\0")
want = []
for line in file.decode("utf-8").split("\n"):
    line = line[:-1] if line.endswith("\r") else line
    if not line or line[0] in "#/'\r" or "=" not in line or line.index("=") == 0:
        continue
    k, v = line.split("=", 1)
    want.append((k, "".join(c for c in v if c >= " " or c in "\t\b\f\n\r")))
doc = json.loads(answer.decode("utf-8"), object_pairs_hook=lambda p: p)
names = [k for k, v in doc]
got = dict(doc)
print(names == ["content", "timestamp", "setting", "count"], got["count"] == len(want), got["setting"] == want, len(want))
)PY";
  EXPECT_EQ(RunPython(script, file + std::string("\0SPLIT\0", 7) + answer), "True True True 9\n") << answer;
  EXPECT_NE(answer.find("\"setting\":\r\n\t{\r\n\t\"name\":\"Box\"\r\n\t,\r\n\t\"zoom\":\"2\""), std::string::npos);
}

TEST_F(ModuleSettings, ListingsWithoutEntriesOrRoom) {
  int result;
  EXPECT_EQ(List(nullptr, &result),
            "{\"content\":\"setting_list\",\r\n\"timestamp\":\"2024/05/06 07:08:09\",\r\n\"setting\":{},\r\n\"count\":0}\r\n");
  EXPECT_EQ(result, SETTINGS_OK);
  EXPECT_EQ(ParseAnswer(List("missing", &result)),
            "content=setting_list\ntimestamp=2024/05/06 07:08:09\nerror_code=2\nerror_text=Module not found\ncount=0\n");
  // More entries than the answer may hold: it stays whole and its count true.
  std::string file;
  for (int i = 0; i < 400; i++) file += "key" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
  WriteFile(kClient, file);
  std::string answer = List(nullptr, &result, 8192);
  EXPECT_LE(answer.size(), 8192u);
  std::vector<std::string> lines = SplitLines(ParseAnswer(answer));
  ASSERT_GT(lines.size(), 10u);
  int entries = 0;
  for (const std::string &line : lines) entries += line.rfind("entry ", 0) == 0;
  EXPECT_EQ(lines.back(), "count=" + std::to_string(entries));
  EXPECT_GT(entries, 100);
  EXPECT_LT(entries, 400);
}
