#include "webserver/api/api_channels.h"

#include <inttypes.h>
#include <stdlib.h>
#include <string.h>

#include "common/hex_text.h"
#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/channel_lookup.h"
#include "platform/firmware_hooks.h"
#include "platform/flash_tables.h"
#include "platform/pvr_text.h"
#include "webserver/api/handler_params.h"
#include "webserver/api/pvr_names.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

enum {
  GROUP_NAME_MAX = 63,
  LOGO_ID_TEXT_MAX = 31,
  AV_LCN = 999,
};

const int kAnalogueInputs[] = {0, 2, 4};

struct ChannelsGetRequest {
  char group[GROUP_NAME_MAX + 1];
  char groupHex[HANDLER_PARAM_MAX + 1];
  bool hexGiven;
};

void TakeGetParameter(const char *keyword, const char *value, void *context) {
  ChannelsGetRequest *r = static_cast<ChannelsGetRequest *>(context);
  if (strcmp(keyword, "favourites") == 0 || strcmp(keyword, "group") == 0) {
    CopyBounded(r->group, sizeof r->group, value, strlen(value));
  } else if (strcmp(keyword, "favourites_hex") == 0 || strcmp(keyword, "group_hex") == 0) {
    CopyBounded(r->groupHex, sizeof r->groupHex, value, strlen(value));
    r->hexGiven = true;
  }
}

// One channel object, preceded by its separator, as one record of the answer. False when
// the service cannot be read (nothing is written) or the answer is full.
bool FormatChannel(JsonAnswer *answer, int chtype, int chnum, bool first) {
  ServiceRecord s;
  memset(&s, 0, sizeof s);
  uint64_t logoId;
  const char *serviceName, *providerName;
  if (chtype == SERVICE_ANALOGUE) {
    if (chnum != 0 && chnum != 2 && chnum != 4) return false;
    logoId = AnalogueInputLogoID(chnum);
    serviceName = AnalogueInputName(chnum);
    providerName = "Analogue Input";
  } else {
    if (!FlashServiceGetInfo(chtype, chnum, &s)) return false;
    logoId = LogoManager_GetChannelID(chtype, chnum);
    serviceName = s.serviceName;
    providerName = s.providerName;
  }
  int mark = answer->BeginRecord();
  answer->Cat(first ? "\t\r\n{\r\n" : "\t,\r\n{\r\n");
  answer->Printf("\t\"chnum\":%d,\r\n\t\"chtype\":%d,\r\n\t\"satindex\":%d,\r\n", chnum, chtype, s.satIndex);
  answer->Printf("\t\"logoid\":\"%016" PRIx64 "\",\r\n", logoId);
  answer->Printf("\t\"videostreamtype\":%d,\r\n\t\"flagdelete\":%d,\r\n\t\"flagcas\":%d,\r\n\t\"flaglock\":%d,\r\n"
                 "\t\"flagskip\":%d,\r\n\t\"tuner\":%d,\r\n\t\"transponderindex\":%d,\r\n\t\"serviceid\":%d,\r\n"
                 "\t\"pmtpid\":%d,\r\n\t\"pcrpid\":%d,\r\n\t\"videopid\":%d,\r\n\t\"audiopid\":%d,\r\n\t\"lcn\":%d,\r\n"
                 "\t\"audiostreamtype\":%d,\r\n",
                 s.videoStreamType, s.flagDelete, s.flagCAS, s.flagLock, s.flagSkip, s.tuner, s.transponderIndex,
                 s.serviceId, s.pmtPid, s.pcrPid, s.videoPid, s.audioPid, s.lcn, s.audioStreamType);
  answer->Cat("\t\"servicename\":\"");
  AppendPVRName(answer, serviceName, sizeof s.serviceName);
  answer->Cat("\",\r\n\t\"providername\":\"");
  AppendPVRName(answer, providerName, sizeof s.providerName);
  answer->Printf("\",\r\n\t\"namelock\":%d,\r\n\t\"flags2\":%d,\r\n", s.nameLock, s.flags2);
  answer->Printf("\t\"unknown2\":\"%02x%02x%02x%02x%02x%02x\"\r\n\t}\r\n", s.unknown2[0], s.unknown2[1], s.unknown2[2],
                 s.unknown2[3], s.unknown2[4], s.unknown2[5]);
  return answer->EndRecord(mark);
}

