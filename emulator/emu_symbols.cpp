// Firmware symbols: loads and unloads the firmware modules of the hooks, keeps the
// firmware variables of absent hooks, and tells the modules where the emulator's
// definitions of the function hooks are.
#include "emulator/emu_symbols.h"

#include <dlfcn.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

#ifndef PVRSIM_FIRMWARE_DIR
#error "PVRSIM_FIRMWARE_DIR names the folder of the firmware modules"
#endif

// The emulator's definition of each function hook, for the modules' forwarding; the cast
// checks each definition against the list's signature.
extern "C" __attribute__((visibility("default"))) void *const emu_FirmwareHookTargets[FW_HOOK_COUNT] = {
#define FW_FUNCTION(id, name, symbol, ret, params, presence) \
  reinterpret_cast<void *>(static_cast<ret(*) params>(&::name)),
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) nullptr,
#define FW_DATA(id, name, symbol, type, presence) nullptr,
#include "platform/firmware_interface.def"
};

namespace emu {

namespace {

#define FW_DATA(id, name, symbol, type, presence) static_assert(sizeof(type) <= 8, "a firmware variable fits 8 bytes");
#include "platform/firmware_interface.def"

struct Hook {
  void *module = nullptr;       // dlopen handle while the hook exists
  void *definition = nullptr;   // the module's symbol
  alignas(8) byte aside[8] = {};   // the variable while the hook is absent
};
Hook gHooks[FW_HOOK_COUNT];
std::vector<std::string> gOptional;   // optional hooks that exist
std::vector<std::string> gAbsent;     // hooks the profile leaves out
std::vector<std::string> gFaulted;    // hooks made absent by a fault

bool Listed(const std::vector<std::string> &list, const char *symbol) {
  return std::find(list.begin(), list.end(), symbol) != list.end();
}

bool Wanted(int id) {
  const FirmwareHookInfo &info = gFirmwareHooks[id];
  if (Listed(gAbsent, info.symbol) || Listed(gFaulted, info.symbol)) return false;
  return info.optional == FW_ALWAYS || Listed(gOptional, info.symbol);
}

bool Load(int id, std::string *error) {
  Hook &hook = gHooks[id];
  const FirmwareHookInfo &info = gFirmwareHooks[id];
  std::string path = std::string(PVRSIM_FIRMWARE_DIR) + "/" + info.symbol + ".so";
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  void *definition = module ? dlsym(module, info.symbol) : nullptr;
  if (!definition) {
    *error = std::string("firmware module of ") + info.symbol + ": " + (module ? "symbol missing" : dlerror());
    if (module) dlclose(module);
    return false;
  }
  if (info.kind != FW_KIND_FUNCTION) memcpy(definition, hook.aside, info.size);
  hook.module = module;
  hook.definition = definition;
  return true;
}

void Unload(int id) {
  Hook &hook = gHooks[id];
  const FirmwareHookInfo &info = gFirmwareHooks[id];
  if (info.kind != FW_KIND_FUNCTION) memcpy(hook.aside, hook.definition, info.size);
  dlclose(hook.module);
  hook.module = nullptr;
  hook.definition = nullptr;
}

bool Apply(std::string *error) {
  for (int id = 0; id < FW_HOOK_COUNT; id++) {
    bool wanted = Wanted(id);
    if (!wanted && gHooks[id].module) Unload(id);
    if (wanted && !gHooks[id].module && !Load(id, error)) return false;
  }
  return true;
}

bool CheckSymbols(const std::vector<std::string> &symbols, bool optionalOnly, std::string *error) {
  for (const std::string &symbol : symbols) {
    int id = FindHook(symbol);
    if (id < 0 || (optionalOnly && gFirmwareHooks[id].optional != FW_OPTIONAL)) {
      *error = (optionalOnly ? "unknown optional firmware symbol " : "unknown firmware symbol ") + symbol;
      return false;
    }
  }
  return true;
}

bool ReadProfile(const nlohmann::json &json, std::string *error) {
  std::vector<std::string> optional = json.value("optional_symbols", std::vector<std::string>());
  std::vector<std::string> absent = json.value("absent_symbols", std::vector<std::string>());
  if (!CheckSymbols(optional, true, error) || !CheckSymbols(absent, false, error)) return false;
  gOptional = optional;
  gAbsent = absent;
  return true;
}

void StartSymbols() {}

}  // namespace

extern const Subsystem kSymbolsSubsystem = {"firmware symbols", ReadProfile, StartSymbols};

bool ApplySymbols(std::string *error) { return Apply(error); }

bool SetOptionalSymbols(const std::vector<std::string> &symbols, std::string *error) {
  if (!CheckSymbols(symbols, true, error)) return false;
  gOptional = symbols;
  return Apply(error);
}

bool SetAbsentSymbols(const std::vector<std::string> &symbols, std::string *error) {
  if (!CheckSymbols(symbols, false, error)) return false;
  gAbsent = symbols;
  return Apply(error);
}

bool SetFaultedSymbols(const std::vector<std::string> &symbols, std::string *error) {
  if (!CheckSymbols(symbols, false, error)) return false;
  gFaulted = symbols;
  return Apply(error);
}

const std::vector<std::string> &KnownOptionalSymbols() {
  static const std::vector<std::string> symbols = [] {
    std::vector<std::string> list;
    for (const FirmwareHookInfo &info : gFirmwareHooks) {
      if (info.optional == FW_OPTIONAL) list.push_back(info.symbol);
    }
    return list;
  }();
  return symbols;
}

int FindHook(const std::string &symbol) {
  for (int id = 0; id < FW_HOOK_COUNT; id++) {
    if (symbol == gFirmwareHooks[id].symbol) return id;
  }
  return -1;
}

bool HookPresent(FirmwareHookId id) { return gHooks[id].module != nullptr; }

void *HookDefinition(FirmwareHookId id) { return gHooks[id].definition; }

void *HookVariable(FirmwareHookId id) {
  Hook &hook = gHooks[id];
  return hook.definition ? hook.definition : hook.aside;
}

void PublishTable(FirmwareHookId id, const void *table) {
  PutLE32(HookVariable(id), FirmwareWord(table));
}

byte *PublishedTable(FirmwareHookId id) { return FirmwareAddress(GetLE32(HookVariable(id))); }

}  // namespace emu
