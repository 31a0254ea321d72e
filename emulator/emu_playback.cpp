// Playback and recording: the TAP API's playback calls, the firmware's playback hooks and
// the recording-slot table ("_pvrRecInfo": one entry per slot of the timer entry size,
// the duration in minutes as u16 at RECORDING_SLOT_DURATION, 0 for a free slot).
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

PlaybackProfile gPlayback;

namespace {

constexpr dword kBlockSize = 9024;     // bytes of a recording block
byte *gSlots;                          // recording-slot table
size_t gSlotCount;
TYPE_PlayInfo gPlay;

std::string TapPathOf(const std::string &path) {
  if (path.compare(0, 8, "/mnt/hd/") == 0) return path.substr(7);
  return JoinTapPath(TaskFolder(CurrentSlot()), path);
}

// Starts playing a file of the disk; false when it is not there.
bool Play(const std::string &tapPath, byte mode, const char *what) {
  struct stat s;
  std::string host = HostPathOfTapPath("/", tapPath);
  if (stat(host.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return false;
  memset(&gPlay, 0, sizeof gPlay);
  gPlay.playMode = mode;
  gPlay.speed = 1;
  gPlay.totalBlock = (dword)(((uint64_t)s.st_size + kBlockSize - 1) / kBlockSize);
  snprintf(gPlay.fileName, sizeof gPlay.fileName, "%s", tapPath.c_str());
  Effect("play %s %s", what, tapPath.c_str());
  return true;
}

// The packed PVR date (MJD, hour, minute) of local Unix seconds.
dword PackedDate(int64_t local) {
  int64_t days = local / 86400, seconds = local % 86400;
  return (dword)(days + 40587) << 16 | (dword)(seconds / 3600) << 8 | (dword)(seconds / 60 % 60);
}

bool ParseLocalTime(const std::string &text, int64_t *local) {
  struct tm t = {};
  if (sscanf(text.c_str(), "%d-%d-%d %d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min) != 5) return false;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  *local = (int64_t)timegm(&t);
  return true;
}

bool ReadProfile(const nlohmann::json &json, std::string *error) {
  PlaybackProfile p;
  int64_t now = LocalNow() / 60 * 60;
  for (const nlohmann::json &slot : json.value("recordings", nlohmann::json::array())) {
    RecordingSlot r;
    TYPE_RecInfo &info = r.info;
    info.recType = slot.value("type", (byte)0);
    info.duration = slot.value("duration", (dword)0);
    info.tuner = slot.value("tuner", (byte)0);
    info.svcType = slot.value("svc_type", (byte)0);
    info.svcNum = slot.value("svc_num", (word)0);
    std::string file = slot.value("file", std::string());
    if (file.size() >= sizeof info.fileName) {
      *error = "recording file name too long: " + file;
      return false;
    }
    memcpy(info.fileName, file.data(), file.size());
    r.startLocal = now;
    if (slot.contains("start") && !ParseLocalTime(slot.value("start", std::string()), &r.startLocal)) {
      *error = "a recording's \"start\" must be a local time \"YYYY-MM-DD hh:mm\"";
      return false;
    }
    info.startTime = PackedDate(r.startLocal);
    info.endTime = PackedDate(r.startLocal + (int64_t)info.duration * 60);
    p.recordings.push_back(r);
  }
  gPlayback = p;
  return true;
}

void StartPlayback() {
  FirmwareFree(gSlots);
  gSlotCount = gPlayback.recordings.size();
  gSlots = FirmwareAlloc(std::max<size_t>(gSlotCount, 1) * TIMER_ENTRY_SIZE);
  for (size_t i = 0; i < gSlotCount; i++) {
    const TYPE_RecInfo &info = gPlayback.recordings[i].info;
    PutLE16(gSlots + i * TIMER_ENTRY_SIZE + RECORDING_SLOT_DURATION, info.recType ? (word)info.duration : 0);
  }
  PublishTable(FW_HOOK_RecordingSlots, gSlots);
  memset(&gPlay, 0, sizeof gPlay);
}

}  // namespace

extern const Subsystem kPlaybackSubsystem = {"playback", ReadProfile, StartPlayback};

TYPE_PlayInfo PlayState() { return gPlay; }

void SetPlayState(const TYPE_PlayInfo &state) { gPlay = state; }

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_Hdd_PlayTs(const char *name) {
  return name && emu::Play(emu::TapPathOf(name), PLAYMODE_Playing, "ts") ? 0 : 1;
}

TAP_API_FUNCTION int TAP_Hdd_PlayMp3(const char *name) {
  return name && emu::Play(emu::TapPathOf(name), PLAYMODE_Mp3, "mp3") ? 0 : 1;
}

TAP_API_FUNCTION int TAP_Hdd_GetPlayInfo(TYPE_PlayInfo *info) {
  if (!info) return 0;
  *info = emu::gPlay;
  return 1;
}

TAP_API_FUNCTION int TAP_Hdd_ChangePlaybackPos(dword block) {
  if (emu::gPlay.playMode == PLAYMODE_None || block > emu::gPlay.totalBlock) return 0;
  emu::gPlay.currentBlock = block;
  emu::Effect("playback position %u", block);
  return 1;
}

TAP_API_FUNCTION int TAP_Hdd_StopRecord(byte slot) {
  if (slot >= emu::gSlotCount) return 0;
  byte *entry = emu::gSlots + slot * TIMER_ENTRY_SIZE;
  if (GetLE16(entry + RECORDING_SLOT_DURATION) == 0) return 0;
  PutLE16(entry + RECORDING_SLOT_DURATION, 0);
  emu::Effect("stop recording slot %d", slot);
  return 1;
}

// A slot records while its table entry holds a duration (which a change of the duration
// moves without touching the end time set at the start).
TAP_API_FUNCTION int TAP_Hdd_GetRecInfo(byte slot, TYPE_RecInfo *info) {
  if (!info || slot >= emu::gSlotCount) return 0;
  word duration = GetLE16(emu::gSlots + slot * TIMER_ENTRY_SIZE + RECORDING_SLOT_DURATION);
  memset(info, 0, sizeof *info);
  if (!duration) return 1;
  const emu::RecordingSlot &recording = emu::gPlayback.recordings[slot];
  *info = recording.info;
  info->duration = duration;
  int64_t recorded = emu::LocalNow() - recording.startLocal;
  info->recordedSec = (dword)std::min<int64_t>(std::max<int64_t>(recorded, 0), (int64_t)duration * 60);
  return 1;
}

// ---- Firmware hooks (0: started or done) ----

FIRMWARE_HOOK int Appl_StartPlayback(const char *path, unsigned int block, bool) {
  if (!path || !emu::Play(emu::TapPathOf(path), PLAYMODE_Playing, "recording")) return -1;
  if (block <= emu::gPlay.totalBlock) emu::gPlay.currentBlock = block;
  return 0;
}

FIRMWARE_HOOK int Appl_StartPlaybackMedia(const char *path, unsigned int block, bool, bool) {
  if (!path || !emu::Play(emu::TapPathOf(path), PLAYMODE_Playing, "media")) return -1;
  if (block <= emu::gPlay.totalBlock) emu::gPlay.currentBlock = block;
  return 0;
}

FIRMWARE_HOOK int Appl_StopPlaying() {
  if (emu::gPlay.playMode != PLAYMODE_None) emu::Effect("stop playback");
  memset(&emu::gPlay, 0, sizeof emu::gPlay);
  return 0;
}

// Toggles between playing and paused.
FIRMWARE_HOOK int Appl_PvrPause(bool) {
  if (emu::gPlay.playMode == PLAYMODE_None) return -1;
  emu::gPlay.playMode = emu::gPlay.playMode == PLAYMODE_Paused ? PLAYMODE_Playing : PLAYMODE_Paused;
  emu::Effect("playback %s", emu::gPlay.playMode == PLAYMODE_Paused ? "paused" : "playing");
  return 0;
}

FIRMWARE_HOOK int Appl_SetPlaybackSpeed(unsigned char speed, int direction, bool) {
  if (emu::gPlay.playMode == PLAYMODE_None) return -1;
  emu::gPlay.playMode = PLAYMODE_Playing;
  emu::gPlay.speed = speed ? speed : 1;
  emu::Effect("playback speed %d direction %d", emu::gPlay.speed, direction);
  return 0;
}
