#include "webserver/api/api_playback.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "platform/path_rules.h"
#include "platform/playback_control.h"
#include "webserver/api/files_params.h"
#include "webserver/api/pvr_text_answer.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kRecordingFolder[] = "/mnt/hd/DataFiles";
const char kMp3Folder[] = "/mnt/hd/MP3Files";
const char kDiskFolder[] = "/mnt/hd";

void Respond(const JsonAnswer &answer) { NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0); }

// A small answer; false (logged) when not even its first reservation could be had.
bool Ready(const JsonAnswer &answer) {
  if (!answer.Ok()) LOGF(LOG_OPERATIONAL, "Error allocating memory for the playback answer.");
  return answer.Ok();
}

// A number parameter, URL-decoded ("%2B30" is "+30"); a value too long for its field is
// left empty, which no handler takes for a number.
void TakeNumberText(char *field, const char *value, size_t length) {
  TakeFilesURLValue(field, PLAY_VALUE_SIZE, value, length);
}

// ---- play ----

struct PlayRequest {
  char dir[PLAY_FIELD_SIZE];
  char file[PLAY_FIELD_SIZE];
  char hex[PLAY_HEX_SIZE];
  char block[PLAY_VALUE_SIZE];
  bool refused;   // a value did not fit its field
};

void TakePlayParam(void *context, const char *keyword, const char *value, size_t length) {
  PlayRequest *r = static_cast<PlayRequest *>(context);
  bool ok = true;
  if (strcmp(keyword, "dir") == 0) {
    ok = TakeFilesURLValue(r->dir, sizeof r->dir, value, length);
  } else if (strcmp(keyword, "file") == 0) {
    ok = TakeFilesURLValue(r->file, sizeof r->file, value, length);
  } else if (strcmp(keyword, "file_hex") == 0) {
    ok = TakeFilesValue(r->hex, sizeof r->hex, value, length);
  } else if (strcmp(keyword, "block") == 0) {
    TakeNumberText(r->block, value, length);
  }
  if (!ok) r->refused = true;
}

// Starts playback of name in folder (normalised, below "/mnt/"). Recordings and MP3 files
// of the disk are played from the TAP's folder set to theirs (restored afterwards).
int StartPlayback(const char *folder, const char *name, long block) {
  bool recording = strncmp(folder, kRecordingFolder, strlen(kRecordingFolder)) == 0;
  bool mp3 = strncmp(folder, kMp3Folder, strlen(kMp3Folder)) == 0;
  if (!recording && !mp3) {
    char path[PLAY_FIELD_SIZE * 2];
    snprintf(path, sizeof path, "%s/%s", folder, name);
    int status = PlayMediaFile(path);
    LOGF(LOG_DETAIL, "APIFilesPlay: Playing media '%s' = (%d).", path, status);
    return status;
  }
  PushedDir saved;
  const char *tapFolder = folder + strlen(kDiskFolder);
  int changed = TAP_Hdd_ChangeDir(tapFolder);
  LOGF(LOG_DETAIL, "APIFilesPlay: Changing directory to '%s' = (%d).", tapFolder, changed);
  if (!changed) return -1;
  int status = mp3 ? TAP_Hdd_PlayMp3(name) : TAP_Hdd_PlayTs(name);
  LOGF(LOG_DETAIL, mp3 ? "APIFilesPlay: Playing MP3 '%s' = (%d)." : "APIFilesPlay: Playing TS '%s' = (%d).", name,
       status);
  if (block != 0 && status == 0) {
    int moved = TAP_Hdd_ChangePlaybackPos((dword)block);
    LOGF(LOG_DETAIL, "APIFilesPlay: Skipping to block '%ld' = (%d).", block, moved);
  }
  return status;
}

// ---- jump ----

struct JumpRequest {
  char seconds[PLAY_VALUE_SIZE];
  char blocks[PLAY_VALUE_SIZE];
  bool secondsGiven, blocksGiven;
  bool resume = true;
  bool hide = true;
};

const char *const kSecondsWords[] = {"time", "sec", "seconds", nullptr};
const char *const kBlocksWords[] = {"block", "blocks", nullptr};
const char *const kNoResumeWords[] = {"nounpause", "nocontinue", nullptr};

void TakeJumpParam(void *context, const char *keyword, const char *value, size_t length) {
  JumpRequest *r = static_cast<JumpRequest *>(context);
  if (FilesKeywordIs(keyword, kSecondsWords)) {
    TakeNumberText(r->seconds, value, length);
    r->secondsGiven = true;
  } else if (FilesKeywordIs(keyword, kBlocksWords)) {
    TakeNumberText(r->blocks, value, length);
    r->blocksGiven = true;
  } else if (FilesKeywordIs(keyword, kNoResumeWords)) {
    r->resume = false;
  } else if (strcmp(keyword, "noresume") == 0) {
    char number[PLAY_VALUE_SIZE];
    TakeNumberText(number, value, length);
    r->resume = atoi(number) == 0;
  } else if (strcmp(keyword, "nohide") == 0) {
    r->hide = false;
  }
}

