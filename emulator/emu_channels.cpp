// Channels: the firmware's service, name, provider, satellite, transponder and favourites
// tables (system type 5 layouts, built field by field), the TAP API's channel calls and
// the firmware's service hooks. The tables start empty; the PVR's world fills them.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

constexpr int kServiceCapacity = 2000;        // entries of each service table
constexpr size_t kNameBlockSize = 64 * 1024;
constexpr int kProviderCount = 256;
constexpr int kSatelliteCapacity = 64;
constexpr int kTransponderCapacity = 2000;
constexpr size_t kGameSaveSize = 256;

byte *gServices[2];          // TV, radio
int gServiceCount[2];
byte *gNames;
size_t gNamesUsed;
byte *gProviders;
byte *gSatellites;
byte *gTransponders;
byte *gFavourites;           // followed at once by the game-save block
int gCurrentType = -1, gCurrentNumber = -1;

byte *Service(int type, int number) {
  if (type < 0 || type > 1 || number < 0 || number >= gServiceCount[type]) return nullptr;
  return gServices[type] + number * SERVICE_ENTRY_SIZE;
}

// Copies a NUL-terminated text of at most size - 1 bytes out of firmware memory.
void CopyText(char *out, size_t size, const byte *text, size_t field) {
  size_t n = strnlen(reinterpret_cast<const char *>(text), std::min(field, size - 1));
  memcpy(out, text, n);
  out[n] = '\0';
}

// Transponder n of satellite s: the n-th of the first N entries whose first byte is s.
const byte *Transponder(int satellite, int number) {
  dword examined = std::min<dword>(GetLE32(gTransponders), kTransponderCapacity);
  int n = 0;
  for (dword i = 0; i < examined; i++) {
    const byte *entry = gTransponders + i * TP_ENTRY_SIZE_SATELLITE;
    if (entry[0] == satellite && n++ == number) return entry;
  }
  return nullptr;
}

bool DeleteServiceName(int type, unsigned short number) {
  byte *entry = Service(type, number);
  if (!entry) return false;
  PutLE32(entry, GetLE32(entry) | 0x80000000u);   // delete flag
  Effect("deleted %s service name %d", type ? "radio" : "tv", number);
  return true;
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

void StartChannels() {
  if (!gNames) {
    for (byte *&table : gServices) table = FirmwareAlloc(kServiceCapacity * SERVICE_ENTRY_SIZE);
    gNames = FirmwareAlloc(kNameBlockSize);
    gProviders = FirmwareAlloc(kProviderCount * PROVIDER_ENTRY_SIZE);
    gSatellites = FirmwareAlloc(kSatelliteCapacity * SAT_ENTRY_SIZE);
    gTransponders = FirmwareAlloc(kTransponderCapacity * TP_ENTRY_SIZE_SATELLITE);
    gFavourites = FirmwareAlloc(FAV_BLOCK_SIZE_LARGE + kGameSaveSize);
  }
  for (byte *table : gServices) memset(table, 0, kServiceCapacity * SERVICE_ENTRY_SIZE);
  memset(gNames, 0, kNameBlockSize);
  memset(gProviders, 0, kProviderCount * PROVIDER_ENTRY_SIZE);
  memset(gSatellites, 0, kSatelliteCapacity * SAT_ENTRY_SIZE);
  memset(gTransponders, 0, kTransponderCapacity * TP_ENTRY_SIZE_SATELLITE);
  memset(gFavourites, 0, FAV_BLOCK_SIZE_LARGE + kGameSaveSize);
  gServiceCount[0] = gServiceCount[1] = 0;
  gNamesUsed = 1;   // offset 0 is the empty name
  gCurrentType = gCurrentNumber = -1;
  PublishTable(FW_HOOK_TvServices, gServices[0]);
  PublishTable(FW_HOOK_RadioServices, gServices[1]);
  PublishTable(FW_HOOK_ServiceNames, gNames);
  PublishTable(FW_HOOK_Providers, gProviders);
  PublishTable(FW_HOOK_Satellites, gSatellites);
  PublishTable(FW_HOOK_Transponders, gTransponders);
  // The favourites variant is told by the distance to the game-save block.
  PublishTable(FW_HOOK_Favourites, gFavourites);
  PublishTable(FW_HOOK_GameSaveData, gFavourites + FAV_BLOCK_SIZE_LARGE);
}

}  // namespace

extern const Subsystem kChannelsSubsystem = {"channels", ReadProfile, StartChannels};

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_Channel_GetTotalNum(int *tvCount, int *radioCount) {
  if (tvCount) *tvCount = emu::gServiceCount[0];
  if (radioCount) *radioCount = emu::gServiceCount[1];
  return 1;
}

