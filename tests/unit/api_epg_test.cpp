// The EPG events answer from both sources: a pool of the independent Python encoder and
// SmartEPG databases of the skimlet generators; each answer is parsed as JSON.
#include "webserver/epg/api_epg.h"

#include <set>

#include "emulator/emu_faults.h"

#include "tests/unit/epg_pool_fixture.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"
#include "webserver/epg/smartepg_reader.h"

namespace {

using nlohmann::json;

class APIEPG : public EPGPoolTest {
 protected:
  void SetUp() override {
    EPGPoolTest::SetUp();
    loadParental();
    loadGenre();
    gEPGSource = 0;
    gSEStatus = 0;
    gSEVersion = -1;
    channels_[7] = EPGServiceKey{1, 1, 2, 3};
    gEPGFirmware.channelLogoId = [](int type, int number) -> uint64_t {
      return type == 0 && number == 7 ? 0x00c0000100020003ull : 0;
    };
    gEPGFirmware.serviceOfLogoId = [](uint64_t logo, int *type, int *number) {
      if (logo != 0x00c0000100020003ull) return 0;
      *type = 0;
      *number = 7;
      return 1;
    };
  }
  void TearDown() override {
    gSEStatus = 0;
    gSEVersion = -1;
    gEPGSource = 0;
    EPGPoolTest::TearDown();
  }

  nlohmann::json Ask(const std::string &params) { return EPGPoolTest::Ask(APIEPGGet, params); }

