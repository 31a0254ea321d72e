// Channels: the firmware's service, name, provider, satellite, transponder and favourites
// tables in the layouts of the world's system type (installed by the world, emu_world.h),
// the TAP API's channel calls, which read the same bytes, and the firmware's service hooks.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

constexpr size_t kServiceTableSize = (size_t)kServiceCapacity * SERVICE_ENTRY_SIZE;
constexpr size_t kGameSaveSize = 256;
constexpr dword kFlagLocked = 1u << 29, kFlagDeleted = 1u << 31;

byte *gServices[2];          // TV, radio
int gServiceCount[2];
byte *gNames;                // SERVICE_NAME_BLOCK_SIZE bytes
size_t gNamesUsed;
byte *gProviders;            // PROVIDER_BLOCK_SIZE bytes
byte *gSatellites;           // SAT_TABLE_SIZE bytes
byte *gTransponders;         // TP_TABLE_SIZE bytes
byte *gFavourites;           // the largest variant, then the game-save block
int gSystemType = SYSTEM_TYPE_SATELLITE;
int gCurrentType = -1, gCurrentNumber = -1;

byte *Service(int type, int number) {
  if (type < 0 || type > 1 || number < 0 || number >= gServiceCount[type]) return nullptr;
  return gServices[type] + number * SERVICE_ENTRY_SIZE;
}

const char *TypeName(int type) { return type ? "radio" : "tv"; }

// Copies a text of at most field bytes, ending at its first NUL, into out (size bytes).
void CopyText(char *out, size_t size, const byte *text, size_t field) {
  size_t n = strnlen(reinterpret_cast<const char *>(text), std::min(field, size - 1));
  memcpy(out, text, n);
  out[n] = '\0';
}

// The transponders of a satellite in the layout of the system type.
struct TransponderIds {
  word tsid = 0, onid = 0, networkId = 0;
};

// Satellite models: the n-th of the first N entries (N at the start of the table) whose
// first byte is the satellite.
const byte *SatelliteTransponder(int satellite, int number) {
  dword examined = std::min<dword>(GetLE32(gTransponders), TP_TABLE_ENTRIES);
  int n = 0;
  for (dword i = 0; i < examined; i++) {
    const byte *entry = gTransponders + 4 + i * TP_ENTRY_SIZE_SATELLITE;
    if (entry[0] == satellite && n++ == number) return entry;
  }
  return nullptr;
}

int TransponderCount(int satellite) {
  if (gSystemType == SYSTEM_TYPE_SATELLITE) {
    int n = 0;
    while (SatelliteTransponder(satellite, n)) n++;
    return n;
  }
  size_t entry = gSystemType == SYSTEM_TYPE_CABLE ? TP_ENTRY_SIZE_CABLE : TP_ENTRY_SIZE_TERRESTRIAL;
  return satellite == 0 ? (int)std::min<size_t>(GetLE16(gSatellites), (TP_TABLE_SIZE / entry)) : 0;
}

bool Transponder(int satellite, int number, TransponderIds *ids) {
  if (number < 0) return false;
  if (gSystemType == SYSTEM_TYPE_SATELLITE) {
    const byte *entry = SatelliteTransponder(satellite, number);
    if (!entry) return false;
    ids->tsid = GetLE16(entry + 10);
    ids->onid = GetLE16(entry + 14);
    return true;
  }
  if (number >= TransponderCount(satellite)) return false;
  if (gSystemType == SYSTEM_TYPE_TERRESTRIAL) {
    const byte *entry = gTransponders + number * TP_ENTRY_SIZE_TERRESTRIAL;
    ids->tsid = GetLE16(entry + 8);
    ids->onid = GetLE16(entry + 12);
    ids->networkId = GetLE16(entry + 14);
  } else {
    const byte *entry = gTransponders + number * TP_ENTRY_SIZE_CABLE;
    ids->tsid = GetLE16(entry + 6);
    ids->onid = GetLE16(entry + 8);
  }
  return true;
}

void SatelliteName(int satellite, char *out, size_t size) {
  out[0] = '\0';
  if (gSystemType == SYSTEM_TYPE_CABLE) {
    snprintf(out, size, "Cable");
  } else if (gSystemType == SYSTEM_TYPE_TERRESTRIAL) {
    if (satellite == 0) CopyText(out, size, gSatellites + 2, SAT_NAME_MAX_TERRESTRIAL);
  } else if (satellite >= 0 && satellite < SAT_TABLE_ENTRIES) {
    CopyText(out, size, gSatellites + satellite * SAT_ENTRY_SIZE + 4, SAT_NAME_SIZE);
  }
}

