// The emulated PVR's state: profile, clock, paths and the firmware's optional symbols.
#include <dlfcn.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "emulator/emulator.h"

#ifndef PVRSIM_FIRMWARE_DIR
#error "PVRSIM_FIRMWARE_DIR names the folder of the optional firmware symbol modules"
#endif

namespace emu {

Profile gProfile;
std::string gRoot;

namespace {

std::map<std::string, void *> gLoadedSymbols;   // optional symbol -> module handle

bool ParseUtcText(const std::string &text, int64_t *utc) {
  struct tm t = {};
  if (sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
             &t.tm_min, &t.tm_sec) != 6)
    return false;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  *utc = (int64_t)timegm(&t);
  return true;
}

}  // namespace

const std::vector<std::string> &KnownOptionalSymbols() {
  static const std::vector<std::string> symbols = {
      "_isAnalogMode",
      "_Z26Appl_GetAnalogEncoderStatev",
      "_Z23Appl_AnalogChangeActionv",
      "_Z25Appl_SetAnalogEncoderModeh",
      "_Z25Appl_GetAnalogEncoderModev",
      "_Z26Appl_ConvertToValidUTF8StrPhi",
      "_contentDesStr_AUS",
  };
  return symbols;
}

bool ParseProfile(const std::string &text, Profile *profile, std::string *error) {
  nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    *error = "the model profile is not a JSON object";
    return false;
  }
  Profile p;
  try {
    p.systemId = json.value("system_id", p.systemId);
    p.utcOffset = json.value("utc_offset", p.utcOffset);
    p.timeMode = json.value("time_mode", p.timeMode);
    std::string clock = json.value("clock", std::string("host"));
    p.clockFollowsHost = clock == "host";
    if (!p.clockFollowsHost && !ParseUtcText(clock, &p.fixedUtc)) {
      *error = "\"clock\" must be \"host\" or a UTC time \"YYYY-MM-DD hh:mm:ss\"";
      return false;
    }
    p.optionalSymbols = json.value("optional_symbols", std::vector<std::string>());
    const nlohmann::json systemVars = json.value("system_vars", nlohmann::json::object());
    for (const auto &item : systemVars.items()) {
      p.systemVars[std::stoi(item.key())] = item.value().get<int>();
    }
    for (const nlohmann::json &slot : json.value("recordings", nlohmann::json::array())) {
      TYPE_RecInfo info = {};
      info.recType = slot.value("type", (byte)0);
      info.duration = slot.value("duration", (dword)0);
      p.recordings.push_back(info);
    }
  } catch (const std::exception &e) {
    *error = std::string("model profile: ") + e.what();
    return false;
  }
  *profile = p;
  return true;
}

bool SetOptionalSymbols(const std::vector<std::string> &symbols, std::string *error) {
  for (const std::string &symbol : symbols) {
    bool known = false;
    for (const std::string &k : KnownOptionalSymbols()) known |= k == symbol;
    if (!known) {
      *error = "unknown optional firmware symbol " + symbol;
      return false;
    }
  }
  for (auto it = gLoadedSymbols.begin(); it != gLoadedSymbols.end();) {
    bool wanted = false;
    for (const std::string &s : symbols) wanted |= s == it->first;
    if (wanted) {
      ++it;
      continue;
    }
    dlclose(it->second);
    it = gLoadedSymbols.erase(it);
  }
  for (const std::string &symbol : symbols) {
    if (gLoadedSymbols.count(symbol)) continue;
    std::string module = std::string(PVRSIM_FIRMWARE_DIR) + "/" + symbol + ".so";
    void *handle = dlopen(module.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
      *error = std::string("cannot load firmware module: ") + dlerror();
      return false;
    }
    gLoadedSymbols[symbol] = handle;
  }
  return true;
}

bool Start(const std::string &root, std::string *error) {
  char resolved[PATH_MAX];
  if (!realpath(root.c_str(), resolved)) {
    *error = "no such root folder: " + root;
    return false;
  }
  gRoot = resolved;
  setenv("ORVANE_ROOT", gRoot.c_str(), 1);
  std::ifstream file(gRoot + "/pvrsim.json");
  Profile profile;
  if (file) {
    std::stringstream text;
    text << file.rdbuf();
    if (!ParseProfile(text.str(), &profile, error)) return false;
  }
  gProfile = profile;
  PublishProfile();
  return SetOptionalSymbols(gProfile.optionalSymbols, error);
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

int64_t UtcNow() {
  if (!gProfile.clockFollowsHost) return gProfile.fixedUtc;
  return (int64_t)time(nullptr);
}

int LocalOffsetMinutes() { return gProfile.utcOffset + ((gProfile.timeMode & 3) == 3 ? 60 : 0); }

int64_t LocalNow() { return UtcNow() + LocalOffsetMinutes() * 60; }

void SetFixedClock(int64_t utc) {
  gProfile.clockFollowsHost = false;
  gProfile.fixedUtc = utc;
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
