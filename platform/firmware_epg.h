// The firmware's EPG in memory: its 80-byte event structures, their text blocks, and the
// two lists that link them (the pool of all events and each service's events). Pointers
// in these structures are 32-bit firmware addresses; EPGPoolAt turns one into a host
// address within the memory the firmware handed out, so that the same code serves the
// PVR, an emulated pool below 4 GiB and a pool image anywhere in a test.
//
// Lists: a list head is a 32-bit word holding the address of the first event; each event
// links to the next through its own link field. A list ends at a null link or at a link
// back to its head (the firmware's end-of-list mark). Nothing here uses the TAP API.
#pragma once

#include <stdint.h>

#include "platform/tap_api.h"
#include "platform/pvr_epg_format.h"

enum {
  FW_EVT_POOL_NEXT = 40,     // u32: next event in the pool of all events
  FW_EVT_SERVICE_NEXT = 44,  // u32: next event of the same service
  FW_EVT_TEXT = 48,          // u32: text block (name, then the zero-terminated description)
  FW_EVT_EXT_TEXT = 52,      // u32: extended text (PVR_EVT_TEXT_LENGTH bytes)
  FW_DESCRIPTION_MAX = 4096, // bytes searched for the end of a short description
};
static_assert(FW_EVT_POOL_NEXT + 4 == FW_EVT_SERVICE_NEXT && FW_EVT_SERVICE_NEXT + 4 == FW_EVT_TEXT &&
                  FW_EVT_TEXT + 4 == FW_EVT_EXT_TEXT && FW_EVT_EXT_TEXT + 4 <= PVR_EVT_TEXT_LENGTH,
              "the firmware's four addresses lie together before the text length");

// Memory of the firmware: size bytes at host address bytes, which the firmware sees at
// the 32-bit address `address`.
struct EPGPoolView {
  const byte *bytes;
  dword address;
  dword size;
};

// The host address of size bytes at a firmware pointer; null when they do not lie whole
// inside the view (or the view is empty).
const byte *EPGPoolAt(const EPGPoolView *view, dword pointer, dword size);

// One event structure, field by field.
struct FirmwareEvent {
  dword address;
  const byte *raw;              // its PVR_EVT_SIZE bytes
  dword status;                 // see PvrEventDuration and friends
  word eventId;
  dword startUtc, endUtc;       // packed dates
  byte nameLength;
  byte parental;
  word networkId, tsid, serviceId;
  byte satIndex;
  char lang[PVR_EVT_LANG_SIZE + 1];
  dword poolNext, serviceNext;
  dword textBlock, extText;
  word extTextLength;
  dword citid;
  byte content, sourceflag;
  word unknown14, icechannel;
  byte unknown15[PVR_EVT_UNKNOWN15_SIZE];
};

// Decodes the event at a firmware pointer; false when it does not lie whole in the view.
bool FirmwareEventDecode(const EPGPoolView *view, dword pointer, FirmwareEvent *event);

// An event's texts as they lie in the pool, without terminators. A part whose bytes are
// not whole inside the view is empty; a description without its terminating zero ends at
// the view's end or after FW_DESCRIPTION_MAX bytes.
struct FirmwareEventTexts {
  const byte *name;
  dword nameLength;
  const byte *description;
  dword descriptionLength;
  const byte *text;
  dword textLength;
};
void FirmwareEventGetTexts(const EPGPoolView *view, const FirmwareEvent *event, FirmwareEventTexts *texts);

// A walk along one list. It visits at most as many events as the view can hold, so a
// cyclic list ends; it also ends at an event that does not lie whole in the view.
struct EPGListWalk {
  EPGPoolView view;
  dword head;
  dword next;
  int linkOffset;
  dword visited, limit;
  dword last[2];          // addresses of the last two events visited
  dword structureSize;    // smallest non-zero distance between events one or two links apart
};
void EPGWalkBegin(EPGListWalk *walk, const EPGPoolView *view, dword head, int linkOffset);
// The next event; false at the end of the list.
bool EPGWalkNext(EPGListWalk *walk, FirmwareEvent *event);
// The event structure size measured so far (at most PVR_EVT_SIZE), 0xFFFFFFFF when no two
// events were seen.
dword EPGWalkStructureSize(const EPGListWalk *walk);