bool DeleteServiceName(int type, unsigned short number) {
  byte *entry = Service(type, number);
  if (!entry) return false;
  PutLE32(entry, GetLE32(entry) | kFlagDeleted);
  Effect("deleted %s service name %d", TypeName(type), number);
  return true;
}

// Copies bytes into a firmware block of size bytes, zero-padding the rest.
bool Fill(byte *block, size_t size, const std::vector<byte> &bytes, const char *what, std::string *error) {
  if (bytes.size() > size) {
    *error = std::string(what) + " holds " + std::to_string(bytes.size()) + " bytes, the firmware's " +
             std::to_string(size);
    return false;
  }
  if (!bytes.empty()) memcpy(block, bytes.data(), bytes.size());
  memset(block + bytes.size(), 0, size - bytes.size());
  return true;
}

void Allocate() {
  if (gNames) return;
  for (byte *&table : gServices) table = FirmwareAlloc(kServiceTableSize);
  gNames = FirmwareAlloc(SERVICE_NAME_BLOCK_SIZE);
  gProviders = FirmwareAlloc(PROVIDER_BLOCK_SIZE);
  gSatellites = FirmwareAlloc(SAT_TABLE_SIZE);
  gTransponders = FirmwareAlloc(TP_TABLE_SIZE);
  gFavourites = FirmwareAlloc(FAV_BLOCK_SIZE_LARGE + kGameSaveSize);
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

// An empty PVR until the world is installed.
void StartChannels() {
  std::string ignored;
  TableImage empty;
  empty.favourites.assign(FAV_BLOCK_SIZE_LARGE, 0);
  InstallChannelTables(empty, &ignored);
}

}  // namespace

bool InstallChannelTables(const TableImage &image, std::string *error) {
  Allocate();
  if (image.systemType != SYSTEM_TYPE_SATELLITE && image.systemType != SYSTEM_TYPE_TERRESTRIAL &&
      image.systemType != SYSTEM_TYPE_CABLE) {
    *error = "system type " + std::to_string(image.systemType) + " has no table layout";
    return false;
  }
  if (image.favourites.size() != FAV_BLOCK_SIZE_SMALL && image.favourites.size() != FAV_BLOCK_SIZE_LARGE) {
    *error = "a favourites block has 1644 or 9424 bytes, not " + std::to_string(image.favourites.size());
    return false;
  }
  for (const std::vector<byte> *services : {&image.tvServices, &image.radioServices}) {
    if (services->size() % SERVICE_ENTRY_SIZE) {
      *error = "a service table holds whole 32-byte entries";
      return false;
    }
  }
  if (!Fill(gServices[0], kServiceTableSize, image.tvServices, "the TV service table", error) ||
      !Fill(gServices[1], kServiceTableSize, image.radioServices, "the radio service table", error) ||
      !Fill(gNames, SERVICE_NAME_BLOCK_SIZE, image.serviceNames, "the name block", error) ||
      !Fill(gProviders, PROVIDER_BLOCK_SIZE, image.providers, "the provider table", error) ||
      !Fill(gSatellites, SAT_TABLE_SIZE, image.satellites, "the satellite table", error) ||
      !Fill(gTransponders, TP_TABLE_SIZE, image.transponders, "the transponder table", error) ||
      !Fill(gFavourites, FAV_BLOCK_SIZE_LARGE + kGameSaveSize, image.favourites, "the favourites block", error)) {
    return false;
  }
  gSystemType = image.systemType;
  gServiceCount[0] = (int)(image.tvServices.size() / SERVICE_ENTRY_SIZE);
  gServiceCount[1] = (int)(image.radioServices.size() / SERVICE_ENTRY_SIZE);
  gNamesUsed = std::max<size_t>(image.serviceNames.size(), 1);   // offset 0 stays a name
  gCurrentType = image.currentType;
  gCurrentNumber = image.currentNumber;
  PublishTable(FW_HOOK_TvServices, gServices[0]);
  PublishTable(FW_HOOK_RadioServices, gServices[1]);
  PublishTable(FW_HOOK_ServiceNames, gNames);
  PublishTable(FW_HOOK_Providers, gProviders);
  PublishTable(FW_HOOK_Satellites, gSatellites);
  PublishTable(FW_HOOK_Transponders, gTransponders);
  // The favourites variant is told by the distance to the game-save block.
  PublishTable(FW_HOOK_Favourites, gFavourites);
  PublishTable(FW_HOOK_GameSaveData, gFavourites + image.favourites.size());
  return true;
}

int WorldSystemType() { return gSystemType; }

// The favourites block as it is now (the firmware's changes included).
std::vector<byte> FavouritesBlock() {
  size_t size = (size_t)(PublishedTable(FW_HOOK_GameSaveData) - gFavourites);
  return std::vector<byte>(gFavourites, gFavourites + size);
}

