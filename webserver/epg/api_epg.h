// The EPG events API: events of the PVR's own EPG or of the SmartEPG database, filtered by
// channel, time window and, beyond those, logo ID, event ID and text, answered as one JSON
// document of EPG event records.
#pragma once

#include "platform/tap_api.h"
#include "platform/epg_event.h"
#include "webserver/epg/epg_firmware_access.h"

// The time window of the request being answered (local packed dates; 0 leaves that side
// open), reset at the start of every request.
extern dword gFilterStartTime, gFilterEndTime;

// "/api?epg!get" and its synonyms: params is the handler parameter text.
void APIEPGGet(const char *params);

// The keep/drop rule the PVR-source reader applies to each candidate: the time window and
// the request's other filters. It never stops the reader: the pool is not in time order.
int EPGCallbackFunction(EPGEvent *event);

// The PVR service of the channel of the last SmartEPG record built, looked up again only
// when the channel changes.
struct SmartEPGService {
  bool known;
  uint64_t channel;
  int svctype, svcnum;
  EPGServiceKey key;
};

// Builds the event of a SmartEPG record (SE_V13_RECORD_SIZE or SE_V15_RECORD_SIZE bytes);
// texts come from text(reference), fitted into their fields. service may be null: the
// service fields then stay unknown (-1 and zeros).
void SmartEPGEventFromRecord(const byte *record, const char *(*text)(dword reference, dword *length),
                             SmartEPGService *service, EPGEvent *event);
