// Firmware service and tuning tables: the decoders and encoders against the tables that the
// independent Python encoder (tests/oracles/pvr_tables.py) writes from a world, for the
// system types 5, 6 and 7, both favourites variants and every timer layout; and the
// bounds: hostile counts, offsets and sizes.
#include "platform/firmware_tables.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/world_tables_oracle.h"

namespace {

using json = nlohmann::json;

EncodedWorld Encode(const json &world, bool interleave = false) { return EncodeWorld(world, interleave); }

std::vector<byte> Bytes(const std::string &hex) {
  std::string b = FromHex(hex);
  return std::vector<byte>(b.begin(), b.end());
}

std::vector<byte> Span(const byte *p, size_t n) { return std::vector<byte>(p, p + n); }

// ---------------------------------------------------------------------------------------
// Worlds

json Transponder5(int i) {
  return {{"frequency", 10700 + 37 * i}, {"symbol_rate", 22000 + i}, {"polarisation", i & 1},
          {"modulation", i % 4}, {"mod_system", (i >> 1) & 1}, {"fec", (i * 5) % 16},
          {"pilot", (i >> 2) & 1}, {"tsid", i == 2 ? 0x8001 : 0x0401 + i}, {"onid", 0x13E + i},
          {"clock_sync", (i >> 1) & 1}, {"unused1", i % 8}, {"unused2", (15 - i) % 16},
          {"unused3", 0xA0 + i}, {"unused4", 0x7FFF - i}};
}

json Transponder6(int i) {
  return {{"channel_number", 28 + i}, {"bandwidth", 7 + (i & 1)}, {"frequency", 529500 + 7000 * i},
          {"tsid", i == 1 ? 0xFFFF : 0x201 + i}, {"lphp", i & 1}, {"onid", 0x3201},
          {"network_id", 0x3000 + i}, {"unused1", 0x11 * i}, {"unused2", 0xF0 - i}};
}

json Transponder7(int i) {
  return {{"frequency", 0xFFFFFF - i * 8000}, {"symbol_rate", 6900 - i}, {"tsid", 0x8000 + i},
          {"onid", 0x85}, {"modulation", i % 5}, {"unused1", 0x5A + i}};
}

json Transponder(int systemType, int i) {
  return systemType == 5 ? Transponder5(i) : systemType == 6 ? Transponder6(i) : Transponder7(i);
}

json Lnb(int i) {
  return {{"lnb_supply", 1}, {"unused1", i & 1}, {"diseqc10", 5 + i}, {"unused2", 7 - i},
          {"diseqc12", 0xC0 + i}, {"universal_lnb", 1}, {"switch22", i & 1},
          {"low_band", i ? 16383 : 9750}, {"hb_frq", 10600 + i}, {"diseqc12_flags", "a1b2c3"},
          {"unused3", 0x3F - i}, {"loop_through", 1 - (i & 1)}, {"unused4", i & 1},
          {"diseqc11", 0x44 + i}, {"unused5", "0102030405"}};
}

json Service(int i, int sat, int tp) {
  json s = {{"name", "Channel " + std::to_string(i)}, {"provider", i % 3}, {"lcn", 100 + i},
            {"service_id", 0x1000 + i}, {"pmt_pid", 0x100 + i}, {"pcr_pid", 0x1FFE - i},
            {"video_pid", 0x200 + i}, {"audio_pid", 0x300 + i}, {"video_stream_type", 0x1B},
            {"audio_stream_type", 0x8000 + i}, {"satellite", sat}, {"transponder", tp},
            {"tuner", i % 4}, {"scrambled", (i & 1) != 0}, {"locked", (i & 2) != 0},
            {"skip", (i & 4) != 0}, {"deleted", (i & 8) != 0}, {"name_lock", (i & 16) != 0},
            {"flags2", (0x7FFF - i) & 0x7FFF}, {"unknown2", "00ff10203040"}};
  return s;
}

// A world of a system type with a few satellites, transponders and services.
json BaseWorld(int systemType) {
  json world = {{"format", 1}, {"system_type", systemType}, {"favourites_variant", 9424},
                {"timer_entry_size", 200}};
  json providers = json::array({"Northwind Media", "Lumi\u00e8re Groupe",
                                "Provider Name Is 21ch"});  // 21 characters: 20 are taken
  world["providers"] = providers;
  json sats = json::array();
  int satCount = systemType == 5 ? 3 : 1;
  for (int s = 0; s < satCount; s++) {
    json sat = {{"name", s == 1 ? "SixteenCharsName" : "Sat " + std::to_string(s)},
                {"position", s == 2 ? 3300 : 130 + 62 * s}, {"unused1", 0xBEEF},
                {"lnb", json::array({Lnb(0), Lnb(1)})},
                {"unknown1", "000102030405060708090a0b0c0d0e0f101112131415"},
                {"unused2", "f0e0d0c0b0a09080"}};
    json tps = json::array();
    for (int t = 0; t < 3 + s; t++) tps.push_back(Transponder(systemType, t + 4 * s));
    sat["transponders"] = tps;
    sats.push_back(sat);
  }
  world["satellites"] = sats;
  json tv = json::array();
  for (int i = 0; i < 20; i++) tv.push_back(Service(i, systemType == 5 ? i % 3 : 0, i % 3));
  json radio = json::array({Service(40, 0, 1), Service(41, 0, 2)});
  world["services"] = {{"tv", tv}, {"radio", radio}};
  world["favourites"] = {{"selected", nullptr}, {"groups", json::array()}};
  world["timers"] = json::array();
  return world;
}

// ---------------------------------------------------------------------------------------
// Services

void ExpectService(const ServiceRecord &r, const json &s) {
  EXPECT_EQ(r.satIndex, s["satellite"].get<int>());
  EXPECT_EQ(r.videoStreamType, s["video_stream_type"].get<int>());
  EXPECT_EQ(r.transponderIndex, s["transponder"].get<int>());
  EXPECT_EQ(r.tuner, s["tuner"].get<int>());
  EXPECT_EQ(r.flagCAS, s["scrambled"].get<bool>() ? 1 : 0);
  EXPECT_EQ(r.flagLock, s["locked"].get<bool>() ? 1 : 0);
  EXPECT_EQ(r.flagSkip, s["skip"].get<bool>() ? 1 : 0);
  EXPECT_EQ(r.flagDelete, s["deleted"].get<bool>() ? 1 : 0);
  EXPECT_EQ(r.nameLock, s["name_lock"].get<bool>() ? 1 : 0);
  EXPECT_EQ(r.flags2, s["flags2"].get<int>());
  EXPECT_EQ(r.serviceId, s["service_id"].get<int>());
  EXPECT_EQ(r.pmtPid, s["pmt_pid"].get<int>());
  EXPECT_EQ(r.pcrPid, s["pcr_pid"].get<int>());
  EXPECT_EQ(r.videoPid, s["video_pid"].get<int>());
  EXPECT_EQ(r.audioPid, s["audio_pid"].get<int>());
  EXPECT_EQ(r.lcn, s["lcn"].get<int>());
  EXPECT_EQ(r.audioStreamType, s["audio_stream_type"].get<int>());
  EXPECT_EQ(Span(r.unknown2, 6), Bytes(s["unknown2"]));
}

TEST(FirmwareTables, ServicesOfEverySystemTypeDecodeFieldByField) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    json world = BaseWorld(systemType);
    EncodedWorld e = Encode(world);
    for (int type = 0; type < 2; type++) {
      const json &list = world["services"][type == 0 ? "tv" : "radio"];
      for (size_t i = 0; i < list.size(); i++) {
        ServiceRecord r;
        ASSERT_EQ(FlashServiceGetInfo(e.tables, type, (int)i, &r), 1);
        ExpectService(r, list[i]);
        EXPECT_EQ(std::string(r.serviceName), list[i]["name"].get<std::string>());
        static const char *providers[] = {"Northwind Media", "Lumi\xe8re Groupe", "Provider Name Is 21c"};
        EXPECT_STREQ(r.providerName, providers[list[i]["provider"].get<int>()]);
      }
      ServiceRecord r;
      memset(&r, 0x5A, sizeof r);
      EXPECT_EQ(FlashServiceGetInfo(e.tables, type, (int)list.size(), &r), 0);
      EXPECT_EQ(r.serviceId, 0);   // cleared even when nothing is found
      EXPECT_EQ(FlashServiceGetInfo(e.tables, type, -1, &r), 0);
    }
    ServiceRecord r;
    EXPECT_EQ(FlashServiceGetInfo(e.tables, 2, 0, &r), 0);
    e.tables.systemType = 4;
    EXPECT_EQ(FlashServiceGetInfo(e.tables, 0, 0, &r), 0);
  }
}

