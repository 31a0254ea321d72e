#include "common/mjd.h"

CalendarDate MjdToDate(uint16_t mjd) {
  CalendarDate date;
  int y = (int)((mjd - 15078.2) / 365.25);
  int m = (int)((mjd - 14956.1 - (int)(y * 365.25)) / 30.6001);
  date.day = mjd - 14956 - (int)(y * 365.25) - (int)(m * 30.6001);
  int k = (m == 14 || m == 15) ? 1 : 0;
  date.year = y + k + 1900;
  date.month = m - 1 - k * 12;
  date.weekDay = (mjd + 2) % 7;
  return date;
}

uint16_t DateToMjd(int year, int month, int day) {
  int l = (month == 1 || month == 2) ? 1 : 0;
  int y = year - 1900;
  return (uint16_t)(14956 + day + (int)((y - l) * 365.25) + (int)((month + 1 + l * 12) * 30.6001));
}
