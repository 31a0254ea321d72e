// TAP file information: files built by the real compilers (host ELF64 and mipsel ELF32),
// files from an independent Python ELF writer with hostile section tables, every
// truncation of a real TAP, and build dates against Python's datetime.
#include "platform/tap_file_info.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/temp_folder.h"

namespace {


std::string ReadWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWhole(const std::string &path, const std::string &content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A TAP's header objects as a C file for the real compilers.
const char kTapSource[] =
    "#define S(n) __attribute__((section(n), used))\n"
    "S(\"._tap_id\") const unsigned id = 0x8E0A424E;\n"
    "S(\"._tap_program_name\") const char name[64] = \"SmartEPG\";\n"
    "S(\"._tap_author_name\") const char author[64] = \"Someone \\xC3\\xA9\";\n"
    "S(\"._tap_description\") const char description[128] = \"A description that is long enough\";\n"
    "S(\"._tap_program_version\") const char version[64] = \"1.2.3\";\n"
    "S(\"._tap_etcinfo\") const char etc[64] = \"Feb 29 2024\";\n"
    "int f(void) { return 1; }\n";

void ExpectRealTap(const TapFileInfo &info) {
  EXPECT_EQ(info.id, 0x8E0A424Eu);
  EXPECT_STREQ(info.programName, "SmartEPG");
  EXPECT_STREQ(info.authorName, "Someone \xC3\xA9");
  EXPECT_STREQ(info.description, "A description that is long enough");
  EXPECT_STREQ(info.version, "1.2.3");
  EXPECT_STREQ(info.etcInfo, "Feb 29 2024");
  EXPECT_EQ(info.buildDate, 60369);   // 2024-02-29
}

// Builds the TAP source with a compiler; the output file's path, empty when it failed.
std::string BuildTap(const TempFolder &folder, const std::string &compiler, const std::string &name) {
  std::string source = folder.path() + "/tap.c", output = folder.path() + "/" + name;
  WriteWhole(source, kTapSource);
  int status = -1;
  RunCommand(compiler + " -shared -nostdlib -fPIC -o " + output + " " + source + " 2>&1", &status);
  return status == 0 ? output : std::string();
}

TEST(TapFileInfo, ReadsTheSectionsOfFilesTheRealCompilersBuild) {
  TempFolder folder;
  for (const char *compiler : {"gcc", "mipsel-linux-gnu-gcc"}) {
    std::string tap = BuildTap(folder, compiler, std::string(compiler) + ".tap");
    ASSERT_FALSE(tap.empty()) << compiler;
    TapFileInfo info;
    ASSERT_EQ(ReadTapFileInfo(tap.c_str(), &info), 1) << compiler;
    ExpectRealTap(info);
  }
}

TEST(TapFileInfo, EveryTruncationOfARealTapIsReadSafely) {
  TempFolder folder;
  std::string tap = BuildTap(folder, "mipsel-linux-gnu-gcc", "whole.tap");
  ASSERT_FALSE(tap.empty());
  std::string whole = ReadWhole(tap);
  std::string cut = folder.path() + "/cut.tap";
  int complete = 0;
  for (size_t length = 0; length <= whole.size(); length += length < 128 || length + 64 > whole.size() ? 1 : 13) {
    WriteWhole(cut, whole.substr(0, length));
    TapFileInfo info;
    int result = ReadTapFileInfo(cut.c_str(), &info);
    // The section headers come last: without all of them nothing is read.
    if (result) {
      complete++;
      ExpectRealTap(info);
    } else {
      EXPECT_EQ(info.id, 0u);
    }
    EXPECT_EQ(info.programName[sizeof info.programName - 1], '\0');
  }
  EXPECT_EQ(complete, 1);
}

// Writes ELF32 files from section lists, hostile ones among them, and says what a reader
// must make of each.
const char kElfWriter[] = R"PY(
import json, struct, sys
folder = sys.argv[1]
def elf(sections, shoff_delta=0, shnum=None, shstrndx=None, shentsize=40, cls=1, data=1, cut=None, strtab_tail=b""):
    # sections: list of (name, bytes, overrides) ; overrides may set offset, size, type, name_off
    body = bytearray(52)
    names = bytearray(b"\0")
    offs = []
    for name, content, ov in sections:
        offs.append(len(names)); names += name.encode() + b"\0"
    names += strtab_tail
    placed = []
    for (name, content, ov), noff in zip(sections, offs):
        placed.append((len(body), len(content), ov, noff)); body += content
    strtab_at = len(body); body += names
    while len(body) % 4: body.append(0)
    shoff = len(body) + shoff_delta
    headers = bytearray(40)   # the null section
    for at, size, ov, noff in placed:
        headers += struct.pack("<IIIIIIIIII", ov.get("name_off", noff), ov.get("type", 1), 0, 0,
                               ov.get("offset", at), ov.get("size", size), 0, 0, 1, 0)
    headers += struct.pack("<IIIIIIIIII", 0, 3, 0, 0, strtab_at,
                           len(names) + strtab_size_delta, 0, 0, 1, 0)
    count = len(placed) + 2
    body += headers
    struct.pack_into("<4sBBBB", body, 0, b"\x7fELF", cls, data, 1, 0)
    struct.pack_into("<HHI", body, 16, 3, 8, 1)
    struct.pack_into("<I", body, 0x20, shoff)
    struct.pack_into("<HHHHHH", body, 0x28, 52, 0, 0, shentsize, count if shnum is None else shnum,
                     count - 1 if shstrndx is None else shstrndx)
    return bytes(body[:cut] if cut is not None else body)
strtab_size_delta = 0
def tap(id_bytes=struct.pack("<I", 0x12345678), name=b"Name", **ov):
    return [("._tap_id", id_bytes, ov.get("id_section", {})),
            ("._tap_program_name", name.ljust(64, b"\0"), ov.get("name_section", {})),
            ("._tap_author_name", b"Author".ljust(64, b"\0"), {}),
            ("._tap_description", b"Description".ljust(128, b"\0"), ov.get("description_section", {})),
            ("._tap_program_version", b"9.9".ljust(64, b"\0"), {}),
            ("._tap_etcinfo", b"Dec 31 1999".ljust(64, b"\0"), {})]
good = dict(id=0x12345678, name="Name", author="Author", description="Description", version="9.9", date=51543)
cases = []
def case(label, data, expect):
    path = "%s/%s.tap" % (folder, label)
    open(path, "wb").write(data)
    cases.append(dict(path=path, label=label, expect=expect))
def but(**changes):
    e = dict(good); e.update(changes); return e
case("plain", elf(tap()), but())
case("not_elf", b"\x7fELG" + elf(tap())[4:], None)
case("elf64_class_on_32_layout", elf(tap(), cls=2), None)
case("big_endian", elf(tap(), data=2), None)
case("headers_past_end", elf(tap(), shoff_delta=4), None)
case("headers_far_away", elf(tap(), shoff_delta=0x7FFFFFF0), None)
case("huge_count", elf(tap(), shnum=65535), None)
case("no_sections", elf(tap(), shnum=0, shstrndx=0), None)
case("names_index_out_of_range", elf(tap(), shstrndx=200), None)
case("entry_too_small", elf(tap(), shentsize=8), None)
case("entry_too_large", elf(tap(), shentsize=0xFFFF), None)
case("description_past_end", elf(tap(description_section={"size": 0x7FFFFFFF})), but(description=""))
case("description_offset_wraps", elf(tap(description_section={"offset": 0xFFFFFFF0, "size": 0x20})), but(description=""))
case("name_offset_past_names", elf(tap(name_section={"name_off": 0xFFFFFF00})), but(name=""))
case("id_too_short", elf(tap(id_bytes=b"\x01\x02")), None)
case("id_without_bytes", elf(tap(id_section={"type": 8})), None)
case("name_fills_its_section", elf(tap(name=b"N" * 64)), but(name="N" * 63))
case("name_section_longer_than_field", elf(tap(name=b"L" * 300)), but(name="L" * 63))
strtab_size_delta = -3   # the names section ends inside the last name
case("last_name_unterminated", elf(tap()), but(date=0))
strtab_size_delta = 0
case("truncated_header", elf(tap(), cut=40), None)
print(json.dumps(cases))
)PY";

TEST(TapFileInfo, HostileSectionTablesFromAnIndependentWriter) {
  TempFolder folder;
  std::string output = RunPython("import sys; sys.argv = ['w', '" + folder.path() + "']\n" + kElfWriter, "");
  nlohmann::json cases = nlohmann::json::parse(output, nullptr, false);
  ASSERT_TRUE(cases.is_array()) << output.substr(0, 2000);
  ASSERT_GE(cases.size(), 20u);
  for (const nlohmann::json &c : cases) {
    SCOPED_TRACE(c.at("label").get<std::string>());
    TapFileInfo info;
    int result = ReadTapFileInfo(c.at("path").get<std::string>().c_str(), &info);
    const nlohmann::json &e = c.at("expect");
    if (e.is_null()) {
      EXPECT_EQ(result, 0);
      continue;
    }
    ASSERT_EQ(result, 1);
    EXPECT_EQ(info.id, e.at("id").get<dword>());
    EXPECT_EQ(info.programName, e.at("name").get<std::string>());
    EXPECT_EQ(info.authorName, e.at("author").get<std::string>());
    EXPECT_EQ(info.description, e.at("description").get<std::string>());
    EXPECT_EQ(info.version, e.at("version").get<std::string>());
    EXPECT_EQ(info.buildDate, e.at("date").get<word>());
  }
}

TEST(TapFileInfo, RandomDamageToARealTapIsReadSafely) {
  TempFolder folder;
  std::string tap = BuildTap(folder, "mipsel-linux-gnu-gcc", "whole.tap");
  ASSERT_FALSE(tap.empty());
  std::string whole = ReadWhole(tap);
  std::string damaged = folder.path() + "/damaged.tap";
  TestRandom random(5);
  for (int round = 0; round < 300; round++) {
    std::string bytes = whole;
    int flips = 1 + random.Below(8);
    for (int i = 0; i < flips; i++) bytes[random.Below((unsigned)bytes.size())] = (char)random.Next();
    WriteWhole(damaged, bytes);
    TapFileInfo info;
    ReadTapFileInfo(damaged.c_str(), &info);
    EXPECT_TRUE(memchr(info.programName, 0, sizeof info.programName) && memchr(info.authorName, 0, sizeof info.authorName) &&
                memchr(info.description, 0, sizeof info.description) && memchr(info.version, 0, sizeof info.version) &&
                memchr(info.etcInfo, 0, sizeof info.etcInfo));
  }
}

TEST(TapFileInfo, BuildDatesAgainstPythonsCalendar) {
  // Dates in the builder's form and in others, with the MJD that Python's datetime gives.
  std::string output = RunPython(
      "import datetime, random\n"
      "r = random.Random(3)\n"
      "base = datetime.date(1858, 11, 17)\n"
      "for i in range(300):\n"
      "    d = datetime.date(1900, 3, 1) + datetime.timedelta(days=r.randrange(50000))\n"
      "    form = r.choice(['%b %e %Y', '%d %B %Y', '%Y-%b-%d', '%e %b %Y %H:%M:%S'])\n"
      "    text = d.strftime(form).replace('%H:%M:%S', '12:34:56')\n"
      "    if r.random() < 0.3: text = text.upper()\n"
      "    print('%s|%d' % (text, (d - base).days))\n",
      "");
  std::vector<std::string> lines = SplitLines(output);
  ASSERT_EQ(lines.size(), 300u) << output.substr(0, 500);
  for (const std::string &line : lines) {
    size_t bar = line.find('|');
    ASSERT_NE(bar, std::string::npos);
    EXPECT_EQ(ParseTapBuildDate(line.substr(0, bar).c_str()), atoi(line.c_str() + bar + 1)) << line;
  }
  for (const char *bad : {"", "Feb 30 2024", "Feb 29 2023", "Jan 1 1900", "Mar 1 2100", "Foo 7 2024", "Jun 2024",
                          "Jun 7", "Jun 0 2024", "Ju 7 2024", "Jun 32 2024", "Jun 7 12345", "Apr 23 2038", "Jan 1 2050"}) {
    EXPECT_EQ(ParseTapBuildDate(bad), 0) << bad;
  }
  EXPECT_EQ(ParseTapBuildDate(nullptr), 0);
  EXPECT_EQ(ParseTapBuildDate("Mar  1 1900"), 15079);
  EXPECT_EQ(ParseTapBuildDate("built on Apr 22 2038"), 65535);
}

class TapFileInfoOnDisk : public EmulatedPvr {};

TEST_F(TapFileInfoOnDisk, PvrPathsAreMappedIntoTheEmulatedRoot) {
  TempFolder folder;
  std::string tap = BuildTap(folder, "mipsel-linux-gnu-gcc", "x.tap");
  ASSERT_FALSE(tap.empty());
  WriteFile("/mnt/hd/ProgramFiles/My TAP.tap", ReadWhole(tap));
  TapFileInfo info;
  ASSERT_EQ(HDD_TAP_GetInfo("/mnt/hd/ProgramFiles/My TAP.tap", &info), 1);
  ExpectRealTap(info);
  EXPECT_EQ(HDD_TAP_GetInfo("/mnt/hd/ProgramFiles/none.tap", &info), 0);
  EXPECT_EQ(HDD_TAP_GetInfo(nullptr, &info), 0);
}

}  // namespace