TEST(FirmwareTables, ServiceNamesAndProvidersStayInsideTheirBlocks) {
  json world = BaseWorld(5);
  json &tv = world["services"]["tv"];
  tv[0]["name"] = "Caf\u00e9 Lumi\u00e8re";                        // no selector: Latin-1
  tv[1]["name"] = "\u039a\u03b1\u03bd\u03ac\u03bb\u03b9";           // Greek, selector 0x03
  tv[1]["charset"] = "iso8859-7";
  tv[2]["name"] = "\u00dcn\u00efcode";                              // UTF-8, selector 0x15
  tv[2]["charset"] = "utf-8";
  tv[3]["name"] = "Exactly 23 characters!!";
  tv[4]["name"] = "A name much longer than the field holds";
  tv[5]["provider"] = 256;                                          // no provider
  tv[6]["provider"] = 0xFFFF;
  tv[7]["provider"] = nullptr;
  tv[8]["name_offset"] = 0x7FFFFFF0;                                // beyond the name block
  tv[9]["provider"] = 2;                                            // 21 bytes, no terminator
  EncodedWorld e = Encode(world);

  ServiceRecord r;
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 0, &r), 1);
  EXPECT_STREQ(r.serviceName, "Caf\xe9 Lumi\xe8re");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 1, &r), 1);
  EXPECT_STREQ(r.serviceName, "\x03\xca\xe1\xed\xdc\xeb\xe9");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 2, &r), 1);
  EXPECT_STREQ(r.serviceName, "\x15\xc3\x9cn\xc3\xaf" "code");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 3, &r), 1);
  EXPECT_STREQ(r.serviceName, "Exactly 23 characters!!");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 4, &r), 1);
  EXPECT_STREQ(r.serviceName, "A name much longer than");
  for (int i : {5, 6, 7}) {
    ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, i, &r), 1);
    EXPECT_STREQ(r.providerName, "") << i;
  }
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 8, &r), 1);
  EXPECT_STREQ(r.serviceName, "");
  EXPECT_EQ(r.lcn, 108);
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 9, &r), 1);
  EXPECT_STREQ(r.providerName, "Provider Name Is 21c");

  // A name at the very end of a block without its terminator, and a provider block cut
  // inside an entry: the copies stop at the block's end.
  std::vector<byte> &names = e.blocks["svcName"];
  names.resize(names.size() - 3);   // the last name, "Channel 41", loses "41" and its end
  e.blocks["providerInfo"].resize(21 + 5);
  e.Bind();
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 1, 1, &r), 1);
  EXPECT_STREQ(r.serviceName, "Channel ");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 1, &r), 1);   // provider 1: 5 bytes left
  EXPECT_STREQ(r.providerName, "Lumi\xe8");
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 2, &r), 1);   // provider 2: past the block
  EXPECT_STREQ(r.providerName, "");
  e.blocks["svcName"].clear();
  e.blocks["providerInfo"].clear();
  e.Bind();
  ASSERT_EQ(FlashServiceGetInfo(e.tables, 0, 0, &r), 1);
  EXPECT_STREQ(r.serviceName, "");
}

