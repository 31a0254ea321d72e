#include "webserver/api/api_status.h"

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/byte_order.h"
#include "platform/channel_lookup.h"
#include "platform/external_drives.h"
#include "platform/firmware_hooks.h"
#include "platform/pvr_date_math.h"
#include "platform/pvr_text.h"
#include "platform/recording_slots.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

enum { STATUS_ANSWER_INITIAL = 7168, STATUS_ANSWER_LIMIT = 64 * 1024 };
// The longest file name of the play information and of a recording slot.
constexpr int FILE_NAME_MAX = PLAY_INFO_PATH_SIZE;
static_assert((int)REC_INFO_FILE_NAME_SIZE <= FILE_NAME_MAX, "a recording's name fits the conversion buffer");

// A name from the firmware (bounded to its field) as "name_hex" and, converted to UTF-8,
// "name" members, in the order given.
void FileNameMembers(JsonAnswer *answer, const char *name, bool hexFirst, const char *separator) {
  char converted[4 * FILE_NAME_MAX + 1];
  StrToUTF8(name, converted, gDefaultCharacterSet);
  if (hexFirst) {
    answer->Cat("\"filename_hex\":");
    answer->HexString(name);
    answer->Cat(",\r\n\"filename\":");
    answer->String(converted, (int)sizeof converted);
  } else {
    answer->Cat("\"filename\":");
    answer->String(converted, (int)sizeof converted);
    answer->Cat(",\r\n\"filename_hex\":");
    answer->HexString(name);
  }
  answer->Cat(separator);
}

void AppendState(JsonAnswer *answer) {
  dword state = 0, subState = 0;
  TAP_GetState(&state, &subState);
  answer->Printf("\"state\":%lu,\r\n\"substate\":%lu,\r\n", (unsigned long)state, (unsigned long)subState);
  int type = 0, number = 0;
  uint64_t logoId = 0;
  FwGetAnalogEncoderState encoderState = HookGetAnalogEncoderState();
  if (AnalogueInputAvailable() && encoderState && encoderState()) {
    type = SERVICE_ANALOGUE;
    logoId = LOGO_ID_AV_INPUT;
  } else if (TAP_Channel_GetCurrent(&type, &number)) {
    logoId = LogoManager_GetChannelID(type, number);
  } else {
    type = number = 0;
  }
  answer->Printf("\"current_chtype\":%d,\r\n\"current_chnum\":%d,\r\n\"current_logoid\":\"%016" PRIx64 "\",\r\n",
                 type, number, logoId);
}

void AppendDiskAndHeap(JsonAnswer *answer) {
  answer->Printf("\"totaldisk\":%lu,\r\n\"freedisk\":%lu,\r\n", (unsigned long)TAP_Hdd_TotalSize(),
                 (unsigned long)TAP_Hdd_FreeSize());
  dword heapSize = 0, freeHeapSize = 0, availHeapSize = 0;
  TAP_MemInfo(&heapSize, &freeHeapSize, &availHeapSize);
  answer->Printf("\"heapsize\":%lu,\r\n\"freeheapsize\":%lu,\r\n\"availheapsize\":%lu,\r\n", (unsigned long)heapSize,
                 (unsigned long)freeHeapSize, (unsigned long)availHeapSize);
}

// The played file's absolute path: TAP paths lie below the disk "/mnt/hd".
void AbsolutePathOf(const char *path, char *out, size_t size) {
  if (strncmp(path, "/mnt/", 5) == 0) {
    CopyBounded(out, size, path, strlen(path));
  } else {
    snprintf(out, size, "/mnt/hd%s%s", path[0] == '/' ? "" : "/", path);
  }
}

void AppendPlayback(JsonAnswer *answer) {
  TYPE_PlayInfo play;
  memset(&play, 0, sizeof play);
  int playStatus = TAP_Hdd_GetPlayInfo(&play);
  if (!playStatus) memset(&play, 0, sizeof play);
  char path[PLAY_INFO_PATH_SIZE + 1] = "";
  if (play.playMode != PLAYMODE_None) CopyBounded(path, sizeof path, play.filePath, sizeof play.filePath);
  const char *slash = strrchr(path, '/');
  const char *name = slash ? slash + 1 : path;
  char absolute[PLAY_INFO_PATH_SIZE + 16] = "";
  if (path[0]) AbsolutePathOf(path, absolute, sizeof absolute);
  uint64_t logoId = play.playMode != PLAYMODE_None ? LogoManager_GetChannelID(play.svcType, play.svcNum) : 0;

  answer->Printf("\r\n\"playstatus\":%d,\r\n\"playmode\":%d,\r\n\"trickmode\":%d,\r\n\"speed\":%d,\r\n\"svctype\":%d,\r\n",
                 playStatus, play.playMode, play.trickMode, play.speed, play.svcType);
  answer->Printf("\"svcnum\":%d,\r\n\"logoid\":\"%016" PRIx64 "\",\r\n", play.svcNum, logoId);
  answer->Printf("\"duration\":%d,\r\n\"durationsec\":%d,\r\n\"currentblock\":%lu,\r\n\"totalblock\":%lu,\r\n",
                 play.durationMin, play.durationSec, (unsigned long)play.currentBlock, (unsigned long)play.totalBlock);
  FileNameMembers(answer, name, false, ",\r\n");
  // The path in UTF-8 like the name, so that the answer stays valid JSON text.
  char absoluteUtf8[4 * sizeof absolute + 1];
  StrToUTF8(absolute, absoluteUtf8, gDefaultCharacterSet);
  answer->Cat("\"absolutefilename\":");
  answer->String(absoluteUtf8, (int)sizeof absoluteUtf8);
  answer->Cat(",\r\n");
  LOGF(LOG_DETAIL, "APIStatusGet: File = '%s', absFile = '%s'.", name, absolute);
}

