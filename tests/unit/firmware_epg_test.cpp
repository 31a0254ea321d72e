// Decoding the firmware's EPG memory: the 80-byte event structure field by field, its texts,
// 32-bit pointers resolved within the pool, and the list walks with their end marks, on pool
// images written by the independent Python encoder.
#include "platform/firmware_epg.h"

#include "tests/unit/epg_pool_fixture.h"

namespace {

using nlohmann::json;

class FirmwareEPG : public EPGPoolTest {
 protected:
  // Event IDs in walk order.
  std::vector<int> Walk(dword head, int link, dword *structureSize = nullptr) {
    EPGListWalk walk;
    EPGWalkBegin(&walk, &view_, head, link);
    FirmwareEvent e;
    std::vector<int> ids;
    while (EPGWalkNext(&walk, &e)) ids.push_back(e.eventId);
    if (structureSize) *structureSize = EPGWalkStructureSize(&walk);
    return ids;
  }
};

const char kEvents[] =
    "events = [\n"
    "  PoolEvent(D(2024, 3, 5, 19, 15), 45, b'Evening News', b'Headlines', b'The news in full.', eventid=0x1234,\n"
    "            networkid=1, tsid=0x8002, serviceid=3, satindex=4, parental=11, lang=b'deu', citid=-5,\n"
    "            content=0x20, sourceflag=1, unknown14=0xBEEF, icechannel=77, unknown15=bytes([1, 2, 3, 4, 5, 6]),\n"
    "            datastatus=2, runningstatus=4),\n"
    "  PoolEvent(D(2024, 3, 5, 20, 0), 150, b'\\x05Caf\\xe9', b'', b'', eventid=2, networkid=1, tsid=0x8002,\n"
    "            serviceid=3),\n"
    "  PoolEvent(D(2024, 3, 5, 18, 0), 600, b'Long', b'Short', b'x' * 9000, eventid=3, networkid=9, tsid=9,\n"
    "            serviceid=9, datastatus=3, runningstatus=7),\n"
    "]\n";

TEST_F(FirmwareEPG, EveryFieldAtItsOffset) {
  json built = Build(std::string(kEvents) + "pool = build_pool(events, base=0x20000000)\n");
  const json &addresses = built["manifest"]["addresses"];
  for (size_t i = 0; i < addresses.size(); i++) {
    const json &x = built["expected"][i];
    FirmwareEvent e;
    ASSERT_TRUE(FirmwareEventDecode(&view_, addresses[i].get<dword>(), &e));
    EXPECT_EQ(e.address, addresses[i].get<dword>());
    EXPECT_EQ(e.eventId, x["eventid"].get<int>());
    EXPECT_EQ(e.startUtc, x["start_utc"].get<dword>());
    EXPECT_EQ(e.endUtc, x["end_utc"].get<dword>());
    EXPECT_EQ(PvrEventDuration(e.status), x["duration"].get<int>());
    EXPECT_EQ(PvrEventDataStatus(e.status), x["datastatus"].get<int>());
    EXPECT_EQ(PvrEventRunningStatus(e.status), x["runningstatus"].get<int>());
    EXPECT_EQ(e.networkId, x["networkid"].get<int>());
    EXPECT_EQ(e.tsid, x["tsid"].get<int>());
    EXPECT_EQ(e.serviceId, x["serviceid"].get<int>());
    EXPECT_EQ(e.satIndex, x["satindex"].get<int>());
    EXPECT_EQ(e.parental, x["parental"].get<int>());
    EXPECT_EQ(std::string(e.lang), x["lang"].get<std::string>());
    EXPECT_EQ((int32_t)e.citid, x["citid"].get<int>());
    EXPECT_EQ(e.content, x["content"].get<int>());
    EXPECT_EQ(e.sourceflag, x["sourceflag"].get<int>());
    EXPECT_EQ(e.unknown14, x["unknown14"].get<int>());
    EXPECT_EQ(e.icechannel, x["icechannel"].get<int>());
    EXPECT_EQ(ToHex(std::string((const char *)e.unknown15, 6)), x["unknown15"].get<std::string>());
    FirmwareEventTexts t;
    FirmwareEventGetTexts(&view_, &e, &t);
    EXPECT_EQ(ToHex(std::string((const char *)t.name, t.nameLength)), x["name"].get<std::string>());
    EXPECT_EQ(ToHex(std::string((const char *)t.description, t.descriptionLength)),
              x["description"].get<std::string>());
    EXPECT_EQ(ToHex(std::string((const char *)t.text, t.textLength)), x["text"].get<std::string>());
  }
}

TEST_F(FirmwareEPG, PointersResolveOnlyInsideThePool) {
  Build(std::string(kEvents));
  dword base = view_.address, size = view_.size;
  EXPECT_EQ(EPGPoolAt(&view_, base, size), view_.bytes);
  EXPECT_EQ(EPGPoolAt(&view_, base + size - 4, 4), view_.bytes + size - 4);
  EXPECT_EQ(EPGPoolAt(&view_, base + size, 0), view_.bytes + size);
  EXPECT_EQ(EPGPoolAt(&view_, base + size - 3, 4), nullptr);
  EXPECT_EQ(EPGPoolAt(&view_, base - 1, 1), nullptr);
  EXPECT_EQ(EPGPoolAt(&view_, base, size + 1), nullptr);
  EXPECT_EQ(EPGPoolAt(&view_, 0xFFFFFFF0u, 0x20), nullptr);
  EXPECT_EQ(EPGPoolAt(&view_, base + 8, 0xFFFFFFFFu), nullptr);
  EPGPoolView empty = {};
  EXPECT_EQ(EPGPoolAt(&empty, 0, 0), nullptr);
  FirmwareEvent e;
  EXPECT_FALSE(FirmwareEventDecode(&view_, base + size - PVR_EVT_SIZE + 1, &e));
  EXPECT_FALSE(FirmwareEventDecode(&view_, 0, &e));
}

TEST_F(FirmwareEPG, ListsEndAtTheirMarkAtNullAndAfterACycle) {
  json built = Build(std::string(kEvents) + "pool = build_pool(events, pool_order=[2, 0, 1])\n");
  dword structure = 0;
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT, &structure), (std::vector<int>{3, 0x1234, 2}));
  EXPECT_EQ(structure, (dword)PVR_EVT_SIZE);
  // Each service's list, newest first; a service list ends at its own head.
  dword service = built["manifest"]["services"][0][3].get<dword>();
  EXPECT_EQ(Walk(service, FW_EVT_SERVICE_NEXT), (std::vector<int>{2, 0x1234}));

  std::vector<dword> a;
  for (const json &x : built["manifest"]["addresses"]) a.push_back(x.get<dword>());
  Patch(a[1] + FW_EVT_POOL_NEXT, 0);                 // a null link ends the pool list
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT), (std::vector<int>{3, 0x1234, 2}));
  Patch(a[1] + FW_EVT_POOL_NEXT, a[2]);              // a cycle back to the first event
  std::vector<int> cyclic = Walk(head_, FW_EVT_POOL_NEXT);
  EXPECT_EQ(cyclic.size(), (size_t)(view_.size / PVR_EVT_SIZE));
  Patch(a[1] + FW_EVT_POOL_NEXT, a[1]);              // an event linking to itself
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT).size(), (size_t)(view_.size / PVR_EVT_SIZE));
  Patch(a[1] + FW_EVT_POOL_NEXT, view_.address + view_.size - 40);   // an event cut by the pool's end
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT), (std::vector<int>{3, 0x1234, 2}));
  Patch(head_, 0x7FFFFFF0);                          // a head outside the pool
  EXPECT_TRUE(Walk(head_, FW_EVT_POOL_NEXT).empty());
  EXPECT_TRUE(Walk(0, FW_EVT_POOL_NEXT).empty());
  EXPECT_TRUE(Walk(view_.address + view_.size, FW_EVT_POOL_NEXT).empty());
}

