// Modified Julian Dates as DVB broadcasts them (the formulas of ETSI EN 300 468 Annex C),
// valid from 1900-03-01 to 2100-02-28.
#pragma once

#include <stdint.h>

struct CalendarDate {
  int year, month, day;
  int weekDay;   // 0 Monday .. 6 Sunday
};

CalendarDate MjdToDate(uint16_t mjd);
uint16_t DateToMjd(int year, int month, int day);
