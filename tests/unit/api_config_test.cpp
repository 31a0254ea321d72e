// The configuration answer: every member in order from the model record, the firmware and
// the settings; no model record; the timer padding's three sources; escaped and bounded
// texts; the module list within the answer's limit with a true count.
#include "webserver/api/api_config.h"

#include <regex>

#include "platform/directory_stack.h"
#include "tests/unit/device_api_fixture.h"

namespace {

using nlohmann::ordered_json;

const char kDemoModels[] =
    "[(22010, 'TMS-2400 HD', 'TMS', 5, 2, 4, 0), (22570, 'TMS-3200 MPG', 'TMS', 5, 3, 2, 1),"
    " (32020, 'TMS-AV', 'AV', 6, 1, 1, 0)]";

class ConfigAnswer : public DeviceApiTest {
 protected:
  ordered_json Ask() { return DeviceApiTest::Ask(APIConfigGet); }
  void Module(const std::string &name) {
    MakeFolder(Host("/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/" + name));
  }
  static void MakeFolder(const std::string &path) { RunCommand("mkdir -p '" + path + "'"); }
};

TEST_F(ConfigAnswer, EveryMemberInOrderFromModelFirmwareAndSettings) {
  Models(kDemoModels);
  Profile(R"({"system_id": 22570, "tap_api_version": 4114, "utc_offset": 60, "time_mode": 3,
              "system_vars": {"1": 2, "21": 3, "22": 7}, "power_on_source": 305419896,
              "optional_symbols": ["_Z26Appl_ConvertToValidUTF8StrPhi"]})");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini", "logginglevel=1\r\nepgsource=1\r\n");
  Start();
  ordered_json a = Ask();
  const std::vector<std::string> order = {
      "content", "sysid", "device", "apptype", "systemtype", "bigendian", "remotetype", "maxrecstreams",
      "version", "recextension", "language_code", "utfpvr", "zel5ver", "blockfactor", "aupvr",
      "analogueinput", "utcoffset", "dst", "pre_padding", "post_padding", "hddmodel", "hddserial",
      "hddfirmware", "pvrname", "logginglevel", "epgsource", "module_count", "boot_reason", "timestamp"};
  EXPECT_EQ(Keys(a), order);
  EXPECT_EQ(TopLevelNames(), order);
  EXPECT_EQ(a["content"], "config");
  EXPECT_EQ(a["sysid"], 22570);
  EXPECT_EQ(a["device"], "TMS-3200 MPG");
  EXPECT_EQ(a["apptype"], "TMS");
  EXPECT_EQ(a["systemtype"], 5);
  EXPECT_EQ(a["bigendian"], 0);
  EXPECT_EQ(a["remotetype"], 3);
  EXPECT_EQ(a["maxrecstreams"], 2);
  EXPECT_EQ(a["version"], 4114);
  EXPECT_EQ(a["recextension"], ".mpg");
  EXPECT_EQ(a["blockfactor"], 9024);
  EXPECT_EQ(a["language_code"], "de");
  EXPECT_EQ(a["utfpvr"], 1);
  EXPECT_EQ(a["aupvr"], 0);
  EXPECT_EQ(a["zel5ver"], "2.20");
  EXPECT_EQ(a["analogueinput"], 0);
  EXPECT_EQ(a["utcoffset"], 120);   // the firmware's offset holds the daylight-saving hour
  EXPECT_EQ(a["dst"], 3);
  EXPECT_EQ(a["pre_padding"], 3);
  EXPECT_EQ(a["post_padding"], 7);
  EXPECT_EQ(a["hddmodel"], "");      // the kernel reports no disk
  EXPECT_EQ(a["pvrname"], "TMS-3200 MPG");
  EXPECT_EQ(a["logginglevel"], 1);
  EXPECT_EQ(a["epgsource"], "smartepg");
  EXPECT_EQ(a["module_count"], 0);
  EXPECT_FALSE(a.contains("modules"));
  EXPECT_EQ(a["boot_reason"], 0x5678);   // 16 bits of the power-on source
  EXPECT_TRUE(std::regex_match(a["timestamp"].get<std::string>(), std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)")));
  EXPECT_NE(last_.head.find("Content-Type: application/json; charset=utf-8"), std::string::npos);

  // A ".rec" model, the analogue-input models and an OSD language without a code.
  Profile(R"({"system_id": 22010, "system_vars": {"1": 25}})");
  Start();
  a = Ask();
  EXPECT_EQ(a["recextension"], ".rec");
  EXPECT_EQ(a["blockfactor"], 9028);
  EXPECT_EQ(a["language_code"], "??");
  EXPECT_EQ(a["utfpvr"], 0);
  EXPECT_EQ(a["boot_reason"], 0);
  Profile(R"({"system_id": 32020})");
  Start();
  EXPECT_EQ(Ask()["analogueinput"], 1);
}

// With no model record for this PVR (no table, a table of other models, a table that is not
// one) the model's members are zeros and empty texts.
TEST_F(ConfigAnswer, NoMatchingModelRecordGivesZerosAndEmptyTexts) {
  const char *tables[] = {nullptr, "[(22122, 'TMS-2100', 'TMS', 5, 1, 2, 0)]", "bad"};
  for (const char *table : tables) {
    RunCommand("rm -f '" + Host("/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat") + "'");
    if (table && std::string(table) == "bad") {
      WriteFile("/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat", std::string(400, '\x01'));
    } else if (table) {
      Models(table);
    }
    Profile(R"({"system_id": 22010})");
    Start();
    ASSERT_EQ(gModelInfo, nullptr);
    ordered_json a = Ask();
    EXPECT_EQ(a["device"], "") << (table ? table : "no table");
    EXPECT_EQ(a["apptype"], "");
    for (const char *zero : {"systemtype", "bigendian", "remotetype", "maxrecstreams"}) EXPECT_EQ(a[zero], 0) << zero;
    EXPECT_EQ(a["recextension"], ".mpg");
    EXPECT_EQ(a["blockfactor"], 9024);
    EXPECT_EQ(a["sysid"], 22010);
  }
}