// The channel objects of a favourites group, or of every TV and then radio service.
int WriteChannels(JsonAnswer *answer, const FavouritesGroupRecord *group) {
  int written = 0;
  if (group) {
    for (int i = 0; i < group->svcCount && !answer->Full(); i++) {
      written += FormatChannel(answer, group->svcType[i], group->svcNum[i], written == 0);
    }
  } else {
    int totals[2] = {0, 0};
    TAP_Channel_GetTotalNum(&totals[0], &totals[1]);
    for (int type = SERVICE_TV; type <= SERVICE_RADIO; type++) {
      for (int number = 0; number < totals[type] && !answer->Full(); number++) {
        written += FormatChannel(answer, type, number, written == 0);
      }
    }
  }
  if (AnalogueInputAvailable()) {
    for (int input : kAnalogueInputs) {
      if (!answer->Full()) written += FormatChannel(answer, SERVICE_ANALOGUE, input, written == 0);
    }
  }
  return written;
}

struct ChannelsSetRequest {
  int mainsub, chtype, chnum;
  char logoid[LOGO_ID_TEXT_MAX + 1];
};

void TakeSetParameter(const char *keyword, const char *value, void *context) {
  ChannelsSetRequest *r = static_cast<ChannelsSetRequest *>(context);
  if (strcmp(keyword, "mainsub") == 0) {
    r->mainsub = atoi(value);
  } else if (strcmp(keyword, "chtype") == 0) {
    r->chtype = atoi(value);
  } else if (strcmp(keyword, "chnum") == 0) {
    r->chnum = atoi(value);
  } else if (strcmp(keyword, "logoid") == 0) {
    CopyBounded(r->logoid, sizeof r->logoid, value, strlen(value));
  }
}

// The channel now current: type, number, logo ID, LCN and name.
struct CurrentChannel {
  int chtype, chnum;
  uint64_t logoId;
  int lcn;
  char name[sizeof(TYPE_TapChInfo::chName) + 1];
};

void ReadCurrentChannel(CurrentChannel *c) {
  memset(c, 0, sizeof *c);
  TAP_Channel_GetCurrent(&c->chtype, &c->chnum);
  TYPE_TapChInfo info;
  memset(&info, 0, sizeof info);
  if (TAP_Channel_GetInfo(c->chtype, c->chnum, &info)) {
    c->lcn = info.logicalChNum;
    CopyBounded(c->name, sizeof c->name, info.chName, sizeof info.chName);
  }
  c->logoId = LogoManager_GetChannelID(c->chtype, c->chnum);
}

// Leaves the analogue input when it is shown (the firmware may need a second nudge).
void LeaveAnalogueInput() {
  if (!HookGetAnalogEncoderState()()) return;
  HookAnalogChangeAction()();
  if (HookGetAnalogEncoderState()()) HookAnalogChangeAction()();
}

}  // namespace

