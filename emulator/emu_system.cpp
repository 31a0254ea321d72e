// System: model identity and system variables, the display state, reboot and power,
// memory for the TAPs (TAP_MemAlloc with fault injection and per-TAP accounting), the
// analogue input, the settings block, external partitions and the UTF-8 check of the
// firmware's UTF-8 variant.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

SystemProfile gSystem;

namespace {

byte *gSettings;             // SETTINGS_SIZE bytes
byte *gPartitions;           // EXT_PARTITION_ENTRY_SIZE bytes per partition
bool gNormal = true;         // the receiver has the display
byte gAnalogEncoderMode;

bool ReadProfile(const nlohmann::json &json, std::string *error) {
  SystemProfile p;
  p.systemId = json.value("system_id", p.systemId);
  p.systemType = json.value("system_type", p.systemType);
  p.tapApiVersion = json.value("tap_api_version", p.tapApiVersion);
  p.powerOnSource = json.value("power_on_source", p.powerOnSource);
  p.externalPartitions = json.value("external_partitions", std::vector<std::string>());
  const nlohmann::json systemVars = json.value("system_vars", nlohmann::json::object());
  for (const auto &item : systemVars.items()) {
    p.systemVars[std::stoi(item.key())] = item.value().get<int>();
  }
  gTapHeapSize = json.value("heap_size", (size_t)256 << 20);
  for (const std::string &path : p.externalPartitions) {
    if (path.size() >= EXT_PARTITION_ENTRY_SIZE) {
      *error = "external partition path too long: " + path;
      return false;
    }
  }
  gSystem = p;
  return true;
}

void StartSystem() {
  if (!gSettings) gSettings = FirmwareAlloc(SETTINGS_SIZE);
  memset(gSettings, 0, SETTINGS_SIZE);
  gSettings[SETTINGS_FAV_GROUP] = 255;   // no favourites group selected
  PublishTable(FW_HOOK_Settings, gSettings);

  FirmwareFree(gPartitions);
  size_t count = gSystem.externalPartitions.size();
  gPartitions = FirmwareAlloc(std::max<size_t>(count, 1) * EXT_PARTITION_ENTRY_SIZE);
  for (size_t i = 0; i < count; i++) {
    const std::string &path = gSystem.externalPartitions[i];
    memcpy(gPartitions + i * EXT_PARTITION_ENTRY_SIZE + EXT_PARTITION_PATH, path.data(), path.size());
  }
  PublishTable(FW_HOOK_ExternalPartitions, gPartitions);
  FirmwareVariable<dword>(FW_HOOK_ExternalPartitionCount) = (dword)count;
  FirmwareVariable<dword>(FW_HOOK_PowerOnSource) = gSystem.powerOnSource;
  FirmwareVariable<byte>(FW_HOOK_IsAnalogMode) = 0;
  gAnalogEncoderMode = 0;
  gNormal = true;
}

void SetNormal(bool normal) {
  if (gNormal == normal) return;
  gNormal = normal;
  Effect("display: %s", normal ? "normal" : "TAP");
}

}  // namespace

extern const Subsystem kSystemSubsystem = {"system", ReadProfile, StartSystem};

byte *SettingsBlock() { return gSettings; }

bool DisplayIsNormal() { return gNormal; }

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION word TAP_GetSystemId(void) { return emu::gSystem.systemId; }

TAP_API_FUNCTION dword TAP_GetVersion(void) { return emu::gSystem.tapApiVersion; }

TAP_API_FUNCTION int TAP_GetSystemVar(int variable) {
  auto found = emu::gSystem.systemVars.find(variable);
  return found == emu::gSystem.systemVars.end() ? 0 : found->second;
}

TAP_API_FUNCTION int TAP_SetSystemVar(int variable, int value) {
  emu::gSystem.systemVars[variable] = value;
  emu::Effect("system variable %d = %d", variable, value);
  return 1;
}

