#include "platform/firmware_tables.h"

#include <string.h>

#include "platform/byte_order.h"
#include "platform/rivlib_log.h"

namespace {

// Copies a name of at most maxChars characters, of which `available` bytes may be read,
// up to its first zero byte; out (outSize bytes) is always terminated.
void CopyName(char *out, size_t outSize, const byte *source, dword available, dword maxChars) {
  dword n = 0;
  dword limit = available < maxChars ? available : maxChars;
  if (limit > outSize - 1) limit = (dword)(outSize - 1);
  while (n < limit && source[n] != 0) {
    out[n] = (char)source[n];
    n++;
  }
  out[n] = 0;
}

// Writes a terminated name into a fixed field of fieldSize bytes, zero-padded; a name that
// fills the field has no terminator there.
void PutName(byte *field, dword fieldSize, const char *name, size_t nameSize) {
  size_t n = 0;
  while (n < nameSize && n < fieldSize && name[n] != 0) n++;
  memcpy(field, name, n);
  memset(field + n, 0, fieldSize - n);
}

bool KnownSystemType(int systemType) {
  return systemType == SYSTEM_TYPE_SATELLITE || systemType == SYSTEM_TYPE_TERRESTRIAL ||
         systemType == SYSTEM_TYPE_CABLE;
}

dword TransponderEntrySize(int systemType) {
  switch (systemType) {
    case SYSTEM_TYPE_SATELLITE: return TP_ENTRY_SIZE_SATELLITE;
    case SYSTEM_TYPE_TERRESTRIAL: return TP_ENTRY_SIZE_TERRESTRIAL;
    case SYSTEM_TYPE_CABLE: return TP_ENTRY_SIZE_CABLE;
    default: return 0;
  }
}

void DecodeLNB(const byte *lnb, LNBSettings *out) {
  dword w = GetLE32(lnb);
  out->lnbSupply = w & 1;
  out->unused1 = w >> 1 & 1;
  out->diseqc10 = w >> 2 & 7;
  out->unused2 = w >> 5 & 7;
  out->diseqc12 = w >> 8 & 0xFF;
  out->universalLnb = w >> 16 & 1;
  out->switch22 = w >> 17 & 1;
  out->lowBand = (word)(w >> 18);
  out->hbFrq = GetLE16(lnb + 4);
  memcpy(out->diseqc12Flags, lnb + 6, 3);
  dword w8 = GetLE32(lnb + 8);
  out->unused3 = w8 >> 8 & 0x3F;
  out->loopThrough = w8 >> 14 & 1;
  out->unused4 = w8 >> 15 & 1;
  out->diseqc11 = lnb[10];
  memcpy(out->unused5, lnb + 11, 5);
}

// The 16-byte transponder layouts of satellite and terrestrial models (table entries and
// the transponder part of their timers).
void DecodeTransponder16(int systemType, const byte *e, TransponderRecord *r) {
  r->satIndex = e[0];
  if (systemType == SYSTEM_TYPE_SATELLITE) {
    r->polarisation = e[1] & 1;
    r->unused1 = e[1] >> 1 & 7;
    r->modSystem = e[1] >> 4 & 1;
    r->modulation = e[1] >> 5 & 3;
    r->fec = (byte)(e[1] >> 7 | (e[2] & 7) << 1);
    r->pilot = e[2] >> 3 & 1;
    r->unused2 = e[2] >> 4;
    r->unused3 = e[3];
    r->frequency = GetLE32(e + 4);
    r->symbolRate = GetLE16(e + 8);
    r->tsid = GetLE16(e + 10);
    word w12 = GetLE16(e + 12);
    r->clockSync = w12 & 1;
    r->unused4 = w12 >> 1;
    r->onid = GetLE16(e + 14);
  } else {
    r->channelNumber = e[1];
    r->bandwidth = e[2];
    r->unused1 = e[3];
    r->frequency = GetLE32(e + 4);
    r->tsid = GetLE16(e + 8);
    r->lphp = e[10];
    r->unused2 = e[11];
    r->onid = GetLE16(e + 12);
    r->networkId = GetLE16(e + 14);
  }
}

void EncodeTransponder16(int systemType, const TransponderRecord &r, byte *e) {
  e[0] = r.satIndex;
  if (systemType == SYSTEM_TYPE_SATELLITE) {
    e[1] = (byte)((r.polarisation & 1) | (r.unused1 & 7) << 1 | (r.modSystem & 1) << 4 |
                  (r.modulation & 3) << 5 | (r.fec & 1) << 7);
    e[2] = (byte)((r.fec >> 1 & 7) | (r.pilot & 1) << 3 | (r.unused2 & 15) << 4);
    e[3] = r.unused3;
    PutLE32(e + 4, r.frequency);
    PutLE16(e + 8, r.symbolRate);
    PutLE16(e + 10, r.tsid);
    PutLE16(e + 12, (word)((r.clockSync & 1) | (r.unused4 & 0x7FFF) << 1));
    PutLE16(e + 14, r.onid);
  } else {
    e[1] = r.channelNumber;
    e[2] = r.bandwidth;
    e[3] = (byte)r.unused1;
    PutLE32(e + 4, r.frequency);
    PutLE16(e + 8, r.tsid);
    e[10] = r.lphp;
    e[11] = (byte)r.unused2;
    PutLE16(e + 12, r.onid);
    PutLE16(e + 14, r.networkId);
  }
}

// The transponder part of a cable model's timer: the frequency is a whole u32 here.
void DecodeCableTimerTransponder(const byte *e, TransponderRecord *r) {
  r->frequency = GetLE32(e);
  r->symbolRate = GetLE16(e + 4);
  r->tsid = GetLE16(e + 6);
  r->onid = GetLE16(e + 8);
  r->modulation = e[10];
  r->unused1 = e[11];
}

void EncodeCableTimerTransponder(const TransponderRecord &r, byte *e) {
  PutLE32(e, r.frequency);
  PutLE16(e + 4, r.symbolRate);
  PutLE16(e + 6, r.tsid);
  PutLE16(e + 8, r.onid);
  e[10] = r.modulation;
  e[11] = (byte)r.unused1;
}

// Timer fields up to the transponder part (the same offsets in every layout).
enum {
  TIMER_FILE_NAME = 9,
  TIMER_START = 140,
  TIMER_UNUSED8 = 170,
  TIMER_ICETV = 178,
  TIMER_UNUSED9 = 179,
  TIMER_TP_SHORT = 184,
};
static_assert(TIMER_FILE_NAME + TIMER_FILE_NAME_FIELD == TIMER_START, "the file name field ends at the start time");
static_assert(TIMER_UNUSED8 + 8 == TIMER_ICETV && TIMER_ICETV + 1 == TIMER_UNUSED9,
              "eight unused bytes and the IceTV flag come before the ninth unused field");
static_assert(TIMER_UNUSED9 + 5 == TIMER_TP_SHORT && TIMER_TP_SHORT + TP_ENTRY_SIZE_SATELLITE == TIMER_ENTRY_SIZE,
              "in a 200-byte entry five unused bytes and the transponder end the entry");
static_assert(TIMER_UNUSED9 + 13 <= 192 && 192 + TP_ENTRY_SIZE_TERRESTRIAL <= TIMER_ENTRY_SIZE_MIN_OTHER &&
                  344 + TP_ENTRY_SIZE_TERRESTRIAL == TIMER_ENTRY_SIZE_LARGE,
              "the transponder of the longer terrestrial entries lies within them, after the unused bytes");

size_t TimerUnused9Size(int transponderOffset) { return transponderOffset == TIMER_TP_SHORT ? 5 : 13; }

// Satellite models: the transponder table starts with the number of entries to examine.
struct TransponderWalk {
  const byte *entries;
  dword count;
};

TransponderWalk SatelliteTransponders(const FirmwareBlock &block) {
  TransponderWalk walk = {nullptr, 0};
  if (!block.data || block.size < 4) return walk;
  dword claimed = GetLE32(block.data);
  dword present = (block.size - 4) / TP_ENTRY_SIZE_SATELLITE;
  walk.entries = block.data + 4;
  walk.count = claimed < present ? claimed : present;
  return walk;
}

// The entry of the number-th transponder of a satellite, or null.
const byte *FindSatelliteTransponder(const FirmwareBlock &block, int satellite, int number) {
  TransponderWalk walk = SatelliteTransponders(block);
  int seen = 0;
  for (dword i = 0; i < walk.count; i++) {
    const byte *entry = walk.entries + i * TP_ENTRY_SIZE_SATELLITE;
    if (entry[0] != satellite) continue;
    if (seen++ == number) return entry;
  }
  return nullptr;
}

byte *FavouritesGroup(const FirmwareTables &tables, int index, int *entries) {
  int groups = 0;
  if (!FlashFavoritesGetParameters(tables, &groups, entries) || index < 0 || index >= groups)
    return nullptr;
  return tables.favourites.data + index * (FAV_GROUP_NAME_SIZE + 3 * *entries + 2);
}

byte *TimerEntry(const FirmwareTables &tables, int index) {
  dword size = (dword)FlashTimerStructSize(tables);
  if (!size || index < 0 || !tables.timers.data || (dword)index >= tables.timers.size / size)
    return nullptr;
  return tables.timers.data + (dword)index * size;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Logo IDs

uint64_t ChannelLogoID(word satPosition, word onid, word tsid, word serviceId) {
  int32_t low = (int32_t)((uint32_t)tsid << 16 | serviceId);
  uint64_t high = (uint64_t)satPosition << 48 | (uint64_t)onid << 32;
  return high | (uint64_t)(int64_t)low;
}

uint64_t AnalogueInputLogoID(int number) {
  return number == 2 ? LOGO_ID_AV_COMPOSITE : number == 4 ? LOGO_ID_AV_COMPONENT : LOGO_ID_AV_INPUT;
}

const char *AnalogueInputName(int number) {
  return number == 2 ? "AV Composite" : number == 4 ? "AV Component" : "AV Input";
}

// ---------------------------------------------------------------------------------------
// Entries

int DecodeServiceEntry(const byte *e, dword entrySize, const FirmwareBlock &names,
                       const FirmwareBlock &providers, ServiceRecord *r) {
  if (!e || !r || entrySize < SERVICE_ENTRY_SIZE) return 0;
  dword w0 = GetLE32(e);
  r->satIndex = w0 & 0xFF;
  r->videoStreamType = w0 >> 8 & 0xFF;
  r->transponderIndex = w0 >> 16 & 0x3FF;
  r->tuner = w0 >> 26 & 3;
  r->flagSkip = w0 >> 28 & 1;
  r->flagLock = w0 >> 29 & 1;
  r->flagCAS = w0 >> 30 & 1;
  r->flagDelete = (int)(w0 >> 31 & 1);
  r->serviceId = GetLE16(e + 4);
  r->pmtPid = GetLE16(e + 6);
  r->pcrPid = GetLE16(e + 8);
  r->videoPid = GetLE16(e + 10);
  r->audioPid = GetLE16(e + 12);
  word w14 = GetLE16(e + 14);
  r->nameLock = w14 & 1;
  r->flags2 = w14 >> 1;
  dword nameOffset = GetLE32(e + 16);
  r->serviceName[0] = 0;
  if (names.data && nameOffset < names.size) {
    CopyName(r->serviceName, sizeof r->serviceName, names.data + nameOffset,
             names.size - nameOffset, SERVICE_NAME_MAX);
  }
  word provider = GetLE16(e + 20);
  dword providerOffset = (dword)provider * PROVIDER_ENTRY_SIZE;
  r->providerName[0] = 0;
  if (provider < PROVIDER_ENTRIES && providers.data && providerOffset < providers.size) {
    CopyName(r->providerName, sizeof r->providerName, providers.data + providerOffset,
             providers.size - providerOffset, PROVIDER_NAME_MAX);
  }
  r->lcn = GetLE16(e + 22);
  memcpy(r->unknown2, e + 24, 6);
  r->audioStreamType = GetLE16(e + 30);
  return 1;
}

int DecodeSatelliteEntry(const byte *e, dword entrySize, SatelliteRecord *r) {
  if (!e || !r || entrySize < SAT_ENTRY_SIZE) return 0;
  r->transponderCount = GetLE16(e);
  r->unused1 = GetLE16(e + 2);
  CopyName(r->satName, sizeof r->satName, e + 4, SAT_NAME_SIZE, SAT_NAME_SIZE);
  DecodeLNB(e + 20, &r->lnb[0]);
  DecodeLNB(e + 20 + LNB_SIZE, &r->lnb[1]);
  memcpy(r->unknown1, e + 52, sizeof r->unknown1);
  r->satPosition = GetLE16(e + 74);
  memcpy(r->unused2, e + 76, sizeof r->unused2);
  return 1;
}

int DecodeTransponderEntry(int systemType, const byte *e, dword entrySize, TransponderRecord *r) {
  dword needed = TransponderEntrySize(systemType);
  if (!e || !r || !needed || entrySize < needed) return 0;
  if (systemType == SYSTEM_TYPE_CABLE) {
    r->frequency = GetLE32(e) >> 8;
    r->symbolRate = GetLE16(e + 4);
    r->tsid = GetLE16(e + 6);
    r->onid = GetLE16(e + 8);
    r->modulation = e[10];
    r->unused1 = e[11];
  } else {
    DecodeTransponder16(systemType, e, r);
  }
  return 1;
}

int TimerTransponderOffset(int systemType, dword entrySize) {
  if (systemType == SYSTEM_TYPE_SATELLITE || systemType == SYSTEM_TYPE_CABLE)
    return entrySize == TIMER_ENTRY_SIZE ? TIMER_TP_SHORT : 0;
  if (systemType != SYSTEM_TYPE_TERRESTRIAL) return 0;
  if (entrySize == TIMER_ENTRY_SIZE) return TIMER_TP_SHORT;
  if (entrySize == TIMER_ENTRY_SIZE_LARGE) return 344;
  // Other sizes keep the transponder at 192: an entry shorter than 208 bytes cannot hold it.
  return entrySize >= TIMER_ENTRY_SIZE_MIN_OTHER ? 192 : 0;
}

int DecodeTimerEntry(int systemType, const byte *e, dword entrySize, TimerTableRecord *r) {
  int tp = TimerTransponderOffset(systemType, entrySize);
  if (!e || !r || !tp) return 0;
  r->tunerIndex = e[0];
  r->recMode = e[1] & 7;
  r->demuxPath = e[1] >> 3 & 3;
  r->manualRec = e[1] >> 5 & 1;
  r->unused1 = e[1] >> 6;
  r->satIndex = e[2];
  r->serviceType = e[3] & 1;
  r->reservationType = e[3] >> 1 & 7;
  r->unused2 = e[3] >> 4;
  r->serviceId = GetLE16(e + 4);
  r->duration = GetLE16(e + 6);
  r->unused3 = e[8];
  CopyName(r->fileName, sizeof r->fileName, e + TIMER_FILE_NAME, TIMER_FILE_NAME_FIELD,
           TIMER_FILE_NAME_MAX);
  r->startTime = GetLE32(e + TIMER_START);
  r->endTime = GetLE32(e + 144);
  r->pmtPid = GetLE16(e + 148);
  r->isRec = e[150];
  r->nameSet = e[151];
  r->unused4 = e[152];
  r->epgMarker = e[153];
  r->unused5 = GetLE16(e + 154);
  r->unknown1 = GetLE32(e + 156);
  r->eventId1 = GetLE32(e + 160);
  r->eventId2 = GetLE32(e + 164);
  r->serviceIndex = GetLE16(e + 168);
  memcpy(r->unused8, e + TIMER_UNUSED8, sizeof r->unused8);
  r->iceTV = e[TIMER_ICETV];
  memset(r->unused9, 0, sizeof r->unused9);
  memcpy(r->unused9, e + TIMER_UNUSED9, TimerUnused9Size(tp));
  if (systemType == SYSTEM_TYPE_CABLE) {
    DecodeCableTimerTransponder(e + tp, &r->transponder);
  } else {
    DecodeTransponder16(systemType, e + tp, &r->transponder);
  }
  return 1;
}

int EncodeTimerEntry(int systemType, const TimerTableRecord &r, byte *e, dword entrySize) {
  int tp = TimerTransponderOffset(systemType, entrySize);
  if (!e || !tp) return 0;
  if (systemType == SYSTEM_TYPE_SATELLITE) memset(e, 0, entrySize);
  e[0] = r.tunerIndex;
  e[1] = (byte)((r.recMode & 7) | (r.demuxPath & 3) << 3 | (r.manualRec & 1) << 5 | (r.unused1 & 3) << 6);
  e[2] = r.satIndex;
  e[3] = (byte)((r.serviceType & 1) | (r.reservationType & 7) << 1 | (r.unused2 & 15) << 4);
  PutLE16(e + 4, r.serviceId);
  PutLE16(e + 6, r.duration);
  e[8] = r.unused3;
  PutName(e + TIMER_FILE_NAME, TIMER_FILE_NAME_FIELD, r.fileName, sizeof r.fileName);
  PutLE32(e + TIMER_START, r.startTime);
  PutLE32(e + 144, r.endTime);
  PutLE16(e + 148, r.pmtPid);
  e[150] = r.isRec;
  e[151] = r.nameSet;
  e[152] = r.unused4;
  e[153] = r.epgMarker;
  PutLE16(e + 154, r.unused5);
  PutLE32(e + 156, r.unknown1);
  PutLE32(e + 160, r.eventId1);
  PutLE32(e + 164, r.eventId2);
  PutLE16(e + 168, r.serviceIndex);
  memcpy(e + TIMER_UNUSED8, r.unused8, sizeof r.unused8);
  e[TIMER_ICETV] = r.iceTV;
  memcpy(e + TIMER_UNUSED9, r.unused9, TimerUnused9Size(tp));
  if (systemType == SYSTEM_TYPE_CABLE) {
    EncodeCableTimerTransponder(r.transponder, e + tp);
  } else {
    EncodeTransponder16(systemType, r.transponder, e + tp);
  }
  return 1;
}

static_assert(FAV_GROUP_RECORD_SIZE == FAV_GROUP_NAME_SIZE + 3 * FAV_GROUP_ENTRIES_MAX + 2,
              "a group: its name, a number and a type per entry, the count and one more byte");
static_assert(10 * (FAV_GROUP_NAME_SIZE + 3 * 50 + 2) <= FAV_BLOCK_SIZE_SMALL &&
                  30 * FAV_GROUP_RECORD_SIZE <= FAV_BLOCK_SIZE_LARGE,
              "the groups lie within their block");

int FavouritesVariant(dword blockSize, int *groups, int *entries) {
  int g = 0, n = 0;
  if (blockSize == FAV_BLOCK_SIZE_SMALL) {
    g = 10;
    n = 50;
  } else if (blockSize == FAV_BLOCK_SIZE_LARGE) {
    g = 30;
    n = 100;
  }
  if (groups) *groups = g;
  if (entries) *entries = n;
  return g != 0;
}

int DecodeFavouritesGroup(const byte *group, int entries, FavouritesGroupRecord *r) {
  if (!group || !r || entries <= 0 || entries > FAV_GROUP_ENTRIES_MAX) return 0;
  CopyName(r->groupName, sizeof r->groupName, group, FAV_GROUP_NAME_SIZE, FAV_GROUP_NAME_SIZE);
  for (int i = 0; i < entries; i++) {
    r->svcNum[i] = GetLE16(group + FAV_GROUP_NAME_SIZE + 2 * i);
    r->svcType[i] = group[FAV_GROUP_NAME_SIZE + 2 * entries + i];
  }
  byte count = group[FAV_GROUP_NAME_SIZE + 3 * entries];
  r->svcCount = count < entries ? count : (byte)entries;
  r->unused1 = group[FAV_GROUP_NAME_SIZE + 3 * entries + 1];
  return 1;
}

int EncodeFavouritesGroup(const FavouritesGroupRecord &r, byte *group, int entries) {
  if (!group || entries <= 0 || entries > FAV_GROUP_ENTRIES_MAX || r.svcCount > entries) return 0;
  PutName(group, FAV_GROUP_NAME_SIZE, r.groupName, sizeof r.groupName);
  for (int i = 0; i < entries; i++) {
    PutLE16(group + FAV_GROUP_NAME_SIZE + 2 * i, r.svcNum[i]);
    group[FAV_GROUP_NAME_SIZE + 2 * entries + i] = r.svcType[i];
  }
  group[FAV_GROUP_NAME_SIZE + 3 * entries] = r.svcCount;
  group[FAV_GROUP_NAME_SIZE + 3 * entries + 1] = r.unused1;
  return 1;
}

// ---------------------------------------------------------------------------------------
// Tables

int FlashServiceGetInfo(const FirmwareTables &t, int type, int number, ServiceRecord *record) {
  if (!record) return 0;
  *record = ServiceRecord();
  if (!KnownSystemType(t.systemType) || (type != 0 && type != 1) || number < 0) return 0;
  const FirmwareBlock &services = type == 0 ? t.tvServices : t.radioServices;
  if (!services.data || (dword)number >= services.size / SERVICE_ENTRY_SIZE) return 0;
  return DecodeServiceEntry(services.data + (dword)number * SERVICE_ENTRY_SIZE, SERVICE_ENTRY_SIZE,
                            t.serviceNames, t.providers, record);
}

int FlashSatTablesGetTotal(const FirmwareTables &t) {
  const FirmwareBlock &sats = t.satellites;
  if (!KnownSystemType(t.systemType) || !sats.data) return 0;
  if (t.systemType != SYSTEM_TYPE_SATELLITE) return sats.size >= 2 ? 1 : 0;
  dword present = sats.size / SAT_ENTRY_SIZE;
  dword n = 0;
  while (n < present && sats.data[n * SAT_ENTRY_SIZE + 4] != 0) n++;
  return (int)n;
}

int FlashSatTablesGetInfo(const FirmwareTables &t, int index, SatelliteRecord *record) {
  if (!record) return 0;
  *record = SatelliteRecord();
  if (index < 0 || index >= FlashSatTablesGetTotal(t)) return 0;
  const byte *sats = t.satellites.data;
  if (t.systemType == SYSTEM_TYPE_SATELLITE) {
    DecodeSatelliteEntry(sats + (dword)index * SAT_ENTRY_SIZE, SAT_ENTRY_SIZE, record);
  } else if (t.systemType == SYSTEM_TYPE_TERRESTRIAL) {
    CopyName(record->satName, sizeof record->satName, sats + 2, t.satellites.size - 2,
             SAT_NAME_MAX_TERRESTRIAL);
  } else {
    strcpy(record->satName, "Cable");
  }
  // The count the table claims, but never more transponders than the table holds.
  word claimed = t.systemType == SYSTEM_TYPE_SATELLITE ? record->transponderCount : GetLE16(sats);
  int present = FlashTransponderTablesGetTotal(t, index);
  record->transponderCount = claimed < present ? claimed : (word)present;
  return 1;
}

int FlashTransponderTablesGetTotal(const FirmwareTables &t, int satellite) {
  if (!KnownSystemType(t.systemType) || !t.transponders.data) return 0;
  if (t.systemType == SYSTEM_TYPE_SATELLITE) {
    if (satellite < 0 || satellite > 255) return 0;
    TransponderWalk walk = SatelliteTransponders(t.transponders);
    int n = 0;
    for (dword i = 0; i < walk.count; i++) n += walk.entries[i * TP_ENTRY_SIZE_SATELLITE] == satellite;
    return n;
  }
  if (satellite != 0 || !t.satellites.data || t.satellites.size < 2) return 0;
  dword claimed = GetLE16(t.satellites.data);
  dword present = t.transponders.size / TransponderEntrySize(t.systemType);
  return (int)(claimed < present ? claimed : present);
}

int FlashTransponderTablesGetInfo(const FirmwareTables &t, int satellite, int number,
                                  TransponderRecord *record) {
  if (!record) return 0;
  *record = TransponderRecord();
  if (number < 0 || number >= FlashTransponderTablesGetTotal(t, satellite)) return 0;
  if (t.systemType == SYSTEM_TYPE_SATELLITE) {
    const byte *entry = FindSatelliteTransponder(t.transponders, satellite, number);
    return entry ? DecodeTransponderEntry(t.systemType, entry, TP_ENTRY_SIZE_SATELLITE, record) : 0;
  }
  dword size = TransponderEntrySize(t.systemType);
  return DecodeTransponderEntry(t.systemType, t.transponders.data + (dword)number * size, size, record);
}

int FlashTimerStructSize(const FirmwareTables &t) {
  return TimerTransponderOffset(t.systemType, t.timerEntrySize) ? (int)t.timerEntrySize : 0;
}

int FlashTimerGetInfo(const FirmwareTables &t, int index, TimerTableRecord *record) {
  if (!record) return 0;
  *record = TimerTableRecord();
  const byte *entry = TimerEntry(t, index);
  return entry ? DecodeTimerEntry(t.systemType, entry, t.timerEntrySize, record) : 0;
}

int FlashTimerSetInfo(const FirmwareTables &t, int index, const TimerTableRecord &record) {
  byte *entry = TimerEntry(t, index);
  return entry ? EncodeTimerEntry(t.systemType, record, entry, t.timerEntrySize) : 0;
}

int FlashFavoritesGetParameters(const FirmwareTables &t, int *groups, int *entries) {
  if (groups) *groups = 0;
  if (entries) *entries = 0;
  if (!KnownSystemType(t.systemType) || !t.favourites.data) return 0;
  if (FavouritesVariant(t.favourites.size, groups, entries)) return 1;
  LogEntryRivlibPrintf(false, "FlashFavoritesGetParameters: unknown favorite structure variant (%d bytes)",
                       (int)t.favourites.size);
  return 0;
}

int FlashFavoritesGetTotal(const FirmwareTables &t) {
  int groups = 0, entries = 0;
  if (!FlashFavoritesGetParameters(t, &groups, &entries)) return 0;
  int n = 0;
  while (n < groups && t.favourites.data[n * (FAV_GROUP_NAME_SIZE + 3 * entries + 2)] != 0) n++;
  return n;
}

int FlashFavoritesGetInfo(const FirmwareTables &t, int index, FavouritesGroupRecord *record) {
  if (!record) return 0;
  *record = FavouritesGroupRecord();
  int entries = 0;
  const byte *group = FavouritesGroup(t, index, &entries);
  return group ? DecodeFavouritesGroup(group, entries, record) : 0;
}

int FlashFavoritesSetInfo(const FirmwareTables &t, int index, const FavouritesGroupRecord &record) {
  int entries = 0;
  byte *group = FavouritesGroup(t, index, &entries);
  return group ? EncodeFavouritesGroup(record, group, entries) : 0;
}

int FlashFavoritesGetInfoCurrent(const FirmwareTables &t, FavouritesGroupRecord *record) {
  if (!record) return 0;
  *record = FavouritesGroupRecord();
  if (!t.settings.data || t.settings.size <= SETTINGS_FAV_GROUP) return 0;
  int selected = t.settings.data[SETTINGS_FAV_GROUP];
  // 255 selects none; neither does a group beyond the groups in use.
  if (selected == FAV_GROUP_NONE || selected >= FlashFavoritesGetTotal(t)) return 0;
  return FlashFavoritesGetInfo(t, selected, record);
}

int FlashFavoritesGetSelectedGroupName(const FirmwareTables &t, char *text, int size) {
  if (!text || size <= 0) return 0;
  text[0] = 0;
  FavouritesGroupRecord group;
  if (!FlashFavoritesGetInfoCurrent(t, &group)) return 0;
  CopyName(text, (size_t)size, reinterpret_cast<const byte *>(group.groupName), sizeof group.groupName,
           FAV_GROUP_NAME_SIZE);
  return 1;
}
