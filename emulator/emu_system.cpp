// System: model identity and system variables (the volume with its mute bit, the timer
// padding), the remote control's keys, the display state, reboot and power, memory for the
// TAPs (TAP_MemAlloc with fault injection and per-TAP accounting), the analogue input, the
// settings block, the attached drives' partition table, the disk's identification and the
// UTF-8 check of the firmware's UTF-8 variant.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

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

const char kIdentityFile[] = "/proc/ide/hda/identify";
// ATA IDENTIFY DEVICE: 256 words; the texts' first and last words.
enum { IDENTIFY_WORDS = 256, IDENTIFY_SERIAL = 10, IDENTIFY_FIRMWARE = 23, IDENTIFY_MODEL = 27 };
enum { VOLUME_MUTE = 128, VOLUME_MAX = 17, KEY_MUTE = 0x1000C };

bool TextFits(const std::string &text, size_t field, const char *what, std::string *error) {
  if (text.size() < field) return true;
  *error = std::string("external partition ") + what + " too long: " + text;
  return false;
}

bool ReadPartition(const nlohmann::json &item, ExternalPartition *p, std::string *error) {
  if (item.is_string()) {
    p->mountPath = item.get<std::string>();
    size_t slash = p->mountPath.rfind('/');
    std::string device = slash == std::string::npos ? p->mountPath : p->mountPath.substr(slash + 1);
    p->path = "/dev/" + device;
    p->name = device;
  } else {
    p->mountPath = item.value("mount", std::string());
    p->path = item.value("path", std::string());
    p->name = item.value("name", std::string());
    p->sizeMb = item.value("size_mb", (dword)0);
    p->type = item.value("type", (dword)0);
  }
  return TextFits(p->path, EXT_PARTITION_PATH_SIZE + 1, "path", error) &&
         TextFits(p->mountPath, EXT_PARTITION_MOUNT_SIZE + 1, "mount path", error) &&
         TextFits(p->name, EXT_PARTITION_NAME_SIZE + 1, "name", error);
}

bool ReadProfile(const nlohmann::json &json, std::string *error) {
  SystemProfile p;
  p.systemId = json.value("system_id", p.systemId);
  p.systemType = json.value("system_type", p.systemType);
  p.tapApiVersion = json.value("tap_api_version", p.tapApiVersion);
  p.powerOnSource = json.value("power_on_source", p.powerOnSource);
  for (const nlohmann::json &item : json.value("external_partitions", nlohmann::json::array())) {
    ExternalPartition partition;
    if (!ReadPartition(item, &partition, error)) return false;
    p.externalPartitions.push_back(partition);
  }
  const nlohmann::json systemVars = json.value("system_vars", nlohmann::json::object());
  for (const auto &item : systemVars.items()) {
    p.systemVars[std::stoi(item.key())] = item.value().get<int>();
  }
  const nlohmann::json padding = json.value("timer_padding", nlohmann::json::object());
  p.prePadding = padding.value("pre", 0);
  p.postPadding = padding.value("post", 0);
  const int paddingMax = (1 << SETTINGS_PADDING_BITS) - 1;
  if (p.prePadding < 0 || p.prePadding > paddingMax || p.postPadding < 0 || p.postPadding > paddingMax) {
    *error = "\"timer_padding\" minutes must lie in 0.." + std::to_string(paddingMax);
    return false;
  }
  if (json.contains("disk_identity")) {
    const nlohmann::json &identity = json["disk_identity"];
    p.diskIdentity.given = true;
    p.diskIdentity.model = identity.value("model", std::string());
    p.diskIdentity.serial = identity.value("serial", std::string());
    p.diskIdentity.firmware = identity.value("firmware", std::string());
  }
  gTapHeapSize = json.value("heap_size", (size_t)256 << 20);
  gSystem = p;
  return true;
}

// An ATA text: two characters to a word, the first in its high byte, padded with blanks.
void PutAtaText(word *words, int first, int count, const std::string &text) {
  for (int i = 0; i < 2 * count; i++) {
    byte c = i < (int)text.size() ? (byte)text[(size_t)i] : (byte)' ';
    words[first + i / 2] |= (word)(i % 2 == 0 ? c << 8 : c);
  }
}

// The kernel's report of the disk's identification: its 256 words in hex, eight a line.
void WriteDiskIdentity() {
  const DiskIdentity &identity = gSystem.diskIdentity;
  if (!identity.given) return;
  word words[IDENTIFY_WORDS] = {};
  words[0] = 0x0040;   // a fixed disk
  PutAtaText(words, IDENTIFY_SERIAL, 10, identity.serial);
  PutAtaText(words, IDENTIFY_FIRMWARE, 4, identity.firmware);
  PutAtaText(words, IDENTIFY_MODEL, 20, identity.model);
  std::string folder = gRoot + "/proc";
  for (const char *part : {"", "/ide", "/ide/hda"}) mkdir((folder + part).c_str(), 0755);
  FILE *file = fopen((gRoot + kIdentityFile).c_str(), "w");
  if (!file) return;
  for (int i = 0; i < IDENTIFY_WORDS; i++) fprintf(file, "%04x%c", words[i], i % 8 == 7 ? '\n' : ' ');
  fclose(file);
}

