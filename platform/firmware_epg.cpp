#include "platform/firmware_epg.h"

#include <string.h>

#include "platform/byte_order.h"

const byte *EPGPoolAt(const EPGPoolView *view, dword pointer, dword size) {
  if (!view || !view->bytes || pointer < view->address) return nullptr;
  uint64_t offset = (uint64_t)(pointer - view->address);
  if (offset + size > view->size) return nullptr;
  return view->bytes + offset;
}

bool FirmwareEventDecode(const EPGPoolView *view, dword pointer, FirmwareEvent *e) {
  const byte *b = EPGPoolAt(view, pointer, PVR_EVT_SIZE);
  if (!b || pointer == 0) return false;
  e->address = pointer;
  e->raw = b;
  e->status = GetLE32(b + PVR_EVT_STATUS);
  e->eventId = GetLE16(b + PVR_EVT_EVENTID);
  e->startUtc = GetLE32(b + PVR_EVT_START_UTC);
  e->endUtc = GetLE32(b + PVR_EVT_END_UTC);
  e->nameLength = b[PVR_EVT_NAME_LENGTH];
  e->parental = b[PVR_EVT_PARENTAL];
  e->networkId = GetLE16(b + PVR_EVT_NETWORKID);
  e->tsid = GetLE16(b + PVR_EVT_TSID);
  e->serviceId = GetLE16(b + PVR_EVT_SERVICEID);
  e->satIndex = b[PVR_EVT_SATINDEX];
  memcpy(e->lang, b + PVR_EVT_LANG, PVR_EVT_LANG_SIZE);
  e->lang[PVR_EVT_LANG_SIZE] = '\0';
  e->poolNext = GetLE32(b + FW_EVT_POOL_NEXT);
  e->serviceNext = GetLE32(b + FW_EVT_SERVICE_NEXT);
  e->textBlock = GetLE32(b + FW_EVT_TEXT);
  e->extText = GetLE32(b + FW_EVT_EXT_TEXT);
  e->extTextLength = GetLE16(b + PVR_EVT_TEXT_LENGTH);
  e->citid = GetLE32(b + PVR_EVT_CITID);
  e->content = b[PVR_EVT_CONTENT];
  e->sourceflag = b[PVR_EVT_SOURCEFLAG];
  e->unknown14 = GetLE16(b + PVR_EVT_UNKNOWN14);
  e->icechannel = GetLE16(b + PVR_EVT_ICECHANNEL);
  memcpy(e->unknown15, b + PVR_EVT_UNKNOWN15, PVR_EVT_UNKNOWN15_SIZE);
  return true;
}

void FirmwareEventGetTexts(const EPGPoolView *view, const FirmwareEvent *e, FirmwareEventTexts *t) {
  memset(t, 0, sizeof *t);
  const byte *block = EPGPoolAt(view, e->textBlock, e->nameLength);
  if (e->textBlock != 0 && block) {
    t->name = block;
    t->nameLength = e->nameLength;
    // The description runs from the name's end to its zero, within the view.
    dword after = e->textBlock + e->nameLength;
    const byte *start = EPGPoolAt(view, after, 0);
    if (start && after >= e->textBlock) {
      dword room = view->size - (dword)(start - view->bytes);
      if (room > FW_DESCRIPTION_MAX) room = FW_DESCRIPTION_MAX;
      const void *zero = memchr(start, 0, room);
      t->description = start;
      t->descriptionLength = zero ? (dword)(static_cast<const byte *>(zero) - start) : room;
    }
  }
  const byte *text = EPGPoolAt(view, e->extText, e->extTextLength);
  if (e->extText != 0 && text) {
    t->text = text;
    t->textLength = e->extTextLength;
  }
}

void EPGWalkBegin(EPGListWalk *walk, const EPGPoolView *view, dword head, int linkOffset) {
  memset(walk, 0, sizeof *walk);
  walk->view = *view;
  walk->head = head;
  walk->linkOffset = linkOffset;
  walk->limit = view->size / PVR_EVT_SIZE;
  walk->structureSize = 0xFFFFFFFF;
  const byte *first = EPGPoolAt(view, head, 4);
  walk->next = first && head != 0 ? GetLE32(first) : 0;
}

namespace {

dword Distance(dword a, dword b) { return a > b ? a - b : b - a; }

void Measure(EPGListWalk *walk, dword address) {
  for (int i = 0; i < 2 && i < (int)walk->visited; i++) {
    dword d = Distance(address, walk->last[i]);
    if (d != 0 && d < walk->structureSize) walk->structureSize = d;
  }
  walk->last[1] = walk->last[0];
  walk->last[0] = address;
}

}  // namespace

bool EPGWalkNext(EPGListWalk *walk, FirmwareEvent *event) {
  if (walk->next == 0 || walk->next == walk->head || walk->visited >= walk->limit) return false;
  if (!FirmwareEventDecode(&walk->view, walk->next, event)) return false;
  Measure(walk, event->address);
  walk->visited++;
  walk->next = GetLE32(event->raw + walk->linkOffset);
  return true;
}

dword EPGWalkStructureSize(const EPGListWalk *walk) {
  if (walk->structureSize == 0xFFFFFFFF) return walk->structureSize;
  return walk->structureSize < PVR_EVT_SIZE ? walk->structureSize : (dword)PVR_EVT_SIZE;
}
