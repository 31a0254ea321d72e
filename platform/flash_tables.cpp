#include "platform/flash_tables.h"

#include <string.h>

#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"

namespace {

enum {
  SERVICES_MAX = 0x10000,       // a service number is 16 bits
  BLOCK_DISTANCE_MAX = 0x10000, // farther apart, two blocks are not neighbours
};

// The distance from one firmware block to the next; 0 when it is not one.
dword Distance(const byte *from, const byte *to) {
  if (!from || !to || to <= from) return 0;
  uintptr_t distance = (uintptr_t)(to - from);
  return distance < BLOCK_DISTANCE_MAX ? (dword)distance : 0;
}

FirmwareBlock Block(byte *data, dword size) {
  FirmwareBlock block = {data, data ? size : 0};
  return block;
}

dword Entries(int count, dword entrySize) {
  if (count <= 0) return 0;
  return (dword)(count < SERVICES_MAX ? count : SERVICES_MAX) * entrySize;
}

FirmwareTables Tables() {
  FirmwareTables t;
  GetFirmwareTables(&t);
  return t;
}

}  // namespace

int PVRSystemType() {
  const byte *model = FindModelRecord(TAP_GetSystemId());
  return model ? (int)ModelField32(model, MODEL_SYSTEM_TYPE) : 0;
}

void GetFirmwareTables(FirmwareTables *t) {
  memset(t, 0, sizeof *t);
  t->systemType = PVRSystemType();
  int tv = 0, radio = 0;
  TAP_Channel_GetTotalNum(&tv, &radio);
  t->tvServices = Block(FirmwareTvServices(), Entries(tv, SERVICE_ENTRY_SIZE));
  t->radioServices = Block(FirmwareRadioServices(), Entries(radio, SERVICE_ENTRY_SIZE));
  t->serviceNames = Block(FirmwareServiceNames(), SERVICE_NAME_BLOCK_SIZE);
  t->providers = Block(FirmwareProviders(), PROVIDER_BLOCK_SIZE);
  t->satellites = Block(FirmwareSatellites(), SAT_TABLE_SIZE);
  t->transponders = Block(FirmwareTransponders(), TP_TABLE_SIZE);
  byte *favourites = FirmwareFavourites();
  t->favourites = Block(favourites, Distance(favourites, FirmwareGameSaveData()));
  t->settings = Block(FirmwareSettings(), SETTINGS_BLOCK_SIZE);
  t->timerEntrySize = Distance(FirmwareTimerEditInfo(), FirmwareTimerTempInfo());
  t->timers = Block(FirmwareTimers(), Entries(TAP_Timer_GetTotalNum(), t->timerEntrySize));
}

int FlashServiceGetInfo(int type, int number, ServiceRecord *record) {
  return FlashServiceGetInfo(Tables(), type, number, record);
}
int FlashSatTablesGetTotal() { return FlashSatTablesGetTotal(Tables()); }
int FlashSatTablesGetInfo(int index, SatelliteRecord *record) { return FlashSatTablesGetInfo(Tables(), index, record); }
int FlashTransponderTablesGetTotal(int satellite) { return FlashTransponderTablesGetTotal(Tables(), satellite); }
int FlashTransponderTablesGetInfo(int satellite, int number, TransponderRecord *record) {
  return FlashTransponderTablesGetInfo(Tables(), satellite, number, record);
}
int FlashTimerStructSize() { return FlashTimerStructSize(Tables()); }
int FlashTimerGetInfo(int index, TimerTableRecord *record) { return FlashTimerGetInfo(Tables(), index, record); }
int FlashTimerSetInfo(int index, const TimerTableRecord &record) { return FlashTimerSetInfo(Tables(), index, record); }
int FlashFavoritesGetParameters(int *groups, int *entries) {
  return FlashFavoritesGetParameters(Tables(), groups, entries);
}
int FlashFavoritesGetTotal() { return FlashFavoritesGetTotal(Tables()); }
int FlashFavoritesGetInfo(int index, FavouritesGroupRecord *record) {
  return FlashFavoritesGetInfo(Tables(), index, record);
}
int FlashFavoritesSetInfo(int index, const FavouritesGroupRecord &record) {
  return FlashFavoritesSetInfo(Tables(), index, record);
}
int FlashFavoritesGetInfoCurrent(FavouritesGroupRecord *record) { return FlashFavoritesGetInfoCurrent(Tables(), record); }
int FlashFavoritesGetSelectedGroupName(char *text, int size) {
  return FlashFavoritesGetSelectedGroupName(Tables(), text, size);
}
