// The emulated PVR's core: its root folder, the model profile spread over the subsystems,
// TAP paths and the effect lines.
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "emulator/emu_world.h"
#include "emulator/emulator.h"

namespace emu {

extern const Subsystem kSymbolsSubsystem, kTimeSubsystem, kTasksSubsystem, kFilesSubsystem, kChannelsSubsystem,
    kTimersSubsystem, kEpgSubsystem, kOsdSubsystem, kPlaybackSubsystem, kSystemSubsystem;

std::string gRoot;

namespace {

const Subsystem *const kSubsystems[] = {
    &kSymbolsSubsystem, &kTimeSubsystem,  &kTasksSubsystem,    &kFilesSubsystem, &kChannelsSubsystem,
    &kTimersSubsystem,  &kEpgSubsystem,   &kPlaybackSubsystem, &kOsdSubsystem,   &kSystemSubsystem,
};

}  // namespace

bool ApplyProfile(const std::string &text, std::string *error) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    *error = "the model profile is not a JSON object";
    return false;
  }
  for (const Subsystem *subsystem : kSubsystems) {
    try {
      if (!subsystem->readProfile(json, error)) return false;
    } catch (const std::exception &e) {
      *error = std::string("model profile (") + subsystem->name + "): " + e.what();
      return false;
    }
  }
  for (const Subsystem *subsystem : kSubsystems) subsystem->start();
  return ApplySymbols(error);
}

bool Start(const std::string &root, std::string *error) {
  char resolved[PATH_MAX];
  if (!realpath(root.c_str(), resolved)) {
    *error = "no such root folder: " + root;
    return false;
  }
  gRoot = resolved;
  setenv("ORVANE_ROOT", gRoot.c_str(), 1);
  ClearFaults();
  std::string profile = "{}";
  std::ifstream file(gRoot + "/pvrsim.json");
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    profile = text.str();
  }
  return ApplyProfile(profile, error) && LoadWorld(gRoot + "/world.json", error);
}

std::string JoinTapPath(const std::string &folder, const std::string &name) {
  std::vector<std::string> parts;
  std::string whole = (!name.empty() && name[0] == '/') ? name : folder + "/" + name;
  std::stringstream stream(whole);
  std::string part;
  while (std::getline(stream, part, '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string path;
  for (const std::string &p : parts) path += "/" + p;
  return path.empty() ? "/" : path;
}

std::string HostPathOfTapPath(const std::string &folder, const std::string &name) {
  std::string tapPath = JoinTapPath(folder, name);
  return gRoot + "/mnt/hd" + (tapPath == "/" ? "" : tapPath);
}

void Effect(const char *format, ...) {
  va_list args;
  va_start(args, format);
  fputs("pvrsim: ", stdout);
  vfprintf(stdout, format, args);
  fputc('\n', stdout);
  fflush(stdout);
  va_end(args);
}

}  // namespace emu
