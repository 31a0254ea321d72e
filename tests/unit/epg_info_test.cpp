// The reader of the PVR's own EPG on pool images of the independent Python encoder: events
// in local time (checked with zoneinfo), texts converted and fitted, the channel's list in
// reverse list order, and filters that look at every event of a pool in no time order.
#include "webserver/epg/epg_info.h"

#include <set>

#include "tests/unit/epg_pool_fixture.h"
#include "webserver/epg/epg_filter.h"
#include "platform/epg_text_fit.h"

namespace {

using nlohmann::json;

EPGEvent gEvent;
EPGFilter gWindow;

int KeepInWindow(EPGEvent *event) { return EPGTimeWindowKeeps(&gWindow, event->starttime, event->endtime); }
int KeepFirstOnly(EPGEvent *) {
  EPGInfo_AbortLoad();
  return 1;
}

class EPGInfo : public EPGPoolTest {
 protected:
  std::vector<int> Collect() {
    std::vector<int> ids;
    int count = EPGInfo_FindFirst(&gEvent);
    for (int i = 0; i < count; i++) {
      ids.push_back(gEvent.eventid);
      EXPECT_EQ(EPGInfo_FindNext(&gEvent), i + 1 < count ? 1 : 0);
    }
    EXPECT_EQ(gEvent.eventid, 0);   // zeroed after the last
    return ids;
  }
};

// A week's worth of a channel around the spring change of 2024 (31 March, 01:00 UTC), in a
// pool in no time order, with a second channel.
const char kWeek[] =
    "random.seed(7)\n"
    "events = []\n"
    "start = D(2024, 3, 28, 0, 0)\n"
    "for i in range(60):\n"
    "    s = start + datetime.timedelta(minutes=150 * i)\n"
    "    events.append(PoolEvent(s, 150, b'Show %d' % i, b'About %d' % i, b'Text %d' % i, eventid=100 + i,\n"
    "                            networkid=1, tsid=2, serviceid=3, satindex=1, content=0x10 + i % 7))\n"
    "    events.append(PoolEvent(s + datetime.timedelta(minutes=15), 60, b'Other %d' % i, eventid=1000 + i,\n"
    "                            networkid=1, tsid=2, serviceid=4, satindex=1))\n"
    "order = list(range(len(events)))\n"
    "random.shuffle(order)\n"
    "pool = build_pool(events, pool_order=order)\n";

TEST_F(EPGInfo, EventsInLocalTimeWithTheirTexts) {
  json built = Build(
      "events = [\n"
      "  PoolEvent(D(2024, 3, 30, 23, 30), 120, b'\\x05Caf\\xe9', b'Le d\\xe9but', b'x' * 9000, eventid=1, citid=-7,\n"
      "            content=0x41, sourceflag=1, unknown14=5, icechannel=6, unknown15=b'ABCDEF', parental=12,\n"
      "            datastatus=1, runningstatus=3),\n"
      "  PoolEvent(D(2024, 10, 27, 0, 30), 90, b'Fall back', eventid=2),\n"
      "  PoolEvent(D(2024, 7, 1, 22, 0), 180, b'\\xe9' * 200, b'\\xe9' * 200, eventid=3),\n"
      "]\n");
  std::string names = RunPython(
      "print(b'\\x05Caf\\xe9'[1:].decode('iso8859-9'))\n"
      "print(b'Le d\\xe9but'.decode('iso8859-9'))\n"
      "t = (b'\\xe9' * 200).decode('iso8859-9').encode()\n"
      "print(t[:255].decode('utf-8', 'ignore'))\n",
      "");
  std::vector<std::string> expectedNames = SplitLines(names);
  ASSERT_EQ(expectedNames.size(), 3u);
  ASSERT_EQ(EPGInfo_FindFirst(&gEvent), 3);
  for (int i = 0; i < 3; i++) {
    const json &x = built["expected"][i];
    SCOPED_TRACE(i);
    EXPECT_EQ(gEvent.eventid, x["eventid"].get<int>());
    EXPECT_EQ(gEvent.starttime, x["start"].get<dword>());
    EXPECT_EQ(gEvent.endtime, x["end"].get<dword>());
    EXPECT_EQ(gEvent.timezone, x["timezone"].get<int>());
    EXPECT_EQ(gEvent.duration, x["duration"].get<int>());
    EXPECT_EQ(gEvent.svctype, -1);
    EXPECT_EQ(gEvent.svcnum, -1);
    EXPECT_EQ(gEvent.namelength, strlen(gEvent.name));
    EXPECT_EQ(gEvent.descriptionlength, strlen(gEvent.description));
    if (i == 0) {
      EXPECT_EQ(gEvent.name, expectedNames[0]);
      EXPECT_EQ(gEvent.description, expectedNames[1]);
      EXPECT_EQ(gEvent.textlength, 8192);
      EXPECT_EQ(std::string(gEvent.text), std::string(8192, 'x'));
      EXPECT_EQ(gEvent.citid, -7);
      EXPECT_EQ(gEvent.contentidentifier, 0x41);
      EXPECT_EQ(gEvent.sourceflag, 1);
      EXPECT_EQ(gEvent.unknown14, 5);
      EXPECT_EQ(gEvent.icechannel, 6);
      EXPECT_EQ(std::string((const char *)gEvent.unknown15, 6), "ABCDEF");
      EXPECT_EQ(gEvent.parental, 12);
      EXPECT_EQ(gEvent.datastatus, 1);
      EXPECT_EQ(gEvent.runningstatus, 3);
      EXPECT_STREQ(gEvent.lang, "eng");
    }
    if (i == 2) {   // 400 UTF-8 bytes cut to 254 at a character's boundary
      EXPECT_EQ(gEvent.name, expectedNames[2]);
      EXPECT_EQ(gEvent.namelength, 254);
      EXPECT_EQ(gEvent.description, expectedNames[2]);
    }
    EXPECT_EQ(EPGInfo_FindNext(&gEvent), i < 2 ? 1 : 0);
  }
}

TEST_F(EPGInfo, ServiceNumbersComeFromTheFirmware) {
  Build("events = [PoolEvent(D(2024, 1, 1, 0, 0), 5, b'A', eventid=1, satindex=2, networkid=3, tsid=4, serviceid=5)]\n");
  gEPGFirmware.serviceNumber = [](const EPGServiceKey *k, int *type, int *number) {
    if (k->satIndex != 2 || k->networkId != 3 || k->tsid != 4 || k->serviceId != 5) return 0;
    *type = 1;
    *number = 42;
    return 1;
  };
  ASSERT_EQ(EPGInfo_FindFirst(&gEvent), 1);
  EXPECT_EQ(gEvent.svctype, 1);
  EXPECT_EQ(gEvent.svcnum, 42);
}

TEST_F(EPGInfo, ChannelListInReverseListOrder) {
  json built = Build(kWeek);
  channels_[7] = EPGServiceKey{1, 1, 2, 3};
  EPGInfo_FilterReset();
  ASSERT_EQ(EPGInfo_FilterChannelByIndex(0, 7, 0), 1);
  std::vector<int> ids = Collect();
  ASSERT_EQ(ids.size(), 60u);
  for (int i = 0; i < 60; i++) EXPECT_EQ(ids[i], 100 + i);   // the list runs newest first
  // Without the channel filter: every event, in pool order.
  EPGInfo_FilterReset();
  ids = Collect();
  ASSERT_EQ(ids.size(), 120u);
  // A channel the PVR does not have, or a service without a list: nothing.
  EXPECT_EQ(EPGInfo_FilterChannelByIndex(1, 7, 0), 0);
  EXPECT_TRUE(Collect().empty());
  EPGServiceKey none = {1, 1, 2, 99};
  EPGInfo_FilterService(&none);
  EXPECT_TRUE(Collect().empty());
  EPGInfo_Free();
}

TEST_F(EPGInfo, TimeWindowsLookAtEveryEvent) {
  json built = Build(kWeek);
  // Windows in local time: the expectation takes the local times from zoneinfo.
  struct Window {
    const char *start, *end;
  } windows[] = {{"2024/03/31 01:00", "2024/03/31 06:00"}, {"2024/03/30 12:00", nullptr},
                 {nullptr, "2024/03/28 06:00"},           {"2024/04/01 00:00", "2024/04/01 00:00"},
                 {"2024/03/28 03:30", "2024/03/28 03:30"}};
  for (const Window &w : windows) {
    std::string script =
        "import sys, json, datetime\n"
        "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\n"
        "from epg_pool import packed\n"
        "def p(t): return packed(datetime.datetime.strptime(t, '%Y/%m/%d %H:%M')) if t != '-' else 0\n"
        "a, b = sys.stdin.read().split(',')\n"
        "print(json.dumps([p(a.strip()), p(b.strip())]))\n";
    json bounds = json::parse(RunPython(script, std::string(w.start ? w.start : "-") + "," + (w.end ? w.end : "-")));
    EPGFilterReset(&gWindow);
    EPGFilterSetTime(&gWindow, bounds[0].get<dword>(), bounds[1].get<dword>());
    std::set<int> expected;
    for (const json &x : built["expected"]) {
      dword s = x["start"].get<dword>(), e = x["end"].get<dword>();
      if (e >= bounds[0].get<dword>() && (bounds[1].get<dword>() == 0 || s <= bounds[1].get<dword>())) {
        expected.insert(x["eventid"].get<int>());
      }
    }
    EPGInfo_FilterReset();
    EPGInfo_FilterCallback(KeepInWindow);
    std::vector<int> ids = Collect();
    EXPECT_EQ(std::set<int>(ids.begin(), ids.end()), expected) << (w.start ? w.start : "-");
    EXPECT_EQ(ids.size(), expected.size());
    EXPECT_FALSE(expected.empty());
  }
}

TEST_F(EPGInfo, AbortStopsTheCollectionAndAMissingPoolFindsNothing) {
  Build(kWeek);
  EPGInfo_FilterReset();
  EPGInfo_FilterCallback(KeepFirstOnly);
  EXPECT_EQ(EPGInfo_FindFirst(&gEvent), 1);
  EPGInfo_Free();
  EXPECT_EQ(Collect().size(), 120u);   // the callback went with the filter
  gEPGFirmware.eventPool = nullptr;
  EXPECT_EQ(EPGInfo_FindFirst(&gEvent), 0);
  EXPECT_EQ(gEvent.eventid, 0);
}

TEST(EPGFilter, EveryRuleOnItsOwn) {
  static EPGEvent e;
  memset(&e, 0, sizeof e);
  e.eventid = 77;
  e.satindex = 1;
  e.networkid = 2;
  e.tsid = 3;
  e.serviceid = 4;
  e.starttime = 0xE0000A00;
  e.endtime = 0xE0000B00;
  snprintf(e.name, sizeof e.name, "Evening News");
  snprintf(e.description, sizeof e.description, "Weather");
  snprintf(e.text, sizeof e.text, "All about the Caf\xc3\xa9");
  EPGFilter f;
  EPGFilterReset(&f);
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 5));
  f.byService = true;
  f.service = EPGServiceKey{1, 2, 3, 4};
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 5));
  f.service.satIndex = 9;
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 5));
  EPGFilterReset(&f);
  f.byLogoId = true;
  f.logoId = 5;
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 5));
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 6));
  EPGFilterReset(&f);
  f.byEventId = true;
  f.eventId = 77;
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 0));
  f.eventId = 78;
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 0));
  EPGFilterReset(&f);
  for (const char *found : {"news", "WEATHER", "caf\xc3\xa9", "Evening News"}) {
    EPGFilterSetText(&f, found);
    EXPECT_TRUE(EPGFilterKeeps(&f, &e, 0)) << found;
  }
  EPGFilterSetText(&f, "Sport");
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 0));
  EPGFilterReset(&f);
  // The window: an event ending exactly at the start is kept; a lone start leaves the end open.
  EPGFilterSetTime(&f, 0xE0000B00, 0);
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 0));
  EPGFilterSetTime(&f, 0xE0000B01, 0);
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 0));
  EPGFilterSetTime(&f, 0, 0xE0000A00);
  EXPECT_TRUE(EPGFilterKeeps(&f, &e, 0));
  EPGFilterSetTime(&f, 0, 0xE00009FF);
  EXPECT_FALSE(EPGFilterKeeps(&f, &e, 0));
}

TEST(EPGFitText, CutsAtACharacterBoundary) {
  char out[8];
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcdef", 6), 6u);
  EXPECT_STREQ(out, "abcdef");
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcdefgh", 8), 7u);
  EXPECT_STREQ(out, "abcdefg");
  // A two-byte, a three-byte and a four-byte character across the cut after 7 bytes.
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcdef\xc3\xa9", 8), 6u);
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcde\xe2\x82\xac", 8), 5u);
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcd\xf0\x9f\x98\x80", 8), 4u);
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcd\xe2\x82\xac!", 8), 7u);   // ends exactly at the cut
  // Single-byte texts are cut where the field ends; a zero ends the text early.
  EXPECT_EQ(EPGFitText(out, sizeof out, "abcdef\xe9\xe9", 8), 7u);
  EXPECT_EQ(EPGFitText(out, sizeof out, "ab\0cdef", 7), 2u);
  EXPECT_EQ(EPGFitText(out, sizeof out, nullptr, 5), 0u);
  EXPECT_STREQ(out, "");
}

}  // namespace