// ---------------------------------------------------------------------------------------
// Satellites and transponders

void ExpectLnb(const LNBSettings &l, const json &j) {
  EXPECT_EQ(l.lnbSupply, j["lnb_supply"].get<int>());
  EXPECT_EQ(l.unused1, j["unused1"].get<int>());
  EXPECT_EQ(l.diseqc10, j["diseqc10"].get<int>());
  EXPECT_EQ(l.unused2, j["unused2"].get<int>());
  EXPECT_EQ(l.diseqc12, j["diseqc12"].get<int>());
  EXPECT_EQ(l.universalLnb, j["universal_lnb"].get<int>());
  EXPECT_EQ(l.switch22, j["switch22"].get<int>());
  EXPECT_EQ(l.lowBand, j["low_band"].get<int>());
  EXPECT_EQ(l.hbFrq, j["hb_frq"].get<int>());
  EXPECT_EQ(Span(l.diseqc12Flags, 3), Bytes(j["diseqc12_flags"]));
  EXPECT_EQ(l.unused3, j["unused3"].get<int>());
  EXPECT_EQ(l.loopThrough, j["loop_through"].get<int>());
  EXPECT_EQ(l.unused4, j["unused4"].get<int>());
  EXPECT_EQ(l.diseqc11, j["diseqc11"].get<int>());
  EXPECT_EQ(Span(l.unused5, 5), Bytes(j["unused5"]));
}

