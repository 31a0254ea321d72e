// The firmware's tables of a world as the independent Python encoder writes them
// (tests/oracles/pvr_tables.py encode), as byte blocks, a FirmwareTables over them for the
// decoders, and an image to install in the emulated PVR.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/firmware_model.h"
#include "platform/firmware_tables.h"
#include "tests/unit/python_oracle.h"

struct EncodedWorld {
  int systemType = 0;
  dword timerEntrySize = 0;
  std::map<std::string, std::vector<byte>> blocks;
  FirmwareTables tables = {};

  FirmwareBlock Block(const std::string &name) {
    std::vector<byte> &b = blocks[name];
    return FirmwareBlock{b.empty() ? nullptr : b.data(), (dword)b.size()};
  }
  // Points the tables at the blocks (again, after a block was changed).
  void Bind() {
    tables.systemType = systemType;
    tables.tvServices = Block("tvSvc");
    tables.radioServices = Block("radioSvc");
    tables.serviceNames = Block("svcName");
    tables.providers = Block("providerInfo");
    tables.satellites = Block("satInfo");
    tables.transponders = Block("tpInfo");
    tables.favourites = Block("favGrp");
    tables.settings = Block("applEepromAddr");
    tables.timers = Block("timer");
    tables.timerEntrySize = timerEntrySize;
  }
  // The blocks as the emulated firmware's tables.
  emu::TableImage Image() {
    emu::TableImage image;
    image.systemType = systemType;
    image.tvServices = blocks["tvSvc"];
    image.radioServices = blocks["radioSvc"];
    image.serviceNames = blocks["svcName"];
    image.providers = blocks["providerInfo"];
    image.satellites = blocks["satInfo"];
    image.transponders = blocks["tpInfo"];
    image.favourites = blocks["favGrp"];
    image.settings = blocks["applEepromAddr"];
    image.timers = blocks["timer"];
    image.timerEntrySize = timerEntrySize;
    return image;
  }
};

inline std::string WriteTemporaryWorld(const nlohmann::json &world) {
  char path[] = "/tmp/orvane-world-XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  std::ofstream(path) << world.dump();
  return path;
}

// Runs the Python encoder on a world.
inline EncodedWorld EncodeWorld(const nlohmann::json &world, bool interleave = false) {
  std::string path = WriteTemporaryWorld(world);
  int status = 0;
  std::string out = RunCommand(std::string("/usr/bin/python3 " ORVANE_SOURCE_DIR "/tests/oracles/pvr_tables.py encode ") +
                                   path + (interleave ? " --interleave" : ""),
                               &status);
  unlink(path.c_str());
  EncodedWorld encoded;
  nlohmann::json parsed = nlohmann::json::parse(out, nullptr, false);
  EXPECT_EQ(status, 0) << out;
  EXPECT_FALSE(parsed.is_discarded()) << out;
  if (parsed.is_discarded()) return encoded;
  encoded.systemType = parsed["system_type"];
  encoded.timerEntrySize = parsed["timer_entry_size"];
  EXPECT_EQ(parsed["favourites_distance"], world.value("favourites_variant", 9424));
  for (auto &item : parsed["tables"].items()) {
    std::string bytes = FromHex(item.value().get<std::string>());
    encoded.blocks[item.key()] = std::vector<byte>(bytes.begin(), bytes.end());
  }
  encoded.Bind();
  return encoded;
}

// The demo world of a system type (tools/demo_world.py), on a fixed date.
inline nlohmann::json DemoWorld(int systemType, const std::string &options = "") {
  char path[] = "/tmp/orvane-demo-world-XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  int status = 0;
  std::string out = RunCommand(std::string("/usr/bin/python3 " ORVANE_SOURCE_DIR "/tools/demo_world.py ") + path +
                                   " --date 2024-05-01 --system-type " + std::to_string(systemType) + " " + options,
                               &status);
  EXPECT_EQ(status, 0) << out;
  std::ifstream in(path);
  nlohmann::json world = nlohmann::json::parse(in, nullptr, false);
  unlink(path);
  return world;
}

// The support layer's model table with the demo models (tools/make_demo_disk.py) at its
// place on the emulated disk, and the model of a system type as the emulated PVR's.
inline void InstallDemoModel(const std::string &root, int systemType) {
  std::string path = root + "/mnt/hd/ProgramFiles/Settings/FirmwareTMS.dat";
  int status = 0;
  std::string out = RunCommand(
      "cd " ORVANE_SOURCE_DIR "/tools && /usr/bin/python3 -c 'import make_demo_disk as m, sys; "
      "open(sys.argv[1], \"wb\").write(m.model_table(m.MODELS)); print(m.DEMO_MODELS[" +
          std::to_string(systemType) + "])' " + path,
      &status);
  EXPECT_EQ(status, 0) << out;
  emu::gSystem.systemId = (word)atoi(out.c_str());
  ReleaseFirmwareModelTable();
}
