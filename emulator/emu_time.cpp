// Time: the clock, the firmware's time-settings block ("_timeInfo"), the TAP API's time
// and MJD functions and the firmware's time conversions.
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/mjd.h"
#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

TimeProfile gTime;

namespace {

byte *gTimeBlock;   // TIME_INFO_SIZE bytes of firmware memory
dword gTickOffset;

bool ParseUtcText(const std::string &text, int64_t *utc) {
  struct tm t = {};
  if (sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour,
             &t.tm_min, &t.tm_sec) != 6)
    return false;
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  *utc = (int64_t)timegm(&t);
  return true;
}

bool ReadProfile(const nlohmann::json &json, std::string *error) {
  TimeProfile p;
  p.utcOffset = json.value("utc_offset", p.utcOffset);
  p.timeMode = json.value("time_mode", p.timeMode);
  p.sleepTimer = json.value("sleep_timer", p.sleepTimer);
  std::string clock = json.value("clock", std::string("host"));
  p.clockFollowsHost = clock == "host";
  if (!p.clockFollowsHost && !ParseUtcText(clock, &p.fixedUtc)) {
    *error = "\"clock\" must be \"host\" or a UTC time \"YYYY-MM-DD hh:mm:ss\"";
    return false;
  }
  gTime = p;
  return true;
}

void StartTime() {
  gTickOffset = 0;
  if (!gTimeBlock) gTimeBlock = FirmwareAlloc(TIME_INFO_SIZE);
  PublishTable(FW_HOOK_TimeInfo, gTimeBlock);
  PublishTimeInfo();
}

}  // namespace

extern const Subsystem kTimeSubsystem = {"time", ReadProfile, StartTime};

int64_t UtcNow() { return gTime.clockFollowsHost ? (int64_t)time(nullptr) : gTime.fixedUtc; }

int LocalOffsetMinutes() { return gTime.utcOffset + ((gTime.timeMode & 3) == 3 ? 60 : 0); }

int64_t LocalNow() { return UtcNow() + LocalOffsetMinutes() * 60; }

void SetTickOffset(dword offset) { __atomic_store_n(&gTickOffset, offset, __ATOMIC_SEQ_CST); }

void SetFixedClock(int64_t utc) {
  gTime.clockFollowsHost = false;
  gTime.fixedUtc = utc;
}

void PublishTimeInfo() {
  if (!gTimeBlock) return;
  // The firmware's offset includes the daylight-saving hour while that is in force.
  PutLE16(gTimeBlock + TIME_INFO_UTC_OFFSET, (uint16_t)LocalOffsetMinutes());
  gTimeBlock[TIME_INFO_MODE] = gTime.timeMode;
  PutLE16(gTimeBlock + TIME_INFO_SLEEP_TIMER, gTime.sleepTimer);
}

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_GetTime(word *mjd, byte *hour, byte *minute, byte *second) {
  int64_t local = emu::LocalNow();
  int64_t days = local / 86400, seconds = local % 86400;
  if (mjd) *mjd = (word)(days + 40587);
  if (hour) *hour = (byte)(seconds / 3600);
  if (minute) *minute = (byte)(seconds / 60 % 60);
  if (second) *second = (byte)(seconds % 60);
  return 1;
}

TAP_API_FUNCTION dword TAP_GetTick(void) {
  static timespec start;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (start.tv_sec == 0 && start.tv_nsec == 0) start = now;
  dword ticks = (dword)((now.tv_sec - start.tv_sec) * 100 + (now.tv_nsec - start.tv_nsec) / 10000000);
  return ticks + __atomic_load_n(&emu::gTickOffset, __ATOMIC_SEQ_CST);
}

TAP_API_FUNCTION int TAP_ExtractMjd(word mjd, word *year, byte *month, byte *day, byte *weekDay) {
  CalendarDate date = MjdToDate(mjd);
  if (year) *year = (word)date.year;
  if (month) *month = (byte)date.month;
  if (day) *day = (byte)date.day;
  if (weekDay) *weekDay = (byte)date.weekDay;
  return 1;
}

TAP_API_FUNCTION word TAP_MakeMjd(word year, byte month, byte day) { return DateToMjd(year, month, day); }

TAP_API_FUNCTION void TAP_Delay(dword ticks) { usleep(ticks * 10000); }

TAP_API_FUNCTION void TAP_Sleep(dword ticks) { usleep(ticks * 10000); }

// ---- Firmware hooks ----

// Local time of a packed UTC date (MJD << 16 | hour << 8 | minute).
FIRMWARE_HOOK dword Appl_TimeToLocal(unsigned int utc) {
  int64_t minutes = (int64_t)(utc >> 16) * 1440 + ((utc >> 8) & 0xFF) * 60 + (utc & 0xFF);
  minutes += emu::LocalOffsetMinutes();
  dword mjd = (dword)(minutes / 1440), rest = (dword)(minutes % 1440);
  return mjd << 16 | (rest / 60) << 8 | rest % 60;
}

// Unix time of a packed UTC date.
extern "C" FIRMWARE_HOOK dword PvrTimeToLinux(dword pvrTime) {
  int64_t minutes = ((int64_t)(pvrTime >> 16) - 40587) * 1440 + ((pvrTime >> 8) & 0xFF) * 60 + (pvrTime & 0xFF);
  return minutes < 0 ? 0 : (dword)(minutes * 60);
}