void ExpectTransponder(int systemType, const TransponderRecord &r, const json &j, int satIndex) {
  auto get = [&](const char *key) { return j.value(key, 0); };
  EXPECT_EQ(r.satIndex, systemType == 7 ? 0 : satIndex);
  EXPECT_EQ(r.frequency, (dword)j["frequency"].get<long long>());
  EXPECT_EQ(r.symbolRate, get("symbol_rate"));
  EXPECT_EQ(r.channelNumber, get("channel_number"));
  EXPECT_EQ(r.bandwidth, get("bandwidth"));
  EXPECT_EQ(r.tsid, get("tsid"));
  EXPECT_EQ(r.onid, get("onid"));
  EXPECT_EQ(r.networkId, get("network_id"));
  EXPECT_EQ(r.pilot, get("pilot"));
  EXPECT_EQ(r.fec, get("fec"));
  EXPECT_EQ(r.modulation, get("modulation"));
  EXPECT_EQ(r.modSystem, get("mod_system"));
  EXPECT_EQ(r.polarisation, get("polarisation"));
  EXPECT_EQ(r.lphp, get("lphp"));
  EXPECT_EQ(r.clockSync, get("clock_sync"));
  EXPECT_EQ(r.unused1, get("unused1"));
  EXPECT_EQ(r.unused2, get("unused2"));
  EXPECT_EQ(r.unused3, get("unused3"));
  EXPECT_EQ(r.unused4, get("unused4"));
}

TEST(FirmwareTables, SatelliteModelSatellitesAndTheirTransponders) {
  json world = BaseWorld(5);
  for (bool interleave : {false, true}) {
    SCOPED_TRACE(interleave);
    EncodedWorld e = Encode(world, interleave);
    ASSERT_EQ(FlashSatTablesGetTotal(e.tables), 3);
    for (int s = 0; s < 3; s++) {
      const json &sat = world["satellites"][s];
      SatelliteRecord r;
      ASSERT_EQ(FlashSatTablesGetInfo(e.tables, s, &r), 1);
      EXPECT_EQ(r.transponderCount, (int)sat["transponders"].size());
      EXPECT_EQ(r.unused1, 0xBEEF);
      EXPECT_EQ(std::string(r.satName), sat["name"].get<std::string>());   // 16 without terminator
      ExpectLnb(r.lnb[0], sat["lnb"][0]);
      ExpectLnb(r.lnb[1], sat["lnb"][1]);
      EXPECT_EQ(Span(r.unknown1, 22), Bytes(sat["unknown1"]));
      EXPECT_EQ(r.satPosition, sat["position"].get<int>());
      EXPECT_EQ(Span(r.unused2, 8), Bytes(sat["unused2"]));
      ASSERT_EQ(FlashTransponderTablesGetTotal(e.tables, s), (int)sat["transponders"].size());
      for (size_t n = 0; n < sat["transponders"].size(); n++) {
        TransponderRecord tp;
        ASSERT_EQ(FlashTransponderTablesGetInfo(e.tables, s, (int)n, &tp), 1);
        ExpectTransponder(5, tp, sat["transponders"][n], s);
      }
      TransponderRecord tp;
      EXPECT_EQ(FlashTransponderTablesGetInfo(e.tables, s, (int)sat["transponders"].size(), &tp), 0);
    }
    SatelliteRecord r;
    EXPECT_EQ(FlashSatTablesGetInfo(e.tables, 3, &r), 0);
    EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 3), 0);
  }
}

TEST(FirmwareTables, SatelliteModelCountsAreClampedToTheTables) {
  json world = BaseWorld(5);
  world["satellites"][0]["transponder_count"] = 500;   // claims more than it has
  EncodedWorld e = Encode(world);
  SatelliteRecord r;
  ASSERT_EQ(FlashSatTablesGetInfo(e.tables, 0, &r), 1);
  EXPECT_EQ(r.transponderCount, 3);

  // The transponder table claims more entries than it holds: only those present are read.
  std::vector<byte> &tp = e.blocks["tpInfo"];
  tp[0] = 0xFF, tp[1] = 0xFF, tp[2] = 0xFF, tp[3] = 0x7F;
  tp.resize(4 + 16 * 4 + 7);   // four whole entries (satellite 0: 3, satellite 1: 1)
  e.Bind();
  EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 0), 3);
  EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 1), 1);
  ASSERT_EQ(FlashSatTablesGetInfo(e.tables, 1, &r), 1);
  EXPECT_EQ(r.transponderCount, 1);
  TransponderRecord t;
  EXPECT_EQ(FlashTransponderTablesGetInfo(e.tables, 1, 1, &t), 0);
  EXPECT_EQ(FlashTransponderTablesGetInfo(e.tables, 1, -1, &t), 0);

  // A satellite block without its empty end entry, cut inside the third entry.
  e.blocks["satInfo"].resize(84 * 2 + 40);
  e.Bind();
  EXPECT_EQ(FlashSatTablesGetTotal(e.tables), 2);
  e.blocks["tpInfo"].resize(3);
  e.Bind();
  EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 0), 0);
}