void AppendRecording(JsonAnswer *answer, int slot) {
  TYPE_RecInfo info;
  memset(&info, 0, sizeof info);
  if (!TAP_Hdd_GetRecInfo((byte)slot, &info)) memset(&info, 0, sizeof info);
  bool recording = info.recType != 0;
  char fileName[REC_INFO_FILE_NAME_SIZE + 1];
  CopyBounded(fileName, sizeof fileName, info.fileName, sizeof info.fileName);
  uint64_t logoId = recording ? LogoManager_GetChannelID(info.svcType, info.svcNum) : 0;

  int mark = answer->BeginRecord();
  answer->Cat(slot == 0 ? "\r\n{\r\n" : "\r\n,{\r\n");
  answer->Printf("\"slot\":%d,\r\n\"rectype\":%d,\r\n\"tuner\":%d,\r\n\"svctype\":%d,\r\n\"svcnum\":%d,\r\n", slot,
                 info.recType, info.tuner, info.svcType, info.svcNum);
  answer->Printf("\"logoid\":\"%016" PRIx64 "\",\r\n\"duration\":%lu,\r\n", logoId, (unsigned long)info.duration);
  if (recording) {
    answer->Printf("\"starttime\":\"%s\",\r\n", PVRDateToJSON(info.startTime, 0));
    answer->Printf("\"endtime\":\"%s\",\r\n", PVRDateToJSON(AddTime(info.startTime, (int)info.duration), 0));
    answer->Printf("\"endtime_raw\":\"%s\",\r\n", PVRDateToJSON(info.endTime, 0));
  } else {
    answer->Cat("\"starttime\":\"0\",\r\n\"endtime\":\"0\",\r\n\"endtime_raw\":\"0\",\r\n");
  }
  answer->Printf("\"recordedsec\":%lu,\r\n", (unsigned long)info.recordedSec);
  FileNameMembers(answer, fileName, true, "\r\n}\r\n");
  answer->EndRecord(mark);
}

// One record per slot: the model's slots, or those the firmware reports when no model
// record matched.
void AppendRecordings(JsonAnswer *answer) {
  int slots = RecordingSlotCount(gModelInfo ? gRecordingStreams : 0);
  answer->Cat("\"recording\":\r\n[\r\n");
  for (int slot = 0; slot < slots && !answer->Full(); slot++) AppendRecording(answer, slot);
  answer->Cat("],\r\n");
}

bool AppendDrive(JsonAnswer *answer, const ExternalDrive &drive, bool first) {
  int64_t freeMb = -1, sizeMb = drive.sizeMb;
  if (!DriveSpaceMb(drive.mountPath, &freeMb, &sizeMb)) {
    freeMb = -1;
    sizeMb = drive.sizeMb;
  }
  int mark = answer->BeginRecord();
  answer->Cat(first ? "{\r\n\"name\":" : ",{\r\n\"name\":");
  answer->String(drive.name, (int)sizeof drive.name);
  answer->Cat(",\r\n\"path\":");
  answer->String(drive.path, (int)sizeof drive.path);
  answer->Cat(",\r\n\"mountpath\":");
  answer->String(drive.mountPath, (int)sizeof drive.mountPath);
  answer->Printf(",\r\n\"partitiontype\":%lu,\r\n\"free_mb\":%" PRId64 ",\r\n\"size_mb\":%" PRId64 "\r\n}\r\n",
                 (unsigned long)drive.type, freeMb, sizeMb);
  return answer->EndRecord(mark);
}

// "drive_count" counts the drive records the answer holds.
void AppendDrives(JsonAnswer *answer) {
  ExternalDrive drives[EXTERNAL_DRIVES_MAX];
  int count = ReadExternalDrives(drives, EXTERNAL_DRIVES_MAX);
  int countAt = answer->Length();
  int listed = 0;
  if (count > 0) {
    int arrayAt = answer->Length();
    answer->Cat("\"drives\":\r\n[\r\n");
    while (listed < count && AppendDrive(answer, drives[listed], listed == 0)) listed++;
    if (listed > 0) {
      answer->Cat("],\r\n");
    } else {
      answer->Rewind(arrayAt);
    }
  }
  answer->InsertPrintf(countAt, "\"drive_count\":%d,\r\n", listed);
}

}  // namespace

void APIStatusGet() {
  LOGF(LOG_DETAIL, "APIStatusGet().");
  JsonAnswer answer(STATUS_ANSWER_LIMIT, STATUS_ANSWER_INITIAL);
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to allocate JSON response buffer.");
    return;
  }
  answer.Cat("{\"content\":\"status\",\r\n");
  AppendState(&answer);
  AppendDiskAndHeap(&answer);
  AppendPlayback(&answer);
  AppendRecordings(&answer);
  AppendDrives(&answer);
  const byte *timeInfo = FirmwareTimeInfo();
  answer.Printf("\"sleeptimer\":%u,\r\n", timeInfo ? (unsigned)GetLE16(timeInfo + TIME_INFO_SLEEP_TIMER) : 0u);
  answer.Printf("\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending PVR status.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
