// Playback and recording: the TAP API's playback calls, the firmware's playback hooks and
// the recording-slot table ("_pvrRecInfo": one entry per slot of the timer entry size,
// the duration in minutes as u16 at RECORDING_SLOT_DURATION, 0 for a free slot).
//
// A file that starts playing is described in the play information: its length in blocks
// from its size, its duration and service from the recording header beside it (the file's
// name plus ".inf"), or for a file without one a duration from its size at a nominal rate.
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

PlaybackProfile gPlayback;

namespace {

constexpr dword kBlockSize = 9024;               // bytes of a recording block
constexpr dword kVideoBytesPerSecond = 500000;   // nominal rate of a file without header
constexpr dword kMp3BytesPerSecond = 16000;      // 128 kbit/s
constexpr size_t kSlotTableEntries = 8;          // the table holds at least this many slots
byte *gSlots;                                    // recording-slot table
size_t gSlotCount;
size_t gSlotEntry = TIMER_ENTRY_SIZE;            // bytes per slot: the timer entry size
TYPE_PlayInfo gPlay;
byte gResumeMode;                                // the play mode a pause returns to

// The PVR path ("/mnt/...") of a file a playback call names: an absolute path of the
// PVR's file system, or a path of the TAP file system relative to the TAP's folder.
std::string PvrPathOf(const std::string &name) {
  if (name.compare(0, 5, "/mnt/") == 0) return JoinTapPath("/", name);
  std::string tapPath = JoinTapPath(TaskFolder(CurrentSlot()), name);
  return "/mnt/hd" + (tapPath == "/" ? std::string() : tapPath);
}

// What the recording header beside a file tells the player.
struct HeaderFacts {
  word minutes = 0, seconds = 0;
  int serviceType = 0, satellite = 0, transponder = 0, serviceId = 0;
};

// Reads the header's first fields at their offsets; the byte order follows the version
// (80, 128 or 4176 read big-endian mean a little-endian file).
bool ReadHeader(const std::string &host, HeaderFacts *facts) {
  byte h[34];
  FILE *file = fopen((host + ".inf").c_str(), "rb");
  if (!file) return false;
  size_t got = fread(h, 1, sizeof h, file);
  fclose(file);
  if (got != sizeof h || memcmp(h, "TFrc", 4) != 0) return false;
  word version = GetBE16(h + 4);
  bool little = version == 80 || version == 128 || version == 4176;
  auto get16 = [little](const byte *p) { return little ? GetLE16(p) : GetBE16(p); };
  facts->minutes = get16(h + 12);
  facts->seconds = get16(h + 14);
  facts->satellite = h[28];
  facts->serviceType = h[29];
  facts->transponder = get16(h + 30) & 0x3FF;
  facts->serviceId = get16(h + 32);
  return true;
}

// Starts playing a file of the disk at a block; false when it is not a file.
bool Play(const std::string &pvrPath, byte mode, const char *what, dword block) {
  struct stat s;
  std::string host = gRoot + pvrPath;
  if (stat(host.c_str(), &s) != 0 || !S_ISREG(s.st_mode)) return false;
  memset(&gPlay, 0, sizeof gPlay);
  gPlay.playMode = gResumeMode = mode;
  gPlay.speed = 1;
  gPlay.totalBlock = (dword)(((uint64_t)s.st_size + kBlockSize - 1) / kBlockSize);
  gPlay.currentBlock = std::min(block, gPlay.totalBlock);
  HeaderFacts facts;
  if (ReadHeader(host, &facts)) {
    gPlay.durationMin = facts.minutes;
    gPlay.durationSec = (byte)std::min<word>(facts.seconds, 59);
    gPlay.svcType = (byte)facts.serviceType;
    int number = FindServiceNumber(facts.serviceType, facts.satellite, facts.transponder, facts.serviceId);
    gPlay.svcNum = number < 0 ? 0 : (word)number;
  } else {
    uint64_t seconds = (uint64_t)s.st_size / (mode == PLAYMODE_Mp3 ? kMp3BytesPerSecond : kVideoBytesPerSecond);
    gPlay.durationMin = (word)std::min<uint64_t>(seconds / 60, 0xFFFF);
    gPlay.durationSec = (byte)(seconds % 60);
  }
  snprintf(gPlay.filePath, sizeof gPlay.filePath, "%s", pvrPath.c_str());
  Effect("play %s %s (%u blocks, %u:%02u)", what, pvrPath.c_str(), gPlay.totalBlock, gPlay.durationMin,
         gPlay.durationSec);
  return true;
}

byte *SlotEntry(size_t slot) { return slot < gSlotCount ? gSlots + slot * gSlotEntry : nullptr; }

// A new slot table of entrySize bytes per slot; durations taken from the old table, or
// from the profile when there is none.
void BuildSlots(size_t entrySize, bool fromProfile) {
  std::vector<word> durations(gPlayback.recordings.size());
  for (size_t i = 0; i < durations.size(); i++) {
    const TYPE_RecInfo &info = gPlayback.recordings[i];
    byte *old = fromProfile ? nullptr : SlotEntry(i);
    durations[i] = old ? GetLE16(old + RECORDING_SLOT_DURATION) : info.recType ? (word)info.duration : 0;
  }
  FirmwareFree(gSlots);
  gSlotEntry = entrySize;
  gSlotCount = durations.size();
  gSlots = FirmwareAlloc(std::max(gSlotCount, kSlotTableEntries) * gSlotEntry);
  for (size_t i = 0; i < gSlotCount; i++) PutLE16(SlotEntry(i) + RECORDING_SLOT_DURATION, durations[i]);
  PublishTable(FW_HOOK_RecordingSlots, gSlots);
}

bool ReadProfile(const nlohmann::json &json, std::string *) {
  PlaybackProfile p;
  for (const nlohmann::json &slot : json.value("recordings", nlohmann::json::array())) {
    TYPE_RecInfo info = {};
    info.recType = slot.value("type", (byte)0);
    info.duration = slot.value("duration", (dword)0);
    p.recordings.push_back(info);
  }
  gPlayback = p;
  return true;
}

void StartPlayback() {
  BuildSlots(gSlotEntry, true);
  memset(&gPlay, 0, sizeof gPlay);
}

}  // namespace

