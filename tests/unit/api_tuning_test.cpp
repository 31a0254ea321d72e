// The favourites, satellites and transponders API on emulated demo worlds (tuning data of
// Debian's dtv-scan-tables): member order, the current group, both favourites variants,
// LNB objects, transponders with their frequencies and symbol rates, and the edge cases.
#include "webserver/api/api_tuning.h"

#include <gtest/gtest.h>

#include "common/url_params.h"
#include "tests/unit/api_world_fixture.h"

namespace {

using ojson = nlohmann::ordered_json;

class APITuning : public APIWorld {
 protected:
  ojson Favourites() { return Answer([] { APIFavouritesGet(); }); }
  ojson Satellites(int action, const std::string &params) {
    return Answer([&] {
      gCommand.action = action;
      APISatGet(params.c_str());
    });
  }
};

TEST_F(APITuning, FavouritesOfBothVariants) {
  for (const char *variant : {"--favourites-variant 1644", "--favourites-variant 9424"}) {
    SCOPED_TRACE(variant);
    ojson world = Demo(5, variant);
    Load(world);
    ojson a = Favourites();
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"timestamp", "content", "totalgroups", "groupsize", "count",
                                                 "currentgroup", "currentgroup_hex", "groups"}));
    bool small = std::string(variant).find("1644") != std::string::npos;
    EXPECT_EQ(a["totalgroups"], small ? 10 : 30);
    EXPECT_EQ(a["groupsize"], small ? 50 : 100);
    const ojson &groups = world["favourites"]["groups"];
    ASSERT_EQ(a["count"], groups.size());
    ASSERT_EQ(a["groups"].size(), groups.size());
    EXPECT_EQ(a["currentgroup"], "News");
    EXPECT_EQ(a["currentgroup_hex"], "4e657773");
    for (size_t g = 0; g < groups.size(); g++) {
      const ojson &group = a["groups"][g];
      EXPECT_EQ(Keys(group), (std::vector<std::string>{"name", "name_hex", "count", "services"}));
      EXPECT_EQ(group["name"], groups[g]["name"]);
      ASSERT_EQ(group["count"], groups[g]["services"].size());
      for (size_t i = 0; i < groups[g]["services"].size(); i++) {
        const ojson &e = group["services"][i];
        EXPECT_EQ(Keys(e), (std::vector<std::string>{"svctype", "svcnum", "lcn", "logoid", "chname"}));
        const ojson &entry = groups[g]["services"][i];
        const ojson &svc = world["services"][entry["type"] == 0 ? "tv" : "radio"][entry["number"].get<int>()];
        EXPECT_EQ(e["chname"], svc["name"]);
        EXPECT_EQ(e["lcn"], svc["lcn"]);
      }
    }
    EXPECT_NE(raw_.find("\t[\r\n\t{\t\"name\":\"News\",\r\n"), std::string::npos);
    EXPECT_NE(raw_.find("\t\t[\r\n\t\t{\"svctype\":0,\r\n"), std::string::npos);
  }
  // No group in use and none selected.
  ojson world = Demo(5);
  world["favourites"] = {{"selected", nullptr}, {"groups", ojson::array()}};
  Load(world);
  ojson a = Favourites();
  EXPECT_EQ(a["count"], 0);
  EXPECT_EQ(a["currentgroup"], "");
  EXPECT_EQ(a["groups"].size(), 0u);
  EXPECT_NE(raw_.find("\t[\r\n\t\t]\r\n}"), std::string::npos);
}

TEST_F(APITuning, SatellitesWithTheirLnbs) {
  ojson world = Demo(5);
  Load(world);
  ojson a = Satellites(ACTION_GET, "satindex=2");
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"count", "content", "requested_satIndex", "satellites", "timestamp"}));
  EXPECT_EQ(a["content"], "sat_table");
  EXPECT_EQ(a["requested_satIndex"], 2);
  ASSERT_EQ(a["count"], world["satellites"].size());
  for (size_t s = 0; s < world["satellites"].size(); s++) {
    const ojson &sat = a["satellites"][s];
    EXPECT_EQ(Keys(sat), (std::vector<std::string>{"sat_index", "transponder_count", "unused1", "sat_name",
                                                   "sat_name_hex", "lnb", "unknown1", "sat_position", "unused2"}));
    EXPECT_EQ(sat["sat_name"], world["satellites"][s]["name"]);
    EXPECT_EQ(sat["sat_position"], world["satellites"][s]["position"]);
    EXPECT_EQ(sat["transponder_count"], world["satellites"][s]["transponders"].size());
    ASSERT_EQ(sat["lnb"].size(), 2u);
    EXPECT_EQ(sat["lnb"][0]["lnb_num"], 0);
    EXPECT_EQ(sat["lnb"][1]["lnb_num"], 1);
    EXPECT_EQ(sat["lnb"][0]["lowband"], 9750);
    EXPECT_EQ(sat["lnb"][0]["hbfrq"], 10600);
    EXPECT_EQ(sat["lnb"][0]["DiSEqC12Flags"], "0x000000");
    EXPECT_EQ(sat["unknown1"].get<std::string>().size(), 46u);
  }
}

TEST_F(APITuning, TranspondersOfEachSystemType) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    ojson world = Demo(systemType);
    Load(world);
    int s = systemType == 5 ? 1 : 0;
    ojson a = Satellites(ACTION_TRANSPONDERS, "sat=" + std::to_string(s));
    EXPECT_EQ(a["content"], "transponder_table");
    ASSERT_EQ(a["count"], 1);
    const ojson &sat = a["satellites"][0];
    EXPECT_EQ(sat["sat_index"], s);
    EXPECT_EQ(sat["sat_name"], systemType == 7 ? "Cable" : world["satellites"][s]["name"].get<std::string>());
    const ojson &expected = world["satellites"][s]["transponders"];
    ASSERT_EQ(sat["transponders"].size(), expected.size());
    for (size_t n = 0; n < expected.size(); n++) {
      const ojson &t = sat["transponders"][n];
      EXPECT_EQ(t["transponder_num"], n);
      EXPECT_EQ(t["frequency"], expected[n]["frequency"]);
      EXPECT_EQ(t["symbol_rate"], expected[n].value("symbol_rate", 0));
      EXPECT_EQ(t["TSID"], expected[n]["tsid"]);
      EXPECT_EQ(t["ONID"], expected[n]["onid"]);
      EXPECT_EQ(Keys(t).size(), 20u);
    }
    // All satellites with their transponders; an index beyond the table: one of zeros.
    a = Satellites(ACTION_TRANSPONDERS, "");
    EXPECT_EQ(a["count"], world["satellites"].size());
    EXPECT_EQ(a["requested_satIndex"], -1);
    a = Satellites(ACTION_TRANSPONDERS, "satindex=40");
    ASSERT_EQ(a["count"], 1);
    EXPECT_EQ(a["satellites"][0]["transponder_count"], 0);
    EXPECT_EQ(a["satellites"][0]["transponders"].size(), 0u);
    EXPECT_EQ(a["satellites"][0]["sat_name"], "");
  }
}

}  // namespace