TEST(FirmwareTables, TerrestrialAndCableHaveOnePseudoSatellite) {
  for (int systemType : {6, 7}) {
    SCOPED_TRACE(systemType);
    json world = BaseWorld(systemType);
    world["satellites"][0]["name"] = "Sixteen Char Tx!";   // 15 are taken on type 6
    EncodedWorld e = Encode(world);
    ASSERT_EQ(FlashSatTablesGetTotal(e.tables), 1);
    SatelliteRecord r;
    ASSERT_EQ(FlashSatTablesGetInfo(e.tables, 0, &r), 1);
    EXPECT_STREQ(r.satName, systemType == 6 ? "Sixteen Char Tx" : "Cable");
    EXPECT_EQ(r.transponderCount, 3);
    EXPECT_EQ(r.satPosition, 0);
    EXPECT_EQ(r.lnb[0].lowBand, 0);
    EXPECT_EQ(FlashSatTablesGetInfo(e.tables, 1, &r), 0);
    EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 0), 3);
    EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 1), 0);
    for (int n = 0; n < 3; n++) {
      TransponderRecord tp;
      ASSERT_EQ(FlashTransponderTablesGetInfo(e.tables, 0, n, &tp), 1);
      ExpectTransponder(systemType, tp, world["satellites"][0]["transponders"][n], 0);
    }
    // A count beyond the table is clamped to the entries present.
    world["satellites"][0]["transponder_count"] = 40;
    e = Encode(world);
    EXPECT_EQ(FlashTransponderTablesGetTotal(e.tables, 0), 3);
    ASSERT_EQ(FlashSatTablesGetInfo(e.tables, 0, &r), 1);
    EXPECT_EQ(r.transponderCount, 3);
    TransponderRecord tp;
    EXPECT_EQ(FlashTransponderTablesGetInfo(e.tables, 0, 3, &tp), 0);
  }
}

// ---------------------------------------------------------------------------------------
// Favourites

json Groups(int count, int entries) {
  json groups = json::array();
  for (int g = 0; g < count; g++) {
    json services = json::array();
    int n = (g * 7 + 3) % (entries + 1);
    if (g == 0) n = entries;   // a full group
    for (int i = 0; i < n; i++) services.push_back({{"type", (i + g) & 1}, {"number", 0xFFFF - i * 13 - g}});
    groups.push_back({{"name", g == 1 ? "TwelveChars!" : "Group " + std::to_string(g)},
                      {"services", services}, {"extra", 0x80 + g}});
  }
  return groups;
}

void ExpectGroup(const FavouritesGroupRecord &r, const json &g) {
  EXPECT_EQ(std::string(r.groupName), g["name"].get<std::string>());
  ASSERT_EQ(r.svcCount, (int)g["services"].size());
  for (size_t i = 0; i < g["services"].size(); i++) {
    EXPECT_EQ(r.svcNum[i], g["services"][i]["number"].get<int>());
    EXPECT_EQ(r.svcType[i], g["services"][i]["type"].get<int>());
  }
  for (int i = r.svcCount; i < FAV_GROUP_ENTRIES_MAX; i++) EXPECT_EQ(r.svcNum[i] | r.svcType[i], 0);
  EXPECT_EQ(r.unused1, g["extra"].get<int>());
}