extern const Subsystem kPlaybackSubsystem = {"playback", ReadProfile, StartPlayback};

TYPE_PlayInfo PlayState() { return gPlay; }

void LayOutRecordingSlots(size_t entrySize) {
  if (entrySize != gSlotEntry || !gSlots) BuildSlots(entrySize, !gSlots);
}

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_Hdd_PlayTs(const char *name) {
  return name && emu::Play(emu::PvrPathOf(name), PLAYMODE_Playing, "ts", 0) ? 0 : 1;
}

TAP_API_FUNCTION int TAP_Hdd_PlayMp3(const char *name) {
  return name && emu::Play(emu::PvrPathOf(name), PLAYMODE_Mp3, "mp3", 0) ? 0 : 1;
}

TAP_API_FUNCTION int TAP_Hdd_GetPlayInfo(TYPE_PlayInfo *info) {
  if (!info || emu::PlayInfoFails()) return 0;
  *info = emu::gPlay;
  return 1;
}

TAP_API_FUNCTION int TAP_Hdd_ChangePlaybackPos(dword block) {
  if (emu::gPlay.playMode == PLAYMODE_None || block > emu::gPlay.totalBlock) return 0;
  emu::gPlay.currentBlock = block;
  emu::Effect("playback position %u of %u", block, emu::gPlay.totalBlock);
  return 1;
}

TAP_API_FUNCTION int TAP_Hdd_StopRecord(byte slot) {
  byte *entry = emu::SlotEntry(slot);
  if (!entry || GetLE16(entry + RECORDING_SLOT_DURATION) == 0) return 0;
  PutLE16(entry + RECORDING_SLOT_DURATION, 0);
  emu::Effect("stop recording slot %d", slot);
  return 1;
}

// A slot records while its table entry holds a duration.
TAP_API_FUNCTION int TAP_Hdd_GetRecInfo(byte slot, TYPE_RecInfo *info) {
  const byte *entry = emu::SlotEntry(slot);
  if (!info || !entry) return 0;
  word duration = GetLE16(entry + RECORDING_SLOT_DURATION);
  info->recType = duration ? emu::gPlayback.recordings[slot].recType : 0;
  info->duration = duration;
  return 1;
}

// ---- Firmware hooks (0: started or done) ----

FIRMWARE_HOOK int Appl_StartPlayback(const char *path, unsigned int block, bool) {
  return path && emu::Play(emu::PvrPathOf(path), PLAYMODE_Playing, "recording", block) ? 0 : -1;
}

FIRMWARE_HOOK int Appl_StartPlaybackMedia(const char *path, unsigned int block, bool, bool) {
  return path && emu::Play(emu::PvrPathOf(path), PLAYMODE_Playing, "media", block) ? 0 : -1;
}

FIRMWARE_HOOK int Appl_StopPlaying() {
  if (emu::gPlay.playMode != PLAYMODE_None) emu::Effect("stop playback");
  memset(&emu::gPlay, 0, sizeof emu::gPlay);
  return 0;
}

// Toggles between playing and paused.
FIRMWARE_HOOK int Appl_PvrPause(bool) {
  if (emu::gPlay.playMode == PLAYMODE_None) return -1;
  bool pause = emu::gPlay.playMode != PLAYMODE_Paused;
  emu::gPlay.playMode = pause ? (byte)PLAYMODE_Paused : emu::gResumeMode;
  emu::Effect("playback %s", pause ? "paused" : "playing");
  return 0;
}

// Plays on at a speed (1 normal) and direction (negative: backwards).
FIRMWARE_HOOK int Appl_SetPlaybackSpeed(unsigned char speed, int direction, bool) {
  if (emu::gPlay.playMode == PLAYMODE_None) return -1;
  emu::gPlay.playMode = emu::gResumeMode;
  emu::gPlay.speed = speed ? speed : 1;
  emu::gPlay.trickMode = direction < 0            ? (byte)TRICKMODE_Rewind
                         : emu::gPlay.speed > 1   ? (byte)TRICKMODE_Forward
                                                  : (byte)TRICKMODE_Normal;
  emu::Effect("playback speed %d direction %d", emu::gPlay.speed, direction);
  return 0;
}