// The padding variables where the firmware has them (from TAP API version 0x1010), else the
// settings block's five-bit fields, else nothing.
TEST_F(ConfigAnswer, TimerPaddingFromVariablesSettingsBlockOrNothing) {
  Models(kDemoModels);
  Profile(R"({"tap_api_version": 4112, "timer_padding": {"pre": 1, "post": 2},
              "system_vars": {"21": 15, "22": 20}})");
  Start();
  ordered_json a = Ask();
  EXPECT_EQ(a["pre_padding"], 15);
  EXPECT_EQ(a["post_padding"], 20);
  Profile(R"({"tap_api_version": 4096, "timer_padding": {"pre": 4, "post": 9}, "system_vars": {"21": 15}})");
  Start();
  a = Ask();
  EXPECT_EQ(a["pre_padding"], 4);
  EXPECT_EQ(a["post_padding"], 9);
  emu::SettingsBlock()[SETTINGS_PRE_PADDING] = 0xE4;   // only five bits are the padding
  EXPECT_EQ(Ask()["pre_padding"], 4);
  Profile(R"({"tap_api_version": 4096, "timer_padding": {"pre": 4, "post": 9},
              "absent_symbols": ["_applEepromAddr"]})");
  Start();
  a = Ask();
  EXPECT_EQ(a["pre_padding"], 0);
  EXPECT_EQ(a["post_padding"], 0);
}

// Model texts that fill their fields without a terminating zero, quotes, backslashes and
// control bytes in every text from outside: the answer stays JSON and says what is there.
TEST_F(ConfigAnswer, TextsFromOutsideAreEscapedAndReadWithinTheirFields) {
  std::string name = std::string(250, 'N') + "\"\\\x01\t/x";   // 256 bytes: the whole field
  ASSERT_EQ(name.size(), 256u);
  Models("[(22010, bytes.fromhex('" + ToHex(name) + "'), b'A\"B\\\\' + b'C' * 28, 5, 2, 4, 0)]");
  WriteFile("/mnt/hd/ProgramFiles/Settings/PVRName.ini", "pvrname=My \"PVR\" \\ box\r\n");
  Module("plain");
  Module("quo\"te\\back");
  Module("caf\xe9");
  Profile("{}");
  Start();
  ordered_json a = Ask();
  EXPECT_EQ(a["device"], std::string(250, 'N') + "\"\\\t/x");   // the control byte is dropped
  EXPECT_EQ(a["apptype"], "A\"B\\" + std::string(28, 'C'));
  EXPECT_EQ(a["pvrname"], "My \"PVR\" \\ box");
  ASSERT_EQ(a["module_count"], 3);
  ASSERT_EQ(a["modules"].size(), 3u);
  std::map<std::string, std::string> modules;
  for (const auto &m : a["modules"]) modules[m["name"].get<std::string>()] = m["name_hex"].get<std::string>();
  EXPECT_EQ(modules["plain"], ToHex("plain"));
  EXPECT_EQ(modules["quo\"te\\back"], ToHex("quo\"te\\back"));
  EXPECT_EQ(modules["caf\xc3\xa9"], "636166e9");   // converted from the PVR's table, hex of the bytes
  EXPECT_NE(last_.body.find("\"modules\":\r\n\t[\r\n\t{\"name\":"), std::string::npos);
  EXPECT_NE(last_.body.find("\t],\r\n\"boot_reason\""), std::string::npos);
}

// However many modules there are, the answer stays within its limit, holds whole records
// only and counts what it holds; the TAP's folder is what it was.
TEST_F(ConfigAnswer, ManyModulesStayWithinTheLimitWithATrueCount) {
  Profile("{}");
  Start();
  std::string folder = Host("/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules");
  MakeFolder(folder);
  RunCommand("cd '" + folder + "' && for i in $(seq 1 1200); do mkdir \"$i-" + std::string(200, 'm') + "\"; done");
  char before[TAP_FOLDER_PATH_SIZE];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(before, sizeof before), 1);
  ordered_json a = Ask();
  int count = a["module_count"].get<int>();
  EXPECT_GT(count, 100);
  EXPECT_LT(count, 1200);
  EXPECT_EQ(a["modules"].size(), (size_t)count);
  EXPECT_TRUE(a.contains("timestamp"));
  EXPECT_LE(last_.body.size(), 256u * 1024);
  char after[TAP_FOLDER_PATH_SIZE];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(after, sizeof after), 1);
  EXPECT_STREQ(after, before);
}

// The emulated disk's identification as pvrsim writes it from its profile.
TEST_F(ConfigAnswer, DiskIdentificationFromTheProfile) {
  Profile(R"({"disk_identity": {"model": "A \"quoted\" disk", "serial": "SN-1", "firmware": "FW.9"}})");
  Start();
  ordered_json a = Ask();
  EXPECT_EQ(a["hddmodel"], "A \"quoted\" disk");
  EXPECT_EQ(a["hddserial"], "SN-1");
  EXPECT_EQ(a["hddfirmware"], "FW.9");
}

}  // namespace
