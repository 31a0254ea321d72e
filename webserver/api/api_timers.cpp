#include "webserver/api/api_timers.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/channel_lookup.h"
#include "platform/flash_tables.h"
#include "platform/pvr_date_math.h"
#include "platform/pvr_text.h"
#include "webserver/api/handler_params.h"
#include "webserver/api/pvr_names.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/request_parser.h"
#include "webserver/core/settings.h"

namespace {

enum {
  RETURN_TEXT_SIZE = 128,
  KEY_SERVICE_TYPE_UNSET = 255,
  KEY_NUMBER_UNSET = 65535,
  KEY_START_UNSET = 999999,
};

// One timer object, its opener chosen by whether an object came before it.
bool FormatTimer(JsonAnswer *answer, int index, const TimerTableRecord &t, bool first) {
  TYPE_TapChInfo info;
  memset(&info, 0, sizeof info);
  TAP_Channel_GetInfo(t.serviceType, t.serviceIndex, &info);
  int analogueType = t.unused8[TIMER_ANALOGUE_TYPE];
  uint64_t logoId = analogueType ? AnalogueInputLogoID(analogueType) : LogoManager_GetChannelID(t.serviceType, t.serviceIndex);
  int mark = answer->BeginRecord();
  answer->Cat(first ? "\t{\r\n" : "\t,{\r\n");
  answer->Printf("\t\"index\":%d,\r\n\t\"tunerindex\":%d,\r\n\t\"recmode\":%d,\r\n\t\"demuxpath\":%d,\r\n"
                 "\t\"manualrec\":%d,\r\n\t\"unused1\":%d,\r\n\t\"satindex\":%d,\r\n\t\"servicetype\":%d,\r\n"
                 "\t\"reservationtype\":%d,\r\n\t\"unused2\":%d,\r\n\t\"serviceid\":%d,\r\n\t\"lcn\":%d,\r\n",
                 index, t.tunerIndex, t.recMode, t.demuxPath, t.manualRec, t.unused1, t.satIndex, t.serviceType,
                 t.reservationType, t.unused2, t.serviceId, info.logicalChNum);
  answer->Printf("\t\"logoid\":\"%016" PRIx64 "\",\r\n\t\"chname\":\"", logoId);
  if (analogueType) {
    answer->Cat(AnalogueInputName(analogueType));
  } else {
    AppendPVRName(answer, info.chName, sizeof info.chName);
  }
  answer->Cat("\",\r\n\t\"satname\":\"");
  AppendPVRName(answer, info.satName, sizeof info.satName);
  answer->Printf("\",\r\n\t\"orgnetid\":%d,\r\n\t\"duration\":%d,\r\n\t\"unused3\":%d,\r\n\t\"filename\":\"",
                 info.orgNetId, t.duration, t.unused3);
  AppendPVRText(answer, t.fileName, sizeof t.fileName);
  answer->Cat("\",\r\n\t\"filename_hex\":");
  answer->HexString(t.fileName, (int)sizeof t.fileName);
  answer->Printf(",\r\n\t\"starttime\":\"%s\",\r\n", PVRDateToJSON(t.startTime, 0));
  answer->Printf("\t\"endtime\":\"%s\",\r\n", PVRDateToJSON(AddTime(t.startTime, t.duration), 0));
  answer->Printf("\t\"endtime_raw\":\"%s\",\r\n", PVRDateToJSON(t.endTime, 0));
  // 32-bit values print as unsigned decimals: the same on the PVR and on a 64-bit PC.
  answer->Printf("\t\"pmtid\":%d,\r\n\t\"isrec\":%d,\r\n\t\"nameset\":%d,\r\n\t\"unused4\":%d,\r\n\t\"epgmarker\":%d,\r\n"
                 "\t\"unused5\":%d,\r\n\t\"unknown1\":%" PRIu32 ",\r\n\t\"eventid1\":%" PRIu32
                 ",\r\n\t\"eventid2\":%" PRIu32 ",\r\n\t\"serviceindex\":%d,\r\n\t\"analoguetype\":%d,\r\n",
                 t.pmtPid, t.isRec, t.nameSet, t.unused4, t.epgMarker, t.unused5, t.unknown1, t.eventId1, t.eventId2,
                 t.serviceIndex, analogueType);
  answer->Cat("\t\"unused8\":\"");
  answer->Hex(t.unused8, (int)sizeof t.unused8);
  answer->Printf("\",\r\n\t\"icetv\":%d,\r\n\t\"unused9\":\"", t.iceTV);
  answer->Hex(t.unused9, (int)sizeof t.unused9);
  answer->Cat("\"\r\n\t}\r\n");
  return answer->EndRecord(mark);
}

// What an update request sent; a set flag per field.
struct TimerUpdate {
  TYPE_TimerInfo timer;
  bool isRecSet, tunerSet, svcTypeSet, svcNumSet, reservationTypeSet, nameFixSet, durationSet, startTimeSet,
      fileNameSet;
  int index;
  int oldSvcType, oldSvcNum, oldDuration;
  dword oldStartTime;
  int epgMarker;
  bool epgMarkerSet;
  dword eventId1, eventId2;
  bool eventId1Set, eventId2Set;
  int analogueType;
  bool analogueTypeSet;
};

// Event IDs are unsigned 32-bit: parsed as such, since a 32-bit long stops at 2^31 - 1.
dword EventId(const char *value) { return (dword)strtoul(value, nullptr, 10); }

void TakeBodyLine(const char *keyword, const char *value, void *context) {
  TimerUpdate *u = static_cast<TimerUpdate *>(context);
  TYPE_TimerInfo &t = u->timer;
  int n = atoi(value);
  if (strcmp(keyword, "isrec") == 0) {
    t.isRec = (byte)n, u->isRecSet = true;
  } else if (strcmp(keyword, "tunerindex") == 0) {
    t.tuner = (byte)n, u->tunerSet = true;
  } else if (strcmp(keyword, "servicetype") == 0) {
    t.svcType = (byte)n, u->svcTypeSet = true;
  } else if (strcmp(keyword, "serviceindex") == 0 || strcmp(keyword, "servicenum") == 0) {
    t.svcNum = (word)n, u->svcNumSet = true;
  } else if (strcmp(keyword, "reservationtype") == 0) {
    t.reservationType = (byte)n, u->reservationTypeSet = true;
  } else if (strcmp(keyword, "nameset") == 0) {
    t.nameFix = (byte)n, u->nameFixSet = true;
  } else if (strcmp(keyword, "duration") == 0) {
    t.duration = (word)n, u->durationSet = true;
  } else if (strcmp(keyword, "starttime") == 0) {
    t.startTime = JSONToPVRDate(value), u->startTimeSet = true;
  } else if (strcmp(keyword, "filename") == 0) {
    char text[sizeof t.fileName];
    CopyBounded(text, sizeof text, value, strlen(value));
    // A body line ends in LF; a CR before it is not part of the name.
    size_t length = strlen(text);
    if (length && text[length - 1] == '\r') text[length - 1] = '\0';
    if (gIsUTFFirmware) {
      CopyBounded(t.fileName, sizeof t.fileName, text, sizeof text);
    } else {
      StrToISO(text, t.fileName);   // never longer than its UTF-8 text
    }
    u->fileNameSet = true;
  } else if (strcmp(keyword, "old_servicetype") == 0) {
    u->oldSvcType = n & 0xFF;
  } else if (strcmp(keyword, "old_serviceindex") == 0 || strcmp(keyword, "old_servicenum") == 0) {
    u->oldSvcNum = n & 0xFFFF;
  } else if (strcmp(keyword, "old_duration") == 0) {
    u->oldDuration = n & 0xFFFF;
  } else if (strcmp(keyword, "old_starttime") == 0) {
    u->oldStartTime = JSONToPVRDate(value);
  } else if (strcmp(keyword, "index") == 0) {
    u->index = n;
  } else if (strcmp(keyword, "epgmarker") == 0) {
    u->epgMarker = n, u->epgMarkerSet = true;
  } else if (strcmp(keyword, "eventid1") == 0) {
    u->eventId1 = EventId(value), u->eventId1Set = true;
  } else if (strcmp(keyword, "eventid2") == 0) {
    u->eventId2 = EventId(value), u->eventId2Set = true;
  } else if (strcmp(keyword, "analoguetype") == 0) {
    u->analogueType = n, u->analogueTypeSet = true;
  }
}

void ReadBody(TimerUpdate *u) {
  memset(u, 0, sizeof *u);
  u->index = -1;
  u->oldSvcType = KEY_SERVICE_TYPE_UNSET;
  u->oldSvcNum = KEY_NUMBER_UNSET;
  u->oldDuration = KEY_NUMBER_UNSET;
  u->oldStartTime = KEY_START_UNSET;
  u->epgMarker = 1;
  // Only the body bytes received are read, up to the Content-Length.
  int length = gHTTPpost.bodyBytes;
  if (gHTTPpost.contentLength >= 0 && gHTTPpost.contentLength < length) length = gHTTPpost.contentLength;
  if (gHTTPpost.body && !gHTTPpost.headerEndMissing) ScanHandlerParams(gHTTPpost.body, length, '\n', TakeBodyLine, u);
}

// Stores the fields the TAP API does not carry in the timer's table record.
void StoreTableFields(int index, const TimerUpdate &u, bool analogue) {
  TimerTableRecord record;
  if (!FlashTimerGetInfo(index, &record)) return;
  record.epgMarker = (byte)u.epgMarker;
  record.eventId1 = u.eventId1;
  record.eventId2 = u.eventId2;
  if (analogue) {
    record.unused8[TIMER_ANALOGUE_TYPE] = (byte)u.analogueType;
    if (u.analogueType) record.tunerIndex = 4;
  }
  FlashTimerSetInfo(index, record);
}

struct UpdateResult {
  const char *content;
  int code;
  char text[RETURN_TEXT_SIZE];
};

void ModifyOrDelete(int mode, TimerUpdate *u, int total, UpdateResult *result) {
  LOGF(LOG_OPERATIONAL, "Found modify/delete timer.");
  result->content = mode == TIMERS_DELETE ? "timers_delete" : "timers_modify";
  // An index outside the table reads and writes nothing.
  if (u->index < 0 || u->index >= total) {
    result->code = 3;
    snprintf(result->text, sizeof result->text, "Index not set for modify or delete timer request.");
    return;
  }
  LOGF(LOG_DETAIL, "Processing modify/delete timer.");
  TYPE_TimerInfo existing;
  memset(&existing, 0, sizeof existing);
  bool read = TAP_Timer_GetInfo(u->index, &existing) != 0;
  if (mode == TIMERS_DELETE) {
    LOGF(LOG_DETAIL, "About to delete timer.");
  } else {
    LOGF(LOG_DETAIL, "About to modify timer from '%s' to '%s'.", existing.fileName, u->timer.fileName);
  }
  if (!read || existing.svcType != u->oldSvcType || existing.svcNum != u->oldSvcNum ||
      existing.duration != u->oldDuration || existing.startTime != u->oldStartTime) {
    result->code = 2;
    snprintf(result->text, sizeof result->text, "Key fields do not match for modify or delete timer request.");
    LOGF(LOG_DETAIL, "Key fields don't match: Index = %d.", u->index);
    LOGF(LOG_DETAIL, "Requested svcType = %d, actual scvType = %d.", u->oldSvcType, existing.svcType);
    LOGF(LOG_DETAIL, "Requested svcNum = %d, actual scvNum = %d.", u->oldSvcNum, existing.svcNum);
    LOGF(LOG_DETAIL, "Requested duration = %d, actual duration = %d.", u->oldDuration, existing.duration);
    LOGF(LOG_DETAIL, "Requested start = %lu, actual start = %lu.", (unsigned long)u->oldStartTime,
         (unsigned long)existing.startTime);
    return;
  }
  if (mode == TIMERS_DELETE) {
    if (!TAP_Timer_Delete(u->index)) {
      result->code = 4;
      snprintf(result->text, sizeof result->text, "Failed to modify delete timer. (ret=0x%x; updIndex=%d)", 0,
               u->index);
    }
    return;
  }
  const TYPE_TimerInfo &t = u->timer;
  if (u->isRecSet) existing.isRec = t.isRec;
  if (u->nameFixSet) existing.nameFix = t.nameFix;
  if (u->svcTypeSet) existing.svcType = t.svcType;
  if (u->svcNumSet) existing.svcNum = t.svcNum;
  if (u->durationSet) existing.duration = t.duration;
  if (u->tunerSet) existing.tuner = t.tuner;
  if (u->reservationTypeSet) existing.reservationType = t.reservationType;
  if (u->startTimeSet) existing.startTime = t.startTime;
  if (u->fileNameSet) memcpy(existing.fileName, t.fileName, sizeof existing.fileName);
  TimerTableRecord record;
  if (FlashTimerGetInfo(u->index, &record)) {
    if (!u->epgMarkerSet) u->epgMarker = record.epgMarker;
    if (!u->eventId1Set) u->eventId1 = record.eventId1;
    if (!u->eventId2Set) u->eventId2 = record.eventId2;
  }
  int ret = TAP_Timer_Modify(u->index, &existing);
  if (ret != 0) {
    result->code = 4;
    snprintf(result->text, sizeof result->text, "Failed to modify delete timer. (ret=0x%x; updIndex=%d)",
             (unsigned)ret, u->index);
    LOGF(LOG_DETAIL, "%s", result->text);
    return;
  }
  LOGF(LOG_DETAIL, "Timer modified, updating flash.");
  StoreTableFields(u->index, *u, u->analogueTypeSet);
}

void Create(TimerUpdate *u, UpdateResult *result) {
  result->content = "timers_new";
  TYPE_TimerInfo &t = u->timer;
  LOGF(LOG_DETAIL, "Found new timer.");
  LOGF(LOG_DETAIL, "Start time '%s', svcType = %d, svcNum = %d.", PVRDateToJSON(t.startTime, 0), t.svcType, t.svcNum);
  if (!u->nameFixSet && u->fileNameSet) t.nameFix = 1;
  if (!u->tunerSet) t.tuner = 3;
  if (u->analogueType) t.tuner = 4;
  int ret = TAP_Timer_Add(&t);
  if (ret != 0) {
    result->code = 1;
    snprintf(result->text, sizeof result->text, "Error creating timer.  TAP return code = %d.", ret);
    return;
  }
  LOGF(LOG_DETAIL, "New timer created, updating flash.");
  StoreTableFields(TAP_Timer_GetTotalNum() - 1, *u, true);
}

}  // namespace