TAP_API_FUNCTION int TAP_Channel_GetInfo(int type, int number, TYPE_TapChInfo *info) {
  const byte *entry = emu::Service(type, number);
  if (!entry || !info) return 0;
  memset(info, 0, sizeof *info);
  dword flags = GetLE32(entry);
  dword nameOffset = GetLE32(entry + 16);
  if (nameOffset < emu::kNameBlockSize) {
    emu::CopyText(info->chName, sizeof info->chName, emu::gNames + nameOffset, emu::kNameBlockSize - nameOffset);
  }
  info->satIdx = (byte)(flags & 0xFF);
  if (info->satIdx < emu::kSatelliteCapacity) {
    emu::CopyText(info->satName, sizeof info->satName, emu::gSatellites + info->satIdx * SAT_ENTRY_SIZE + 4,
                  SAT_ENTRY_SIZE - 4);
  }
  info->svcId = GetLE16(entry + 4);
  info->logicalChNum = GetLE16(entry + 22);
  const byte *transponder = emu::Transponder(info->satIdx, (int)(flags >> 16 & 0x3FF));
  if (transponder) {
    info->tsId = GetLE16(transponder + 10);
    info->orgNetId = GetLE16(transponder + 14);
  }
  return 1;
}

TAP_API_FUNCTION int TAP_Channel_GetCurrent(int *type, int *number) {
  if (emu::gCurrentType < 0) return 0;
  if (type) *type = emu::gCurrentType;
  if (number) *number = emu::gCurrentNumber;
  return 1;
}

TAP_API_FUNCTION int TAP_Channel_IsPlayable(int, int type, int number) {
  const byte *entry = emu::Service(type, number);
  return entry && !(GetLE32(entry) & 0x80000000u) ? 1 : 0;
}

TAP_API_FUNCTION int TAP_Channel_Start(int mainSub, int type, int number) {
  if (!TAP_Channel_IsPlayable(mainSub, type, number)) return 0;
  emu::gCurrentType = type;
  emu::gCurrentNumber = number;
  emu::Effect("channel %s %d", type ? "radio" : "tv", number);
  return 1;
}

// ---- Firmware hooks ----

// The number of the service of this type on satellite and transponder index with this
// service ID, or -1.
FIRMWARE_HOOK int ApplSvc_GetSvcIdx(unsigned char type, unsigned char satellite, unsigned short transponder,
                                    unsigned short serviceId, unsigned short, unsigned short) {
  for (int number = 0; type <= 1 && number < emu::gServiceCount[type]; number++) {
    const byte *entry = emu::Service(type, number);
    dword flags = GetLE32(entry);
    if ((flags & 0xFF) == satellite && (flags >> 16 & 0x3FF) == transponder && GetLE16(entry + 4) == serviceId) {
      return number;
    }
  }
  return -1;
}

// The transponder number on a satellite with this stream and network ID, or -1.
FIRMWARE_HOOK int ApplSvc_GetTpIdx(unsigned char satellite, unsigned short tsid, unsigned short onid) {
  for (int number = 0;; number++) {
    const byte *entry = emu::Transponder(satellite, number);
    if (!entry) return -1;
    if (GetLE16(entry + 10) == tsid && GetLE16(entry + 14) == onid) return number;
  }
}

// Adds a name to the name block; its offset, or -1 when the block is full.
FIRMWARE_HOOK int Appl_AddSvcName(const char *name) {
  if (!name) return -1;
  size_t length = strlen(name);
  if (emu::gNamesUsed + length + 1 > emu::kNameBlockSize) return -1;
  size_t offset = emu::gNamesUsed;
  memcpy(emu::gNames + offset, name, length + 1);
  emu::gNamesUsed += length + 1;
  return (int)offset;
}

FIRMWARE_HOOK int Appl_DeleteTvSvcName(unsigned short number, bool) { return emu::DeleteServiceName(0, number) ? 0 : -1; }

FIRMWARE_HOOK int Appl_DeleteRadioSvcName(unsigned short number, bool) {
  return emu::DeleteServiceName(1, number) ? 0 : -1;
}

// The index of a provider entry with this name (at most 20 characters), added when new;
// -1 when the table is full.
FIRMWARE_HOOK int Appl_SetProviderName(char *name) {
  if (!name) return -1;
  char wanted[PROVIDER_ENTRY_SIZE] = {};
  snprintf(wanted, sizeof wanted, "%s", name);
  for (int i = 0; i < emu::kProviderCount; i++) {
    byte *entry = emu::gProviders + i * PROVIDER_ENTRY_SIZE;
    if (!entry[0]) {
      memcpy(entry, wanted, sizeof wanted);
      return i;
    }
    if (memcmp(entry, wanted, sizeof wanted) == 0) return i;
  }
  return -1;
}
