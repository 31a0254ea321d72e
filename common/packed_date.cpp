#include "common/packed_date.h"

#include <stdio.h>

#include "common/mjd.h"

namespace {

char gPVRDateText[PVR_DATE_TEXT_SIZE];
PVRClockFunction gPVRClock = nullptr;

const char *FormatDate(unsigned mjd, unsigned hour, unsigned minute, unsigned second) {
  CalendarDate date = {0, 0, 0, 0};
  if (mjd >= PVR_DATE_FIRST_MJD) date = MjdToDate((uint16_t)mjd);
  snprintf(gPVRDateText, sizeof gPVRDateText, "%04d/%02d/%02d %02u:%02u:%02u", date.year, date.month,
           date.day, hour, minute, second);
  return gPVRDateText;
}

// Reads up to width decimal digits after optional blanks, like a scanf conversion with
// a field width. False when there is no digit.
bool ScanField(const char **text, int width, int *value) {
  const char *p = *text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  int digits = 0;
  int result = 0;
  while (digits < width && *p >= '0' && *p <= '9') {
    result = result * 10 + (*p++ - '0');
    digits++;
  }
  if (!digits) return false;
  *value = result;
  *text = p;
  return true;
}

// Matches one literal separator; a blank in the pattern matches any run of blanks.
bool ScanLiteral(const char **text, char literal) {
  if (literal == ' ') {
    while (**text == ' ' || (**text >= '\t' && **text <= '\r')) (*text)++;
    return true;
  }
  if (**text != literal) return false;
  (*text)++;
  return true;
}

}  // namespace

void SetPVRClock(PVRClockFunction clock) { gPVRClock = clock; }

const char *PVRDateToJSON(uint32_t date, int seconds) {
  if (date != 0) return FormatDate(date >> 16, date >> 8 & 0xFF, date & 0xFF, (unsigned)seconds & 0xFF);
  uint16_t mjd = 0;
  uint8_t hour = 0, minute = 0, second = 0;
  if (gPVRClock) gPVRClock(&mjd, &hour, &minute, &second);
  return FormatDate(mjd, hour, minute, second);
}

uint32_t JSONToPVRDate(const char *text) {
  if (!text) return 0;
  static const char kSeparators[] = {'/', '/', ' ', ':', ':'};
  static const int kWidths[] = {4, 2, 2, 2, 2, 2};
  int fields[6] = {0, 0, 0, 0, 0, 0};
  int parsed = 0;
  const char *p = text;
  while (parsed < 6) {
    if (parsed > 0 && !ScanLiteral(&p, kSeparators[parsed - 1])) break;
    if (!ScanField(&p, kWidths[parsed], &fields[parsed])) break;
    parsed++;
  }
  if (parsed < 3) return 0;
  int year = fields[0], month = fields[1], day = fields[2], hour = fields[3], minute = fields[4];
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || year > 2038) return 0;
  if (hour > 23 || minute > 59) return 0;
  uint16_t mjd = DateToMjd(year, month, day);
  CalendarDate check = MjdToDate(mjd);
  // The day must exist and lie within the 16 bits of the packed date.
  if (mjd < PVR_DATE_FIRST_MJD || check.year != year || check.month != month || check.day != day) return 0;
  return (uint32_t)mjd << 16 | (uint32_t)hour << 8 | (uint32_t)minute;
}