void APITimersGet() {
  LOGF(LOG_DETAIL, "Processing API-Timers-Get request '%s'.", gHTTPpath);
  int total = TAP_Timer_GetTotalNum();
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for timers response.");
    return;
  }
  answer.Printf("{\"timestamp\":\"%s\",\r\n\"content\":\"timers\",\r\n\"timers\":\r\n[\r\n", PVRDateToJSON(0, 0));
  int written = 0;
  for (int i = 0; i < total && !answer.Full(); i++) {
    TimerTableRecord record;
    if (!FlashTimerGetInfo(i, &record)) continue;
    written += FormatTimer(&answer, i, record, written == 0);
  }
  answer.Cat("]}\r\n");
  answer.InsertPrintf(1, "\"count\":%d,\r\n", written);
  LOGF(LOG_NETWORK, "Sending timers get.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APITimersUpdate(int mode) {
  LOGF(LOG_DETAIL, "Processing API-Timers-Update request, mode = %d.", mode);
  int startCount = TAP_Timer_GetTotalNum();
  TimerUpdate u;
  ReadBody(&u);
  TYPE_TimerInfo &t = u.timer;
  if (!u.fileNameSet) snprintf(t.fileName, sizeof t.fileName, "New Orvane Timer%s", gRecordingExt);
  if (!u.epgMarkerSet && (t.reservationType == 5 || t.isRec)) {
    u.epgMarker = t.reservationType == 5 ? 6 : 2;
    u.epgMarkerSet = true;
  }
  if (u.analogueType) t.tuner = 4;

  UpdateResult result;
  memset(&result, 0, sizeof result);
  if (mode == TIMERS_MODIFY || mode == TIMERS_DELETE) {
    ModifyOrDelete(mode, &u, startCount, &result);
  } else {
    Create(&u, &result);
  }

  JsonAnswer answer(JSON_ANSWER_LIMIT, 2048);
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for timers response.");
    return;
  }
  answer.Printf("{\"start_count\":%d,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"%s\",\r\n", startCount,
                PVRDateToJSON(0, 0), result.content);
  answer.Printf("\"end_count\":%d,\r\n\"return_code\":%d,\r\n\"return_text\":", TAP_Timer_GetTotalNum(), result.code);
  answer.String(result.text, (int)sizeof result.text);
  answer.Cat("}\r\n");
  LOGF(LOG_NETWORK, "Sending timers update response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
