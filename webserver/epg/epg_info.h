// The reader of the PVR's own EPG: it walks the firmware's pool of all events (or one
// service's list), turns each event into an EPGEvent, keeps those the filter and the
// callback accept, and hands them out one by one. The walk always visits the whole list
// (bounded by the pool's size); only EPGInfo_AbortLoad ends it early.
//
// Kept events are remembered by their firmware address and built again when handed out,
// so the reader holds 4 bytes per event rather than a whole EPGEvent.
#pragma once

#include "platform/epg_event.h"
#include "webserver/epg/epg_filter.h"
#include "platform/firmware_epg.h"

// Keeps (1) or drops (0) a candidate event.
typedef int (*EPGInfoCallback)(EPGEvent *event);

// Clears the filter: no channel, no time, no callback.
void EPGInfo_FilterReset();
void EPGInfo_FilterCallback(EPGInfoCallback callback);
// Restricts to the events of a PVR service (its tuning values from the firmware). When the
// service does not exist, nothing is found. 1 when the service was found.
int EPGInfo_FilterChannelByIndex(int svctype, int svcnum, int flags);
// Restricts to the events of a service given by its tuning values.
void EPGInfo_FilterService(const EPGServiceKey *key);
// Collects the events that pass, copies the first into event and returns how many passed
// (0: none, event zeroed). Without a channel the pool of all events in pool order; with
// one the service's list, handed out in reverse list order.
int EPGInfo_FindFirst(EPGEvent *event);
// The next collected event; 0 when there is none (event zeroed).
int EPGInfo_FindNext(EPGEvent *event);
// Stops collecting: events after the current one are not examined.
void EPGInfo_AbortLoad();
// Discards the collected events and the filter.
void EPGInfo_Free();

// Builds the EPGEvent of a firmware event: local start and end with the start's offset,
// duration, tuning values, service (when the firmware tells it, else -1), language, name
// and description converted to UTF-8 (character table 9 by default) and extended text, each
// fitted into its field; the bytes from offset 64 when the event structure is larger than
// 68 bytes, those from 74 when it is larger than 72.
void EPGEventFromFirmware(const EPGPoolView *view, const FirmwareEvent *source, dword structureSize,
                          EPGEvent *event);
