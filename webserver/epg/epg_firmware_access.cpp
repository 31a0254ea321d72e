#include "webserver/epg/epg_firmware_access.h"

EPGFirmwareAccess gEPGFirmware;

uint64_t EPGLogoID(word position, word networkId, word tsid, word serviceId) {
  int32_t low = (int32_t)((uint32_t)tsid << 16 | serviceId);
  uint64_t high = (uint64_t)position << 48 | (uint64_t)networkId << 32;
  return high | (uint64_t)(int64_t)low;
}
