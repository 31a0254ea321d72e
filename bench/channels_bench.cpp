// Channel list and timer list answers on the emulated PVR: answer time, answer size and the
// TAP heap they take (emulator heap accounting), for 1000, 2000 and 4000 services on the
// demo satellites, and for a full timer table.
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/bench_support.h"
#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/tap_api.h"
#include "platform/tap_services.h"
#include "tests/unit/sent_answer.h"
#include "webserver/api/api_channels.h"
#include "webserver/api/api_timers.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

void Measure(const char *what, void (*handler)()) {
  const int runs = 5;
  size_t bytes = 0;
  double best = 1e9;
  for (int i = 0; i < runs; i++) {
    emu::ResetTapHeapPeak(0);
    size_t before = emu::TapHeapUse(0).inUse;
    double start = bench::Seconds();
    bytes = AnswerOf(handler).Bytes();
    double took = bench::Seconds() - start;
    if (took < best) best = took;
    if (i == runs - 1) {
      printf("  %-28s %8.1f ms  %9zu bytes sent  TAP heap peak %9zu bytes (%zu left in use)\n", what, best * 1000,
             bytes, emu::TapHeapUse(0).peak - before, emu::TapHeapUse(0).inUse - before);
    }
  }
}

nlohmann::json DemoWorld(const std::string &root) {
  std::string path = root + "/demo.json";
  std::string command = "/usr/bin/python3 " ORVANE_SOURCE_DIR "/tools/demo_world.py " + path + " --date 2024-05-01";
  if (system(command.c_str()) != 0) return nlohmann::json();
  std::ifstream in(path);
  return nlohmann::json::parse(in, nullptr, false);
}

// The demo world with n TV services spread over its transponders, and timers of tv to fill
// the table when full is set.
bool Load(const std::string &root, nlohmann::json world, int services, bool full) {
  nlohmann::json tv = nlohmann::json::array();
  const nlohmann::json &demo = world["services"]["tv"];
  for (int i = 0; i < services; i++) {
    nlohmann::json s = demo[(size_t)i % demo.size()];
    s["name"] = "Channel " + std::to_string(i) + " \"HD\"";
    s.erase("charset");
    s["lcn"] = i + 1;
    s["service_id"] = 0x1000 + i;
    s["locked"] = false;
    s["deleted"] = false;
    tv.push_back(s);
  }
  world["services"]["tv"] = tv;
  if (full) {
    nlohmann::json timers = nlohmann::json::array();
    for (int i = 0; i < emu::kTimerCapacity; i++) {
      nlohmann::json t = world["timers"][0];
      t["service_number"] = i % services;
      t["file_name"] = "Recording number " + std::to_string(i) + " with a long descriptive name.rec";
      timers.push_back(t);
    }
    world["timers"] = timers;
  }
  std::ofstream(root + "/world.json") << world.dump();
  std::string error;
  if (!emu::LoadWorld(root + "/world.json", &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main() {
  std::string root = bench::MakeRoot("channels-bench");
  if (root.empty()) return 1;
  std::string command = "cd " ORVANE_SOURCE_DIR "/tools && /usr/bin/python3 -c 'import make_demo_disk as m, sys; "
                        "open(sys.argv[1], \"wb\").write(m.model_table(m.MODELS))' " +
                        root + "/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat";
  if (system(command.c_str()) != 0) return 1;
  if (!bench::StartOrvane(root)) return 1;
  gLoggingLevel = 0;
  nlohmann::json world = DemoWorld(root);
  if (world.is_discarded() || world.is_null()) return 1;

  printf("Channel list (demo satellites, n TV and 5 radio services), best of 5:\n");
  for (int services : {1000, 2000, 4000}) {
    if (!Load(root, world, services, false)) return 1;
    char what[64];
    snprintf(what, sizeof what, "%d services", services);
    Measure(what, [] { APIChannelsGet(""); });
  }
  printf("Timer list with the table full (%d timers):\n", emu::kTimerCapacity);
  if (!Load(root, world, 1000, true)) return 1;
  Measure("full timer table", [] { APITimersGet(); });
  return bench::RemoveRoot(root) ? 0 : 1;
}
