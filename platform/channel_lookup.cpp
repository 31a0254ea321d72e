#include "platform/channel_lookup.h"

#include <stdio.h>
#include <string.h>

#include "common/common_log.h"
#include "common/text_helpers.h"
#include "platform/firmware_hooks.h"
#include "platform/flash_tables.h"

namespace {

enum { LOG_DETAIL = 2 };

uint64_t LogoIDOf(const FirmwareTables &t, int chtype, int chnum) {
  ServiceRecord service;
  SatelliteRecord satellite;
  TransponderRecord transponder;
  if (!FlashServiceGetInfo(t, chtype, chnum, &service) || !FlashSatTablesGetInfo(t, service.satIndex, &satellite) ||
      !FlashTransponderTablesGetInfo(t, service.satIndex, service.transponderIndex, &transponder)) {
    return 0;
  }
  return ChannelLogoID(satellite.satPosition, transponder.onid, transponder.tsid, service.serviceId);
}

int ServiceCount(int chtype) {
  int tv = 0, radio = 0;
  TAP_Channel_GetTotalNum(&tv, &radio);
  int count = chtype == SERVICE_TV ? tv : chtype == SERVICE_RADIO ? radio : 0;
  return count > 0 ? count : 0;
}

}  // namespace

uint64_t LogoManager_GetChannelID(int chtype, int chnum) {
  FirmwareTables t;
  GetFirmwareTables(&t);
  return LogoIDOf(t, chtype, chnum);
}

int LogoManager_GetServiceNumByChannelID(uint64_t logoId, int *chtype, int *chnum) {
  FirmwareTables t;
  GetFirmwareTables(&t);
  for (int type = SERVICE_TV; type <= SERVICE_RADIO; type++) {
    int count = ServiceCount(type);
    for (int number = 0; number < count; number++) {
      uint64_t id = LogoIDOf(t, type, number);
      if ((uint32_t)id != (uint32_t)logoId || (uint32_t)(id >> 32) != (uint32_t)(logoId >> 32)) continue;
      if (chtype) *chtype = type;
      if (chnum) *chnum = number;
      return 1;
    }
  }
  return 0;
}

int findChannelByName(const char *name, int *chtype, int *chnum) {
  if (chtype) *chtype = 0;
  if (chnum) *chnum = 0;
  if (!name || !name[0]) return 0;
  for (int type = SERVICE_TV; type <= SERVICE_RADIO; type++) {
    int count = ServiceCount(type);
    for (int number = 0; number < count; number++) {
      TYPE_TapChInfo info;
      memset(&info, 0, sizeof info);
      if (!TAP_Channel_GetInfo(type, number, &info)) continue;
      char channelName[sizeof info.chName + 1];
      CopyBounded(channelName, sizeof channelName, info.chName, sizeof info.chName);
      if (strcmp(channelName, name) != 0) continue;
      if (chtype) *chtype = type;
      if (chnum) *chnum = number;
      return 1;
    }
  }
  return 0;
}

int matchChannel(int chtype, int satIndex, int transponderIndex, int serviceId, int *chnum) {
  FirmwareTables t;
  GetFirmwareTables(&t);
  int count = ServiceCount(chtype);
  for (int number = 0; number < count; number++) {
    ServiceRecord service;
    if (!FlashServiceGetInfo(t, chtype, number, &service)) continue;
    if (service.satIndex != (satIndex & 0xFF) || service.transponderIndex != (transponderIndex & 0xFFFF) ||
        service.serviceId != (serviceId & 0xFFFF)) {
      continue;
    }
    if (chnum) *chnum = number;
    return 1;
  }
  return 0;
}

int FindFavouritesGroup(const char *name, FavouritesGroupRecord *record) {
  if (!name) return -1;
  FirmwareTables t;
  GetFirmwareTables(&t);
  int groups = FlashFavoritesGetTotal(t);
  for (int index = 0; index < groups; index++) {
    FavouritesGroupRecord group;
    if (!FlashFavoritesGetInfo(t, index, &group) || strcmp(group.groupName, name) != 0) continue;
    if (CommonLogEnabled(LOG_DETAIL)) {
      char line[128];
      snprintf(line, sizeof line, "Index for group '%s' is %d.", group.groupName, index);
      CommonLogWrite(LOG_DETAIL, line);
    }
    if (record) *record = group;
    return index;
  }
  return -1;
}

bool AnalogueInputAvailable() {
  return FirmwareIsAnalogMode() && HookGetAnalogEncoderState() && HookAnalogChangeAction();
}