  static std::vector<int> Ids(const json &answer) {
    std::vector<int> ids;
    if (answer.contains("event")) {
      for (const json &e : answer["event"]) ids.push_back(e["eventid"].get<int>());
    }
    return ids;
  }
};

// Two channels over the spring change, in a pool in no time order.
const char kPool[] =
    "random.seed(3)\n"
    "events = []\n"
    "for i in range(40):\n"
    "    s = D(2024, 3, 30, 12, 0) + datetime.timedelta(minutes=90 * i)\n"
    "    events.append(PoolEvent(s, 90, b'Show %d' % i, b'About \"%d\"' % i, b'Text\\\\%d' % i, eventid=100 + i,\n"
    "                            networkid=1, tsid=2, serviceid=3, satindex=1, content=0x41, parental=11))\n"
    "    events.append(PoolEvent(s, 45, b'Other %d' % i, eventid=1000 + i, networkid=1, tsid=2, serviceid=4,\n"
    "                            satindex=1))\n"
    "order = list(range(len(events)))\n"
    "random.shuffle(order)\n"
    "pool = build_pool(events, pool_order=order)\n";

TEST_F(APIEPG, AllPvrEventsWithoutParameters) {
  json built = Build(kPool);
  json a = Ask("");
  EXPECT_EQ(a["count"], 80);
  EXPECT_EQ(a["error"], 0);
  EXPECT_EQ(a["content"], "epg_events");
  EXPECT_EQ(a["requested_starttime"], "0000/00/00 00:00:00");
  EXPECT_EQ(a["requested_endtime"], "0000/00/00 00:00:00");
  EXPECT_EQ(a["requested_epgsource"], "none");
  EXPECT_EQ(a["epgsource"], "pvr");
  EXPECT_EQ(a["requested_logoid"], "0000000000000000");
  EXPECT_EQ(a["requested_chtype"], 0);
  EXPECT_EQ(a["requested_chnum"], 0);
  ASSERT_EQ(a["event"].size(), 80u);
  EXPECT_EQ(raw_.rfind("{\"count\":80,\r\n\"error\":0,\r\n", 0), 0u);
  // The first event of the pool, in full.
  const json &e = a["event"][0];
  int id = e["eventid"].get<int>();
  json x;
  for (const json &candidate : built["expected"]) {
    if (candidate["eventid"] == id) x = candidate;
  }
  ASSERT_FALSE(x.is_null());
  EXPECT_EQ(e["timezone"], x["timezone"]);
  EXPECT_EQ(e["duration"], x["duration"]);
  EXPECT_EQ(e["svctype"], -1);
  EXPECT_EQ(e["lang"], "eng");
}

TEST_F(APIEPG, ChannelAndTimeWindow) {
  json built = Build(kPool);
  std::string window = RunPython(
      "import sys, json, datetime\n"
      "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\n"
      "from epg_pool import packed, unpacked\n"
      "x = json.load(sys.stdin)\n"
      "a, b = packed(datetime.datetime(2024, 3, 31, 2, 0)), packed(datetime.datetime(2024, 3, 31, 9, 0))\n"
      "keep = lambda e: e['end'] >= a and e['start'] <= b\n"
      "print(json.dumps({'both': sorted(e['eventid'] for e in x if keep(e) and e['eventid'] < 1000),\n"
      "                  'open': sorted(e['eventid'] for e in x if e['end'] >= a and e['eventid'] < 1000),\n"
      "                  'first': [unpacked(e['start']).strftime('%Y/%m/%d %H:%M:00') for e in x if e['eventid'] == 110]}))\n",
      built["expected"].dump());
  json w = json::parse(window);
  json a = Ask("chtype=0&chnum=7&starttime=2024%2F03%2F31+02%3A00%3A00&endtime=2024/03/31 09:00:00");
  EXPECT_EQ(a["requested_starttime"], "2024/03/31 02:00:00");
  EXPECT_EQ(a["requested_endtime"], "2024/03/31 09:00:00");
  EXPECT_EQ(a["requested_logoid"], "00c0000100020003");
  EXPECT_EQ(a["requested_chnum"], 7);
  std::vector<int> ids = Ids(a);
  EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), w["both"].get<std::set<int>>());
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));   // the channel's list, reversed
  EXPECT_EQ(a["count"], ids.size());
  // A start alone keeps every event that ends at or after it.
  a = Ask("chtype=0&chnum=7&starttime=2024/03/31 02:00:00");
  ids = Ids(a);
  EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), w["open"].get<std::set<int>>());
  EXPECT_EQ(a["requested_endtime"], "0000/00/00 00:00:00");
  // The record of one event, found by its ID and its text.
  a = Ask("eventid=110");
  ASSERT_EQ(Ids(a), std::vector<int>{110});
  EXPECT_EQ(a["event"][0]["starttime_local"], w["first"][0]);
  EXPECT_EQ(a["event"][0]["name"], "Show 10");
  EXPECT_EQ(a["event"][0]["description"], "About \"10\"");
  EXPECT_EQ(a["event"][0]["text"], "Text\\10");
  EXPECT_EQ(a["event"][0]["genre_text"], "Comedy");
  EXPECT_EQ(a["event"][0]["parental_text"], "PG");
  a = Ask("text=other 3");
  ids = Ids(a);
  EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), (std::set<int>{1003, 1030, 1031, 1032, 1033, 1034, 1035, 1036,
                                                                  1037, 1038, 1039}));
  // "chtype" without "chnum" filters no channel; nothing matching ends without "event".
  EXPECT_EQ(Ask("chtype=0")["count"], 80);
  a = Ask("eventid=5");
  EXPECT_EQ(a["count"], 0);
  EXPECT_FALSE(a.contains("event"));
  EXPECT_NE(raw_.find("\"requested_chnum\":0\r\n}\r\n"), std::string::npos);
}

TEST_F(APIEPG, SourceTextIsEscapedAndBounded) {
  Build(kPool);
  json a = Ask("epgsource=%22quoted%22%5C" + std::string(300, 'x') + "&eventid=100");
  std::string echoed = a["requested_epgsource"].get<std::string>();
  EXPECT_EQ(echoed.substr(0, 10), "\"quoted\"\\x");
  EXPECT_EQ(echoed.size(), 127u);
  EXPECT_EQ(a["epgsource"], "pvr");
  // "default" selects the PVR even when SmartEPG is configured; SmartEPG not running too.
  gEPGSource = 1;
  a = Ask("epgsource=default&eventid=100");
  EXPECT_EQ(a["epgsource"], "pvr");
  EXPECT_EQ(a["count"], 1);
  a = Ask("eventid=100");
  EXPECT_EQ(a["epgsource"], "pvr");
  EXPECT_EQ(gSEStatus, 2);
  EXPECT_EQ(gSEVersion, -1);
}

