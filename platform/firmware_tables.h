// The firmware's service and tuning tables: services, service names, providers, satellites,
// transponders, favourites groups, the settings block and timers, decoded field by field at
// their byte offsets (little-endian) for the system types 5 (satellite), 6 (terrestrial)
// and 7 (cable); timers and favourites groups are also written back.
//
// Pure functions over byte blocks with explicit sizes: every read stays inside its block,
// and counts and offsets that point past a block are clamped. The firmware hook layer fills
// a FirmwareTables with the table addresses and sizes and calls these.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/tap_api.h"

enum {
  SYSTEM_TYPE_SATELLITE = 5,
  SYSTEM_TYPE_TERRESTRIAL = 6,
  SYSTEM_TYPE_CABLE = 7,

  SERVICE_ENTRY_SIZE = 32,
  SERVICE_NAME_MAX = 23,          // characters taken from the name block
  PROVIDER_ENTRY_SIZE = 21,
  PROVIDER_ENTRIES = 256,
  PROVIDER_NAME_MAX = 20,
  SAT_ENTRY_SIZE = 84,
  SAT_NAME_SIZE = 16,
  SAT_NAME_MAX_TERRESTRIAL = 15,  // the pseudo-satellite's name at offset 2
  LNB_SIZE = 16,
  TP_ENTRY_SIZE_SATELLITE = 16,
  TP_ENTRY_SIZE_TERRESTRIAL = 16,
  TP_ENTRY_SIZE_CABLE = 12,

  FAV_BLOCK_SIZE_SMALL = 1644,    // 10 groups of 50 entries
  FAV_BLOCK_SIZE_LARGE = 9424,    // 30 groups of 100 entries
  FAV_GROUP_NAME_SIZE = 12,
  FAV_GROUP_ENTRIES_MAX = 100,
  FAV_GROUP_RECORD_SIZE = 314,
  SETTINGS_FAV_GROUP = 18,        // selected favourites group in "_applEepromAddr"
  FAV_GROUP_NONE = 255,

  TIMER_ENTRY_SIZE = 200,
  TIMER_ENTRY_SIZE_LARGE = 360,   // terrestrial models with the transponder at 344
  TIMER_ENTRY_SIZE_MIN_OTHER = 208,
  TIMER_FILE_NAME_FIELD = 131,
  TIMER_FILE_NAME_MAX = 130,
  TIMER_RECORD_FILE_NAME_SIZE = 133,

  // Tables whose size the firmware does not publish: the support layer reads no further
  // than these sizes, and pvrsim's tables have exactly these sizes (zero-padded).
  SERVICE_NAME_BLOCK_SIZE = 128 * 1024,
  PROVIDER_BLOCK_SIZE = PROVIDER_ENTRIES * PROVIDER_ENTRY_SIZE,
  SAT_TABLE_ENTRIES = 64,
  SAT_TABLE_SIZE = SAT_TABLE_ENTRIES * SAT_ENTRY_SIZE,
  TP_TABLE_ENTRIES = 4000,
  TP_TABLE_SIZE = 4 + TP_TABLE_ENTRIES * TP_ENTRY_SIZE_SATELLITE,
  SETTINGS_BLOCK_SIZE = 256,
};

// Service types of the API: TV, radio and the PVR's analogue inputs.
enum { SERVICE_TV = 0, SERVICE_RADIO = 1, SERVICE_ANALOGUE = 99 };

// The logo ID of a channel: satellite position, original network ID, transport stream ID
// and service ID, 16 bits each from the top, with the low 32 bits sign-extended over the
// high ones (a TSID of 0x8000 or more makes bits 63-32 all ones).
uint64_t ChannelLogoID(word satPosition, word onid, word tsid, word serviceId);

// The analogue inputs: number 0 "AV Input", 2 "AV Composite", 4 "AV Component". A timer's
// analogue type names them the same way; any other number is the AV input.
const uint64_t LOGO_ID_AV_INPUT = 0xFFFFFFFFFFFFFF00ull;
const uint64_t LOGO_ID_AV_COMPOSITE = 0xFFFFFFFFFFFFFF02ull;
const uint64_t LOGO_ID_AV_COMPONENT = 0xFFFFFFFFFFFFFF04ull;
uint64_t AnalogueInputLogoID(int number);
const char *AnalogueInputName(int number);

