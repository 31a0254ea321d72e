// "PVR.epg" written from encoder-built pools, read back by an independent Python reader and
// by skimlet itself; written whole or not at all, and never while a search reads it.
#include "webserver/epg/epg_dump.h"

#include <sys/stat.h>
#include <unistd.h>

#include "tests/unit/epg_pool_fixture.h"
#include "webserver/core/lifecycle.h"
#include "webserver/epg/apprentice_status.h"
#include "platform/pvr_epg_format.h"

namespace {

using nlohmann::json;

const char kPvrEpg[] = "/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg";

class EPGDump : public EPGPoolTest {
 protected:
  void SetUp() override {
    EPGPoolTest::SetUp();
    gEPGFirmware.satellitePosition = [](int satIndex, word *position) {
      if (satIndex == 1) *position = 0x00C0;
      else if (satIndex == 2) *position = 0x0D2;
      else return 0;
      return 1;
    };
  }
  void TearDown() override {
    ApprenticeStatusSet(APPRENTICE_IDLE);
    EPGPoolTest::TearDown();
  }

  // Checks the written file against the pool with the independent reader; returns the
  // mismatches found (empty when all agree).
  std::string CheckWithReader(const std::string &eventsCode) {
    std::string script =
        "import sys, json, datetime\n"
        "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\n"
        "from epg_pool import *\nimport pvr_epg\n"
        "D = datetime.datetime\n"
        "root = sys.stdin.read().strip()\n" +
        eventsCode +
        "\nimage = open(root + '/pool.bin', 'rb').read()\n"
        "manifest = json.load(open(root + '/manifest.json'))\n"
        "records, size = pvr_epg.read(open(root + '/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg', 'rb').read())\n"
        "positions = {1: 0xC0, 2: 0xD2}\n"
        "problems = []\n"
        "order = manifest['order']\n"
        "if len(records) != len(order): problems.append('count %d' % len(records))\n"
        "if size != 80: problems.append('structure size %d' % size)\n"
        "for r, i in zip(records, order):\n"
        "    e = events[i]\n"
        "    at = manifest['addresses'][i] - manifest['base']\n"
        "    if r['event'] != image[at:at + 80]: problems.append('event bytes %d' % i)\n"
        "    if r['logoid'] != pvr_epg.logo_id(positions.get(e.satindex, 0), e.networkid, e.tsid, e.serviceid):\n"
        "        problems.append('logo %d %x' % (i, r['logoid']))\n"
        "    start, end, offset = e.local('Europe/Berlin')\n"
        "    end_offset = int(e.end.replace(tzinfo=datetime.timezone.utc).astimezone(\n"
        "        zoneinfo.ZoneInfo('Europe/Berlin')).utcoffset().total_seconds() // 60)\n"
        "    if (r['start'], r['start_offset'], r['end'], r['end_offset']) != (packed(start), offset, packed(end), end_offset):\n"
        "        problems.append('times %d' % i)\n"
        "    if (r['name'], r['description'], r['text']) != (e.name, e.description, e.text):\n"
        "        problems.append('texts %d' % i)\n"
        "print(' '.join(problems) or 'agree')\n";
    return RunPython(script, root_ + "\n");
  }

