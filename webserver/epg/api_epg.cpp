#include "webserver/epg/api_epg.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "platform/firmware_tables.h"
#include "platform/pvr_date_math.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_filter.h"
#include "webserver/epg/epg_info.h"
#include "platform/epg_text_fit.h"
#include "webserver/epg/smartepg_reader.h"

dword gFilterStartTime, gFilterEndTime;

namespace {

enum {
  PIECE_SIZE = 2048,
  NAME_SIZE = 128,
  VALUE_SIZE = 2048,
  SOURCE_TEXT_SIZE = 128,
  SMARTEPG_DATA_STATUS = 9,
  SE_NAME_KEEP = 255,
  SE_TEXT_KEEP = 8193,
};

// What the request asked for.
struct EPGRequest {
  dword start, end;
  bool startGiven, endGiven;
  int chtype, chnum;
  bool chtypeGiven, chnumGiven;
  int source;                        // 0 PVR, 1 SmartEPG
  char sourceText[SOURCE_TEXT_SIZE];
  EPGFilter filter;                  // time window, logo ID, event ID, text
};

EPGRequest gRequest;
EPGEvent gEvent;

void TakeParameter(EPGRequest *r, const char *name, const char *value) {
  if (strcmp(name, "starttime") == 0) {
    r->start = JSONToPVRDate(value);
    r->startGiven = true;
  } else if (strcmp(name, "endtime") == 0) {
    r->end = JSONToPVRDate(value);
    r->endGiven = true;
  } else if (strcmp(name, "chtype") == 0) {
    r->chtype = atoi(value);
    r->chtypeGiven = true;
  } else if (strcmp(name, "chnum") == 0) {
    r->chnum = atoi(value);
    r->chnumGiven = true;
  } else if (strcmp(name, "epgsource") == 0 || strcmp(name, "source") == 0) {
    CopyBounded(r->sourceText, sizeof r->sourceText, value, strlen(value));
    if (strcmp(value, "default") == 0 || strcmp(value, "pvr") == 0 || strcmp(value, "api") == 0) {
      r->source = 0;
    } else if (strcmp(value, "smartepg") == 0) {
      r->source = 1;
    }
  } else if (strcmp(name, "logoid") == 0) {
    r->filter.byLogoId = true;
    r->filter.logoId = strtoull(value, nullptr, 16);
  } else if (strcmp(name, "eventid") == 0) {
    r->filter.byEventId = true;
    r->filter.eventId = (word)atoi(value);
  } else if (strcmp(name, "text") == 0) {
    EPGFilterSetText(&r->filter, value);
  }
}

// The query, URL-decoded, cut at "&" into pieces of at most PIECE_SIZE bytes, each split
// at its first "=" (pieces without one are skipped).
void ParseRequest(const char *params, EPGRequest *r) {
  memset(r, 0, sizeof *r);
  r->source = gEPGSource;
  snprintf(r->sourceText, sizeof r->sourceText, "none");
  EPGFilterReset(&r->filter);
  size_t length = params ? strlen(params) : 0;
  char *decoded = static_cast<char *>(TAP_MemAlloc((dword)length + 2));
  if (!decoded) return;
  URLdecode(params ? params : "", decoded);   // a bad escape ends the text; what came before it stays
  strcat(decoded, "&");
  char piece[PIECE_SIZE + 1], name[NAME_SIZE + 1], value[VALUE_SIZE + 1];
  for (const char *at = decoded; *at;) {
    const char *amp = strchr(at, '&');
    size_t n = (size_t)(amp - at);
    CopyBounded(piece, sizeof piece, at, n);
    at = amp + 1;
    char *equals = strchr(piece, '=');
    if (!equals) continue;
    CopyBounded(name, sizeof name, piece, (size_t)(equals - piece));
    CopyBounded(value, sizeof value, equals + 1, strlen(equals + 1));
    LOGF(LOG_DETAIL, "theKeyword = [%s], theValue = [%s].", name, value);
    TakeParameter(r, name, value);
  }
  TAP_MemFree(decoded);
}

bool ChannelGiven(const EPGRequest &r) { return r.chtypeGiven && r.chnumGiven; }
bool TimeGiven(const EPGRequest &r) { return r.startGiven || r.endGiven; }

uint64_t RequestedLogoId(const EPGRequest &r) {
  return gEPGFirmware.channelLogoId ? gEPGFirmware.channelLogoId(r.chtype, r.chnum) : 0;
}

// The logo ID of a PVR event's channel.
uint64_t LogoIdOfEvent(const EPGEvent *e) {
  word position = 0;
  if (gEPGFirmware.satellitePosition) gEPGFirmware.satellitePosition(e->satindex, &position);
  return ChannelLogoID(position, e->networkid, e->tsid, e->serviceid);
}

// Collects the indexes of the SmartEPG records that pass. Returns the count; -1 when the
// database cannot be read or the index array cannot be had.
int SelectSmartEPGRecords(const EPGRequest &r, int layout, dword **indexes) {
  *indexes = nullptr;
  uint64_t logoId = RequestedLogoId(r);
  dword total = 0;
  if (layout == SE_LAYOUT_15) {
    EPGDB_SelectChannel7(logoId);
    if (!EPGDB_EventDBLoad7()) return -1;
    total = EPGDB_NrOfTotalEvents7();
  } else {
    if (!EPGDB_EventDBLoad()) return -1;
    total = EPGDB_NrOfTotalEvents();
  }
  if (total == 0) return 0;
  *indexes = static_cast<dword *>(TAP_MemAlloc(total * (dword)sizeof(dword)));
  if (!*indexes) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to select %lu SmartEPG events.", (unsigned long)total);
    return -1;
  }
  int count = 0;
  for (dword i = 0; i < total; i++) {
    const byte *raw = layout == SE_LAYOUT_15 ? EPGDB_EventRecord7(i) : EPGDB_EventRecord(i);
    SmartEPGRecord record;
    SmartEPGParseRecord(raw, &record);
    if (ChannelGiven(r) && record.channel != logoId) continue;
    if (r.filter.byLogoId && record.channel != r.filter.logoId) continue;
    if (TimeGiven(r) && !EPGTimeWindowKeeps(&r.filter, record.start, AddTime(record.start, record.duration))) continue;
    if (r.filter.byEventId && (word)record.eventId != r.filter.eventId) continue;
    if (r.filter.text[0]) {
      // The text rule needs the texts: build the event (without its service) and test it.
      SmartEPGEventFromRecord(raw, layout == SE_LAYOUT_15 ? EPGDB_GetEventText7 : EPGDB_GetEventText, nullptr,
                              &gEvent);
      if (!EPGFilterKeeps(&r.filter, &gEvent, record.channel)) continue;
    }
    (*indexes)[count++] = i;
  }
  return count;
}

