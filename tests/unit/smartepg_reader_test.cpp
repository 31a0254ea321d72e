// The SmartEPG database reader on files written by the independent Python generators of
// the skimlet tests: both layouts, their texts, and truncated and hostile files.
#include "webserver/epg/smartepg_reader.h"

#include <nlohmann/json.hpp>

#include "emulator/emulator.h"
#include "platform/directory_stack.h"
#include "webserver/core/settings.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"

namespace {

using nlohmann::json;

class SmartEPGReader : public EmulatedPvr {
 protected:
  void TearDown() override {
    EPGDB_EventDBDestroy();
    EPGDB_EventDBDestroy7();
    EmulatedPvr::TearDown();
  }

  // Runs code after a prelude that has the generators (fx), D = datetime.datetime, Event
  // and root (the emulated root); returns what it prints as JSON (null when nothing).
  json Generate(const std::string &code) {
    std::string script =
        "import sys, json, struct, datetime\n"
        "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/integration')\n"
        "import skimlet_fixtures as fx\n"
        "from skimlet_fixtures import Event\n"
        "D = datetime.datetime\n"
        "root = sys.stdin.read().strip()\n"
        "def expect(events):\n"
        "    return [{'channel': '%016x' % e.channel, 'start': fx.packed_date(e.start),\n"
        "             'stamp': fx.packed_date(e.start - datetime.timedelta(minutes=e.timezone)),\n"
        "             'duration': e.duration, 'genre': e.content, 'eventid': e.eventid,\n"
        "             'texts': [t[:" + std::to_string(SE_TEXT_MAX) + "].hex() for t in (e.name, e.description, e.text)]}\n"
        "            for e in events]\n" +
        code;
    std::string out = RunPython(script, root_ + "\n");
    if (out.empty()) return json();
    json parsed = json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << out;
    return parsed;
  }

  // Compares the loaded records and their texts with the expectations of expect().
  template <typename RecordFn, typename TextFn>
  void ExpectRecords(const json &expected, dword count, RecordFn record, TextFn text) {
    ASSERT_EQ(count, expected.size());
    for (dword i = 0; i < count; i++) {
      const json &e = expected[i];
      const byte *raw = record(i);
      ASSERT_NE(raw, nullptr);
      SmartEPGRecord r;
      SmartEPGParseRecord(raw, &r);
      char channel[17];
      snprintf(channel, sizeof channel, "%016llx", (unsigned long long)r.channel);
      EXPECT_EQ(channel, e["channel"].get<std::string>()) << i;
      EXPECT_EQ(r.start, e["start"].get<uint32_t>()) << i;
      EXPECT_EQ(r.timestamp, e["stamp"].get<uint32_t>()) << i;
      EXPECT_EQ(r.duration, e["duration"].get<uint16_t>()) << i;
      EXPECT_EQ(r.genre, e["genre"].get<uint8_t>()) << i;
      EXPECT_EQ(r.eventId, e["eventid"].get<uint32_t>()) << i;
      const uint32_t refs[3] = {r.nameRef, r.descriptionRef, r.textRef};
      for (int t = 0; t < 3; t++) {
        dword length = 99;
        const char *got = text(refs[t], &length);
        EXPECT_EQ(ToHex(std::string(got, length)), e["texts"][t].get<std::string>()) << i << "/" << t;
        EXPECT_EQ(got[length], '\0');
      }
    }
    EXPECT_EQ(record(count), nullptr);
  }

  void ExpectLayout13(const json &expected) {
    ASSERT_EQ(EPGDB_EventDBLoad(), 1);
    ExpectRecords(expected, EPGDB_NrOfTotalEvents(), EPGDB_EventRecord, EPGDB_GetEventText);
  }

  void ExpectLayout15(uint64_t channel, const json &expected) {
    EPGDB_SelectChannel7(channel);
    ASSERT_EQ(EPGDB_EventDBLoad7(), 1);
    ExpectRecords(expected, EPGDB_NrOfTotalEvents7(), EPGDB_EventRecord7, EPGDB_GetEventText7);
  }

