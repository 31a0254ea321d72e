// Which EPG events an answer keeps: channel, logo ID, time window, event ID and text. The
// filter only selects; a reader applies it to every candidate and never stops early, since
// neither the pool nor a channel's list is in time order. Nothing here uses the TAP API.
#pragma once

#include <stdint.h>

#include "platform/epg_event.h"
#include "webserver/epg/epg_firmware_access.h"

enum { EPG_FILTER_TEXT_SIZE = 256 };

struct EPGFilter {
  bool byService;
  EPGServiceKey service;
  bool byLogoId;
  uint64_t logoId;
  bool byTime;
  dword start, end;        // local packed dates; 0 leaves that side of the window open
  bool byEventId;
  word eventId;
  char text[EPG_FILTER_TEXT_SIZE];   // empty: any text
};

void EPGFilterReset(EPGFilter *filter);
// A time window; either bound may be 0 (open). A start alone keeps the events that end at
// or after it; an end alone those that start at or before it.
void EPGFilterSetTime(EPGFilter *filter, dword start, dword end);
// A text the event's name, description or extended text must contain (ASCII letters
// compared without case); cut to its field.
void EPGFilterSetText(EPGFilter *filter, const char *text);

// The time-window rule: an event is kept when it ends at or after the start and, when an
// end is set, starts at or before the end (packed dates compared unsigned).
bool EPGTimeWindowKeeps(const EPGFilter *filter, dword start, dword end);
// Every rule of the filter on one event; logoId is the event's channel.
bool EPGFilterKeeps(const EPGFilter *filter, const EPGEvent *event, uint64_t logoId);
