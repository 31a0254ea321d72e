// Timers: the firmware's timer table ("_timer", entries of the world's layout: 200 bytes,
// or on terrestrial models also 360 or any size from 208; the entry size is the distance
// from "_timerEditInfo" to "_timerTempInfo") and the TAP API's timer calls, which encode
// and decode its entries field by field.
#include <stdio.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

// Field offsets of an entry (the same in every layout up to the transponder part).
enum {
  T_TUNER = 0, T_MODE = 1, T_SATELLITE = 2, T_TYPE = 3, T_SERVICE_ID = 4, T_DURATION = 6,
  T_FILE_NAME = 9, T_FILE_NAME_SIZE = 131, T_START = 140, T_END = 144, T_PMT_PID = 148, T_IS_REC = 150,
  T_NAME_SET = 151, T_SERVICE_INDEX = 168,
};

byte *gTimers;            // kTimerCapacity entries
byte *gEditInfo;          // one entry, followed at once by the temporary entry
size_t gEntry = TIMER_ENTRY_SIZE;
int gSystemType = SYSTEM_TYPE_SATELLITE;
int gTimerCount;

byte *Entry(int index) { return gTimers + (size_t)index * gEntry; }

// Where the transponder part of an entry lies; 0 for a layout the firmware does not have.
size_t TransponderOffset(int systemType, size_t entry) {
  if (entry == TIMER_ENTRY_SIZE) return 184;
  if (systemType != SYSTEM_TYPE_TERRESTRIAL || entry < 208) return 0;
  return entry == 360 ? 344 : 192;
}

// The end of a timer: start plus duration, in packed PVR dates.
dword EndOf(dword start, word duration) {
  dword minutes = (start >> 16) * 1440 + (start >> 8 & 0xFF) * 60 + (start & 0xFF) + duration;
  return (minutes / 1440) << 16 | (minutes % 1440 / 60) << 8 | minutes % 60;
}

// The timer's transponder, from its service's table entry.
void PutTransponder(byte *part, const byte *tpEntry) {
  if (!tpEntry) return;
  if (gSystemType == SYSTEM_TYPE_CABLE) {
    PutLE32(part, GetLE32(tpEntry) >> 8);   // the frequency is a whole u32 here
    memcpy(part + 4, tpEntry + 4, 8);       // symbol rate, TSID, ONID, modulation, spare
  } else {
    memcpy(part, tpEntry, 16);              // the table entry's layout
  }
}

// Writes what the TAP API gives of a timer into an entry, with the fields the firmware
// takes from the service; the other bytes stay. False for a timer the firmware refuses.
bool Encode(const TYPE_TimerInfo *info, byte *entry, const char **refusal) {
  byte satellite = 0;
  word serviceId = 0, pmtPid = 0;
  const byte *tpEntry = nullptr;
  *refusal = !info                                                      ? "no timer"
             : info->svcType > 1                                        ? "no such service type"
             : !TimerServiceFields(info->svcType, info->svcNum, &satellite, &serviceId, &pmtPid, &tpEntry)
                 ? "no such service"
             : info->duration == 0 ? "no duration"
                                   : nullptr;
  if (*refusal) return false;
  entry[T_TUNER] = info->tuner;
  entry[T_MODE] = (byte)((entry[T_MODE] & ~7) | (info->isRec ? 1 : 0));
  entry[T_SATELLITE] = satellite;
  entry[T_TYPE] = (byte)((entry[T_TYPE] & 0xF0) | (info->svcType & 1) | (info->reservationType & 7) << 1);
  PutLE16(entry + T_SERVICE_ID, serviceId);
  PutLE16(entry + T_DURATION, info->duration);
  memset(entry + T_FILE_NAME, 0, T_FILE_NAME_SIZE);
  memcpy(entry + T_FILE_NAME, info->fileName, strnlen(info->fileName, sizeof info->fileName));
  PutLE32(entry + T_START, info->startTime);
  PutLE32(entry + T_END, EndOf(info->startTime, info->duration));
  PutLE16(entry + T_PMT_PID, pmtPid);
  entry[T_IS_REC] = info->isRec;
  entry[T_NAME_SET] = info->nameFix;
  PutLE16(entry + T_SERVICE_INDEX, info->svcNum);
  PutTransponder(entry + TransponderOffset(gSystemType, gEntry), tpEntry);
  return true;
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

// No timers until the world is installed.
void StartTimers() {
  std::string ignored;
  InstallTimerTable(TableImage(), &ignored);
}

}  // namespace