const char *JumpErrorText(int error) {
  switch (error) {
    case JUMP_OK: return "No error";
    case JUMP_NO_PLAY_INFO: return "TAP_Hdd_GetPlayInfo() failed";
    case JUMP_INVALID_VALUE: return "Invalid jump value";
    case JUMP_PAST_END: return "Attemp to jump past end";
    case JUMP_MOVE_FAILED: return "TAP_Hdd_ChangePlaybackPos() failed";
    case JUMP_NO_BLOCKS: return "totalBlock = 0";
    case JUMP_NO_DURATION: return "Duration unknown";
    default: return "";
  }
}

// The block a jump value leads to: its first character is the direction ("+" forward, "-"
// backward, anything else absolute), the rest the number, in blocks or seconds (at the
// file's average block rate). Returns JUMP_OK with *target, or the error.
int JumpTarget(const char *value, bool inSeconds, const TYPE_PlayInfo &info, dword *target) {
  if (!value[0]) return JUMP_INVALID_VALUE;
  char direction = value[0];
  const char *digits = value + 1;
  long number = atol(digits);
  if (number == 0 && digits[0] != '0') return JUMP_INVALID_VALUE;
  double to;
  if (inSeconds) {
    // At the file's average block rate, in single precision.
    dword seconds = (dword)info.durationMin * 60 + info.durationSec;
    if (seconds == 0) return JUMP_NO_DURATION;
    float rate = (float)info.totalBlock / (float)seconds;
    float distance = (float)number * rate;
    float current = (float)info.currentBlock;
    to = direction == '+' ? current + distance : direction == '-' ? current - distance : distance;
  } else {
    double current = (double)info.currentBlock;
    to = direction == '+' ? current + (double)number : direction == '-' ? current - (double)number : (double)number;
  }
  if (to < 0) to = 0;   // a backward jump stops at the start
  if (to > (double)info.totalBlock) return JUMP_PAST_END;
  *target = (dword)to;
  return JUMP_OK;
}

// Moves to target, with the receiver's display and the system's OSD hidden meanwhile
// unless hide is off. JUMP_OK or JUMP_MOVE_FAILED.
int MoveTo(dword target, bool hide) {
  if (!hide) return TAP_Hdd_ChangePlaybackPos(target) ? JUMP_OK : JUMP_MOVE_FAILED;
  TAP_SysOsdControl(1, 0);
  TAP_ExitNormal();
  int moved = TAP_Hdd_ChangePlaybackPos(target);
  TAP_EnterNormal();
  TAP_SysOsdControl(1, 1);
  return moved ? JUMP_OK : JUMP_MOVE_FAILED;
}

// ---- recording slots ----

struct SlotRequest {
  char slot[PLAY_VALUE_SIZE];
  char duration[PLAY_VALUE_SIZE];
  bool slotGiven, durationGiven;
};

void TakeSlotParam(void *context, const char *keyword, const char *value, size_t length) {
  SlotRequest *r = static_cast<SlotRequest *>(context);
  if (strcmp(keyword, "slot") == 0) {
    TakeNumberText(r->slot, value, length);
    r->slotGiven = true;
  } else if (strcmp(keyword, "duration") == 0) {
    TakeNumberText(r->duration, value, length);
    r->durationGiven = true;
  }
}

// Reads the slot request from params; returns the slot asked for: the low 8 bits of the
// number, 255 when none was given.
int ScanSlotRequest(const char *params, SlotRequest *r) {
  memset(r, 0, sizeof *r);
  ScanFilesParams(params, TakeSlotParam, r);
  return r->slotGiven ? atoi(r->slot) & 0xFF : 255;
}

}  // namespace

void APIFilesPlay(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Play.");
  PlayRequest r;
  memset(&r, 0, sizeof r);
  ScanFilesParams(params, TakePlayParam, &r);
  long block = atol(r.block);
  LOGF(LOG_DETAIL, "Start Block: '%ld'.", block);
  LOGF(LOG_DETAIL, "From Directory: '%s'.", r.dir);
  LOGF(LOG_DETAIL, "Playing File: '%s'.", r.file);
  LOGF(LOG_DETAIL, "HEX = '%s', %d.", r.hex, r.hex[0] ? 1 : 0);
  if (r.hex[0]) {
    LOGF(LOG_DETAIL, "'file_hex' present, old name = '%s'.", r.file);
    if (!TakeFilesHexValue(r.file, sizeof r.file, r.hex, strlen(r.hex))) r.refused = true;
    LOGF(LOG_DETAIL, "'file_hex' present, new name = '%s'.", r.file);
  }
  // Only files below "/mnt/" are played.
  char folder[PLAY_FIELD_SIZE];
  int status = -1;
  if (!r.refused && PathBelowMnt(r.dir, folder, sizeof folder) && IsPlainFileName(r.file)) {
    status = StartPlayback(folder, r.file, block);
  } else {
    LOGF(LOG_OPERATIONAL, "APIFilesPlay: refused '%s' in '%s'.", r.file, r.dir);
  }

  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"count\":%d,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"files_play\",\r\n", 0, PVRDateToJSON(0, 0));
  answer.Printf("\"status\":%d,\r\n\"requested_file\":\"", status);
  AppendPvrText(&answer, r.file, sizeof r.file);
  answer.Cat("\",\r\n\"requested_dir\":");
  answer.String(r.dir);
  answer.Printf(",\r\n\"requested_block\":%ld}\r\n", block);
  LOGF(LOG_NETWORK, "Sending files play page.");
  Respond(answer);
}

