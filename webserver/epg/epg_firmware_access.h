// What the EPG code needs from the firmware beyond the TAP API and from the channel list,
// as one table of functions that the hook layer and the channel lookups fill at start-up
// (and unit tests fill with pools of their own). A member left null is a firmware without
// that feature: no events, no position, no service, logo ID 0.
#pragma once

#include <stdint.h>

#include "platform/tap_api.h"
#include "platform/firmware_epg.h"

// A service by its tuning values.
struct EPGServiceKey {
  int satIndex;
  word networkId, tsid, serviceId;
};

struct EPGFirmwareAccess {
  // The firmware memory that holds the event pool, its event structures and their texts,
  // and the address of the head of the pool of all events. 0 when there is no pool.
  int (*eventPool)(EPGPoolView *view, dword *head);
  // The address of the head of one service's event list; 0 when the service has none.
  dword (*serviceEvents)(word networkId, word tsid, word serviceId);
  // The orbital position of a satellite index; 0 when the index has no satellite.
  int (*satellitePosition)(int satIndex, word *position);
  // The PVR service (type 0 TV, 1 radio, and number) of tuning values; 0 when none.
  int (*serviceNumber)(const EPGServiceKey *key, int *svctype, int *svcnum);
  // The tuning values of a PVR service; 0 when it does not exist.
  int (*serviceKey)(int svctype, int svcnum, EPGServiceKey *key);
  // The logo ID of a PVR service (0 when it cannot be read), and the PVR service of a logo
  // ID (0 when no service has it).
  uint64_t (*channelLogoId)(int svctype, int svcnum);
  int (*serviceOfLogoId)(uint64_t logoId, int *svctype, int *svcnum);
};

extern EPGFirmwareAccess gEPGFirmware;
