// The PVR's packed date (Modified Julian Date in bits 31..16, hour in
// 15..8, minute in 7..0) and its JSON text form "YYYY/MM/DD hh:mm:ss".
#pragma once

#include <stdint.h>

enum {
  PVR_DATE_TEXT_SIZE = 64,
  PVR_DATE_FIRST_MJD = 15079,   // 1900-03-01, where the MJD formulas begin to hold
};

// The PVR's clock as the TAP API reads it: MJD, hour, minute and second of the local time.
typedef int (*PVRClockFunction)(uint16_t *mjd, uint8_t *hour, uint8_t *minute, uint8_t *second);

// Installs the clock that date 0 reads; a TAP installs the TAP API's at start. Without one
// (skimlet, which has no PVR clock) date 0 prints zeros in every field. Null removes it.
void SetPVRClock(PVRClockFunction clock);

// JSON date text of a packed date with the low 8 bits of seconds, in a static buffer that
// the next call overwrites. Date 0 means the PVR's current local time, seconds included,
// from the installed clock. A day before 1900-03-01 (MJD 0 in particular) prints as
// 0000/00/00.
const char *PVRDateToJSON(uint32_t date, int seconds);

// Packed date of a JSON date text ("%04d/%02d/%02d %02d:%02d:%02d"; the time may be left
// out, seconds are dropped). 0 when the text holds no valid day between 1900-03-01 and
// 2038-04-22 or an hour or minute out of range.
uint32_t JSONToPVRDate(const char *text);