// Service record (one TV or radio service).
struct ServiceRecord {
  byte satIndex;
  byte videoStreamType;
  int flagDelete;
  int flagCAS;
  int flagLock;
  int flagSkip;
  byte tuner;                 // 0..3
  word transponderIndex;      // 10 bits
  word serviceId;
  word pmtPid;
  word pcrPid;
  word videoPid;
  word audioPid;
  word lcn;
  word audioStreamType;
  char serviceName[24];       // at most SERVICE_NAME_MAX characters, terminated
  char providerName[40];      // at most PROVIDER_NAME_MAX characters, terminated
  byte nameLock;
  word flags2;
  byte unknown2[6];
};

// LNB settings of a satellite (16 bytes in the firmware).
struct LNBSettings {
  byte lnbSupply;
  byte unused1;
  byte diseqc10;              // 3 bits
  byte unused2;               // 3 bits
  byte diseqc12;
  byte universalLnb;
  byte switch22;
  word lowBand;               // 14 bits
  word hbFrq;
  byte diseqc12Flags[3];
  byte unused3;               // 6 bits
  byte loopThrough;
  byte unused4;
  byte diseqc11;
  byte unused5[5];
};

// Satellite record; terrestrial and cable models have one pseudo-satellite.
struct SatelliteRecord {
  word transponderCount;      // never more than the transponder table holds
  word unused1;
  char satName[SAT_NAME_SIZE + 1];   // terminated
  LNBSettings lnb[2];
  byte unknown1[22];
  word satPosition;
  byte unused2[8];
};

// Transponder record; fields a system type does not carry are 0.
struct TransponderRecord {
  byte satIndex;
  dword frequency;
  word symbolRate;
  byte channelNumber;
  byte bandwidth;
  word tsid;
  word onid;
  word networkId;
  int pilot;
  byte fec;                   // 4 bits on satellite models
  byte modulation;
  byte modSystem;
  byte polarisation;
  byte lphp;
  int clockSync;
  word unused1;
  word unused2;
  byte unused3;
  word unused4;
};

// Favourites group record, always with room for 100 entries.
struct FavouritesGroupRecord {
  char groupName[FAV_GROUP_NAME_SIZE + 1];   // terminated
  word svcNum[FAV_GROUP_ENTRIES_MAX];
  byte svcType[FAV_GROUP_ENTRIES_MAX];       // 0 TV, 1 radio
  byte svcCount;                             // never more than the variant's entries
  byte unused1;
};

// Timer-table record.
struct TimerTableRecord {
  byte tunerIndex;
  byte recMode;               // 3 bits
  byte demuxPath;             // 2 bits
  byte manualRec;             // 1 bit
  byte unused1;               // 2 bits
  byte satIndex;
  byte serviceType;           // 1 bit
  byte reservationType;       // 3 bits
  byte unused2;               // 4 bits
  word serviceId;
  word duration;              // minutes
  byte unused3;
  char fileName[TIMER_RECORD_FILE_NAME_SIZE];   // at most TIMER_FILE_NAME_MAX characters
  dword startTime;            // packed PVR date
  dword endTime;
  word pmtPid;
  byte isRec;
  byte nameSet;
  byte unused4;
  byte epgMarker;
  word unused5;
  dword unknown1;
  dword eventId1;
  dword eventId2;
  word serviceIndex;
  byte unused8[8];            // the seventh byte is the analogue type
  byte iceTV;
  byte unused9[13];           // only the first five on 200-byte layouts with the
                              // transponder at 184
  TransponderRecord transponder;
};

enum { TIMER_ANALOGUE_TYPE = 6 };   // index of the analogue type in unused8

// One firmware block: its address and how many bytes of it may be read (and written).
struct FirmwareBlock {
  byte *data;
  dword size;
};