TEST(FirmwareTables, FavouritesOfBothVariantsReadAndWriteBack) {
  struct Variant { int size, groups, entries, used; };
  for (Variant v : {Variant{1644, 10, 50, 10}, Variant{9424, 30, 100, 7}}) {
    SCOPED_TRACE(v.size);
    json world = BaseWorld(5);
    world["favourites_variant"] = v.size;
    world["favourites"] = {{"selected", 1}, {"groups", Groups(v.used, v.entries)}};
    EncodedWorld e = Encode(world);
    int groups = 0, entries = 0;
    ASSERT_EQ(FlashFavoritesGetParameters(e.tables, &groups, &entries), 1);
    EXPECT_EQ(groups, v.groups);
    EXPECT_EQ(entries, v.entries);
    ASSERT_EQ(FlashFavoritesGetTotal(e.tables), v.used);
    std::vector<byte> original = e.blocks["favGrp"];
    for (int g = 0; g < v.used; g++) {
      FavouritesGroupRecord r;
      ASSERT_EQ(FlashFavoritesGetInfo(e.tables, g, &r), 1);
      ExpectGroup(r, world["favourites"]["groups"][g]);
      ASSERT_EQ(FlashFavoritesSetInfo(e.tables, g, r), 1);
    }
    EXPECT_EQ(e.blocks["favGrp"], original);   // written back unchanged

    FavouritesGroupRecord current;
    ASSERT_EQ(FlashFavoritesGetInfoCurrent(e.tables, &current), 1);
    EXPECT_STREQ(current.groupName, "TwelveChars!");
    char name[8];
    ASSERT_EQ(FlashFavoritesGetSelectedGroupName(e.tables, name, sizeof name), 1);
    EXPECT_STREQ(name, "TwelveC");

    // A changed group is written where the Python encoder writes it.
    json changed = world;
    json &group = changed["favourites"]["groups"][2];
    group["name"] = "Renamed";
    group["services"] = json::array({{{"type", 1}, {"number", 7}}, {{"type", 0}, {"number", 300}}});
    FavouritesGroupRecord r;
    ASSERT_EQ(FlashFavoritesGetInfo(e.tables, 2, &r), 1);
    memset(&r, 0, sizeof r);
    strcpy(r.groupName, "Renamed");
    r.svcCount = 2;
    r.svcType[0] = 1, r.svcNum[0] = 7, r.svcNum[1] = 300;
    r.unused1 = 0x82;
    ASSERT_EQ(FlashFavoritesSetInfo(e.tables, 2, r), 1);
    EXPECT_EQ(e.blocks["favGrp"], Encode(changed).blocks["favGrp"]);

    // More entries than the variant holds is refused and changes nothing.
    r.svcCount = (byte)(v.entries + 1);
    std::vector<byte> before = e.blocks["favGrp"];
    EXPECT_EQ(FlashFavoritesSetInfo(e.tables, 2, r), 0);
    EXPECT_EQ(FlashFavoritesSetInfo(e.tables, v.groups, r), 0);
    EXPECT_EQ(e.blocks["favGrp"], before);
    EXPECT_EQ(FlashFavoritesGetInfo(e.tables, -1, &r), 0);
    EXPECT_EQ(FlashFavoritesGetInfo(e.tables, v.groups, &r), 0);
  }
}

TEST(FirmwareTables, FavouritesCountsAndSelectionAreBounded) {
  json world = BaseWorld(5);
  world["favourites_variant"] = 1644;
  json groups = Groups(3, 50);
  groups[1]["count"] = 200;   // claims more entries than a group of 50 holds
  world["favourites"] = {{"selected", 2}, {"groups", groups}};
  EncodedWorld e = Encode(world);
  FavouritesGroupRecord r;
  ASSERT_EQ(FlashFavoritesGetInfo(e.tables, 1, &r), 1);
  EXPECT_EQ(r.svcCount, 50);

  // The selected group must be one in use; 255 selects none.
  for (int selected : {3, 29, 254, 255}) {
    e.blocks["applEepromAddr"][SETTINGS_FAV_GROUP] = (byte)selected;
    char name[16] = "stale";
    EXPECT_EQ(FlashFavoritesGetInfoCurrent(e.tables, &r), 0) << selected;
    EXPECT_EQ(FlashFavoritesGetSelectedGroupName(e.tables, name, sizeof name), 0);
    EXPECT_STREQ(name, "");
  }
  e.blocks["applEepromAddr"].resize(SETTINGS_FAV_GROUP);   // too short to hold the selection
  e.Bind();
  EXPECT_EQ(FlashFavoritesGetInfoCurrent(e.tables, &r), 0);

  // Every group in use: counting stops at the variant's ten groups.
  world["favourites"] = {{"selected", 9}, {"groups", Groups(10, 50)}};
  e = Encode(world);
  EXPECT_EQ(FlashFavoritesGetTotal(e.tables), 10);
  ASSERT_EQ(FlashFavoritesGetInfoCurrent(e.tables, &r), 1);
  EXPECT_STREQ(r.groupName, "Group 9");
}

class FirmwareTablesLog : public EmulatedPvr {};

