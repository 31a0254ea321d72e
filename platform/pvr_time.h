// The PVR's clock, its time zone and daylight saving: conversion of packed dates between
// UTC (as broadcast in the EPG) and the PVR's local time.
//
// The daylight-saving rule comes from "DST.ini" in "/ProgramFiles/Settings":
//   DefaultRule=europe   the European rule: last Sunday of March to last Sunday of October,
//                        both changes at 01:00 UTC
//   DefaultRule=manual   DSTStartRule and DSTEndRule, each "week,weekday,month,hh:mm"
//                        (week 1..5 where 5 is the last, weekday 0 Monday .. 6 Sunday),
//                        hh:mm being the local clock time at which the change happens:
//                        standard time for the start, daylight time for the end
//   anything else, or no file: the firmware's own time settings.
// The rule is read once and kept until DST_ForgetRule.
#pragma once

#include "platform/pvr_date_math.h"
#include "platform/tap_api.h"

enum {
  DST_RULE_NOT_CHOSEN = 0,
  DST_RULE_FIRMWARE = 1,
  DST_RULE_EUROPE = 2,
  DST_RULE_MANUAL = 3,
};

extern int DSTRule;               // one of DST_RULE_*
extern dword DSTStartUTCsaved;    // transitions of the year last converted (packed UTC), 0 unknown
extern dword DSTEndUTCsaved;

// The PVR's current local time as a packed date (seconds dropped).
dword Now();

// The firmware's time zone: standardOffset in minutes east of UTC without daylight
// saving, dstInForce 1 when the firmware applies daylight saving now. Returns 1, or 0
// when the time block cannot be read (then 60 and 0). Either pointer may be null.
int GetCurrentTimeZone(int *standardOffset, int *dstInForce);

// Chooses the rule from "DST.ini" when none is chosen yet; returns DSTRule.
int DST_ChooseRule();
// Forgets the chosen rule, the manual rule and the saved transitions, so that the next
// conversion reads "DST.ini" again.
void DST_ForgetRule();

// The next date at or after reference (0: now) on which the rule falls, as a local packed
// date; 0 for a rule out of range. See DST_TransitionDate.
dword DST_CalcTransition(int week, int weekday, int month, int hour, int minute, dword reference);

// Local time of a packed UTC date; offset (may be null) receives the minutes added.
dword UTC2LocalTime(dword utc, int *offset);
// UTC of a packed local date; offset (may be null) receives the minutes the local time is
// ahead of UTC. A local time that the spring change skips is taken as daylight time, one
// that the autumn change repeats as standard time.
dword LocalTime2UTC(dword local, int *offset);