bool InstallTimerTable(const TableImage &image, std::string *error) {
  size_t entry = image.timerEntrySize;
  if (!TransponderOffset(image.systemType, entry)) {
    *error = "system type " + std::to_string(image.systemType) + " has no " + std::to_string(entry) +
             "-byte timer entries";
    return false;
  }
  if (image.timers.size() % entry || image.timers.size() / entry > (size_t)kTimerCapacity) {
    *error = "the timer table holds at most " + std::to_string(kTimerCapacity) + " whole entries";
    return false;
  }
  FirmwareFree(gTimers);
  FirmwareFree(gEditInfo);
  gTimers = FirmwareAlloc(kTimerCapacity * entry);
  gEditInfo = FirmwareAlloc(2 * entry);
  if (!image.timers.empty()) memcpy(gTimers, image.timers.data(), image.timers.size());
  gEntry = entry;
  gSystemType = image.systemType;
  gTimerCount = (int)(image.timers.size() / entry);
  LayOutRecordingSlots(entry);
  PublishTable(FW_HOOK_Timers, gTimers);
  PublishTable(FW_HOOK_TimerEditInfo, gEditInfo);
  PublishTable(FW_HOOK_TimerTempInfo, gEditInfo + entry);
  return true;
}

// The timer table as it is now (the firmware's changes included).
std::vector<byte> TimerTable(size_t *entrySize) {
  *entrySize = gEntry;
  return std::vector<byte>(gTimers, gTimers + (size_t)gTimerCount * gEntry);
}

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
  memcpy(info->fileName, entry + emu::T_FILE_NAME, strnlen(reinterpret_cast<const char *>(entry + emu::T_FILE_NAME),
                                                           sizeof info->fileName - 1));
  return 1;
}

// A new timer is placed after the others.
TAP_API_FUNCTION int TAP_Timer_Add(const TYPE_TimerInfo *info) {
  if (emu::gTimerCount >= emu::kTimerCapacity) {
    emu::Effect("timer add refused: the table is full");
    return TIMER_TABLE_FULL;
  }
  byte *entry = emu::Entry(emu::gTimerCount);
  memset(entry, 0, emu::gEntry);
  const char *refusal = nullptr;
  if (!emu::Encode(info, entry, &refusal)) {
    memset(entry, 0, emu::gEntry);
    emu::Effect("timer add refused: %s", refusal);
    return TIMER_INVALID;
  }
  emu::Effect("timer %d added: %s %d at %08x for %d minutes", emu::gTimerCount, info->svcType ? "radio" : "tv",
              info->svcNum, info->startTime, info->duration);
  emu::gTimerCount++;
  return TIMER_ADDED;
}

TAP_API_FUNCTION int TAP_Timer_Modify(int index, const TYPE_TimerInfo *info) {
  if (index < 0 || index >= emu::gTimerCount) {
    emu::Effect("timer %d modify refused: no such timer", index);
    return TIMER_INVALID;
  }
  std::vector<byte> entry(emu::Entry(index), emu::Entry(index) + emu::gEntry);
  const char *refusal = nullptr;
  if (!emu::Encode(info, entry.data(), &refusal)) {
    emu::Effect("timer %d modify refused: %s", index, refusal);
    return TIMER_INVALID;
  }
  memcpy(emu::Entry(index), entry.data(), emu::gEntry);
  emu::Effect("timer %d modified: %s %d at %08x for %d minutes", index, info->svcType ? "radio" : "tv", info->svcNum,
              info->startTime, info->duration);
  return TIMER_ADDED;
}

TAP_API_FUNCTION int TAP_Timer_Delete(int index) {
  if (index < 0 || index >= emu::gTimerCount) {
    emu::Effect("timer %d delete refused: no such timer", index);
    return 0;
  }
  memmove(emu::Entry(index), emu::Entry(index + 1), (size_t)(emu::gTimerCount - index - 1) * emu::gEntry);
  emu::gTimerCount--;
  memset(emu::Entry(emu::gTimerCount), 0, emu::gEntry);
  emu::Effect("timer %d deleted", index);
  return 1;
}