// The tables of one firmware, as the hook layer finds them. Counts come from the sizes:
// the service tables hold total × 32 bytes (TAP_Channel_GetTotalNum), the timer table
// total × timerEntrySize (TAP_Timer_GetTotalNum), the favourites block is the distance from
// "_favGrp" to "_gameSaveData".
struct FirmwareTables {
  int systemType;
  FirmwareBlock tvServices;       // "_tvSvc"
  FirmwareBlock radioServices;    // "_radioSvc"
  FirmwareBlock serviceNames;     // "_svcName"
  FirmwareBlock providers;        // "_providerInfo"
  FirmwareBlock satellites;       // "_satInfo"
  FirmwareBlock transponders;     // "_tpInfo"
  FirmwareBlock favourites;       // "_favGrp"
  FirmwareBlock settings;         // "_applEepromAddr"
  FirmwareBlock timers;           // "_timer"
  dword timerEntrySize;           // distance from "_timerEditInfo" to "_timerTempInfo"
};

// Entry decoders and encoders: one entry of a table at `entry`, entrySize bytes readable.
// They answer 0 when the entry is too short for its layout.
int DecodeServiceEntry(const byte *entry, dword entrySize, const FirmwareBlock &names,
                       const FirmwareBlock &providers, ServiceRecord *record);
int DecodeSatelliteEntry(const byte *entry, dword entrySize, SatelliteRecord *record);
int DecodeTransponderEntry(int systemType, const byte *entry, dword entrySize,
                           TransponderRecord *record);
// Timer layouts: 0 for an unknown layout (system type and entry size), otherwise the
// offset of the transponder part in an entry.
int TimerTransponderOffset(int systemType, dword entrySize);
int DecodeTimerEntry(int systemType, const byte *entry, dword entrySize, TimerTableRecord *record);
// Writes every field of record at its position; on system type 5 the entry is cleared
// first, otherwise the bytes no field covers are kept as they are.
int EncodeTimerEntry(int systemType, const TimerTableRecord &record, byte *entry, dword entrySize);

// Favourites variant: groups and entries per group of a block size; 0 for an unknown one.
int FavouritesVariant(dword blockSize, int *groups, int *entries);
int DecodeFavouritesGroup(const byte *group, int entries, FavouritesGroupRecord *record);
// Writes a group; 0 when the record has more entries than the variant holds.
int EncodeFavouritesGroup(const FavouritesGroupRecord &record, byte *group, int entries);

// The support layer's table access, over the tables of one firmware. Lookups clear their
// output record first and answer 1, or 0 when there is nothing to read.
int FlashServiceGetInfo(const FirmwareTables &tables, int type, int number, ServiceRecord *record);
int FlashSatTablesGetTotal(const FirmwareTables &tables);
int FlashSatTablesGetInfo(const FirmwareTables &tables, int index, SatelliteRecord *record);
int FlashTransponderTablesGetTotal(const FirmwareTables &tables, int satellite);
int FlashTransponderTablesGetInfo(const FirmwareTables &tables, int satellite, int number,
                                  TransponderRecord *record);
// The timer entry size when the layout is known, else 0.
int FlashTimerStructSize(const FirmwareTables &tables);
int FlashTimerGetInfo(const FirmwareTables &tables, int index, TimerTableRecord *record);
int FlashTimerSetInfo(const FirmwareTables &tables, int index, const TimerTableRecord &record);
// Groups and entries per group (10/50 or 30/100); 0 and both 0 for an unknown variant,
// which is logged to the support layer's error log.
int FlashFavoritesGetParameters(const FirmwareTables &tables, int *groups, int *entries);
// Groups in use: counted from the first while the name is not empty.
int FlashFavoritesGetTotal(const FirmwareTables &tables);
int FlashFavoritesGetInfo(const FirmwareTables &tables, int index, FavouritesGroupRecord *record);
int FlashFavoritesSetInfo(const FirmwareTables &tables, int index, const FavouritesGroupRecord &record);
// The selected group; 0 when none is selected or it is not among the groups in use.
int FlashFavoritesGetInfoCurrent(const FirmwareTables &tables, FavouritesGroupRecord *record);
// The selected group's name into text (size bytes, terminated); 0 and "" when none.
int FlashFavoritesGetSelectedGroupName(const FirmwareTables &tables, char *text, int size);
