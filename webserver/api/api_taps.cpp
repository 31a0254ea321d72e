#include "webserver/api/api_taps.h"

#include <stdint.h>
#include <string.h>

#include "common/base64.h"
#include "common/common_memory.h"
#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/url_params.h"
#include "platform/firmware_hooks.h"
#include "webserver/api/tap_parameter_block.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/smartepg_reader.h"

namespace {

enum { TAP_NAME_SIZE = 513 };   // a TAP file name: at most 512 characters

enum StopError {
  STOP_SENT = 0,
  STOP_INSUFFICIENT = 1,
  STOP_INDEX_RANGE = 2,
  STOP_ID_MISMATCH = 3,
  STOP_NO_TABLE = 4,
  STOP_NO_HANDLER = 5,
};

const char *StopErrorText(int error) {
  switch (error) {
    case STOP_SENT: return "Stop request sent";
    case STOP_INSUFFICIENT: return "Insufficient arguements";
    case STOP_INDEX_RANGE: return "Index out of range";
    case STOP_ID_MISMATCH: return "TAPID at requested index does not match requested TAPID";
    case STOP_NO_TABLE: return "Unable to get 'curTapTask' or 'TMSTAPTaskTable'";
    default: return "No event handler at requested index";
  }
}

// A text member of a TAP record: an escaped field of at most size bytes.
void TextMember(JsonAnswer *answer, const char *name, const char *text, int size, const char *end) {
  answer->Printf("\"%s\":\"", name);
  answer->Escaped(text, size);
  answer->Cat(end);
}

// ---- start ----

// The TAP file named by "filename" (URL-decoded) or else "filename_hex". False when neither
// was given or the name is longer than TAP_NAME_SIZE - 1 characters.
bool RequestedTapName(const char *params, char *name) {
  char longer[TAP_NAME_SIZE + 1];
  bool given = webC_getStrParam(params, "filename", longer, sizeof longer) ||
               webC_getHexStrParam(params, "filename_hex", longer, sizeof longer);
  if (!given || strlen(longer) >= TAP_NAME_SIZE) return false;
  memcpy(name, longer, strlen(longer) + 1);
  return true;
}

// Ends the start answer: the last member's comma goes, "}" follows on the next line.
void CloseStartAnswer(JsonAnswer *answer) {
  answer->Rewind(answer->Length() - 2);
  answer->Cat("\n}");
}

void SendStartAnswer(const char *name, dword result, int error, const char *errorText, bool blockGiven,
                     const byte *block, int length) {
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for TAP-Start response.");
    return;
  }
  answer.Printf("{\n \"count\":0,\n \"timestamp\":\"%s\",\n \"content\":\"tap_start\",\n \"requested_tap\":\"",
                PVRDateToJSON(0, 0));
  answer.EscapedAscii(name);
  answer.Cat("\",\n \"requested_tap_hex\":");
  answer.HexString(name);
  answer.Printf(",\n \"return_code\":%lu,\n \"error\":%d,\n \"error_text\":\"", (unsigned long)result, error);
  answer.EscapedAscii(errorText);
  answer.Cat("\",\n");
  if (blockGiven) {
    char *encoded = static_cast<char *>(TAP_MemAlloc((dword)(4 * ((length + 2) / 3) + 1)));
    if (encoded) {
      b64encode(block, encoded, length);
      answer.Printf(" \"tap_params\":\"%s\",\n", encoded);
      TAP_MemFree(encoded);
    }
  }
  CloseStartAnswer(&answer);
  LOGF(LOG_NETWORK, "Sending TAP-Start response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

// ---- stop ----

// The slot running the TAP file name (the last one when several do) and its TAP ID.
bool FindTapByFileName(const char *name, int *slot, dword *id) {
  bool found = false;
  for (int i = 0; i < TAP_TASK_SLOTS; i++) {
    TapTaskSlot task;
    TapFileInfo info;
    if (!ReadTapTaskSlot(i, &task) || strcmp(task.fileName, name) != 0) continue;
    if (!HDD_TAP_GetInfo(task.fileName, &info)) continue;
    *slot = i;
    *id = info.id;
    found = true;
    LOGF(LOG_OPERATIONAL, "Found TAP '%s' at index '%d'.", name, i);
  }
  return found;
}

// Decides whether the TAP at index may be stopped; actual gets the ID found there.
int CheckStop(dword *actual) {
  if (!gCommand.indexSet || !gCommand.tapIdSet) return STOP_INSUFFICIENT;
  if (gCommand.index < 0 || gCommand.index >= TAP_TASK_SLOTS) return STOP_INDEX_RANGE;
  if (!FirmwareTapTasks() || !FirmwareCurrentTapTask()) return STOP_NO_TABLE;
  TapTaskSlot task;
  TapFileInfo info;
  // A free slot has no ID: it matches no request.
  if (!ReadTapTaskSlot(gCommand.index, &task) || task.status == 0 || !HDD_TAP_GetInfo(task.fileName, &info)) {
    return STOP_ID_MISMATCH;
  }
  *actual = info.id;
  if (info.id != gCommand.tapId) return STOP_ID_MISMATCH;
  return task.handler ? STOP_SENT : STOP_NO_HANDLER;
}

void SendStopAnswer(int error, dword actual) {
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for TAP-Stop response.");
    return;
  }
  dword requested = gCommand.tapId;
  answer.Printf("{\"count\":%d,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"tap_stop\",\r\n\"requested_index\":%d,\r\n"
                "\"requested_tapid\":%lu,\r\n\"requested_tapid_hex\":\"%08lx\",\r\n\"actual_tapid\":%lu,\r\n"
                "\"actual_tapid_hex\":\"%08lx\",\r\n\"error\":%d,\r\n\"error_text\":\"%s\"}\r\n",
                0, PVRDateToJSON(0, 0), gCommand.index, (unsigned long)requested, (unsigned long)requested,
                (unsigned long)actual, (unsigned long)actual, error, StopErrorText(error));
  LOGF(LOG_NETWORK, "Sending TAP-Stop response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

}  // namespace

bool TAPFormat(JsonAnswer *answer, int number, int slot, const TapTaskSlot &task, const TapFileInfo &info) {
  int mark = answer->BeginRecord();
  answer->Printf(number == 0 ? "\r\n{\r\n\"index\":%d,\r\n" : "\r\n,{\r\n\"index\":%d,\r\n", slot);
  answer->Printf("\"status\":%ld,\r\n\"tapid_hex\":\"%08lx\",\r\n\"tapid\":%lu,\r\n", (long)(int32_t)task.status,
                 (unsigned long)info.id, (unsigned long)info.id);
  TextMember(answer, "name", info.programName, (int)sizeof info.programName, "\",\r\n");
  TextMember(answer, "version", info.version, (int)sizeof info.version, "\",\r\n");
  TextMember(answer, "description", info.description, (int)sizeof info.description, "\",\r\n");
  TextMember(answer, "file_name", task.fileName, (int)sizeof task.fileName, "\",\r\n");
  TextMember(answer, "author", info.authorName, (int)sizeof info.authorName, "\"}\r\n");
  return answer->EndRecord(mark);
}

void APITAPGet() {
  LOGF(LOG_DETAIL, "Processing API-TAP-Get request.");
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for TAP status.");
    return;
  }
  answer.Cat("{\"content\":\"taps\",\r\n\"tap\":\r\n[\r\n");
  int count = 0;
  if (FirmwareTapTasks()) {
    gSEStatus = 2;
    for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
      TapTaskSlot task;
      TapFileInfo info;
      if (!ReadTapTaskSlot(slot, &task) || !HDD_TAP_GetInfo(task.fileName, &info)) continue;
      if (!TAPFormat(&answer, count, slot, task, info)) break;
      count++;
      if (info.id == SMARTEPG_TAP_ID) {
        gSEStatus = 1;
        gSEVersion = findSmartEPGVersion();
      }
    }
  }
  answer.Printf("],\r\n\"timestamp\":\"%s\",\r\n\"count\":%d}\r\n", PVRDateToJSON(0, 0), count);
  LOGF(LOG_NETWORK, "Sending TAP status.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APITAPStart(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-TAP-Start.");
  char name[TAP_NAME_SIZE] = "";
  bool named = RequestedTapName(params, name);
  byte *block;
  int length;
  int blockGiven = TapParameterBlock(params, &block, &length);
  LOGF(LOG_OPERATIONAL, "Attempting to start '%s'.", name);
  dword result = 0, id = 0;
  int error = 1;
  const char *errorText = TapStartFailureText(TAP_START_NOT_A_TAP);
  if (gHTTPpathCut) {
    errorText = "Request too long";   // its parameters are not whole
  } else if (blockGiven == TAP_BLOCK_INVALID) {
    errorText = "Invalid parameter block";
  } else if (named) {
    result = (dword)StartTapFile(nullptr, name, false, block, &id);
    error = result ? 0 : 1;
    errorText = result ? "Start request succeeded" : TapStartFailureText(HDD_TAP_StartFailure());
  }
  if (error) {
    LOGF(LOG_DETAIL, "Failed to start '%s', '%s'.", name, errorText);
  } else {
    LOGF(LOG_DETAIL, "Started '%s', '%s'.", name, errorText);
  }
  SendStartAnswer(name, result, error, errorText, blockGiven == TAP_BLOCK_GIVEN, block, length);
  CommonFree(block);
}