// The members after "count" and "error", which are put in front once the records are written.
void WriteHead(JsonAnswer *answer, const EPGRequest &r, int source) {
  answer->Cat("{");
  answer->Printf("\"timestamp\":\"%s\",\r\n", PVRDateToJSON(0, 0));
  answer->Cat("\"content\":\"epg_events\",\r\n");
  answer->Printf("\"requested_starttime\":\"%s\",\r\n", r.startGiven ? PVRDateToJSON(r.start, 0) : "0000/00/00 00:00:00");
  answer->Printf("\"requested_endtime\":\"%s\",\r\n", r.endGiven ? PVRDateToJSON(r.end, 0) : "0000/00/00 00:00:00");
  answer->Printf("\"requested_logoid\":\"%016" PRIx64 "\",\r\n", RequestedLogoId(r));
  answer->Cat("\"requested_epgsource\":");
  answer->String(r.sourceText, (int)sizeof r.sourceText);
  answer->Cat(",\r\n");
  answer->Cat(source == 1 ? "\"epgsource\":\"smartepg\",\r\n" : "\"epgsource\":\"pvr\",\r\n");
  answer->Printf("\"requested_chtype\":%d,\r\n", r.chtype);
}

// Appends the records; returns how many fitted.
int WritePvrEvents(JsonAnswer *answer, int matched) {
  int written = 0;
  for (int i = 0; i < matched; i++) {
    if (i > 0 && !EPGInfo_FindNext(&gEvent)) break;
    if (!EPGFormatEventRecord(&gEvent, written == 0, EPG_RECORD_SERVER, 0, gAUFirmwareFlag, answer)) break;
    written++;
  }
  return written;
}

int WriteSmartEPGEvents(JsonAnswer *answer, int layout, const dword *indexes, int matched) {
  int written = 0;
  SmartEPGService service = {};
  for (int i = 0; i < matched; i++) {
    const byte *raw = layout == SE_LAYOUT_15 ? EPGDB_EventRecord7(indexes[i]) : EPGDB_EventRecord(indexes[i]);
    SmartEPGEventFromRecord(raw, layout == SE_LAYOUT_15 ? EPGDB_GetEventText7 : EPGDB_GetEventText, &service,
                            &gEvent);
    if (!EPGFormatEventRecord(&gEvent, written == 0, EPG_RECORD_SERVER, 0, gAUFirmwareFlag, answer)) break;
    written++;
  }
  return written;
}

}  // namespace

int EPGCallbackFunction(EPGEvent *event) {
  uint64_t logoId = gRequest.filter.byLogoId ? LogoIdOfEvent(event) : 0;
  return EPGFilterKeeps(&gRequest.filter, event, logoId) ? 1 : 0;
}

