// The emulated PVR's clock and time zone.
#pragma once

#include <stdint.h>

#include "platform/tap_api.h"

namespace emu {

// Profile: "utc_offset" (minutes), "time_mode" (both low bits set: daylight saving in
// force), "clock" ("host" or a UTC time "YYYY-MM-DD hh:mm:ss" at which the clock stands),
// "sleep_timer" (minutes until the sleep timer switches the PVR off, 0 when it is off).
struct TimeProfile {
  int16_t utcOffset = 60;
  byte timeMode = 0;
  word sleepTimer = 0;
  bool clockFollowsHost = true;
  int64_t fixedUtc = 0;   // Unix seconds, while the clock stands still
};
extern TimeProfile gTime;

// UTC now in Unix seconds, and the PVR's local time.
int64_t UtcNow();
int64_t LocalNow();
int LocalOffsetMinutes();
void SetFixedClock(int64_t utc);
// Moves the tick counter (TAP_GetTick) by offset ticks, e.g. next to its wrap (tests).
void SetTickOffset(dword offset);
// Copies the time zone into the firmware's time block ("_timeInfo").
void PublishTimeInfo();

}  // namespace emu
