// Handlers on an emulated PVR whose world (tools/demo_world.py, changed by the test) is
// loaded as pvrsim loads world.json: the answer a handler sends, its member names in order.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "emulator/emu_world.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/sent_answer.h"
#include "tests/unit/world_tables_oracle.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/request_parser.h"
#include "webserver/core/settings.h"

class APIWorld : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gLoggingLevel = 0;
    snprintf(gRecordingExt, sizeof gRecordingExt, ".rec");
    memset(&gHTTPpost, 0, sizeof gHTTPpost);
  }
  void TearDown() override {
    memset(&gHTTPpost, 0, sizeof gHTTPpost);
    EmulatedPvr::TearDown();
  }

  // The demo world of a system type, its members in file order.
  static nlohmann::ordered_json Demo(int systemType, const std::string &options = "") {
    return nlohmann::ordered_json::parse(DemoWorld(systemType, options).dump());
  }

  // Loads a world on the demo model of its system type (or systemId).
  void Load(const nlohmann::ordered_json &world, int systemId = 0) {
    WriteFile("/world.json", world.dump(1));
    int systemType = world.value("system_type", 5);
    InstallDemoModel(root_, systemType);
    if (systemId) emu::gSystem.systemId = (word)systemId;
    emu::gSystem.systemType = systemType;
    std::string error;
    ASSERT_TRUE(emu::LoadWorld(Host("/world.json"), &error)) << error;
  }

  // The answer of a handler, parsed keeping the member order; raw_ keeps its text.
  template <typename Call>
  nlohmann::ordered_json Answer(Call call) {
    raw_ = AnswerOf(call).body;
    nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(raw_, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << raw_.substr(0, 3000);
    return parsed;
  }

  // A POST body as the request parser leaves it.
  void Body(const std::string &text) {
    body_ = text;
    gHTTPpost.body = &body_[0];
    gHTTPpost.bodyBytes = (int)body_.size();
    gHTTPpost.contentLength = (int)body_.size();
  }

  static std::vector<std::string> Keys(const nlohmann::ordered_json &object) {
    std::vector<std::string> keys;
    for (auto &item : object.items()) keys.push_back(item.key());
    return keys;
  }

  std::string raw_, body_;
};
