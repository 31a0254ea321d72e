// Packed PVR dates: Modified Julian Date in bits 31..16, hour in bits 15..8, minute in
// bits 7..0. Pure calendar arithmetic without the TAP API, in the support library that the
// EPG search program links too. A packed date covers MJD 0 (1858-11-17) to MJD 65535 (2038-04-22);
// results beyond either end are held at that end.
#pragma once

#include <stdint.h>

enum : uint32_t {
  PVR_DATE_FIRST = 0,                            // MJD 0 00:00
  PVR_DATE_LAST = 0xFFFFu << 16 | 23u << 8 | 59u,  // MJD 65535 23:59
};

// date + minutes (negative minutes move back). Hour and minute fields beyond their range
// are carried into the next unit.
uint32_t AddTime(uint32_t date, int minutes);

// Minutes from a to b: the minutes of b less the minutes of a (negative when b is earlier).
int TimeDiff(uint32_t a, uint32_t b);

// Packed UTC date of a Unix time, seconds dropped.
uint32_t Unix2TFTime(int64_t seconds);

// The first date at or after reference on which a yearly rule falls: the week-th (1..5)
// occurrence of weekday (0 Monday .. 6 Sunday) in month (1..12), where 5 means the last
// one, at hour:minute (hour 0..24, minute 0..59). The rule's month in the reference's
// year, or in the next year when that month is already past or the date lies before the
// reference. Returns 0 for a rule outside those ranges or a date a packed date cannot hold.
uint32_t DST_TransitionDate(int week, int weekday, int month, int hour, int minute, uint32_t reference);
