#include "webserver/epg/epg_info.h"

#include <string.h>

#include "common/text_helpers.h"
#include "platform/pvr_text.h"
#include "platform/pvr_time.h"
#include "platform/epg_text_fit.h"

namespace {

enum {
  EPG_DEFAULT_TABLE = 9,     // character table of event names without a selector
  EPG_TEXT_KEEP = 8192,      // bytes of extended text kept
  CACHE_INITIAL = 256,
};

EPGInfoCallback gCallback;
bool gByService;
bool gServiceMissing;
EPGServiceKey gService;
bool gAbort;

// The collected events, by firmware address.
dword *gCache;
dword gCacheCount, gCacheCapacity, gCacheNext;
EPGPoolView gView;
dword gStructureSize;

EPGEvent gCandidate;
char gRaw[FW_DESCRIPTION_MAX + 1];
char gConverted[4 * FW_DESCRIPTION_MAX + 1];

// Converts a name or description to UTF-8 and fits it into its field.
size_t ConvertInto(char *out, size_t size, const byte *text, dword length) {
  CopyBounded(gRaw, sizeof gRaw, reinterpret_cast<const char *>(text), text ? length : 0);
  StrToUTF8(gRaw, gConverted, EPG_DEFAULT_TABLE);
  return EPGFitText(out, size, gConverted, strlen(gConverted));
}

void FreeCache() {
  if (gCache) TAP_MemFree(gCache);
  gCache = nullptr;
  gCacheCount = gCacheCapacity = gCacheNext = 0;
}

// Appends an address; false when memory runs out.
bool Remember(dword address, dword limit) {
  if (gCacheCount == gCacheCapacity) {
    dword capacity = gCacheCapacity ? gCacheCapacity * 2 : (dword)CACHE_INITIAL;
    if (capacity > limit) capacity = limit;
    if (capacity <= gCacheCount) return false;
    dword *grown = static_cast<dword *>(TAP_MemAlloc(capacity * (dword)sizeof(dword)));
    if (!grown) return false;
    if (gCacheCount) memcpy(grown, gCache, gCacheCount * sizeof(dword));
    if (gCache) TAP_MemFree(gCache);
    gCache = grown;
    gCacheCapacity = capacity;
  }
  gCache[gCacheCount++] = address;
  return true;
}

bool Deliver(EPGEvent *event) {
  FirmwareEvent source;
  while (gCacheNext < gCacheCount) {
    if (FirmwareEventDecode(&gView, gCache[gCacheNext++], &source)) {
      EPGEventFromFirmware(&gView, &source, gStructureSize, event);
      return true;
    }
  }
  memset(event, 0, sizeof *event);
  return false;
}

}  // namespace

void EPGEventFromFirmware(const EPGPoolView *view, const FirmwareEvent *s, dword structureSize, EPGEvent *e) {
  memset(e, 0, sizeof *e);
  e->eventid = s->eventId;
  e->datastatus = (uint8_t)PvrEventDataStatus(s->status);
  e->runningstatus = PvrEventRunningStatus(s->status);
  int offset = 0;
  e->starttime = UTC2LocalTime(s->startUtc, &offset);
  e->timezone = (int16_t)offset;
  e->endtime = UTC2LocalTime(s->endUtc, nullptr);
  e->duration = (uint16_t)PvrEventDuration(s->status);
  e->satindex = s->satIndex;
  e->networkid = s->networkId;
  e->tsid = s->tsid;
  e->serviceid = s->serviceId;
  e->svctype = e->svcnum = -1;
  EPGServiceKey key = {s->satIndex, s->networkId, s->tsid, s->serviceId};
  int svctype, svcnum;
  if (gEPGFirmware.serviceNumber && gEPGFirmware.serviceNumber(&key, &svctype, &svcnum)) {
    e->svctype = svctype;
    e->svcnum = svcnum;
  }
  memcpy(e->lang, s->lang, PVR_EVT_LANG_SIZE);
  e->parental = s->parental;

  FirmwareEventTexts t;
  FirmwareEventGetTexts(view, s, &t);
  e->namelength = (uint8_t)ConvertInto(e->name, sizeof e->name, t.name, t.nameLength);
  e->descriptionlength = (uint8_t)ConvertInto(e->description, sizeof e->description, t.description,
                                              t.descriptionLength);
  e->textlength = (uint16_t)EPGFitText(e->text, EPG_TEXT_KEEP + 1, reinterpret_cast<const char *>(t.text),
                                       t.text ? t.textLength : 0);

  if (structureSize > PVR_EVT_EXTRA_FROM) {
    e->citid = (int32_t)s->citid;
    e->contentidentifier = s->content;
    e->sourceflag = s->sourceflag;
    e->unknown14 = s->unknown14;
    e->icechannel = s->icechannel;
  }
  if (structureSize > PVR_EVT_UNKNOWN15_FROM) memcpy(e->unknown15, s->unknown15, PVR_EVT_UNKNOWN15_SIZE);
}

