#include "webserver/api/api_config.h"

#include <stdio.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/drive_identity.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "platform/pvr_text.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"

namespace {

enum {
  CONFIG_ANSWER_INITIAL = 16000,
  CONFIG_ANSWER_LIMIT = 256 * 1024,
  MODULE_NAME_SIZE = sizeof(TYPE_FolderEntry::name),
};
const char kModulesFolder[] = "/ProgramFiles/Settings/Orvane/public_html/modules";
const char kTapVersion[] = "2.20";

// The fields of the model record that the answer reports: zeros and empty texts when no
// record matches this PVR.
struct ModelFacts {
  char name[MODEL_NAME_SIZE + 1];
  char appType[MODEL_APP_TYPE_SIZE + 1];
  dword systemType, bigEndian, remoteType, recStreams;
};

ModelFacts ReadModelFacts(const byte *record) {
  ModelFacts facts;
  memset(&facts, 0, sizeof facts);
  if (!record) return facts;
  CopyBounded(facts.name, sizeof facts.name, ModelName(record), MODEL_NAME_SIZE);
  CopyBounded(facts.appType, sizeof facts.appType, reinterpret_cast<const char *>(record + MODEL_APP_TYPE),
              MODEL_APP_TYPE_SIZE);
  facts.systemType = ModelField32(record, MODEL_SYSTEM_TYPE);
  facts.bigEndian = ModelField32(record, MODEL_BIG_ENDIAN);
  facts.remoteType = ModelField32(record, MODEL_REMOTE_TYPE);
  facts.recStreams = ModelField32(record, MODEL_REC_STREAMS);
  return facts;
}

// The timer padding in minutes: the padding variables where the firmware has them, else
// the settings block's fields, else 0.
void ReadTimerPadding(int *pre, int *post) {
  *pre = *post = 0;
  if (TAP_GetVersion() >= TAP_API_VERSION_PADDING_VARIABLES) {
    *pre = TAP_GetSystemVar(SYSVAR_PrePadding);
    *post = TAP_GetSystemVar(SYSVAR_PostPadding);
    return;
  }
  const byte *settings = FirmwareSettings();
  if (!settings) return;
  const int mask = (1 << SETTINGS_PADDING_BITS) - 1;
  *pre = settings[SETTINGS_PRE_PADDING] & mask;
  *post = settings[SETTINGS_POST_PADDING] & mask;
}

void TextMember(JsonAnswer *answer, const char *name, const char *text, int size) {
  answer->Printf("\"%s\":", name);
  answer->String(text, size);
  answer->Cat(",\r\n");
}

void AppendModel(JsonAnswer *answer, word systemId) {
  ModelFacts model = ReadModelFacts(gModelInfo);
  answer->Printf("\"sysid\":%u,\r\n", (unsigned)systemId);
  TextMember(answer, "device", model.name, (int)sizeof model.name);
  TextMember(answer, "apptype", model.appType, (int)sizeof model.appType);
  answer->Printf("\"systemtype\":%lu,\r\n\"bigendian\":%lu,\r\n\"remotetype\":%lu,\r\n\"maxrecstreams\":%lu,\r\n",
                 (unsigned long)model.systemType, (unsigned long)model.bigEndian, (unsigned long)model.remoteType,
                 (unsigned long)model.recStreams);
}

void AppendFirmware(JsonAnswer *answer, word systemId) {
  const char *language = MenuLanguageCode();
  answer->Printf("\"version\":%lu,\r\n", (unsigned long)TAP_GetVersion());
  answer->Printf("\"recextension\":\"%s\",\r\n", gRecordingExt);
  answer->Printf("\"language_code\":\"%s\",\r\n", language ? language : "??");
  answer->Printf("\"utfpvr\":%d,\r\n\"zel5ver\":\"%s\",\r\n\"blockfactor\":%d,\r\n\"aupvr\":%d,\r\n", gIsUTFFirmware,
                 kTapVersion, gBlockFactor, gAUFirmwareFlag);
  answer->Printf("\"analogueinput\":%d,\r\n", systemId == 32020 || systemId == 32026 ? 1 : 0);
  const byte *timeInfo = FirmwareTimeInfo();
  int offset = timeInfo ? (int16_t)GetLE16(timeInfo + TIME_INFO_UTC_OFFSET) : 0;
  int dst = timeInfo ? timeInfo[TIME_INFO_MODE] & 3 : 0;
  answer->Printf("\"utcoffset\":%d,\r\n\"dst\":%d,\r\n", offset, dst);
  int pre, post;
  ReadTimerPadding(&pre, &post);
  answer->Printf("\"pre_padding\":%d,\r\n\"post_padding\":%d,\r\n", pre, post);
  DriveIdentity disk;
  ReadDriveIdentity(&disk);
  TextMember(answer, "hddmodel", disk.model, (int)sizeof disk.model);
  TextMember(answer, "hddserial", disk.serial, (int)sizeof disk.serial);
  TextMember(answer, "hddfirmware", disk.firmware, (int)sizeof disk.firmware);
}

void AppendServer(JsonAnswer *answer) {
  TextMember(answer, "pvrname", gPVRname, (int)sizeof gPVRname);
  answer->Printf("\"logginglevel\":%d,\r\n\"epgsource\":\"%s\",\r\n", gLoggingLevel,
                 gEPGSource == 1 ? "smartepg" : "pvr");
}

// One record of the module list; false when the answer is full.
bool AppendModule(JsonAnswer *answer, const TYPE_FolderEntry &entry, bool first) {
  char converted[4 * MODULE_NAME_SIZE + 1];
  char name[MODULE_NAME_SIZE];
  CopyBounded(name, sizeof name, entry.name, sizeof entry.name);
  StrToUTF8(name, converted, gDefaultCharacterSet);
  int mark = answer->BeginRecord();
  answer->Cat(first ? "\t{\"name\":" : "\t,{\"name\":");
  answer->String(converted, (int)sizeof converted);
  answer->Cat(",\r\n\t\"name_hex\":");
  answer->HexString(name, (int)sizeof name);
  answer->Cat("}\r\n");
  return answer->EndRecord(mark);
}

// The entries of the module folder as the "modules" array (none when there are none);
// the "module_count" member before it counts the records the answer holds.
void AppendModules(JsonAnswer *answer) {
  int countAt = answer->Length();
  int listed = 0;
  PushedDir saved;
  if (saved.ok() && HDD_ChangeDir(kModulesFolder)) {
    TYPE_FolderEntry entry;
    memset(&entry, 0, sizeof entry);
    dword total = TAP_Hdd_FindFirst(&entry);
    int arrayAt = answer->Length();
    if (total > 0) answer->Cat("\"modules\":\r\n\t[\r\n");
    for (dword i = 0; i < total; i++) {
      if (i > 0 && !TAP_Hdd_FindNext(&entry)) break;
      if (!AppendModule(answer, entry, listed == 0)) break;
      listed++;
    }
    if (listed > 0) {
      answer->Cat("\t],\r\n");
    } else {
      answer->Rewind(arrayAt);
    }
  }
  answer->InsertPrintf(countAt, "\"module_count\":%d,\r\n", listed);
}

}  // namespace

void APIConfigGet() {
  LOGF(LOG_DETAIL, "APIConfigGet().");
  JsonAnswer answer(CONFIG_ANSWER_LIMIT, CONFIG_ANSWER_INITIAL);
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to allocate JSON response buffer.");
    return;
  }
  word systemId = TAP_GetSystemId();
  answer.Cat("{\"content\":\"config\",\r\n");
  AppendModel(&answer, systemId);
  AppendFirmware(&answer, systemId);
  AppendServer(&answer);
  AppendModules(&answer);
  const dword *powerOnSource = FirmwarePowerOnSource();
  answer.Printf("\"boot_reason\":%u,\r\n", powerOnSource ? (unsigned)(*powerOnSource & 0xFFFF) : 0u);
  answer.Printf("\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending PVR config.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
