// An emulated PVR for the tests of the device handlers (configuration, status, remote
// control, volume): a model profile, a model table written by the demo disk's Python
// generator (an encoder sharing no code with the reader), Orvane.tap's settings read as at
// its start, and the handlers' answers parsed with their members in order.
#pragma once


#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/sent_answer.h"
#include "tests/unit/python_oracle.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

class DeviceApiTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    ReleaseFirmwareModelTable();
    gModelInfo = nullptr;
    gRemoteType = gRecordingStreams = 0;
    gPVRname[0] = '\0';
    gPowerFlag = 0;
  }
  void TearDown() override {
    // The settings that Orvane.tap's start (Start) read are put back by EmulatedPvr.
    ReleaseFirmwareModelTable();
    gPowerFlag = 0;
    emu::TakeGeneratedEvents();
    emu::ApplyProfile("{}", &ignored_);
    ResetFirmwareHooks();
    EmulatedPvr::TearDown();
  }

  // Applies a model profile (JSON text) and forgets the hooks bound so far.
  void Profile(const std::string &json) {
    std::string error;
    ASSERT_TRUE(emu::ApplyProfile(json, &error)) << error;
    ResetFirmwareHooks();
  }

  // Writes "FirmwareTMS.dat" from a Python list of model tuples as the demo disk's
  // generator takes them: (system ID, name, app type, system type, remote type, recording
  // streams, ".mpg" flag); names may be bytes.
  void Models(const std::string &pythonList) {
    std::string hex = RunPython(
        "import sys\n"
        "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tools')\n"
        "import make_demo_disk\n"
        "print(make_demo_disk.model_table(" + pythonList + ").hex())\n",
        "");
    ASSERT_FALSE(hex.empty());
    WriteFile("/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat", FromHex(hex.substr(0, hex.find('\n'))));
  }

  // Reads the settings and the model as Orvane.tap's start does.
  void Start() {
    ReleaseFirmwareModelTable();
    gModelInfo = nullptr;
    initGlobalVariables();
  }

  // The answer of a handler, parsed with its members in order (null when it is no JSON).
  nlohmann::ordered_json Ask(const std::function<void()> &handler) {
    last_ = AnswerOf(handler);
    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(last_.body, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << last_.body.substr(0, 4000);
    return parsed.is_discarded() ? nlohmann::ordered_json() : parsed;
  }

  static std::vector<std::string> Keys(const nlohmann::ordered_json &object) {
    std::vector<std::string> keys;
    for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
    return keys;
  }

  // Every member name of the answer's outermost object, in order, read from its text
  // (duplicates show up here, where a parsed object keeps only one).
  std::vector<std::string> TopLevelNames() const {
    std::vector<std::string> names;
    const std::string &t = last_.body;
    int depth = 0;
    for (size_t i = 0; i < t.size(); i++) {
      char c = t[i];
      if (c == '{' || c == '[') depth++;
      if (c == '}' || c == ']') depth--;
      if (c != '"') continue;
      size_t end = i + 1;
      while (end < t.size() && t[end] != '"') end += t[end] == '\\' ? 2 : 1;
      size_t next = t.find_first_not_of(" \t\r\n", end + 1);
      if (depth == 1 && next != std::string::npos && t[next] == ':') names.push_back(t.substr(i + 1, end - i - 1));
      i = end;
    }
    return names;
  }

  SentAnswer last_;
  std::string ignored_;
};