  void ExpectNothingLoaded13() {
    EXPECT_EQ(EPGDB_EventDBLoad(), 0);
    EXPECT_EQ(EPGDB_NrOfTotalEvents(), 0u);
    EXPECT_EQ(EPGDB_EventRecord(0), nullptr);
    dword length = 7;
    EXPECT_STREQ(EPGDB_GetEventText(4, &length), "");
    EXPECT_EQ(length, 0u);
  }

  void ExpectNothingLoaded15(uint64_t channel) {
    EPGDB_SelectChannel7(channel);
    EXPECT_EQ(EPGDB_EventDBLoad7(), 0);
    EXPECT_EQ(EPGDB_NrOfTotalEvents7(), 0u);
    EXPECT_EQ(EPGDB_EventRecord7(0), nullptr);
    EXPECT_STREQ(EPGDB_GetEventText7(0, nullptr), "");
  }
};

const char kEvents[] =
    "events = [\n"
    "  Event(0x00c000010001000a, D(2024, 3, 5, 20, 15), 45, b'Evening News', b'Headlines', b'The news.',\n"
    "        eventid=0x12345, content=0x41, timezone=60),\n"
    "  Event(0x00c000010001000a, D(2024, 3, 5, 23, 50), 130, b'N' * 300, b'', b'x' * 9000, eventid=7,\n"
    "        content=0x14, timezone=120),\n"
    "  Event(0x00c000010001000a, D(2024, 3, 6, 6, 0), 30, b'\\x05Caf\\xe9', b'D\\x00\\x01', b'', eventid=8,\n"
    "        timezone=-300),\n"
    "]\n";

TEST_F(SmartEPGReader, VersionTextsChooseTheLayout) {
  EXPECT_EQ(SmartEPGLayoutOfVersion("V6.3"), SE_LAYOUT_13);
  EXPECT_EQ(SmartEPGLayoutOfVersion("V6"), SE_LAYOUT_13);
  EXPECT_EQ(SmartEPGLayoutOfVersion("V7.0"), SE_LAYOUT_15);
  EXPECT_EQ(SmartEPGLayoutOfVersion("V12.1"), SE_LAYOUT_15);
  EXPECT_EQ(SmartEPGLayoutOfVersion("7.0"), SE_LAYOUT_15);
  EXPECT_EQ(SmartEPGLayoutOfVersion(""), SE_LAYOUT_15);
  EXPECT_EQ(SmartEPGLayoutOfVersion(nullptr), SE_LAYOUT_15);
  int major = 0, minor = 0;
  EXPECT_EQ(SmartEPGParseVersion("V6.3 beta", &major, &minor), 2);
  EXPECT_EQ(major, 6);
  EXPECT_EQ(minor, 3);
  EXPECT_EQ(SmartEPGParseVersion("V8.x", &major, &minor), 1);
  EXPECT_EQ(major, 8);
  EXPECT_EQ(SmartEPGParseVersion(" V8.1", &major, &minor), 0);
}

// A TAP file as the firmware's task table names it: an ELF32 image with the TAP's ID and
// version sections, written by Python from the ELF layout.
const char kTapFile[] =
    "def tap(version, ident=0x8E0A424E):\n"
    "    names = b'\\0._tap_id\\0._tap_program_version\\0.shstrtab\\0'\n"
    "    data = [(1, struct.pack('<I', ident)), (10, version.ljust(64, b'\\0')), (32, names)]\n"
    "    body, offsets = b'', []\n"
    "    for _, d in data:\n"
    "        offsets.append(52 + len(body))\n"
    "        body += d\n"
    "    shoff = 52 + len(body)\n"
    "    header = b'\\x7fELF' + bytes([1, 1, 1]) + bytes(9) + struct.pack('<HHIIIIIHHHHHH', 3, 8, 1, 0, 0, shoff,\n"
    "                                                                   0, 52, 0, 0, 40, 4, 3)\n"
    "    sections = bytes(40) + b''.join(struct.pack('<IIIIIIIIII', n, 1, 0, 0, o, len(d), 0, 0, 1, 0)\n"
    "                                    for (n, d), o in zip(data, offsets))\n"
    "    return header + body + sections\n";

TEST_F(SmartEPGReader, RunningSmartEPGAndItsLayout) {
  gSEStatus = 0;
  gSEVersion = -1;
  EXPECT_EQ(findSmartEPGVersion(), SE_LAYOUT_NOT_RUNNING);
  EXPECT_EQ(gSEStatus, 0);
  EXPECT_EQ(settleSmartEPG(), 0);
  EXPECT_EQ(gSEStatus, 2);   // not running: the PVR source serves

  int slot = emu::AttachLinkedTap(SMARTEPG_TAP_ID, "/ProgramFiles", TAP_EventHandler);
  ASSERT_GT(slot, 0);
  ASSERT_TRUE(emu::SetTaskFileName(slot, "/mnt/hd/ProgramFiles/SmartEPG.tap"));
  for (auto versionCase : {std::make_pair("V6.3", SE_LAYOUT_13), std::make_pair("V7.0", SE_LAYOUT_15),
                           std::make_pair("beta", SE_LAYOUT_15)}) {
    Generate(std::string(kTapFile) + "fx.write(root, 'mnt/hd/ProgramFiles/SmartEPG.tap', tap(b'" +
             versionCase.first + "'))\n");
    gSEStatus = 0;
    EXPECT_EQ(findSmartEPGVersion(), versionCase.second) << versionCase.first;
    EXPECT_EQ(gSEStatus, 1);
    gSEStatus = 0;
    gSEVersion = -1;
    EXPECT_EQ(settleSmartEPG(), versionCase.second);
    EXPECT_EQ(gSEVersion, versionCase.second);
  }
  // Another TAP's ID is not SmartEPG.
  Generate(std::string(kTapFile) + "fx.write(root, 'mnt/hd/ProgramFiles/SmartEPG.tap', tap(b'V6.3', 0x1234))\n");
  gSEStatus = 0;
  EXPECT_EQ(findSmartEPGVersion(), SE_LAYOUT_NOT_RUNNING);
  gSEStatus = 0;
  gSEVersion = -1;
}

TEST_F(SmartEPGReader, Layout13RecordsAndTexts) {
  json expected = Generate(std::string(kEvents) + "fx.write_se_v13(root, events)\nprint(json.dumps(expect(events)))\n");
  EXPECT_FALSE(EPGDB_EventDBExists() == 0);
  ExpectLayout13(expected);
  // The texts are read where the reference says, also after other reads; the TAP's
  // folder is kept.
  SmartEPGRecord r;
  SmartEPGParseRecord(EPGDB_EventRecord(0), &r);
  EXPECT_STREQ(EPGDB_GetEventText(r.nameRef, nullptr), "Evening News");
  char folder[64];
  HDD_TAP_GetCurrentDir(folder, sizeof folder);
  EXPECT_STREQ(folder, "/ProgramFiles/Settings/Orvane");
  // Destroyed, a lookup loads again.
  EPGDB_EventDBDestroy();
  EXPECT_EQ(EPGDB_EventRecord(0), nullptr);
  EXPECT_EQ(EPGDB_NrOfTotalEvents(), 3u);
}

TEST_F(SmartEPGReader, Layout15OneChannelFile) {
  json expected = Generate(std::string(kEvents) +
                           "other = Event(0x00c0000200020014, D(2024, 3, 5, 21, 0), 60, b'Other', eventid=99)\n"
                           "fx.write_se_v15(root, events + [other])\n"
                           "print(json.dumps([expect(events), expect([other])]))\n");
  EVENTDBNAME7[0] = '\0';
  EXPECT_EQ(EPGDB_EventDB7Exists7(), 0);   // no channel selected, no shared text file
  EPGDB_SelectChannel7(0x00c000010001000aull);
  EXPECT_STREQ(EVENTDBNAME7, "00c000010001000a.eventdb");
  EXPECT_NE(EPGDB_EventDB7Exists7(), 0);
  ExpectLayout15(0x00c000010001000aull, expected[0]);
  ExpectLayout15(0x00c0000200020014ull, expected[1]);
  ExpectNothingLoaded15(0x00c0000300030014ull);   // no file for this channel
}

TEST_F(SmartEPGReader, CountsAreHeldToTheRecordsInTheFile) {
  // A count beyond the records, a file cut inside its second record.
  json expected = Generate(std::string(kEvents) +
                           "fx.write_se_v13(root, events, count=1000)\n"
                           "print(json.dumps(expect(events)))\n");
  ExpectLayout13(expected);
  expected = Generate(std::string(kEvents) +
                      "db, texts = fx.se_v13_files(events)\n"
                      "fx.write(root, fx.SE_FOLDER + '/Event.db', db[:20 + 120 + 60])\n"
                      "fx.write(root, fx.SE_FOLDER + '/EventExtDescr.db', texts)\n"
                      "print(json.dumps(expect(events[:1])))\n");
  ExpectLayout13(expected);
  // Layout 15: counts whose record bytes overflow 32 bits, or exceed the file. The texts
  // then lie beyond the file's end (they are placed by the header's count) and read empty.
  for (const char *count : {"0xFFFFFFFF", "0x0F0F0F10", "0x01E1E1E2"}) {
    json held = Generate(std::string(kEvents) +
                         "data = fx.se_v15_file(events, count=" + count + ")\n"
                         "fx.write(root, fx.SE_FOLDER + '/EPGDB/00c000010001000a.eventdb', data)\n"
                         "print(json.dumps((len(data) - 20) // 136))\n");
    EPGDB_SelectChannel7(0x00c000010001000aull);
    ASSERT_EQ(EPGDB_EventDBLoad7(), 1) << count;
    EXPECT_EQ(EPGDB_NrOfTotalEvents7(), held.get<dword>()) << count;
    SmartEPGRecord r;
    SmartEPGParseRecord(EPGDB_EventRecord7(0), &r);
    EXPECT_EQ(r.eventId, 0x12345u);
    EXPECT_STREQ(EPGDB_GetEventText7(r.nameRef, nullptr), "") << count;
  }
}

TEST_F(SmartEPGReader, MoreThan80000RecordsYieldTheFirst80000) {
  json info = Generate(
      "events = [Event(0x10, D(2024, 1, 1, 0, 0), 5, b'E%d' % i, eventid=i) for i in (0, 79999, 80000)]\n"
      "db, texts = fx.se_v13_files(events)\n"
      "records = db[20:20 + 120] + db[20:20 + 120] * 79998 + db[20 + 120:]\n"
      "fx.write(root, fx.SE_FOLDER + '/Event.db', fx.se_header(13, 80001) + records)\n"
      "fx.write(root, fx.SE_FOLDER + '/EventExtDescr.db', texts)\n"
      "print(json.dumps(len(records) // 120))\n");
  ASSERT_EQ(info.get<int>(), 80001);
  ASSERT_EQ(EPGDB_EventDBLoad(), 1);
  ASSERT_EQ(EPGDB_NrOfTotalEvents(), 80000u);
  SmartEPGRecord r;
  SmartEPGParseRecord(EPGDB_EventRecord(79999), &r);
  EXPECT_EQ(r.eventId, 79999u);
  EXPECT_STREQ(EPGDB_GetEventText(r.nameRef, nullptr), "E79999");
  EXPECT_EQ(EPGDB_EventRecord(80000), nullptr);
}

TEST_F(SmartEPGReader, HostileTextReferencesAndLengths) {
  // Length words of 0xFFFFFFFF and 0xFFFFFFFC (the old "length + 1" wraps), a reference
  // beyond the file, a reference whose length word is cut by the file's end, a zero length.
  json expected = Generate(
      "e = Event(0x10, D(2024, 1, 1, 0, 0), 5, b'Name', b'Description', b'Text')\n"
      "db, texts = fx.se_v13_files([e, e, e])\n"
      "texts = bytearray(texts) + b'Z' * 10000\n"
      "refs = [struct.unpack_from('<I', db, 20 + 120 * i + 20)[0] for i in range(3)]\n"
      "struct.pack_into('<I', texts, refs[0], 0xFFFFFFFF)\n"
      "struct.pack_into('<I', texts, refs[1], 0xFFFFFFFC)\n"
      "struct.pack_into('<I', texts, refs[2], 0)\n"
      "fx.write(root, fx.SE_FOLDER + '/Event.db', db)\n"
      "fx.write(root, fx.SE_FOLDER + '/EventExtDescr.db', bytes(texts))\n"
      "print(json.dumps({'refs': refs, 'size': len(texts),\n"
      "                  'first': texts[refs[0] + 4:][:" + std::to_string(SE_TEXT_MAX) + "].hex()}))\n");
  ASSERT_EQ(EPGDB_EventDBLoad(), 1);
  dword length = 0;
  const char *text = EPGDB_GetEventText(expected["refs"][0].get<dword>(), &length);
  EXPECT_EQ(length, (dword)SE_TEXT_MAX);
  EXPECT_EQ(ToHex(std::string(text, length)), expected["first"].get<std::string>());
  EXPECT_EQ(EPGDB_GetEventText(expected["refs"][1].get<dword>(), &length)[SE_TEXT_MAX], '\0');
  EXPECT_EQ(length, (dword)SE_TEXT_MAX);
  EXPECT_STREQ(EPGDB_GetEventText(expected["refs"][2].get<dword>(), &length), "");
  EXPECT_EQ(length, 0u);
  dword size = expected["size"].get<dword>();
  for (dword reference : {size, size - 2, size + 100, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(EPGDB_GetEventText(reference, &length), "") << reference;
    EXPECT_EQ(length, 0u);
  }
  // A text whose length claims more than the file holds ends with the file.
  EXPECT_STREQ(EPGDB_GetEventText(size - 6, &length), "ZZ");
}

TEST_F(SmartEPGReader, UnreadableDatabasesLoadNothing) {
  ExpectNothingLoaded13();   // no files at all
  EXPECT_EQ(EPGDB_EventDBExists(), 0);
  ExpectNothingLoaded15(0x10);

  const char *cases[] = {
      "fx.write(root, fx.SE_FOLDER + '/Event.db', b'EPG_EDX\\0' + fx.se_header(13, 1)[8:] + bytes(120))",
      "fx.write(root, fx.SE_FOLDER + '/Event.db', fx.se_header(15, 1) + bytes(120))",
      "fx.write(root, fx.SE_FOLDER + '/Event.db', fx.se_header(13, 1)[:12])",
      "fx.write(root, fx.SE_FOLDER + '/Event.db', b'')",
      "fx.write(root, fx.SE_FOLDER + '/Event.db', b'EPG_EDB\\1' + fx.se_header(13, 1)[8:] + bytes(120))",
  };
  for (const char *write : cases) {
    Generate(std::string(write) + "\nfx.write(root, fx.SE_FOLDER + '/EventExtDescr.db', b'TXT0')\n");
    ExpectNothingLoaded13();
  }
  // Records without their text file.
  Generate(std::string(kEvents) + "db, texts = fx.se_v13_files(events)\n"
                                  "import os\nos.remove(root + '/' + fx.SE_FOLDER + '/EventExtDescr.db')\n"
                                  "fx.write(root, fx.SE_FOLDER + '/Event.db', db)\n");
  ExpectNothingLoaded13();

  const char *cases15[] = {
      "fx.se_header(13, 1) + bytes(136)",
      "b'EPG_EDB\\0' + struct.pack('<I', 15)",
      "b'EPG_ED'",
  };
  for (const char *data : cases15) {
    Generate(std::string("fx.write(root, fx.SE_FOLDER + '/EPGDB/0000000000000010.eventdb', ") + data + ")\n");
    ExpectNothingLoaded15(0x10);
  }
  // An empty database is a database: it loads with no records.
  Generate("fx.write(root, fx.SE_FOLDER + '/EPGDB/0000000000000010.eventdb', fx.se_v15_file([]))\n");
  EPGDB_SelectChannel7(0x10);
  EXPECT_EQ(EPGDB_EventDBLoad7(), 1);
  EXPECT_EQ(EPGDB_NrOfTotalEvents7(), 0u);
  EXPECT_EQ(EPGDB_EventRecord7(0), nullptr);
}

}  // namespace