void PutText(byte *field, size_t size, const std::string &text) {
  memcpy(field, text.data(), std::min(text.size(), size));
}

void PublishPartitions() {
  FirmwareFree(gPartitions);
  size_t count = gSystem.externalPartitions.size();
  gPartitions = FirmwareAlloc(std::max<size_t>(count, 1) * EXT_PARTITION_ENTRY_SIZE);
  for (size_t i = 0; i < count; i++) {
    const ExternalPartition &p = gSystem.externalPartitions[i];
    byte *entry = gPartitions + i * EXT_PARTITION_ENTRY_SIZE;
    PutText(entry + EXT_PARTITION_PATH, EXT_PARTITION_PATH_SIZE, p.path);
    PutText(entry + EXT_PARTITION_MOUNT, EXT_PARTITION_MOUNT_SIZE, p.mountPath);
    PutText(entry + EXT_PARTITION_NAME, EXT_PARTITION_NAME_SIZE, p.name);
    PutLE32(entry + EXT_PARTITION_SIZE_MB, p.sizeMb);
    PutLE32(entry + EXT_PARTITION_TYPE, p.type);
  }
  PublishTable(FW_HOOK_ExternalPartitions, gPartitions);
  FirmwareVariable<dword>(FW_HOOK_ExternalPartitionCount) = (dword)count;
}

void StartSystem() {
  if (!gSettings) gSettings = FirmwareAlloc(SETTINGS_SIZE);
  memset(gSettings, 0, SETTINGS_SIZE);
  gSettings[SETTINGS_FAV_GROUP] = 255;   // no favourites group selected
  gSettings[SETTINGS_PRE_PADDING] = (byte)gSystem.prePadding;
  gSettings[SETTINGS_POST_PADDING] = (byte)gSystem.postPadding;
  PublishTable(FW_HOOK_Settings, gSettings);
  if (gSystem.tapApiVersion >= TAP_API_VERSION_PADDING_VARIABLES) {
    gSystem.systemVars.emplace(SYSVAR_PrePadding, gSystem.prePadding);
    gSystem.systemVars.emplace(SYSVAR_PostPadding, gSystem.postPadding);
  }
  PublishPartitions();
  WriteDiskIdentity();
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

// Variables this firmware does not have read as 0 and cannot be written.
bool VariableExists(int variable) {
  bool padding = variable == SYSVAR_PrePadding || variable == SYSVAR_PostPadding;
  return !padding || gSystem.tapApiVersion >= TAP_API_VERSION_PADDING_VARIABLES;
}

}  // namespace

extern const Subsystem kSystemSubsystem = {"system", ReadProfile, StartSystem};

byte *SettingsBlock() { return gSettings; }

bool DisplayIsNormal() { return gNormal; }

void FirmwareKey(dword code) {
  static const char *const kKinds[] = {"pressed", "held", "released"};
  dword kind = code >> 24;
  dword key = code & 0x00FFFFFF;
  Effect("key 0x%05x %s", key, kind < 3 ? kKinds[kind] : "event");
  if (kind == 0 && key == KEY_MUTE) {
    int &volume = gSystem.systemVars[SYSVAR_Volume];
    volume ^= VOLUME_MUTE;
    Effect("volume %d, %s", volume & ~VOLUME_MUTE, (volume & VOLUME_MUTE) ? "muted" : "sound on");
  }
}

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION word TAP_GetSystemId(void) { return emu::gSystem.systemId; }

TAP_API_FUNCTION dword TAP_GetVersion(void) { return emu::gSystem.tapApiVersion; }

TAP_API_FUNCTION int TAP_GetSystemVar(int variable) {
  auto found = emu::gSystem.systemVars.find(variable);
  return found == emu::gSystem.systemVars.end() || !emu::VariableExists(variable) ? 0 : found->second;
}

// Writing the volume sets its level (at most 17) and keeps the mute state, which only the
// mute key changes.
TAP_API_FUNCTION int TAP_SetSystemVar(int variable, int value) {
  if (!emu::VariableExists(variable)) return 0;
  if (variable == SYSVAR_Volume) {
    int level = std::min(std::max(value & ~emu::VOLUME_MUTE, 0), (int)emu::VOLUME_MAX);
    value = (emu::gSystem.systemVars[variable] & emu::VOLUME_MUTE) | level;
  }
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