TEST_F(FirmwareEPG, StructureSizeIsMeasuredWhenTwoEventsAreSeen) {
  Build("events = [PoolEvent(D(2024, 1, 1, 0, 0), 5, b'A', eventid=1)]\n");
  dword structure = 0;
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT, &structure).size(), 1u);
  EXPECT_EQ(structure, 0xFFFFFFFFu);
  Build("events = [PoolEvent(D(2024, 1, 1, 0, i), 5, b'A', eventid=i) for i in range(6)]\n"
        "pool = build_pool(events, pool_order=[0, 2, 4, 1, 3, 5])\n");
  EXPECT_EQ(Walk(head_, FW_EVT_POOL_NEXT, &structure), (std::vector<int>{0, 2, 4, 1, 3, 5}));
  EXPECT_EQ(structure, (dword)PVR_EVT_SIZE);
}

TEST_F(FirmwareEPG, TextsOutsideThePoolReadEmpty) {
  json built = Build(std::string(kEvents) + "pool = build_pool(events, spare=0)\n");
  std::vector<dword> a;
  for (const json &x : built["manifest"]["addresses"]) a.push_back(x.get<dword>());
  FirmwareEvent e;
  FirmwareEventTexts t;
  // An extended text longer than the pool holds, an extended-text pointer outside it.
  ASSERT_TRUE(FirmwareEventDecode(&view_, a[2], &e));
  e.extTextLength = 0xFFFF;
  FirmwareEventGetTexts(&view_, &e, &t);
  EXPECT_EQ(t.text, nullptr);
  EXPECT_EQ(t.textLength, 0u);
  EXPECT_EQ(t.nameLength, 4u);
  e.extText = 0x00000010;
  e.extTextLength = 4;
  FirmwareEventGetTexts(&view_, &e, &t);
  EXPECT_EQ(t.textLength, 0u);
  // A text block whose name runs past the pool, one without a terminating zero.
  e.textBlock = view_.address + view_.size - 2;
  FirmwareEventGetTexts(&view_, &e, &t);
  EXPECT_EQ(t.nameLength, 0u);
  EXPECT_EQ(t.descriptionLength, 0u);
  e.nameLength = 1;
  Patch(view_.address + view_.size - 4, 0x41414141);
  FirmwareEventGetTexts(&view_, &e, &t);
  EXPECT_EQ(t.nameLength, 1u);
  EXPECT_EQ(t.descriptionLength, 1u);   // runs to the pool's end, no further
  e.textBlock = 0xFFFFFFFF;
  e.nameLength = 200;
  FirmwareEventGetTexts(&view_, &e, &t);
  EXPECT_EQ(t.name, nullptr);
  EXPECT_EQ(t.description, nullptr);
}

}  // namespace