void SmartEPGEventFromRecord(const byte *raw, const char *(*text)(dword, dword *), SmartEPGService *service,
                             EPGEvent *e) {
  SmartEPGRecord r;
  SmartEPGParseRecord(raw, &r);
  if (service && (!service->known || service->channel != r.channel)) {
    memset(service, 0, sizeof *service);
    service->known = true;
    service->channel = r.channel;
    service->svctype = service->svcnum = -1;
    int type, number;
    if (gEPGFirmware.serviceOfLogoId && gEPGFirmware.serviceOfLogoId(r.channel, &type, &number)) {
      service->svctype = type;
      service->svcnum = number;
      if (gEPGFirmware.serviceKey) gEPGFirmware.serviceKey(type, number, &service->key);
    }
  }
  memset(e, 0, sizeof *e);
  e->eventid = (uint16_t)r.eventId;
  e->datastatus = SMARTEPG_DATA_STATUS;
  e->runningstatus = 0;
  e->starttime = r.start;
  e->endtime = AddTime(r.start, r.duration);
  e->timezone = (int16_t)TimeDiff(r.timestamp, r.start);
  e->duration = r.duration;
  e->svctype = e->svcnum = -1;
  if (service) {
    e->satindex = (uint16_t)service->key.satIndex;
    e->networkid = service->key.networkId;
    e->tsid = service->key.tsid;
    e->serviceid = service->key.serviceId;
    e->svctype = service->svctype;
    e->svcnum = service->svcnum;
  }
  memcpy(e->lang, "???", 4);
  dword length = 0;
  const char *t = text(r.nameRef, &length);
  e->namelength = (uint8_t)EPGFitText(e->name, SE_NAME_KEEP + 1, t, length);
  t = text(r.descriptionRef, &length);
  e->descriptionlength = (uint8_t)EPGFitText(e->description, SE_NAME_KEEP + 1, t, length);
  t = text(r.textRef, &length);
  e->textlength = (uint16_t)EPGFitText(e->text, SE_TEXT_KEEP + 1, t, length);
  e->contentidentifier = SmartEPGContent(r.genre);
}

void APIEPGGet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-EPG-Get.");
  gFilterStartTime = gFilterEndTime = 0;
  EPGRequest &r = gRequest;
  ParseRequest(params, &r);
  LOGF(LOG_DETAIL, "epgSource = %d; epgSourceStr = %s; gSEStatus = %d; gSEVersion = %d", r.source, r.sourceText,
       gSEStatus, gSEVersion);
  int layout = 0;
  if (r.source == 1) {
    layout = settleSmartEPG();
    if (layout == 0) r.source = 0;
    LOGF(LOG_DETAIL, "epgSource = %d; epgSourceStr = %s; gSEStatus = %d; gSEVersion = %d", r.source, r.sourceText,
         gSEStatus, gSEVersion);
  }
  if (TimeGiven(r)) {
    // A bound not given leaves its side of the window open.
    gFilterStartTime = r.startGiven ? r.start : 0;
    gFilterEndTime = r.endGiven ? r.end : 0;
    EPGFilterSetTime(&r.filter, gFilterStartTime, gFilterEndTime);
  }

  int error = 0, matched = 0;
  dword *indexes = nullptr;
  if (r.source == 0) {
    EPGInfo_FilterReset();
    bool extra = r.filter.byLogoId || r.filter.byEventId || r.filter.text[0];
    if (TimeGiven(r) || extra) EPGInfo_FilterCallback(EPGCallbackFunction);
    if (ChannelGiven(r)) EPGInfo_FilterChannelByIndex(r.chtype, r.chnum, 0);
    matched = EPGInfo_FindFirst(&gEvent);
  } else {
    matched = SelectSmartEPGRecords(r, layout, &indexes);
    if (matched < 0) {
      error = 1;   // an unreadable database: count 0
      matched = 0;
    }
  }

  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to allocate JSON response buffer.");
  } else {
    WriteHead(&answer, r, r.source);
    int written = 0;
    if (matched == 0) {
      answer.Printf("\"requested_chnum\":%d", r.chnum);
    } else {
      answer.Printf("\"requested_chnum\":%d,\r\n\"event\":\r\n[\r\n", r.chnum);
      written = r.source == 0 ? WritePvrEvents(&answer, matched) : WriteSmartEPGEvents(&answer, layout, indexes, matched);
      answer.Cat("\r\n]");
    }
    answer.Cat("\r\n}\r\n");
    // Events that matched but did not fit (memory or the answer's limit) make it an error
    // too: the count is what the answer holds, and the client learns that it is not all.
    if (written < matched) {
      LOGF(LOG_OPERATIONAL, "Insufficient free RAM for %d of %d EPG events.", matched - written, matched);
      error = 1;
    }
    answer.InsertPrintf(1, "\"count\":%d,\r\n\"error\":%d,\r\n", written, error);
    LOGF(LOG_NETWORK, "Sending EPG event data.");
    NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
  }

  if (indexes) TAP_MemFree(indexes);
  if (r.source == 1) {
    if (layout == SE_LAYOUT_15) EPGDB_EventDBDestroy7();
    else EPGDB_EventDBDestroy();
  }
  EPGInfo_Free();
}