// The service fields a timer takes from its service: satellite index, service ID, PMT PID,
// and its transponder's table entry in the layout of the system type.
bool TimerServiceFields(int type, int number, byte *satellite, word *serviceId, word *pmtPid, const byte **tpEntry) {
  const byte *entry = Service(type, number);
  if (!entry) return false;
  dword flags = GetLE32(entry);
  *satellite = (byte)(flags & 0xFF);
  *serviceId = GetLE16(entry + 4);
  *pmtPid = GetLE16(entry + 6);
  int tp = (int)(flags >> 16 & 0x3FF);
  *tpEntry = nullptr;
  if (gSystemType == SYSTEM_TYPE_SATELLITE) {
    *tpEntry = SatelliteTransponder(*satellite, tp);
  } else if (tp < TransponderCount(0)) {
    *tpEntry = gTransponders + tp * (gSystemType == SYSTEM_TYPE_CABLE ? TP_ENTRY_SIZE_CABLE : TP_ENTRY_SIZE_TERRESTRIAL);
  }
  return true;
}

int FindServiceNumber(int type, int satellite, int transponder, int serviceId) {
  for (int number = 0; type >= 0 && type <= 1 && number < gServiceCount[type]; number++) {
    const byte *entry = Service(type, number);
    dword flags = GetLE32(entry);
    if ((int)(flags & 0xFF) == satellite && (int)(flags >> 16 & 0x3FF) == transponder &&
        GetLE16(entry + 4) == serviceId) {
      return number;
    }
  }
  return -1;
}

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
  if (nameOffset < SERVICE_NAME_BLOCK_SIZE) {
    emu::CopyText(info->chName, sizeof info->chName, emu::gNames + nameOffset,
                  std::min<size_t>(SERVICE_NAME_MAX, SERVICE_NAME_BLOCK_SIZE - nameOffset));
  }
  info->satIdx = (byte)(flags & 0xFF);
  emu::SatelliteName(info->satIdx, info->satName, sizeof info->satName);
  info->svcId = GetLE16(entry + 4);
  info->logicalChNum = GetLE16(entry + 22);
  emu::TransponderIds ids;
  if (emu::Transponder(info->satIdx, (int)(flags >> 16 & 0x3FF), &ids)) {
    info->tsId = ids.tsid;
    info->orgNetId = ids.onid;
    info->networkId = ids.networkId;
  }
  return 1;
}

TAP_API_FUNCTION int TAP_Channel_GetCurrent(int *type, int *number) {
  if (emu::gCurrentType < 0) return 0;
  if (type) *type = emu::gCurrentType;
  if (number) *number = emu::gCurrentNumber;
  return 1;
}

// A service can be played unless it is missing, deleted or locked (the firmware would ask
// for the PIN, which a TAP cannot give).
TAP_API_FUNCTION int TAP_Channel_IsPlayable(int, int type, int number) {
  const byte *entry = emu::Service(type, number);
  return entry && !(GetLE32(entry) & (emu::kFlagDeleted | emu::kFlagLocked)) ? 1 : 0;
}

TAP_API_FUNCTION int TAP_Channel_Start(int mainSub, int type, int number) {
  const byte *entry = emu::Service(type, number);
  const char *refusal = !entry                                      ? "no such service"
                        : (GetLE32(entry) & emu::kFlagDeleted) != 0 ? "deleted"
                        : (GetLE32(entry) & emu::kFlagLocked) != 0  ? "locked"
                                                                    : nullptr;
  if (refusal) {
    emu::Effect("channel %s %d refused: %s", type == 1 ? "radio" : type == 0 ? "tv" : "type", number, refusal);
    return 0;
  }
  (void)mainSub;
  emu::gCurrentType = type;
  emu::gCurrentNumber = number;
  emu::Effect("channel %s %d", emu::TypeName(type), number);
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
  emu::TransponderIds ids;
  for (int number = 0; emu::Transponder(satellite, number, &ids); number++) {
    if (ids.tsid == tsid && ids.onid == onid) return number;
  }
  return -1;
}

// Adds a name to the name block; its offset, or -1 when the block is full.
FIRMWARE_HOOK int Appl_AddSvcName(const char *name) {
  if (!name) return -1;
  size_t length = strlen(name);
  if (emu::gNamesUsed + length + 1 > SERVICE_NAME_BLOCK_SIZE) return -1;
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
  for (int i = 0; i < PROVIDER_ENTRIES; i++) {
    byte *entry = emu::gProviders + i * PROVIDER_ENTRY_SIZE;
    if (!entry[0]) {
      memcpy(entry, wanted, sizeof wanted);
      return i;
    }
    if (memcmp(entry, wanted, sizeof wanted) == 0) return i;
  }
  return -1;
}