TEST_F(APIEPG, AnAnswerCutShortByMemorySaysSo) {
  Build(kPool);
  // The answer's growth fails at some point: the records that fitted are sent, counted
  // truly, and the answer says that it is not all.
  bool cut = false;
  for (unsigned nth = 5; nth <= 9; nth++) {   // after the parameters, the cache and the first reservation
    emu::FailAllocation(nth);
    json a = Ask("");
    emu::FailAllocation(0);
    ASSERT_TRUE(a.is_object()) << nth;
    EXPECT_EQ(a["count"], Ids(a).size()) << nth;
    EXPECT_EQ(a["error"], a["count"] == 80 ? 0 : 1) << nth;
    cut |= a["count"] > 0 && a["count"] < 80;
  }
  EXPECT_TRUE(cut);
  EXPECT_EQ(Ask("")["error"], 0);
}

const char kSmartEPGEvents[] =
    "import sys\nsys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/integration')\n"
    "import skimlet_fixtures as fx\n"
    "root = image_path.rsplit('/', 1)[0]\n"
    "CH = 0x00c0000100020003\n"
    "se = [fx.Event(CH, D(2024, 3, 5, 20, 15) + datetime.timedelta(hours=2 * i), 120, b'SE %d' % i, b'Desc',\n"
    "               b'y' * 9000 if i == 2 else b'', eventid=0x10000 + i, content=0x14, timezone=60)\n"
    "      for i in range(6)]\n"
    "se.append(fx.Event(0x10, D(2024, 3, 5, 20, 15), 30, b'Elsewhere', eventid=77))\n"
    "events = []\n";

TEST_F(APIEPG, SmartEPGLayout15) {
  Build(std::string(kSmartEPGEvents) + "fx.write_se_v15(root, se)\n");
  gSEStatus = 1;
  gSEVersion = SE_LAYOUT_15;
  json a = Ask("epgsource=smartepg&chtype=0&chnum=7&starttime=2024/03/05 22:15:00&endtime=2024/03/06 00:15:00");
  EXPECT_EQ(a["epgsource"], "smartepg");
  EXPECT_EQ(a["requested_epgsource"], "smartepg");
  EXPECT_EQ(a["error"], 0);
  EXPECT_EQ(Ids(a), (std::vector<int>{0, 1, 2}));   // low 16 bits of the event ID
  const json &e = a["event"][2];
  EXPECT_EQ(e["starttime_local"], "2024/03/06 00:15:00");
  EXPECT_EQ(e["endtime_local"], "2024/03/06 02:15:00");
  EXPECT_EQ(e["timezone"], 60);
  EXPECT_EQ(e["datastatus"], 9);
  EXPECT_EQ(e["lang"], "???");
  EXPECT_EQ(e["svctype"], 0);
  EXPECT_EQ(e["svcnum"], 7);
  EXPECT_EQ(e["tsid"], 2);
  EXPECT_EQ(e["contentidentifier"], 0x41);
  EXPECT_EQ(e["textlength"], 8193);
  EXPECT_EQ(e["text"].get<std::string>(), std::string(8193, 'y'));
  // A channel without a file: an unreadable database answers an error with count 0.
  a = Ask("epgsource=smartepg&chtype=0&chnum=8");
  EXPECT_EQ(a["error"], 1);
  EXPECT_EQ(a["count"], 0);
  EXPECT_EQ(a["epgsource"], "smartepg");
}

TEST_F(APIEPG, SmartEPGLayout13) {
  Build(std::string(kSmartEPGEvents) + "fx.write_se_v13(root, se)\n");
  gSEStatus = 1;
  gSEVersion = SE_LAYOUT_13;
  json a = Ask("source=smartepg&endtime=2024/03/05 21:00:00");
  EXPECT_EQ(Ids(a), (std::vector<int>{0, 77}));
  EXPECT_EQ(a["event"][1]["svctype"], -1);   // a channel the PVR does not have
  EXPECT_EQ(a["event"][1]["name"], "Elsewhere");
  a = Ask("source=smartepg&text=se 4");
  EXPECT_EQ(Ids(a), (std::vector<int>{4}));
  // A damaged database: error, count 0.
  WriteFile("/mnt/hd/ProgramFiles/Settings/SmartEPG_TMS/Event.db", "EPG_EDB");
  a = Ask("source=smartepg");
  EXPECT_EQ(a["error"], 1);
  EXPECT_EQ(a["count"], 0);
  EXPECT_FALSE(a.contains("event"));
}

}  // namespace
