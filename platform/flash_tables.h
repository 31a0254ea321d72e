// This PVR's service and tuning tables, as the support layer's table access reads them:
// the addresses come from the firmware hooks, the sizes from the TAP API (services and
// timers), from the distances between firmware blocks (favourites variant, timer entry
// size) or, where the firmware publishes none, from the fixed maxima of firmware_tables.h.
// The system type is that of the PVR's model record (firmware_model.h).
//
// Each function reads the tables afresh, so it always sees the firmware's current state.
#pragma once

#include "platform/firmware_tables.h"

// The system type of this PVR's model (5, 6, 7, ...); 0 when the model is unknown.
int PVRSystemType();

// Fills tables from the hooks; a missing hook leaves its block empty.
void GetFirmwareTables(FirmwareTables *tables);

// The table access of firmware_tables.h on this PVR's tables.
int FlashServiceGetInfo(int type, int number, ServiceRecord *record);
int FlashSatTablesGetTotal();
int FlashSatTablesGetInfo(int index, SatelliteRecord *record);
int FlashTransponderTablesGetTotal(int satellite);
int FlashTransponderTablesGetInfo(int satellite, int number, TransponderRecord *record);
int FlashTimerStructSize();
int FlashTimerGetInfo(int index, TimerTableRecord *record);
int FlashTimerSetInfo(int index, const TimerTableRecord &record);
int FlashFavoritesGetParameters(int *groups, int *entries);
int FlashFavoritesGetTotal();
int FlashFavoritesGetInfo(int index, FavouritesGroupRecord *record);
int FlashFavoritesSetInfo(int index, const FavouritesGroupRecord &record);
int FlashFavoritesGetInfoCurrent(FavouritesGroupRecord *record);
int FlashFavoritesGetSelectedGroupName(char *text, int size);
