#include "platform/pvr_time.h"

#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include "common/mjd.h"
#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "platform/ini_file.h"
#include "platform/rivlib_log.h"

int DSTRule;
dword DSTStartUTCsaved;
dword DSTEndUTCsaved;

namespace {

const char kSettingsFolder[] = "/ProgramFiles/Settings";
const char kRuleFile[] = "DST.ini";

enum {
  DEFAULT_STANDARD_OFFSET = 60,   // minutes, when the firmware does not tell
  DST_SHIFT = 60,
  RULE_FILE_MAX = 65536,          // more of "DST.ini" than this is not read
  RULE_TEXT_SIZE = 23,            // a rule is at most 22 characters
  RULE_NAME_SIZE = 32,
};

// One change of the manual rule: "week,weekday,month,hh:mm".
struct RuleTime {
  bool valid;
  int week, weekday, month, hour, minute;
};

RuleTime gManualStart;
RuleTime gManualEnd;

// Transitions of the chosen rule in local standard time for the years before, of and
// after the year last looked at. A zero entry is a transition that year does not have.
struct TransitionCache {
  bool valid;
  int rule;
  int standardOffset;
  int year;
  dword start[3];
  dword end[3];
};

TransitionCache gCache;

// Reads up to maxDigits digits (any number when 0) after optional blanks; null when none.
const char *ReadNumber(const char *p, int maxDigits, int *value) {
  while (*p == ' ' || *p == '\t') p++;
  if (!isdigit((unsigned char)*p)) return nullptr;
  int v = 0;
  for (int n = 0; isdigit((unsigned char)*p) && (maxDigits == 0 || n < maxDigits); n++, p++) {
    if (v < 10000) v = v * 10 + (*p - '0');
  }
  *value = v;
  return p;
}

// Parses "week,weekday,month,hh:mm" (hour and minute of at most two digits each). Week,
// weekday and month beyond their ranges are cut to 5, 6 and 12.
bool ParseRule(const char *text, RuleTime *rule) {
  static const char kSeparators[] = {',', ',', ',', ':'};
  int values[5];
  const char *p = text;
  for (int i = 0; i < 5; i++) {
    p = ReadNumber(p, i >= 3 ? 2 : 0, &values[i]);
    if (!p) return false;
    if (i < 4) {
      if (*p != kSeparators[i]) return false;
      p++;
    }
  }
  rule->week = values[0] > 5 ? 5 : values[0];
  rule->weekday = values[1] > 6 ? 6 : values[1];
  rule->month = values[2] > 12 ? 12 : values[2];
  rule->hour = values[3];
  rule->minute = values[4];
  return rule->week >= 1 && rule->month >= 1 && rule->minute <= 59 && rule->hour * 60 + rule->minute <= 1440;
}

void ReadManualRule(const char *text, const char *key, RuleTime *rule) {
  char value[RULE_TEXT_SIZE];
  rule->valid = false;
  if (!INIReadString(text, key, value, "", sizeof value)) return;
  rule->valid = ParseRule(value, rule);
  if (!rule->valid) {
    LogEntryRivlibPrintf(false, "%s: %s '%s' is not week,weekday,month,hh:mm.", kRuleFile, key, value);
  }
}

// Loads "DST.ini" of the settings folder into a buffer of its own (the settings buffer of
// the INI reader may belong to a caller). 1 with *text set, 0 when there is no such file,
// -1 when the folders or memory did not allow a look.
int LoadRuleFile(char **text) {
  *text = nullptr;
  PushedDir saved;
  if (!saved.ok()) return -1;
  if (!HDD_ChangeDir(kSettingsFolder) || !TAP_Hdd_Exist(kRuleFile)) return 0;
  TYPE_File *file = TAP_Hdd_Fopen(kRuleFile);
  if (!file) return 0;
  dword length = TAP_Hdd_Flen(file);
  if (length > RULE_FILE_MAX) length = RULE_FILE_MAX;
  char *buffer = static_cast<char *>(TAP_MemAlloc(length + 1));
  if (!buffer) {
    TAP_Hdd_Fclose(file);
    return -1;
  }
  dword got = length ? TAP_Hdd_Fread(buffer, 1, length, file) : 0;
  TAP_Hdd_Fclose(file);
  buffer[got <= length ? got : 0] = '\0';
  *text = buffer;
  return 1;
}

// The value of DefaultRule, without surrounding blanks, in lower case.
void ReadRuleName(const char *text, char *name, size_t size) {
  char raw[RULE_NAME_SIZE];
  INIReadString(text, "DefaultRule", raw, "", sizeof raw);
  const char *p = raw;
  while (*p == ' ' || *p == '\t') p++;
  size_t n = 0;
  for (; p[n] && n + 1 < size; n++) name[n] = (char)tolower((unsigned char)p[n]);
  while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t')) n--;
  name[n] = '\0';
}

// The rule's two transitions in one year, in local standard time (0 for one the year
// cannot have). Both are 0 when they coincide: such a rule never applies.
void YearTransitions(int rule, int standardOffset, int year, dword *start, dword *end) {
  *start = *end = 0;
  if (year < 1900 || year > 2038) return;
  dword newYear = (dword)DateToMjd(year, 1, 1) << 16;
  if (rule == DST_RULE_EUROPE) {
    // Last Sundays of March and October, 01:00 UTC.
    dword s = DST_TransitionDate(5, 6, 3, 1, 0, newYear);
    dword e = DST_TransitionDate(5, 6, 10, 1, 0, newYear);
    if (s) *start = AddTime(s, standardOffset);
    if (e) *end = AddTime(e, standardOffset);
  } else if (rule == DST_RULE_MANUAL) {
    if (!gManualStart.valid || !gManualEnd.valid) return;
    const RuleTime &a = gManualStart, &b = gManualEnd;
    *start = DST_TransitionDate(a.week, a.weekday, a.month, a.hour, a.minute, newYear);
    // The end is given on the daylight-saving clock.
    dword e = DST_TransitionDate(b.week, b.weekday, b.month, b.hour, b.minute, newYear);
    if (e) *end = AddTime(e, -DST_SHIFT);
  }
  if (*start == *end) *start = *end = 0;
}

// Whether daylight saving applies at a local standard time: the latest transition at or
// before it decides.
bool DaylightAt(int rule, int standardOffset, dword standardTime) {
  int year = MjdToDate((uint16_t)(standardTime >> 16)).year;
  if (!gCache.valid || gCache.rule != rule || gCache.standardOffset != standardOffset || gCache.year != year) {
    gCache.valid = true;
    gCache.rule = rule;
    gCache.standardOffset = standardOffset;
    gCache.year = year;
    for (int i = 0; i < 3; i++) YearTransitions(rule, standardOffset, year - 1 + i, &gCache.start[i], &gCache.end[i]);
    DSTStartUTCsaved = gCache.start[1] ? AddTime(gCache.start[1], -standardOffset) : 0;
    DSTEndUTCsaved = gCache.end[1] ? AddTime(gCache.end[1], -standardOffset) : 0;
  }
  dword latest = 0;
  bool daylight = false;
  for (int i = 0; i < 3; i++) {
    dword s = gCache.start[i];
    if (s && s <= standardTime && s > latest) {
      latest = s;
      daylight = true;
    }
  }
  for (int i = 0; i < 3; i++) {
    dword e = gCache.end[i];
    if (e && e <= standardTime && e >= latest) {
      latest = e;
      daylight = false;
    }
  }
  return daylight;
}

}  // namespace

