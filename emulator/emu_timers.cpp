// Timers: the firmware's timer table ("_timer", 200-byte system type 5 entries; the entry
// size is also the distance from "_timerEditInfo" to "_timerTempInfo") and the TAP API's
// timer calls, which encode and decode its entries field by field.
#include <stdio.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

constexpr int kTimerCapacity = 100;
constexpr int kEntry = TIMER_ENTRY_SIZE;
// Field offsets of an entry.
enum {
  T_TUNER = 0, T_MODE = 1, T_SATELLITE = 2, T_TYPE = 3, T_SERVICE_ID = 4, T_DURATION = 6,
  T_FILE_NAME = 9, T_FILE_NAME_SIZE = 131, T_START = 140, T_END = 144, T_IS_REC = 150,
  T_NAME_SET = 151, T_SERVICE_INDEX = 168,
};

byte *gTimers;
byte *gEditInfo;          // kEntry bytes, followed at once by the temporary entry
int gTimerCount;

byte *Entry(int index) { return gTimers + index * kEntry; }

// The end of a timer: start plus duration, in packed PVR dates.
dword EndOf(dword start, word duration) {
  dword minutes = (start >> 16) * 1440 + (start >> 8 & 0xFF) * 60 + (start & 0xFF) + duration;
  return (minutes / 1440) << 16 | (minutes % 1440 / 60) << 8 | minutes % 60;
}

bool Encode(const TYPE_TimerInfo *info, byte *entry) {
  int tv = 0, radio = 0;
  TAP_Channel_GetTotalNum(&tv, &radio);
  TYPE_TapChInfo service;
  if (!info || info->svcType > 1 || info->svcNum >= (info->svcType ? radio : tv) ||
      !TAP_Channel_GetInfo(info->svcType, info->svcNum, &service) || info->duration == 0) {
    return false;
  }
  memset(entry, 0, kEntry);
  entry[T_TUNER] = info->tuner;
  entry[T_MODE] = info->isRec ? 1 : 0;
  entry[T_SATELLITE] = service.satIdx;
  entry[T_TYPE] = (byte)((info->svcType & 1) | (info->reservationType & 7) << 1);
  PutLE16(entry + T_SERVICE_ID, service.svcId);
  PutLE16(entry + T_DURATION, info->duration);
  snprintf(reinterpret_cast<char *>(entry + T_FILE_NAME), T_FILE_NAME_SIZE, "%s", info->fileName);
  PutLE32(entry + T_START, info->startTime);
  PutLE32(entry + T_END, EndOf(info->startTime, info->duration));
  entry[T_IS_REC] = info->isRec;
  entry[T_NAME_SET] = info->nameFix;
  PutLE16(entry + T_SERVICE_INDEX, info->svcNum);
  return true;
}

void CopyTimerName(char *out, size_t size, const byte *field) {
  size_t n = strnlen(reinterpret_cast<const char *>(field), T_FILE_NAME_SIZE - 1);
  if (n >= size) n = size - 1;
  memcpy(out, field, n);
  out[n] = '\0';
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

void StartTimers() {
  if (!gTimers) {
    gTimers = FirmwareAlloc(kTimerCapacity * kEntry);
    gEditInfo = FirmwareAlloc(2 * kEntry);
  }
  memset(gTimers, 0, kTimerCapacity * kEntry);
  memset(gEditInfo, 0, 2 * kEntry);
  gTimerCount = 0;
  PublishTable(FW_HOOK_Timers, gTimers);
  PublishTable(FW_HOOK_TimerEditInfo, gEditInfo);
  PublishTable(FW_HOOK_TimerTempInfo, gEditInfo + kEntry);
}

}  // namespace

extern const Subsystem kTimersSubsystem = {"timers", ReadProfile, StartTimers};

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_Timer_GetTotalNum(void) { return emu::gTimerCount; }

TAP_API_FUNCTION int TAP_Timer_GetInfo(int index, TYPE_TimerInfo *info) {
  if (!info || index < 0 || index >= emu::gTimerCount) return 0;
  const byte *entry = emu::Entry(index);
  memset(info, 0, sizeof *info);
  info->isRec = entry[emu::T_IS_REC];
  info->tuner = entry[emu::T_TUNER];
  info->svcType = entry[emu::T_TYPE] & 1;
  info->svcNum = GetLE16(entry + emu::T_SERVICE_INDEX);
  info->reservationType = entry[emu::T_TYPE] >> 1 & 7;
  info->nameFix = entry[emu::T_NAME_SET];
  info->duration = GetLE16(entry + emu::T_DURATION);
  info->startTime = GetLE32(entry + emu::T_START);
  emu::CopyTimerName(info->fileName, sizeof info->fileName, entry + emu::T_FILE_NAME);
  return 1;
}

TAP_API_FUNCTION int TAP_Timer_Add(const TYPE_TimerInfo *info) {
  if (emu::gTimerCount >= emu::kTimerCapacity) return TIMER_TABLE_FULL;
  if (!emu::Encode(info, emu::Entry(emu::gTimerCount))) return TIMER_INVALID;
  emu::Effect("timer %d added", emu::gTimerCount);
  emu::gTimerCount++;
  return TIMER_ADDED;
}

TAP_API_FUNCTION int TAP_Timer_Modify(int index, const TYPE_TimerInfo *info) {
  if (index < 0 || index >= emu::gTimerCount) return TIMER_INVALID;
  byte entry[emu::kEntry];
  if (!emu::Encode(info, entry)) return TIMER_INVALID;
  memcpy(emu::Entry(index), entry, emu::kEntry);
  emu::Effect("timer %d modified", index);
  return TIMER_ADDED;
}

TAP_API_FUNCTION int TAP_Timer_Delete(int index) {
  if (index < 0 || index >= emu::gTimerCount) return 0;
  memmove(emu::Entry(index), emu::Entry(index + 1), (size_t)(emu::gTimerCount - index - 1) * emu::kEntry);
  emu::gTimerCount--;
  memset(emu::Entry(emu::gTimerCount), 0, emu::kEntry);
  emu::Effect("timer %d deleted", index);
  return 1;
}