  void SaveManifest(const json &built, const std::vector<int> &order) {
    json manifest = built["manifest"];
    manifest["order"] = order;
    WriteFile("/manifest.json", manifest.dump());
  }
};

const char kEvents[] =
    "events = [\n"
    "  PoolEvent(D(2024, 3, 31, 0, 30), 45, b'Evening Show', b'Headlines', b'The news in full.', eventid=0x1234,\n"
    "            networkid=1, tsid=0x8002, serviceid=3, satindex=1, parental=11, lang=b'deu', citid=-5,\n"
    "            content=0x20, sourceflag=1, unknown14=0xBEEF, icechannel=77, unknown15=bytes([1, 2, 3, 4, 5, 6]),\n"
    "            datastatus=2, runningstatus=4),\n"
    "  PoolEvent(D(2024, 10, 27, 0, 50), 130, b'\\x05Caf\\xe9 Show', b'', b'', eventid=2, networkid=2, tsid=0x0401,\n"
    "            serviceid=0x10, satindex=2, content=0x41),\n"
    "  PoolEvent(D(2024, 7, 5, 18, 0), 600, b'Long Show', b'Short', b'x' * 9000, eventid=3, networkid=9, tsid=9,\n"
    "            serviceid=9, satindex=7),\n"
    "  PoolEvent(D(2024, 7, 5, 20, 0), 30, b'Show', b'', b'', eventid=4, networkid=9, tsid=9, serviceid=9,\n"
    "            satindex=1),\n"
    "]\n";

TEST_F(EPGDump, IndependentReaderAgrees) {
  json built = Build(std::string(kEvents) + "pool = build_pool(events, pool_order=[2, 0, 3, 1])\n");
  SaveManifest(built, {2, 0, 3, 1});
  EXPECT_EQ(dumpEPG2File(), 4);
  EXPECT_EQ(CheckWithReader(kEvents), "agree\n");
  EXPECT_FALSE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg.tmp"));
}

TEST_F(EPGDump, SkimletReadsTheDump) {
  json built = Build(std::string(kEvents));
  ASSERT_EQ(dumpEPG2File(), 4);
  std::string script =
      "import sys, os, subprocess, json\n"
      "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/integration')\n"
      "import skimlet_fixtures as fx\n"
      "root = sys.stdin.read().strip()\n"
      "os.environ['SKIMLET'] = '" ORVANE_SKIMLET_COMMAND "'\n"
      "fx.write_dumps(root)\n"
      "status, console, records = fx.search_file(root, 'pvr', [fx.definition_lines('Shows', [('T', '*show*', 50)])])\n"
      "out = [{'name': r['name'].decode('utf-8'), 'start': r['starttime'], 'end': r['endtime'], 'tz': r['timezone'],\n"
      "        'channel': '%016x' % r['channel'], 'eventid': r['eventid'], 'duration': r['duration'],\n"
      "        'content': r['contentidentifier'], 'citid': r['citid'], 'text': len(r['text']),\n"
      "        'description': r['description'].decode('utf-8')} for r in records or []]\n"
      "print(json.dumps({'status': status, 'records': out, 'console': console}))\n";
  std::string output = RunPython(script, root_ + "\n");
  json result = json::parse(output, nullptr, false);
  ASSERT_FALSE(result.is_discarded()) << output;
  EXPECT_EQ(result["status"], 0) << result["console"];
  const json &records = result["records"];
  ASSERT_EQ(records.size(), 4u) << result["console"];
  const json &x = built["expected"];
  const char *channels[] = {"ffffffff80020003", "00d2000204010010", "0000000900090009", "00c0000900090009"};
  const char *names[] = {"Evening Show", "Caf\xc3\xa9 Show", "Long Show", "Show"};
  for (int i = 0; i < 4; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(records[i]["name"], names[i]);
    EXPECT_EQ(records[i]["eventid"], x[i]["eventid"]);
    EXPECT_EQ(records[i]["start"], x[i]["start"]);
    EXPECT_EQ(records[i]["end"], x[i]["end"]);
    EXPECT_EQ(records[i]["tz"], x[i]["timezone"]);
    EXPECT_EQ(records[i]["duration"], x[i]["duration"]);
    EXPECT_EQ(records[i]["channel"], channels[i]);
    EXPECT_EQ(records[i]["content"], x[i]["content"]);
    EXPECT_EQ(records[i]["citid"], x[i]["citid"]);
  }
  EXPECT_EQ(records[0]["description"], "Headlines");
  EXPECT_EQ(records[2]["text"], 8191);
}

TEST_F(EPGDump, NoPoolGivesTheTrailerAlone) {
  gEPGFirmware.eventPool = nullptr;
  EXPECT_EQ(dumpEPG2File(), 0);
  EXPECT_EQ(ToHex(ReadFile(kPvrEpg)), "ffffffff00000000");
  Build("events = []\n");
  EXPECT_EQ(dumpEPG2File(), 0);
  EXPECT_EQ(ToHex(ReadFile(kPvrEpg)), "ffffffff00000000");
}

TEST_F(EPGDump, ACyclicPoolIsWrittenOnce) {
  json built = Build("events = [PoolEvent(D(2024, 1, 1, 0, i), 5, b'E%d' % i, eventid=i) for i in range(3)]\n");
  const json &a = built["manifest"]["addresses"];
  Patch(a[2].get<dword>() + FW_EVT_POOL_NEXT, a[0].get<dword>());
  int count = dumpEPG2File();
  EXPECT_EQ(count, (int)(view_.size / PVR_EVT_SIZE));
  std::string data = ReadFile(kPvrEpg);
  ASSERT_GE(data.size(), 8u);
  EXPECT_EQ((unsigned char)data[data.size() - 4], count);
}

TEST_F(EPGDump, NotRewrittenWhileASearchRuns) {
  Build(std::string(kEvents));
  WriteFile(kPvrEpg, "previous");
  for (int status : {APPRENTICE_STARTING, APPRENTICE_RUNNING}) {
    ApprenticeStatusSet(status);
    EXPECT_EQ(dumpEPG2File(), EPG_DUMP_BUSY);
    EXPECT_EQ(ReadFile(kPvrEpg), "previous");
  }
  ApprenticeStatusSet(APPRENTICE_FINISHED);
  EXPECT_EQ(dumpEPG2File(), 4);
  EXPECT_NE(ReadFile(kPvrEpg), "previous");
}

TEST_F(EPGDump, AFailedWriteLeavesNoFileBehind) {
  Build(std::string(kEvents));
  WriteFile(kPvrEpg, "previous");
  std::string temp = Host("/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg.tmp");
  // The disk fills up while writing.
  ASSERT_EQ(symlink("/dev/full", temp.c_str()), 0);
  EXPECT_EQ(dumpEPG2File(), EPG_DUMP_FAILED);
  EXPECT_FALSE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg.tmp"));
  EXPECT_EQ(ReadFile(kPvrEpg), "previous");
  // The temporary file cannot be created.
  ASSERT_EQ(mkdir(temp.c_str(), 0755), 0);
  EXPECT_EQ(dumpEPG2File(), EPG_DUMP_FAILED);
  EXPECT_EQ(ReadFile(kPvrEpg), "previous");
  rmdir(temp.c_str());
  // The file cannot be put in place.
  unlink(Host(kPvrEpg).c_str());
  WriteFile(std::string(kPvrEpg) + "/keep", "x");
  EXPECT_EQ(dumpEPG2File(), EPG_DUMP_FAILED);
  EXPECT_FALSE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg.tmp"));
}

}  // namespace