void APITAPStop(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-TAP-Stop.");
  parseParams(params, 1);
  if (!gCommand.indexSet && gCommand.fileNameSet) {
    LOGF(LOG_OPERATIONAL, "Attempting to stop TAP '%s'.", gCommand.fileName);
    int slot;
    dword id;
    if (FindTapByFileName(gCommand.fileName, &slot, &id)) {
      gCommand.index = slot;
      gCommand.indexSet = 1;
      gCommand.tapId = id;
      gCommand.tapIdSet = 1;
    }
  } else {
    LOGF(LOG_OPERATIONAL, "Attempting to stop TAPID '%08lx' at index '%d'.", (unsigned long)gCommand.tapId,
         gCommand.index);
  }
  dword actual = 0;
  int error = gHTTPpathCut ? STOP_INSUFFICIENT : CheckStop(&actual);
  if (error != STOP_SENT) {
    LOGF(LOG_DETAIL, "Failed to stop TAPID '%08lx' at index '%d', '%s'.", (unsigned long)gCommand.tapId,
         gCommand.index, StopErrorText(error));
    SendStopAnswer(error, actual);
    return;
  }
  // Orvane.tap stopping itself closes its sockets: the answer goes out first.
  bool self = *FirmwareCurrentTapTask() == (dword)gCommand.index;
  int slot = gCommand.index;
  if (!self) StopTapTaskSlot(slot);
  SendStopAnswer(error, actual);
  if (self) StopTapTaskSlot(slot);
}