TEST_F(FirmwareTablesLog, UnknownFavouritesVariantIsLoggedAndReadsNothing) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log", "");
  std::vector<byte> block(1000, 0x41);
  FirmwareTables t = {};
  t.systemType = 5;
  t.favourites = FirmwareBlock{block.data(), (dword)block.size()};
  int groups = 7, entries = 7;
  EXPECT_EQ(FlashFavoritesGetParameters(t, &groups, &entries), 0);
  EXPECT_EQ(groups, 0);
  EXPECT_EQ(entries, 0);
  EXPECT_EQ(FlashFavoritesGetTotal(t), 0);
  FavouritesGroupRecord r;
  EXPECT_EQ(FlashFavoritesGetInfo(t, 0, &r), 0);
  EXPECT_NE(ReadFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log")
                .find("FlashFavoritesGetParameters: unknown favorite structure variant (1000 bytes)"),
            std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Timers

json Timer(int systemType, int i, const std::string &fileName) {
  json tp = Transponder(systemType, i + 1);
  tp["sat_index"] = systemType == 7 ? 0 : 2 + i;
  if (systemType == 7) tp["frequency"] = 0xFEDCBA98u - i;   // a whole u32 in the timer
  return {{"service_type", i & 1}, {"service_number", 0xFFF0 + i}, {"start", "2024-02-29 23:59"},
          {"end", "2024-03-01 01:07"}, {"duration", 68 + i}, {"file_name", fileName},
          {"is_rec", 1}, {"name_set", 1 - i}, {"tuner", 4 - i}, {"rec_mode", 7 - i},
          {"demux_path", 2 + i}, {"manual_rec", 1}, {"unused1", 3 - i}, {"satellite", 9 + i},
          {"reservation_type", 5 + i}, {"unused2", 0xF - i}, {"service_id", 0xABCD + i},
          {"unused3", 0xEE}, {"pmt_pid", 0x1FFF - i}, {"unused4", 0x44}, {"epg_marker", 6},
          {"unused5", 0xFFFE}, {"unknown1", 0xDEADBEEF}, {"event_id1", 0x12345678 + i},
          {"event_id2", 0x87654321u}, {"icetv", 1}, {"unused8", "1112131415160418"},
          {"unused9", "a1a2a3a4a5a6a7a8a9aaabacad"}, {"transponder", tp},
          {"spare_bytes", std::string(400, 'c').replace(0, 4, i ? "0102" : "fffe")}};
}

void ExpectTimer(int systemType, dword size, const TimerTableRecord &r, const json &t, int i) {
  EXPECT_EQ(r.tunerIndex, 4 - i);
  EXPECT_EQ(r.recMode, 7 - i);
  EXPECT_EQ(r.demuxPath, 2 + i);
  EXPECT_EQ(r.manualRec, 1);
  EXPECT_EQ(r.unused1, 3 - i);
  EXPECT_EQ(r.satIndex, 9 + i);
  EXPECT_EQ(r.serviceType, i & 1);
  EXPECT_EQ(r.reservationType, 5 + i);
  EXPECT_EQ(r.unused2, 0xF - i);
  EXPECT_EQ(r.serviceId, 0xABCD + i);
  EXPECT_EQ(r.duration, 68 + i);
  EXPECT_EQ(r.unused3, 0xEE);
  // 2024-02-29 is MJD 60369; 2024-03-01 MJD 60370.
  EXPECT_EQ(r.startTime, (60369u << 16) | (23 << 8) | 59);
  EXPECT_EQ(r.endTime, (60370u << 16) | (1 << 8) | 7);
  EXPECT_EQ(r.pmtPid, 0x1FFF - i);
  EXPECT_EQ(r.isRec, 1);
  EXPECT_EQ(r.nameSet, 1 - i);
  EXPECT_EQ(r.unused4, 0x44);
  EXPECT_EQ(r.epgMarker, 6);
  EXPECT_EQ(r.unused5, 0xFFFE);
  EXPECT_EQ(r.unknown1, 0xDEADBEEFu);
  EXPECT_EQ(r.eventId1, 0x12345678u + i);
  EXPECT_EQ(r.eventId2, 0x87654321u);
  EXPECT_EQ(r.serviceIndex, 0xFFF0 + i);
  EXPECT_EQ(Span(r.unused8, 8), Bytes("1112131415160418"));
  EXPECT_EQ(r.unused8[TIMER_ANALOGUE_TYPE], 4);
  EXPECT_EQ(r.iceTV, 1);
  bool shortLayout = size == 200;
  EXPECT_EQ(Span(r.unused9, 13), Bytes(shortLayout ? "a1a2a3a4a50000000000000000" : "a1a2a3a4a5a6a7a8a9aaabacad"));
  const json &tp = t["transponder"];
  ExpectTransponder(systemType, r.transponder, tp, tp["sat_index"]);
}

TEST(FirmwareTables, TimersOfEveryLayoutDecodeAndEncode) {
  struct Layout { int systemType; dword size; };
  // 131 characters in Latin-1: the whole field, without terminator.
  std::string longName = "Caf\u00e9 Soir\u00e9e" + std::string(120, 'n');
  for (Layout l : {Layout{5, 200}, Layout{7, 200}, Layout{6, 200}, Layout{6, 360}, Layout{6, 208},
                   Layout{6, 500}}) {
    SCOPED_TRACE(std::to_string(l.systemType) + "/" + std::to_string(l.size));
    json world = BaseWorld(l.systemType);
    world["timer_entry_size"] = l.size;
    world["timers"] = json::array({Timer(l.systemType, 0, longName), Timer(l.systemType, 1, "Short.rec")});
    EncodedWorld e = Encode(world);
    ASSERT_EQ(FlashTimerStructSize(e.tables), (int)l.size);
    ASSERT_EQ(e.blocks["timer"].size(), 2 * l.size);
    std::vector<byte> original = e.blocks["timer"];
    for (int i = 0; i < 2; i++) {
      TimerTableRecord r;
      ASSERT_EQ(FlashTimerGetInfo(e.tables, i, &r), 1);
      ExpectTimer(l.systemType, l.size, r, world["timers"][i], i);
      ASSERT_EQ(FlashTimerSetInfo(e.tables, i, r), 1);
    }
    std::string fileName(reinterpret_cast<const char *>(&original[9]), 130);
    TimerTableRecord r;
    ASSERT_EQ(FlashTimerGetInfo(e.tables, 0, &r), 1);
    EXPECT_EQ(std::string(r.fileName), fileName);   // 130 bytes of the 131-byte field
    EXPECT_EQ(std::string(r.fileName).substr(0, 11), "Caf\xe9 Soir\xe9" "e");
    // Written back unchanged: every field at its place and the bytes no field covers kept
    // (the 131st file-name byte goes, as only 130 are read).
    original[9 + 130] = 0;
    EXPECT_EQ(e.blocks["timer"], original);

    // The fields an API update writes land where the Python encoder puts them.
    json changed = world;
    changed["timers"][1]["epg_marker"] = 2;
    changed["timers"][1]["event_id1"] = 77;
    changed["timers"][1]["event_id2"] = 0;
    changed["timers"][1]["unused8"] = "1112131415160218";
    changed["timers"][1]["tuner"] = 4;
    ASSERT_EQ(FlashTimerGetInfo(e.tables, 1, &r), 1);
    r.epgMarker = 2;
    r.eventId1 = 77;
    r.eventId2 = 0;
    r.unused8[TIMER_ANALOGUE_TYPE] = 2;
    r.tunerIndex = 4;
    ASSERT_EQ(FlashTimerSetInfo(e.tables, 1, r), 1);
    std::vector<byte> expected = Encode(changed).blocks["timer"];
    expected[9 + 130] = 0;
    EXPECT_EQ(e.blocks["timer"], expected);

    EXPECT_EQ(FlashTimerGetInfo(e.tables, 2, &r), 0);
    EXPECT_EQ(FlashTimerGetInfo(e.tables, -1, &r), 0);
    EXPECT_EQ(FlashTimerSetInfo(e.tables, 2, r), 0);
  }
}

TEST(FirmwareTables, TimerLayoutsThatWouldOverrunAreRefused) {
  std::vector<byte> block(2 * 400, 0xAB);
  FirmwareTables t = {};
  t.timers = FirmwareBlock{block.data(), (dword)block.size()};
  struct Layout { int systemType; dword size; };
  for (Layout l : {Layout{6, 207}, Layout{6, 204}, Layout{6, 184}, Layout{5, 360}, Layout{5, 199},
                   Layout{7, 208}, Layout{4, 200}, Layout{8, 200}}) {
    t.systemType = l.systemType;
    t.timerEntrySize = l.size;
    TimerTableRecord r = {};
    EXPECT_EQ(FlashTimerStructSize(t), 0) << l.systemType << "/" << l.size;
    EXPECT_EQ(FlashTimerGetInfo(t, 0, &r), 0);
    EXPECT_EQ(FlashTimerSetInfo(t, 0, r), 0);
  }
  EXPECT_EQ(block, std::vector<byte>(2 * 400, 0xAB));
  // A table shorter than one entry has no timers.
  t.systemType = 5;
  t.timerEntrySize = 200;
  t.timers.size = 199;
  TimerTableRecord r;
  EXPECT_EQ(FlashTimerGetInfo(t, 0, &r), 0);
}

TEST(FirmwareTables, SatelliteTimerEncoderClearsTheEntry) {
  // On satellite models the entry is cleared before the fields are written: unused9 keeps
  // only its first five bytes there.
  TimerTableRecord r = {};
  memset(r.unused9, 0x77, sizeof r.unused9);
  std::vector<byte> entry(200, 0xCC);
  ASSERT_EQ(EncodeTimerEntry(5, r, entry.data(), (dword)entry.size()), 1);
  std::vector<byte> expected(200, 0);
  for (int i = 179; i < 184; i++) expected[i] = 0x77;
  EXPECT_EQ(entry, expected);
}

}  // namespace