TAP_API_FUNCTION int TAP_GetState(dword *state, dword *subState) {
  if (state) *state = emu::DisplayIsNormal() ? STATE_Normal : STATE_Tap;
  if (subState) *subState = 0;
  return 1;
}

TAP_API_FUNCTION void TAP_EnterNormal(void) { emu::SetNormal(true); }

TAP_API_FUNCTION void TAP_ExitNormal(void) { emu::SetNormal(false); }

TAP_API_FUNCTION void TAP_Reboot(void) { emu::Effect("reboot"); }

// The firmware's serial console: standard error.
TAP_API_FUNCTION int TAP_SPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));
TAP_API_FUNCTION int TAP_SPrint(const char *format, ...) {
  if (!format) return 0;
  va_list args;
  va_start(args, format);
  int n = vfprintf(stderr, format, args);
  va_end(args);
  fflush(stderr);
  return n;
}

TAP_API_FUNCTION void *TAP_MemAlloc(dword size) {
  if (emu::AllocationFails()) {
    emu::Effect("TAP_MemAlloc of %u bytes fails (injected)", size);
    return nullptr;
  }
  return emu::TapAlloc(size, emu::CurrentSlot());
}

TAP_API_FUNCTION int TAP_MemFree(const void *address) {
  if (!address) return 0;
  if (emu::TapFree(address)) return 1;
  emu::Effect("TAP_MemFree of %p, which is not a block of the TAP heap", address);
  return 0;
}

TAP_API_FUNCTION int TAP_MemInfo(dword *heapSize, dword *freeHeapSize, dword *availHeapSize) {
  size_t used = emu::TapHeapTotalInUse();
  size_t size = emu::gTapHeapSize;
  dword left = (dword)std::min<size_t>(size - std::min(used, size), 0xFFFFFFFFu);
  if (heapSize) *heapSize = (dword)std::min<size_t>(size, 0xFFFFFFFFu);
  if (freeHeapSize) *freeHeapSize = left;
  if (availHeapSize) *availHeapSize = left;
  return 1;
}

// ---- Firmware hooks ----

extern "C" FIRMWARE_HOOK void PutDevEvt(dword event, dword param) {
  if (event == DEV_EVENT_POWER_OFF) {
    emu::Effect("power off");
  } else {
    emu::Effect("device event 0x%04x param 0x%08x", event, param);
  }
}

FIRMWARE_HOOK void Appl_EnterNormal(unsigned char) { emu::SetNormal(true); }

// Replaces every byte that does not belong to a well-formed UTF-8 sequence with '?'.
FIRMWARE_HOOK int Appl_ConvertToValidUTF8Str(unsigned char *text, int size) {
  if (!text) return 0;
  int i = 0;
  while (i < size && text[i]) {
    int length = text[i] < 0x80 ? 1 : (text[i] >> 5) == 6 ? 2 : (text[i] >> 4) == 14 ? 3 : (text[i] >> 3) == 30 ? 4 : 0;
    bool ok = length > 0 && i + length <= size;
    for (int k = 1; ok && k < length; k++) ok = (text[i + k] & 0xC0) == 0x80;
    if (!ok) {
      text[i++] = '?';
      continue;
    }
    i += length;
  }
  return i;
}

// The analogue input: "_isAnalogMode" is 1 while it is shown.
FIRMWARE_HOOK int Appl_GetAnalogEncoderState() { return emu::FirmwareVariable<byte>(FW_HOOK_IsAnalogMode); }

FIRMWARE_HOOK void Appl_AnalogChangeAction() {
  byte &analog = emu::FirmwareVariable<byte>(FW_HOOK_IsAnalogMode);
  analog = analog ? 0 : 1;
  emu::Effect("analog input %s", analog ? "on" : "off");
}

FIRMWARE_HOOK void Appl_SetAnalogEncoderMode(unsigned char mode) {
  emu::gAnalogEncoderMode = mode;
  emu::Effect("analog encoder mode %d", mode);
}

FIRMWARE_HOOK unsigned char Appl_GetAnalogEncoderMode() { return emu::gAnalogEncoderMode; }