dword Now() {
  word mjd = 0;
  byte hour = 0, minute = 0, second = 0;
  TAP_GetTime(&mjd, &hour, &minute, &second);
  return (dword)mjd << 16 | (dword)hour << 8 | minute;
}

int GetCurrentTimeZone(int *standardOffset, int *dstInForce) {
  const byte *block = FirmwareTimeInfo();
  int offset = DEFAULT_STANDARD_OFFSET;
  int daylight = 0;
  if (block) {
    offset = (int16_t)GetLE16(block + TIME_INFO_UTC_OFFSET);
    // The firmware's offset includes the daylight-saving hour while that is in force.
    daylight = (block[TIME_INFO_MODE] & 3) == 3 ? 1 : 0;
    if (daylight) offset -= DST_SHIFT;
  }
  if (standardOffset) *standardOffset = offset;
  if (dstInForce) *dstInForce = daylight;
  return block ? 1 : 0;
}

int DST_ChooseRule() {
  if (DSTRule != DST_RULE_NOT_CHOSEN) return DSTRule;
  char *text = nullptr;
  int found = LoadRuleFile(&text);
  // Without a look at the file the firmware's rule serves; the next use looks again.
  if (found < 0) return DST_RULE_FIRMWARE;
  int rule = DST_RULE_FIRMWARE;
  gManualStart.valid = gManualEnd.valid = false;
  if (found > 0) {
    char name[RULE_NAME_SIZE];
    ReadRuleName(text, name, sizeof name);
    if (strcmp(name, "europe") == 0) {
      rule = DST_RULE_EUROPE;
    } else if (strcmp(name, "manual") == 0) {
      rule = DST_RULE_MANUAL;
      ReadManualRule(text, "DSTStartRule", &gManualStart);
      ReadManualRule(text, "DSTEndRule", &gManualEnd);
    }
    TAP_MemFree(text);
  }
  gCache.valid = false;
  DSTStartUTCsaved = DSTEndUTCsaved = 0;
  DSTRule = rule;
  return rule;
}

void DST_ForgetRule() {
  DSTRule = DST_RULE_NOT_CHOSEN;
  DSTStartUTCsaved = DSTEndUTCsaved = 0;
  gManualStart.valid = gManualEnd.valid = false;
  gCache.valid = false;
}

dword DST_CalcTransition(int week, int weekday, int month, int hour, int minute, dword reference) {
  return DST_TransitionDate(week, weekday, month, hour, minute, reference ? reference : Now());
}

dword UTC2LocalTime(dword utc, int *offset) {
  int rule = DST_ChooseRule();
  int standardOffset, dstInForce;
  GetCurrentTimeZone(&standardOffset, &dstInForce);
  int total;
  dword local;
  if (rule == DST_RULE_FIRMWARE) {
    total = standardOffset + (dstInForce ? DST_SHIFT : 0);
    FwTimeToLocal toLocal = HookTimeToLocal();
    local = toLocal ? toLocal(utc) : AddTime(utc, total);
  } else {
    total = standardOffset + (DaylightAt(rule, standardOffset, AddTime(utc, standardOffset)) ? DST_SHIFT : 0);
    local = AddTime(utc, total);
  }
  if (offset) *offset = total;
  return local;
}

dword LocalTime2UTC(dword local, int *offset) {
  int rule = DST_ChooseRule();
  int standardOffset, dstInForce;
  GetCurrentTimeZone(&standardOffset, &dstInForce);
  int total;
  if (rule == DST_RULE_FIRMWARE) {
    total = standardOffset + (dstInForce ? DST_SHIFT : 0);
  } else {
    total = standardOffset + (DaylightAt(rule, standardOffset, local) ? DST_SHIFT : 0);
  }
  if (offset) *offset = total;
  return AddTime(local, -total);
}
