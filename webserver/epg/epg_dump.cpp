#include "webserver/epg/epg_dump.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "platform/byte_order.h"
#include "platform/pvr_path.h"
#include "platform/pvr_time.h"
#include "webserver/core/logging.h"
#include "webserver/epg/apprentice_status.h"
#include "webserver/epg/epg_firmware_access.h"
#include "platform/firmware_epg.h"
#include "platform/firmware_tables.h"

namespace {

enum { NO_SATELLITE = 9999 };

// The satellite position of the last index looked up successfully.
struct PositionCache {
  int satIndex;
  word position;
};

word PositionOf(int satIndex, PositionCache *cache) {
  if (satIndex == cache->satIndex) return cache->position;
  word position = 0;
  if (gEPGFirmware.satellitePosition && gEPGFirmware.satellitePosition(satIndex, &position)) {
    cache->satIndex = satIndex;
    cache->position = position;
    return position;
  }
  return 0;
}

bool WriteItem(FILE *file, dword tag, const byte *bytes, dword length) {
  byte header[PVR_ITEM_HEADER_SIZE];
  PutLE32(header, tag);
  PutLE32(header + 4, bytes ? length : 0);
  if (fwrite(header, 1, sizeof header, file) != sizeof header) return false;
  return !bytes || length == 0 || fwrite(bytes, 1, length, file) == length;
}

bool WriteRecord(FILE *file, const EPGPoolView *view, const FirmwareEvent *e, PositionCache *positions) {
  byte fixed[PVR_REC_FIXED_SIZE];
  memcpy(fixed, e->raw, PVR_EVT_SIZE);
  uint64_t logoId = ChannelLogoID(PositionOf(e->satIndex, positions), e->networkId, e->tsid, e->serviceId);
  PutLE32(fixed + PVR_REC_CHANNEL, (uint32_t)logoId);
  PutLE32(fixed + PVR_REC_CHANNEL + 4, (uint32_t)(logoId >> 32));
  int startOffset = 0, endOffset = 0;
  PutLE32(fixed + PVR_REC_LOCAL_START, UTC2LocalTime(e->startUtc, &startOffset));
  PutLE16(fixed + PVR_REC_START_OFFSET, (uint16_t)(int16_t)startOffset);
  PutLE32(fixed + PVR_REC_LOCAL_END, UTC2LocalTime(e->endUtc, &endOffset));
  PutLE16(fixed + PVR_REC_END_OFFSET, (uint16_t)(int16_t)endOffset);
  if (fwrite(fixed, 1, sizeof fixed, file) != sizeof fixed) return false;

  FirmwareEventTexts t;
  FirmwareEventGetTexts(view, e, &t);
  return WriteItem(file, PVR_ITEM_NAME, t.name, t.nameLength) &&
         WriteItem(file, PVR_ITEM_DESCRIPTION, t.description, t.descriptionLength) &&
         WriteItem(file, PVR_ITEM_TEXT, t.text, t.textLength);
}

// Writes the records and the trailer; -1 when a write fails.
int WriteDump(FILE *file) {
  EPGPoolView view = {};
  dword head = 0;
  int count = 0;
  dword structureSize = 0xFFFFFFFF;
  if (gEPGFirmware.eventPool && gEPGFirmware.eventPool(&view, &head)) {
    EPGListWalk walk;
    EPGWalkBegin(&walk, &view, head, FW_EVT_POOL_NEXT);
    PositionCache positions = {NO_SATELLITE, 0};
    FirmwareEvent e;
    while (EPGWalkNext(&walk, &e)) {
      if (!WriteRecord(file, &view, &e, &positions)) return -1;
      count++;
    }
    structureSize = EPGWalkStructureSize(&walk);
  }
  byte trailer[PVR_TRAILER_SIZE];
  PutLE32(trailer + PVR_TRAILER_STRUCT_SIZE, structureSize);
  PutLE32(trailer + PVR_TRAILER_COUNT, (dword)count);
  if (fwrite(trailer, 1, sizeof trailer, file) != sizeof trailer) return -1;
  return count;
}

}  // namespace

int dumpEPG2File() {
  if (ApprenticeBusy()) {
    LOGF(LOG_DETAIL, "'skimlet' is running, PVR EPG data cache left as it is.");
    return EPG_DUMP_BUSY;
  }
  MappedPath temp(PVR_EPG_TEMP_PATH), target(PVR_EPG_PATH);
  FILE *file = temp.c_str() && target.c_str() ? fopen(temp.c_str(), "wb") : nullptr;
  if (!file) {
    LOGF(LOG_OPERATIONAL, "Unable to open '/ProgramFiles/Settings/Orvane/PVR.epg'.");
    return EPG_DUMP_FAILED;
  }
  int count = WriteDump(file);
  bool ok = count >= 0;
  ok = fflush(file) == 0 && ok;
  ok = fclose(file) == 0 && ok;
  if (ok && rename(temp.c_str(), target.c_str()) == 0) return count;
  unlink(temp.c_str());
  LOGF(LOG_OPERATIONAL, "Unable to write '/ProgramFiles/Settings/Orvane/PVR.epg'.");
  return EPG_DUMP_FAILED;
}
