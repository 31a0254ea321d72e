#include "platform/pvr_date_math.h"

#include "common/mjd.h"

namespace {

enum : int32_t {
  MINUTES_PER_DAY = 1440,
  LAST_MJD = 0xFFFF,
  LAST_TOTAL = LAST_MJD * MINUTES_PER_DAY + MINUTES_PER_DAY - 1,
};

// Minutes since MJD 0 00:00 as the fields say, without normalising them.
int32_t TotalMinutes(uint32_t date) {
  return (int32_t)(date >> 16) * MINUTES_PER_DAY + (int32_t)((date >> 8) & 0xFF) * 60 + (int32_t)(date & 0xFF);
}

// The packed date of a minute count, held within the range a packed date covers.
uint32_t FromTotalMinutes(int64_t total) {
  if (total < 0) return PVR_DATE_FIRST;
  if (total > LAST_TOTAL) return PVR_DATE_LAST;
  int32_t t = (int32_t)total;
  uint32_t mjd = (uint32_t)(t / MINUTES_PER_DAY);
  uint32_t rest = (uint32_t)(t % MINUTES_PER_DAY);
  return mjd << 16 | (rest / 60) << 8 | rest % 60;
}

int DaysInMonth(int year, int month) {
  static const unsigned char kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// MJD of the day the rule names in one year, or -1 when a packed date cannot hold it.
int32_t RuleDay(int year, int month, int week, int weekday) {
  // The MJD formulas hold from 1900-03-01; a packed date ends in 2038.
  if (year < 1900 || year > 2038) return -1;
  int32_t first = DateToMjd(year, month, 1);
  CalendarDate check = MjdToDate((uint16_t)first);
  if (check.year != year || check.month != month || check.day != 1) return -1;   // past MJD 65535
  int dayOfMonth = 1 + (weekday - check.weekDay + 7) % 7 + (week - 1) * 7;
  // A fifth occurrence that falls into the next month means the last one of this month.
  if (dayOfMonth > DaysInMonth(year, month)) dayOfMonth -= 7;
  int32_t day = first + dayOfMonth - 1;
  return day > LAST_MJD ? -1 : day;
}

}  // namespace

uint32_t AddTime(uint32_t date, int minutes) { return FromTotalMinutes((int64_t)TotalMinutes(date) + minutes); }

int TimeDiff(uint32_t a, uint32_t b) { return TotalMinutes(b) - TotalMinutes(a); }

uint32_t Unix2TFTime(int64_t seconds) {
  // Beyond these bounds the result is held at an end anyway; they keep the sums small.
  if (seconds < -(int64_t)40588 * 86400) return PVR_DATE_FIRST;
  if (seconds > (int64_t)(LAST_MJD - 40586) * 86400) return PVR_DATE_LAST;
  // Whole minutes since MJD 0, rounding toward the past also before 1970.
  int64_t minutes = seconds >= 0 ? seconds / 60 : -((-seconds + 59) / 60);
  return FromTotalMinutes(minutes + (int64_t)40587 * MINUTES_PER_DAY);
}

uint32_t DST_TransitionDate(int week, int weekday, int month, int hour, int minute, uint32_t reference) {
  if (week < 1 || week > 5 || weekday < 0 || weekday > 6 || month < 1 || month > 12) return 0;
  if (hour < 0 || minute < 0 || minute > 59 || hour * 60 + minute > MINUTES_PER_DAY) return 0;
  CalendarDate now = MjdToDate((uint16_t)(reference >> 16));
  int year = month < now.month ? now.year + 1 : now.year;
  for (int attempt = 0; attempt < 2; attempt++, year++) {
    int32_t day = RuleDay(year, month, week, weekday);
    if (day < 0) return 0;
    int64_t total = (int64_t)day * MINUTES_PER_DAY + hour * 60 + minute;
    if (total > LAST_TOTAL) return 0;
    if (total >= TotalMinutes(reference)) return FromTotalMinutes(total);
  }
  return 0;
}