void APIChannelsGet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Channels-Get request '%s'.", params ? params : "");
  ChannelsGetRequest r;
  memset(&r, 0, sizeof r);
  ScanHandlerParams(params, params ? (int)strnlen(params, 8195) : 0, '&', TakeGetParameter, &r);
  if (r.hexGiven) webC_HexToTextN(r.groupHex, r.group, sizeof r.group);

  FavouritesGroupRecord group;
  bool favourites = r.group[0] && FindFavouritesGroup(r.group, &group) >= 0;
  if (favourites) LOGF(LOG_DETAIL, "Using favourites group '%s'.", r.group);

  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for channels response.");
    return;
  }
  CurrentChannel current;
  ReadCurrentChannel(&current);
  answer.Cat("{");
  answer.Printf("\"timestamp\":\"%s\",\r\n\"content\":\"channels\",\r\n", PVRDateToJSON(0, 0));
  answer.Printf("\"current_chtype\":%d,\r\n\"current_chnum\":%d,\r\n", current.chtype, current.chnum);
  answer.Printf("\"current_logoid\":\"%016" PRIx64 "\",\r\n", current.logoId);
  answer.Printf("\"favourites\":%d,\r\n\"fav_name\":\"", favourites ? 1 : 0);
  AppendPVRName(&answer, r.group, sizeof r.group);
  answer.Cat("\",\r\n\"fav_name_hex\":");
  answer.HexString(r.group);
  answer.Cat(",\r\n\"channels\":\r\n[\r\n");
  int written = WriteChannels(&answer, favourites ? &group : nullptr);
  answer.Cat("]}\r\n");
  answer.InsertPrintf(1, "\"count\":%d,\r\n", written);
  LOGF(LOG_DETAIL, "Channels = (%d).", written);
  LOGF(LOG_NETWORK, "Sending channels get.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APIChannelsSet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Channels-Set request '%s'.", params ? params : "");
  ChannelsSetRequest r;
  memset(&r, 0, sizeof r);
  r.mainsub = 1;
  ScanHandlerParams(params, params ? (int)strnlen(params, 8195) : 0, '&', TakeSetParameter, &r);

  bool analogue = AnalogueInputAvailable();
  CurrentChannel current;
  if (r.chtype != SERVICE_ANALOGUE) {
    if (analogue) LeaveAnalogueInput();
    TAP_Channel_IsPlayable(r.mainsub, r.chtype, r.chnum);
    TAP_Channel_Start(r.mainsub, r.chtype, r.chnum);
    ReadCurrentChannel(&current);
  } else if (!analogue) {
    LOGF(LOG_DETAIL, "Attempt to switch to AV input on non-AV model.");
    ReadCurrentChannel(&current);
  } else {
    HookAnalogChangeAction()();
    if (!HookGetAnalogEncoderState()()) HookAnalogChangeAction()();
    memset(&current, 0, sizeof current);
    current.chtype = r.chtype;
    current.chnum = r.chnum;
    current.lcn = AV_LCN;
    current.logoId = LOGO_ID_AV_INPUT;
    CopyBounded(current.name, sizeof current.name, "AV Input", 8);
  }
  int status = current.chtype == r.chtype && current.chnum == r.chnum ? 0 : 1;

  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for channels response.");
    return;
  }
  answer.Printf("{\"count\":0,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"channels_set\",\r\n", PVRDateToJSON(0, 0));
  answer.Printf("\"requested_mainsub\":%d,\r\n\"requested_chtype\":%d,\r\n\"requested_chnum\":%d,\r\n", r.mainsub,
                r.chtype, r.chnum);
  answer.Printf("\"status\":%d,\r\n", status);
  if (status) {
    answer.Printf("\"statustext\":\"New channel %d/%d does not match requested channel %d/%d.\",\r\n", current.chtype,
                  current.chnum, r.chtype, r.chnum);
  }
  answer.Printf("\"current_chtype\":%d,\r\n\"current_chnum\":%d,\r\n", current.chtype, current.chnum);
  answer.Printf("\"current_logoid\":\"%016" PRIx64 "\",\r\n\"current_lcn\":%d,\r\n", current.logoId, current.lcn);
  answer.Cat("\"current_chname\":\"");
  AppendPVRName(&answer, current.name, sizeof current.name);
  answer.Cat("\"\r\n}\r\n");
  LOGF(LOG_NETWORK, "Sending channels set page.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