void EPGInfo_FilterReset() {
  gCallback = nullptr;
  gByService = false;
  gServiceMissing = false;
}

void EPGInfo_FilterCallback(EPGInfoCallback callback) { gCallback = callback; }

int EPGInfo_FilterChannelByIndex(int svctype, int svcnum, int flags) {
  (void)flags;
  EPGServiceKey key;
  if (!gEPGFirmware.serviceKey || !gEPGFirmware.serviceKey(svctype, svcnum, &key)) {
    gByService = true;
    gServiceMissing = true;
    return 0;
  }
  EPGInfo_FilterService(&key);
  return 1;
}

void EPGInfo_FilterService(const EPGServiceKey *key) {
  gByService = true;
  gServiceMissing = false;
  gService = *key;
}

int EPGInfo_FindFirst(EPGEvent *event) {
  FreeCache();
  gAbort = false;
  dword head = 0;
  memset(&gView, 0, sizeof gView);
  bool pool = gEPGFirmware.eventPool && gEPGFirmware.eventPool(&gView, &head);
  int link = FW_EVT_POOL_NEXT;
  if (pool && gByService) {
    link = FW_EVT_SERVICE_NEXT;
    head = gServiceMissing || !gEPGFirmware.serviceEvents
               ? 0
               : gEPGFirmware.serviceEvents(gService.networkId, gService.tsid, gService.serviceId);
  }
  if (!pool || head == 0) {
    memset(event, 0, sizeof *event);
    return 0;
  }

  EPGListWalk walk;
  EPGWalkBegin(&walk, &gView, head, link);
  FirmwareEvent source;
  while (!gAbort && EPGWalkNext(&walk, &source)) {
    dword size = EPGWalkStructureSize(&walk);
    EPGEventFromFirmware(&gView, &source, size == 0xFFFFFFFF ? (dword)PVR_EVT_SIZE : size, &gCandidate);
    if (gByService && (gCandidate.satindex != gService.satIndex || gCandidate.networkid != gService.networkId ||
                       gCandidate.tsid != gService.tsid || gCandidate.serviceid != gService.serviceId)) {
      continue;
    }
    if (gCallback && !gCallback(&gCandidate)) continue;
    if (!Remember(source.address, walk.limit)) break;
  }
  gStructureSize = EPGWalkStructureSize(&walk);
  if (gStructureSize == 0xFFFFFFFF) gStructureSize = PVR_EVT_SIZE;
  if (gByService) {
    for (dword i = 0, j = gCacheCount; i + 1 < j; i++, j--) {
      dword t = gCache[i];
      gCache[i] = gCache[j - 1];
      gCache[j - 1] = t;
    }
  }
  Deliver(event);
  return (int)gCacheCount;
}

int EPGInfo_FindNext(EPGEvent *event) { return Deliver(event) ? 1 : 0; }

void EPGInfo_AbortLoad() { gAbort = true; }

void EPGInfo_Free() {
  FreeCache();
  EPGInfo_FilterReset();
}
