#include "webserver/epg/epg_firmware_binding.h"

#include <string.h>

#include "platform/channel_lookup.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_memory.h"
#include "platform/flash_tables.h"

namespace {

// The pool of all events: its head and the readable firmware memory that holds it.
int PoolOfFirmware(EPGPoolView *view, dword *head) {
  FwGetEventListInUsePool pool = HookGetEventListInUsePool();
  dword address = pool ? FirmwareWord(pool()) : 0;
  if (!address || !FirmwareMemoryRegion(address, &view->bytes, &view->address, &view->size)) return 0;
  *head = address;
  return 1;
}

dword ServiceEventsOfFirmware(word networkId, word tsid, word serviceId) {
  FwGetEventListInHash list = HookGetEventListInHash();
  return list ? FirmwareWord(list(networkId, tsid, serviceId)) : 0;
}

int ServiceKeyOfChannel(int svctype, int svcnum, EPGServiceKey *key) {
  TYPE_TapChInfo info;
  memset(&info, 0, sizeof info);
  if (!TAP_Channel_GetInfo(svctype, svcnum, &info)) return 0;
  key->satIndex = info.satIdx;
  key->networkId = info.orgNetId;
  key->tsid = info.tsId;
  key->serviceId = info.svcId;
  return 1;
}

// The TV or radio service with these tuning values, as the firmware's own lookups find it.
int ServiceNumberOfKey(const EPGServiceKey *key, int *svctype, int *svcnum) {
  FwGetTransponderIndex transponderOf = HookGetTransponderIndex();
  FwGetServiceIndex serviceOf = HookGetServiceIndex();
  if (!transponderOf || !serviceOf || key->satIndex < 0 || key->satIndex > 255) return 0;
  int transponder = transponderOf((unsigned char)key->satIndex, key->tsid, key->networkId);
  if (transponder < 0) return 0;
  for (int type = 0; type <= 1; type++) {
    int number = serviceOf((unsigned char)type, (unsigned char)key->satIndex, (unsigned short)transponder,
                           key->serviceId, 0, 0);
    if (number >= 0) {
      *svctype = type;
      *svcnum = number;
      return 1;
    }
  }
  return 0;
}

int SatellitePosition(int satIndex, word *position) {
  SatelliteRecord satellite;
  if (!FlashSatTablesGetInfo(satIndex, &satellite)) return 0;
  *position = satellite.satPosition;
  return 1;
}

}  // namespace

void BindEPGFirmware() {
  gEPGFirmware = EPGFirmwareAccess();
  gEPGFirmware.eventPool = PoolOfFirmware;
  gEPGFirmware.serviceEvents = ServiceEventsOfFirmware;
  gEPGFirmware.serviceKey = ServiceKeyOfChannel;
  gEPGFirmware.serviceNumber = ServiceNumberOfKey;
  gEPGFirmware.satellitePosition = SatellitePosition;
  gEPGFirmware.channelLogoId = LogoManager_GetChannelID;
  gEPGFirmware.serviceOfLogoId = LogoManager_GetServiceNumByChannelID;
}