void APIFilesStopPlayback() {
  LOGF(LOG_DETAIL, "Processing API-Files-Stop-Playback.");
  FwStopPlaying stop = HookStopPlaying();
  long result = stop ? stop() : -1;
  TAP_EnterNormal();
  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"content\":\"files_stop\",\r\n\"timestamp\":\"%s\",\r\n\"return_code\":%ld}\r\n",
                PVRDateToJSON(0, 0), result);
  LOGF(LOG_NETWORK, "Sending files stop page.");
  Respond(answer);
}

void APIFilesPauseUnpause(int request) {
  LOGF(LOG_DETAIL, "Processing API-Files-Pause-Unpause, request = %d.", request);
  TYPE_PlayInfo info;
  memset(&info, 0, sizeof info);
  int error = -1;
  if (TAP_Hdd_GetPlayInfo(&info)) {
    error = 1;   // already as asked
    bool paused = info.playMode == PLAYMODE_Paused;
    if (paused == (request == 1)) {
      FwPvrPause toggle = HookPvrPause();
      error = toggle && toggle(true) == 0 ? 0 : -1;
    }
  } else {
    LOGF(LOG_OPERATIONAL, "TAP_Hdd_GetPlayInfo() failed: playback left as it is.");
  }
  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"content\":\"files_pause_unpause\",\r\n\"request\":%d,\r\n\"timestamp\":\"%s\",\r\n\"error\":%d}\r\n",
                request, PVRDateToJSON(0, 0), error);
  LOGF(LOG_NETWORK, "Sending files playback pause_unpause page.");
  Respond(answer);
}

void APIFilesJump(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Jump.");
  JumpRequest r{};
  ScanFilesParams(params, TakeJumpParam, &r);
  TYPE_PlayInfo info;
  memset(&info, 0, sizeof info);
  dword target = 0;
  int error = JUMP_OK;
  if (!TAP_Hdd_GetPlayInfo(&info)) {
    error = JUMP_NO_PLAY_INFO;
  } else if (info.totalBlock == 0) {
    error = JUMP_NO_BLOCKS;
  } else if (!r.secondsGiven && !r.blocksGiven) {
    error = JUMP_INVALID_VALUE;
  } else {
    error = JumpTarget(r.blocksGiven ? r.blocks : r.seconds, !r.blocksGiven, info, &target);
  }
  if (error == JUMP_OK) {
    FwSetPlaybackSpeed speed = HookSetPlaybackSpeed();
    if (info.playMode == PLAYMODE_Paused && r.resume && speed) speed(0, 1, true);
    LOGF(LOG_DETAIL, "Jumping to block %lu of %lu.", (unsigned long)target, (unsigned long)info.totalBlock);
    error = MoveTo(target, r.hide);
  }
  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"count\":%d,\r\n\"content\":\"files_jump\",\r\n\"original_currentblock\":%lu,\r\n", 0,
                (unsigned long)info.currentBlock);
  answer.Printf("\"original_totalblock\":%lu,\r\n\"target_block\":%lu,\r\n\"error\":%d,\r\n",
                (unsigned long)info.totalBlock, (unsigned long)target, error);
  answer.Printf("\"error_text\":\"%s\",\r\n\"timestamp\":\"%s\"}\r\n", JumpErrorText(error), PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending jump response.");
  Respond(answer);
}

void APIFilesStopRecording(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Stop-Recording.");
  SlotRequest r;
  int slot = ScanSlotRequest(params, &r);
  int result = slot < gRecordingStreams ? TAP_Hdd_StopRecord((byte)slot) : SLOT_NOT_VALID;
  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"content\":\"files_stoprec\",\r\n\"requested_slot\":%d,\r\n\"timestamp\":\"%s\",\r\n", slot,
                PVRDateToJSON(0, 0));
  answer.Printf("\"return_code\":%d}\r\n", result);
  LOGF(LOG_NETWORK, "Sending recording stop response.");
  Respond(answer);
}

void APIFilesRecDuration(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Rec-Duration.");
  SlotRequest r;
  int slot = ScanSlotRequest(params, &r);
  word duration = r.durationGiven ? (word)(atoi(r.duration) & 0xFFFF) : 0;
  int result = slot < gRecordingStreams && duration != 0 ? HDD_RECSlotSetDuration(slot, duration) : SLOT_NOT_VALID;
  JsonAnswer answer;
  if (!Ready(answer)) return;
  answer.Printf("{\"content\":\"files_duration\",\r\n\"requested_slot\":%d,\r\n\"requested_duration\":%d,\r\n", slot,
                duration);
  answer.Printf("\"timestamp\":\"%s\",\r\n\"return_code\":%d}\r\n", PVRDateToJSON(0, 0), result);
  LOGF(LOG_NETWORK, "Sending recording stop response.");
  Respond(answer);
}
