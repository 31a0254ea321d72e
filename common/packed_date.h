// The PVR's packed date (Modified Julian Date in bits 31..16, hour in
// 15..8, minute in 7..0) and its JSON text form "YYYY/MM/DD hh:mm:ss".
#pragma once

#include <stdint.h>

enum {
  PVR_DATE_TEXT_SIZE = 64,
  PVR_DATE_FIRST_MJD = 15079,   // 1900-03-01, where the MJD formulas begin to hold
};

// JSON date text of a packed date with the low 8 bits of seconds, in a static buffer that
// the next call overwrites. Date 0 means the PVR's current local time, seconds included
// (all fields zero in skimlet, which has no PVR clock). A day before 1900-03-01 (MJD 0 in
// particular) prints as 0000/00/00.
const char *PVRDateToJSON(uint32_t date, int seconds);

// Packed date of a JSON date text ("%04d/%02d/%02d %02d:%02d:%02d"; the time may be left
// out, seconds are dropped). 0 when the text holds no valid day between 1900-03-01 and
// 2038-04-22 or an hour or minute out of range.
uint32_t JSONToPVRDate(const char *text);
