// Packed dates, time zones and daylight saving, checked against Python's datetime and the
// tz database (zoneinfo) of Debian's tzdata.
#include "platform/pvr_time.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <sstream>
#include <string>
#include <vector>

#include "common/mjd.h"
#include "emulator/emulator.h"
#include "platform/firmware_hooks.h"
#include "platform/directory_stack.h"
#include "platform/ini_file.h"
#include "tests/unit/emulated_pvr.h"


namespace {

const char kDstIni[] = "/mnt/hd/ProgramFiles/Settings/DST.ini";

dword Packed(int year, int month, int day, int hour, int minute) {
  return (dword)DateToMjd(year, month, day) << 16 | (dword)hour << 8 | (dword)minute;
}

std::string Text(dword date) {
  CalendarDate d = MjdToDate((uint16_t)(date >> 16));
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d (0x%08x)", d.year, d.month, d.day, (int)(date >> 8 & 0xFF),
           (int)(date & 0xFF), date);
  return text;
}

// Collects mismatches of a large comparison and reports the count and the first few.
class Mismatches {
 public:
  void Add(const std::string &what) {
    if (count_++ < 10) first_ += what + "\n";
  }
  int count() const { return count_; }
  const std::string &first() const { return first_; }

 private:
  int count_ = 0;
  std::string first_;
};

class PvrTimeTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    DST_ForgetRule();
    // A clock away from every year checked: conversions must not depend on today.
    emu::SetFixedClock(1719835200);   // 2024-07-01 12:00 UTC
  }
  void TearDown() override {
    DST_ForgetRule();
    EmulatedPvr::TearDown();
  }

  // Runs a Python script with arguments once and returns its output lines.
  std::vector<std::string> Python(const std::string &script, const std::string &arguments) {
    if (!RequireTool("/usr/bin/python3")) return {};
    WriteFile("/tmp/oracle.py", script);
    int status = -1;
    std::string output = RunCommand("/usr/bin/python3 " + Host("/tmp/oracle.py") + " " + arguments, &status);
    EXPECT_EQ(status, 0) << output;
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(line);
    }
    return lines;
  }

  void TimeZone(int standardOffset, bool daylightNow) {
    emu::gTime.utcOffset = (int16_t)standardOffset;
    emu::gTime.timeMode = daylightNow ? 3 : 0;
    emu::PublishTimeInfo();
  }

  void CheckZone(const char *zone, int firstYear, int lastYear);
};

// ---------------------------------------------------------------------------------------
// Calendar and packed-date arithmetic

const char kCalendarScript[] = R"PY(
import datetime as dt
base = dt.date(1858, 11, 17)
for mjd in range(15079, 65536):
    d = base + dt.timedelta(days=mjd)
    print(mjd, d.year, d.month, d.day, d.weekday())
)PY";

TEST_F(PvrTimeTest, MjdAndWeekdayMatchPythonFrom1900To2038) {
  std::vector<std::string> lines = Python(kCalendarScript, "");
  ASSERT_EQ(lines.size(), 65536u - 15079u);
  Mismatches bad;
  for (const std::string &line : lines) {
    int mjd, year, month, day, weekDay;
    ASSERT_EQ(sscanf(line.c_str(), "%d %d %d %d %d", &mjd, &year, &month, &day, &weekDay), 5);
    CalendarDate d = MjdToDate((uint16_t)mjd);
    if (d.year != year || d.month != month || d.day != day || d.weekDay != weekDay) bad.Add("MjdToDate " + line);
    if (DateToMjd(year, month, day) != mjd) bad.Add("DateToMjd " + line);
  }
  EXPECT_EQ(bad.count(), 0) << bad.first();
}

const char kUnixScript[] = R"PY(
import datetime as dt, random
random.seed(7)
epoch = dt.datetime(1970, 1, 1)
base = dt.date(1858, 11, 17)
values = [0, 1, 59, 60, 61, 3599, 3600, 86399, 86400, -1, -59, -60, -61, -86400, -86401,
          2147483647, -2147483648, 1719835200, 946684799, 946684800, 2155507199, 2155593599, -3506716800]
values += [random.randint(-2208988800, 2155593599) for _ in range(20000)]
for s in values:
    t = epoch + dt.timedelta(seconds=s)
    print(s, (t.date() - base).days, t.hour, t.minute)
)PY";

TEST_F(PvrTimeTest, Unix2TFTimeMatchesPythonFrom1900To2038) {
  std::vector<std::string> lines = Python(kUnixScript, "");
  ASSERT_GT(lines.size(), 20000u);
  Mismatches bad;
  for (const std::string &line : lines) {
    long long seconds;
    unsigned mjd, hour, minute;
    ASSERT_EQ(sscanf(line.c_str(), "%lld %u %u %u", &seconds, &mjd, &hour, &minute), 4);
    dword expected = mjd << 16 | hour << 8 | minute;
    dword got = Unix2TFTime(seconds);
    if (got != expected) bad.Add(line + " got " + Text(got));
  }
  EXPECT_EQ(bad.count(), 0) << bad.first();
}

TEST_F(PvrTimeTest, Unix2TFTimeEdges) {
  EXPECT_EQ(Unix2TFTime(0), 40587u << 16);
  EXPECT_EQ(Unix2TFTime(59), 40587u << 16);
  EXPECT_EQ(Unix2TFTime(-1), 40586u << 16 | 23u << 8 | 59u);
  // Beyond what a packed date holds the result stays at its ends.
  EXPECT_EQ(Unix2TFTime(2155507199LL), 65534u << 16 | 23u << 8 | 59u);
  EXPECT_EQ(Unix2TFTime(2155593599LL), PVR_DATE_LAST);
  EXPECT_EQ(Unix2TFTime(2155593600LL), PVR_DATE_LAST);
  EXPECT_EQ(Unix2TFTime(1000000000000LL), PVR_DATE_LAST);
  EXPECT_EQ(Unix2TFTime(-3506716800LL), PVR_DATE_FIRST);
  EXPECT_EQ(Unix2TFTime(-3506716801LL), PVR_DATE_FIRST);
  EXPECT_EQ(Unix2TFTime(-1000000000000LL), PVR_DATE_FIRST);
}

TEST_F(PvrTimeTest, AddTimeAndTimeDiffEdges) {
  dword day = Packed(2024, 2, 28, 0, 0);
  EXPECT_EQ(AddTime(Packed(2024, 2, 28, 23, 50), 20), Packed(2024, 2, 29, 0, 10));
  EXPECT_EQ(AddTime(Packed(2024, 3, 1, 0, 10), -20), Packed(2024, 2, 29, 23, 50));
  EXPECT_EQ(AddTime(Packed(2024, 2, 28, 10, 30), 1500), Packed(2024, 2, 29, 11, 30));
  EXPECT_EQ(AddTime(Packed(2023, 12, 31, 23, 59), 1), Packed(2024, 1, 1, 0, 0));
  EXPECT_EQ(AddTime(day, 0), day);
  EXPECT_EQ(AddTime(day | 10 << 8 | 59, -59), day | 10 << 8);
  EXPECT_EQ(AddTime(day | 10 << 8, -1), day | 9 << 8 | 59);
  // More than a day back, which a single borrow would get wrong.
  EXPECT_EQ(AddTime(Packed(2024, 3, 1, 0, 10), -3 * 1440 - 20), Packed(2024, 2, 26, 23, 50));
  // Fields beyond their range are carried.
  EXPECT_EQ(AddTime(day | 23 << 8 | 75, 0), Packed(2024, 2, 29, 0, 15));
  EXPECT_EQ(AddTime(day | 49 << 8, 0), Packed(2024, 3, 1, 1, 0));
  // The ends of the packed range hold.
  EXPECT_EQ(AddTime(0, -1), PVR_DATE_FIRST);
  EXPECT_EQ(AddTime(PVR_DATE_LAST, 1), PVR_DATE_LAST);
  EXPECT_EQ(AddTime(PVR_DATE_LAST, -1), PVR_DATE_LAST - 1);

  EXPECT_EQ(TimeDiff(day | 10 << 8 | 50, day | 11 << 8 | 10), 20);
  EXPECT_EQ(TimeDiff(day | 11 << 8 | 10, day | 10 << 8 | 50), -20);
  EXPECT_EQ(TimeDiff(day, day), 0);
  EXPECT_EQ(TimeDiff(Packed(2024, 2, 28, 23, 50), Packed(2024, 3, 1, 0, 10)), 1440 + 20);
  EXPECT_EQ(TimeDiff(Packed(2024, 3, 1, 0, 10), Packed(2024, 2, 28, 23, 50)), -1440 - 20);
  EXPECT_EQ(TimeDiff(PVR_DATE_FIRST, PVR_DATE_LAST), 65536 * 1440 - 1);
}

const char kArithmeticScript[] = R"PY(
import datetime as dt, random
random.seed(11)
base = dt.datetime(1858, 11, 17)
def packed(t):
    return ((t - base).days << 16) | (t.hour << 8) | t.minute
def date(mjd, h, m):
    return base + dt.timedelta(days=mjd, hours=h, minutes=m)
for _ in range(20000):
    t = date(random.randint(15079, 65000), random.randint(0, 23), random.randint(0, 59))
    n = random.choice([random.randint(-1500, 1500), random.randint(-200000, 200000), random.randint(-60, 60)])
    print("A", packed(t), n, packed(t + dt.timedelta(minutes=n)))
for _ in range(20000):
    a = date(random.randint(15079, 65535), random.randint(0, 23), random.randint(0, 59))
    b = random.choice([a + dt.timedelta(minutes=random.randint(-3000, 3000)),
                       date(random.randint(15079, 65535), random.randint(0, 23), random.randint(0, 59))])
    if b >= base and (b - base).days <= 65535:
        print("D", packed(a), packed(b), int((b - a).total_seconds() // 60))
)PY";

TEST_F(PvrTimeTest, AddTimeAndTimeDiffMatchPython) {
  std::vector<std::string> lines = Python(kArithmeticScript, "");
  ASSERT_GT(lines.size(), 39000u);
  Mismatches bad;
  for (const std::string &line : lines) {
    unsigned a, b;
    int n;
    if (line[0] == 'A') {
      ASSERT_EQ(sscanf(line.c_str(), "A %u %d %u", &a, &n, &b), 3);
      if (AddTime(a, n) != b) bad.Add(line + " got " + Text(AddTime(a, n)));
    } else {
      ASSERT_EQ(sscanf(line.c_str(), "D %u %u %d", &a, &b, &n), 3);
      if (TimeDiff(a, b) != n) bad.Add(line + " got " + std::to_string(TimeDiff(a, b)));
    }
  }
  EXPECT_EQ(bad.count(), 0) << bad.first();
}

const char kTransitionScript[] = R"PY(
import calendar, datetime as dt, random
random.seed(5)
base = dt.datetime(1858, 11, 17)
last = base + dt.timedelta(days=65535, hours=23, minutes=59)
def packed(t):
    return ((t - base).days << 16) | (t.hour << 8) | t.minute
def rule_day(year, month, week, weekday):
    days = [dt.date(year, month, d) for d in range(1, calendar.monthrange(year, month)[1] + 1)]
    hits = [d for d in days if d.weekday() == weekday]
    return hits[week - 1] if week <= len(hits) else hits[-1]
for _ in range(20000):
    ref = base + dt.timedelta(days=random.randint(15385, 65535), minutes=random.randint(0, 1439))
    week, weekday, month = random.randint(1, 5), random.randint(0, 6), random.randint(1, 12)
    hour, minute = random.randint(0, 23), random.randint(0, 59)
    if random.random() < 0.1:   # the rule's own date as reference, or the minute after it
        d = rule_day(ref.year, month, week, weekday)
        moved = dt.datetime(d.year, d.month, d.day, hour, minute) + dt.timedelta(minutes=random.randint(0, 1))
        if moved <= last:
            ref = moved
    expected = 0
    for year in (ref.year, ref.year + 1, ref.year + 2):
        d = rule_day(year, month, week, weekday)
        t = dt.datetime(d.year, d.month, d.day, hour, minute)
        if t >= ref:
            expected = packed(t) if t <= last else 0
            break
    print(week, weekday, month, hour, minute, packed(ref), expected)
)PY";

TEST_F(PvrTimeTest, TransitionDatesMatchPythonCalendar) {
  std::vector<std::string> lines = Python(kTransitionScript, "");
  ASSERT_EQ(lines.size(), 20000u);
  Mismatches bad;
  int beyondRange = 0;
  for (const std::string &line : lines) {
    int week, weekday, month, hour, minute;
    unsigned reference, expected;
    ASSERT_EQ(sscanf(line.c_str(), "%d %d %d %d %d %u %u", &week, &weekday, &month, &hour, &minute, &reference,
                     &expected),
              7);
    dword got = DST_TransitionDate(week, weekday, month, hour, minute, reference);
    if (got != expected) bad.Add(line + " got " + Text(got));
    if (expected == 0) beyondRange++;
  }
  EXPECT_EQ(bad.count(), 0) << bad.first();
  EXPECT_GT(beyondRange, 0);   // references in 2038 reach past MJD 65535
}

TEST_F(PvrTimeTest, TransitionDateRulesOutOfRange) {
  dword reference = Packed(2024, 1, 1, 0, 0);
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 2, 0, reference), Packed(2024, 3, 31, 2, 0));
  EXPECT_EQ(DST_TransitionDate(0, 6, 3, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(6, 6, 3, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, 7, 3, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, -1, 3, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, 6, 0, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, 6, 13, 2, 0, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, 6, 3, 2, 60, reference), 0u);
  EXPECT_EQ(DST_TransitionDate(1, 6, 3, 24, 1, reference), 0u);
  // 24:00 is the start of the next day.
  EXPECT_EQ(DST_TransitionDate(5, 5, 3, 24, 0, reference), Packed(2024, 3, 31, 0, 0));
  // The reference itself counts as next; a minute later it is a year later.
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 2, 0, Packed(2024, 3, 31, 2, 0)), Packed(2024, 3, 31, 2, 0));
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 2, 0, Packed(2024, 3, 31, 2, 1)), Packed(2025, 3, 30, 2, 0));
  // A past month moves to the next year.
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 2, 0, Packed(2024, 7, 1, 0, 0)), Packed(2025, 3, 30, 2, 0));
  // Past the last date a packed date holds.
  EXPECT_EQ(DST_TransitionDate(5, 6, 10, 3, 0, Packed(2038, 1, 1, 0, 0)), 0u);
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 2, 0, Packed(2038, 4, 1, 0, 0)), 0u);
  // The last Thursday of April 2038 (the 29th) lies a week past it, not on the 22nd.
  EXPECT_EQ(DST_TransitionDate(5, 3, 4, 6, 31, Packed(2037, 12, 16, 0, 0)), 0u);
  EXPECT_EQ(DST_TransitionDate(4, 3, 4, 6, 31, Packed(2037, 12, 16, 0, 0)), Packed(2038, 4, 22, 6, 31));
}

// ---------------------------------------------------------------------------------------
// Time zone and rule choice

TEST_F(PvrTimeTest, NowIsTheLocalClockWithoutSeconds) {
  TimeZone(60, true);
  emu::SetFixedClock(1625140800 + 59);   // 2021-07-01 12:00:59 UTC
  EXPECT_EQ(Now(), Packed(2021, 7, 1, 14, 0));
  TimeZone(-300, false);
  emu::SetFixedClock(1609459200);        // 2021-01-01 00:00 UTC
  EXPECT_EQ(Now(), Packed(2020, 12, 31, 19, 0));
}

TEST_F(PvrTimeTest, TimeZoneFromTheFirmware) {
  int standardOffset = 0, daylight = -1;
  TimeZone(60, false);
  EXPECT_EQ(GetCurrentTimeZone(&standardOffset, &daylight), 1);
  EXPECT_EQ(standardOffset, 60);
  EXPECT_EQ(daylight, 0);
  TimeZone(60, true);
  EXPECT_EQ(GetCurrentTimeZone(&standardOffset, &daylight), 1);
  EXPECT_EQ(standardOffset, 60);
  EXPECT_EQ(daylight, 1);
  // Only both low bits of the mode mean daylight saving.
  for (byte mode : {1, 2}) {
    emu::gTime.timeMode = mode;
    emu::PublishTimeInfo();
    EXPECT_EQ(GetCurrentTimeZone(&standardOffset, &daylight), 1);
    EXPECT_EQ(standardOffset, 60);
    EXPECT_EQ(daylight, 0);
  }
  emu::gTime.utcOffset = -570;
  emu::gTime.timeMode = 7;
  emu::PublishTimeInfo();
  EXPECT_EQ(GetCurrentTimeZone(&standardOffset, nullptr), 1);
  EXPECT_EQ(standardOffset, -570);
  EXPECT_EQ(GetCurrentTimeZone(nullptr, nullptr), 1);

  // Without the time block: 60 minutes, no daylight saving.
  std::string error;
  ASSERT_TRUE(emu::MakeHookAbsent("_timeInfo", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(GetCurrentTimeZone(&standardOffset, &daylight), 0);
  EXPECT_EQ(standardOffset, 60);
  EXPECT_EQ(daylight, 0);
  WriteFile(kDstIni, "DefaultRule=europe\r\n");
  int offset = 0;
  EXPECT_EQ(UTC2LocalTime(Packed(2021, 1, 10, 12, 0), &offset), Packed(2021, 1, 10, 13, 0));
  EXPECT_EQ(offset, 60);
  EXPECT_EQ(UTC2LocalTime(Packed(2021, 7, 10, 12, 0), &offset), Packed(2021, 7, 10, 14, 0));
  EXPECT_EQ(offset, 120);
}

TEST_F(PvrTimeTest, FirmwareRuleFollowsTheFirmwareSettings) {
  // No DST.ini.
  TimeZone(60, true);
  int offset = 0;
  dword summer = Packed(2021, 7, 1, 12, 0), winter = Packed(2021, 1, 1, 23, 30);
  EXPECT_EQ(UTC2LocalTime(summer, &offset), Packed(2021, 7, 1, 14, 0));
  EXPECT_EQ(offset, 120);
  EXPECT_EQ(DSTRule, DST_RULE_FIRMWARE);
  // The firmware decides by its current setting, whatever the date.
  EXPECT_EQ(UTC2LocalTime(winter, &offset), Packed(2021, 1, 2, 1, 30));
  EXPECT_EQ(offset, 120);
  EXPECT_EQ(LocalTime2UTC(Packed(2021, 1, 2, 1, 30), &offset), winter);
  EXPECT_EQ(offset, 120);
  EXPECT_EQ(UTC2LocalTime(summer, nullptr), Packed(2021, 7, 1, 14, 0));

  TimeZone(60, false);
  EXPECT_EQ(UTC2LocalTime(summer, &offset), Packed(2021, 7, 1, 13, 0));
  EXPECT_EQ(offset, 60);
  EXPECT_EQ(LocalTime2UTC(Packed(2021, 7, 1, 13, 0), &offset), summer);
  EXPECT_EQ(offset, 60);

  TimeZone(-300, true);
  EXPECT_EQ(UTC2LocalTime(Packed(2021, 7, 1, 2, 0), &offset), Packed(2021, 6, 30, 22, 0));
  EXPECT_EQ(offset, -240);
  EXPECT_EQ(LocalTime2UTC(Packed(2021, 6, 30, 22, 0), nullptr), Packed(2021, 7, 1, 2, 0));

  // An unknown rule name also leaves the firmware in charge.
  DST_ForgetRule();
  WriteFile(kDstIni, "DefaultRule=europa\r\n");
  EXPECT_EQ(UTC2LocalTime(Packed(2021, 1, 1, 12, 0), &offset), Packed(2021, 1, 1, 8, 0));
  EXPECT_EQ(offset, -240);
  EXPECT_EQ(DSTRule, DST_RULE_FIRMWARE);
}

TEST_F(PvrTimeTest, RuleChoiceReadsDstIniOnce) {
  const char *cases[][2] = {
      {"DefaultRule=europe\r\n", "2"},         {"DefaultRule=EUROPE\r\n", "2"},
      {"x=1\r\ndefaultrule= Europe \r\n", "2"}, {"DefaultRule=Manual\r\n", "3"},
      {"DefaultRule=manual\n", "3"},            {"DefaultRule=europe2\r\n", "1"},
      {"DefaultRule=\r\n", "1"},                {"#DefaultRule=europe\r\n", "1"},
      {"", "1"},
  };
  for (const auto &c : cases) {
    DST_ForgetRule();
    WriteFile(kDstIni, c[0]);
    EXPECT_EQ(DST_ChooseRule(), atoi(c[1])) << c[0];
    EXPECT_EQ(DSTRule, atoi(c[1])) << c[0];
  }
  // Kept until forgotten.
  WriteFile(kDstIni, "DefaultRule=europe\r\n");
  EXPECT_EQ(DST_ChooseRule(), DST_RULE_FIRMWARE);
  DST_ForgetRule();
  EXPECT_EQ(DSTRule, DST_RULE_NOT_CHOSEN);
  EXPECT_EQ(DST_ChooseRule(), DST_RULE_EUROPE);

  // Only the settings folder counts.
  DST_ForgetRule();
  ASSERT_EQ(remove(Host(kDstIni).c_str()), 0);
  WriteFile("/mnt/hd/ProgramFiles/DST.ini", "DefaultRule=europe\r\n");
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/DST.ini", "DefaultRule=europe\r\n");
  EXPECT_EQ(DST_ChooseRule(), DST_RULE_FIRMWARE);
}

TEST_F(PvrTimeTest, RuleChoiceLeavesFolderAndSettingsBufferAlone) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane.ini", "Port=8123\r\n");
  ASSERT_EQ(INIOpenFile("Orvane.ini", nullptr), INILOCATION_AtCurrentDir);
  const char *buffer = INIBuffer;
  WriteFile(kDstIni, "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:00\r\nDSTEndRule=5,6,10,03:00\r\nPort=1\r\n");
  char before[DIR_STACK_ENTRY], after[DIR_STACK_ENTRY];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(before, sizeof before), 1);
  TimeZone(60, false);
  EXPECT_EQ(UTC2LocalTime(Packed(2024, 7, 1, 12, 0), nullptr), Packed(2024, 7, 1, 14, 0));
  EXPECT_EQ(DSTRule, DST_RULE_MANUAL);
  ASSERT_EQ(HDD_TAP_GetCurrentDir(after, sizeof after), 1);
  EXPECT_STREQ(after, before);
  EXPECT_EQ(INIBuffer, buffer);
  EXPECT_EQ(INIGetInt("Port", 0, 0, 65535), 8123);
  INICloseFile();
}

TEST_F(PvrTimeTest, CalcTransitionFromNow) {
  TimeZone(60, false);
  emu::SetFixedClock(1713175200);   // 2024-04-15 10:00 UTC, 11:00 on the PVR
  EXPECT_EQ(DST_CalcTransition(5, 6, 3, 2, 0, 0), Packed(2025, 3, 30, 2, 0));
  EXPECT_EQ(DST_CalcTransition(5, 6, 10, 3, 0, 0), Packed(2024, 10, 27, 3, 0));
  EXPECT_EQ(DST_CalcTransition(3, 0, 4, 11, 0, 0), Packed(2024, 4, 15, 11, 0));
  EXPECT_EQ(DST_CalcTransition(3, 0, 4, 10, 59, 0), Packed(2025, 4, 21, 10, 59));
  EXPECT_EQ(DST_CalcTransition(1, 6, 10, 2, 0, Packed(2030, 1, 1, 0, 0)), Packed(2030, 10, 6, 2, 0));
}

TEST_F(PvrTimeTest, EuropeRuleExamples) {
  WriteFile(kDstIni, "DefaultRule=europe\r\n");
  TimeZone(60, false);
  int offset = 0;
  EXPECT_EQ(UTC2LocalTime(Packed(2023, 7, 14, 12, 0), &offset), Packed(2023, 7, 14, 14, 0));
  EXPECT_EQ(offset, 120);
  EXPECT_EQ(UTC2LocalTime(Packed(2023, 1, 14, 12, 0), &offset), Packed(2023, 1, 14, 13, 0));
  EXPECT_EQ(offset, 60);
  EXPECT_EQ(LocalTime2UTC(Packed(2023, 7, 14, 14, 0), &offset), Packed(2023, 7, 14, 12, 0));
  EXPECT_EQ(offset, 120);
  // The saved transitions are those of the year last converted, in UTC.
  EXPECT_EQ(DSTStartUTCsaved, Packed(2023, 3, 26, 1, 0));
  EXPECT_EQ(DSTEndUTCsaved, Packed(2023, 10, 29, 1, 0));
  DST_ForgetRule();
  EXPECT_EQ(DSTStartUTCsaved, 0u);
  EXPECT_EQ(DSTEndUTCsaved, 0u);
}

TEST_F(PvrTimeTest, ManualRuleMissingOrMalformedNeverShifts) {
  TimeZone(60, true);
  const char *files[] = {
      "DefaultRule=manual\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:00\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:00\r\nDSTEndRule=\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5,6,3\r\nDSTEndRule=5,6,10,03:00\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5;6;3;02:00\r\nDSTEndRule=5,6,10,03:00\r\n",
      "DefaultRule=manual\r\nDSTStartRule=0,6,3,02:00\r\nDSTEndRule=5,6,10,03:00\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:60\r\nDSTEndRule=5,6,10,03:00\r\n",
      "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:00\r\nDSTEndRule=5,6,3,03:00\r\n",   // same instant
  };
  for (const char *file : files) {
    DST_ForgetRule();
    WriteFile(kDstIni, file);
    for (dword utc : {Packed(2024, 1, 15, 12, 0), Packed(2024, 7, 15, 12, 0), Packed(2024, 10, 1, 0, 0)}) {
      int offset = 0;
      EXPECT_EQ(UTC2LocalTime(utc, &offset), AddTime(utc, 60)) << file << Text(utc);
      EXPECT_EQ(offset, 60) << file;
      EXPECT_EQ(LocalTime2UTC(AddTime(utc, 60), &offset), utc) << file;
      EXPECT_EQ(offset, 60) << file;
    }
    EXPECT_EQ(DSTRule, DST_RULE_MANUAL);
  }
}

TEST_F(PvrTimeTest, ManualRuleFieldsAreCutToTheirRanges) {
  // Week 9 is the last, weekday 9 Sunday, month 13 December; blanks before numbers pass.
  WriteFile(kDstIni,
            "DefaultRule=manual\r\nDSTStartRule=9,9,13, 2:00\r\nDSTEndRule=1,6,1,3:00 \r\n");
  TimeZone(0, false);
  int offset = 0;
  EXPECT_EQ(UTC2LocalTime(Packed(2024, 6, 1, 0, 0), &offset), Packed(2024, 6, 1, 0, 0));
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(DSTStartUTCsaved, Packed(2024, 12, 29, 2, 0));
  EXPECT_EQ(DSTEndUTCsaved, Packed(2024, 1, 7, 2, 0));
  // Between the last Sunday of December and the first of January: daylight saving.
  EXPECT_EQ(UTC2LocalTime(Packed(2024, 12, 31, 12, 0), &offset), Packed(2024, 12, 31, 13, 0));
  EXPECT_EQ(offset, 60);
  EXPECT_EQ(UTC2LocalTime(Packed(2025, 1, 3, 12, 0), &offset), Packed(2025, 1, 3, 13, 0));
  EXPECT_EQ(offset, 60);
  EXPECT_EQ(UTC2LocalTime(Packed(2025, 1, 5, 1, 59), &offset), Packed(2025, 1, 5, 2, 59));
  EXPECT_EQ(UTC2LocalTime(Packed(2025, 1, 5, 2, 0), &offset), Packed(2025, 1, 5, 2, 0));
  EXPECT_EQ(offset, 0);
}

// ---------------------------------------------------------------------------------------
// Daylight-saving rules against the tz database

// For a zone and years: the UTC instants of its changes ("T year kind unix"), UTC samples
// with their offsets ("U unix minutes"), and local samples with the UTC instants for both
// folds and whether the local time is unique, skipped or repeated ("L local u0 u1 kind").
const char kZoneScript[] = R"PY(
import sys, datetime as dt, zoneinfo
tz = zoneinfo.ZoneInfo(sys.argv[1])
first, last = int(sys.argv[2]), int(sys.argv[3])
UTC = dt.timezone.utc
naive_epoch = dt.datetime(1970, 1, 1)
def offset(u):
    return int(dt.datetime.fromtimestamp(u, UTC).astimezone(tz).utcoffset().total_seconds()) // 60
def local_line(local):
    u0 = int(local.replace(tzinfo=tz, fold=0).timestamp())
    u1 = int(local.replace(tzinfo=tz, fold=1).timestamp())
    kind = "unique"
    if u0 != u1:
        back = dt.datetime.fromtimestamp(u0, tz).replace(tzinfo=None)
        kind = "repeat" if back == local else "skip"
    print("L", int((local - naive_epoch).total_seconds()), u0, u1, kind)
for year in range(first, last + 1):
    start = int(dt.datetime(year, 1, 1, tzinfo=UTC).timestamp())
    end = int(dt.datetime(year + 1, 1, 1, tzinfo=UTC).timestamp())
    changes = []
    u, before = start, offset(start)
    while u < end:
        n = min(u + 6 * 3600, end)
        after = offset(n)
        if after != before:
            lo, hi = u // 60, n // 60
            while hi - lo > 1:
                mid = (lo + hi) // 2
                if offset(mid * 60) == before:
                    lo = mid
                else:
                    hi = mid
            changes.append(hi * 60)
            print("T", year, "start" if after > before else "end", hi * 60)
        u, before = n, after
    for t in changes:
        for k in range(-90, 91):
            print("U", t + k * 60, offset(t + k * 60))
        for k in range(-12, 13):
            print("U", t + k * 3600, offset(t + k * 3600))
        wall = dt.datetime.fromtimestamp(t, tz).replace(tzinfo=None)
        for k in range(-24, 25):
            local_line(wall + dt.timedelta(minutes=10 * k))
    for d in range((end - start) // 86400):
        u = start + d * 86400 + (d * 5 % 24) * 3600 + (d * 7 % 60) * 60
        print("U", u, offset(u))
        local_line((dt.datetime.fromtimestamp(u, tz) + dt.timedelta(hours=d % 3)).replace(tzinfo=None))
)PY";

void PvrTimeTest::CheckZone(const char *zone, int firstYear, int lastYear) {
  std::vector<std::string> lines =
      Python(kZoneScript, std::string(zone) + " " + std::to_string(firstYear) + " " + std::to_string(lastYear));
  ASSERT_FALSE(lines.empty());
  Mismatches bad;
  int transitions = 0, utcSamples = 0, localSamples = 0, skipped = 0, repeated = 0;
  std::vector<long long> starts(lastYear + 1, 0), ends(lastYear + 1, 0);
  for (const std::string &line : lines) {
    if (line[0] == 'T') {
      int year;
      char kind[8];
      long long at;
      ASSERT_EQ(sscanf(line.c_str(), "T %d %7s %lld", &year, kind, &at), 3);
      (strcmp(kind, "start") == 0 ? starts : ends)[year] = at;
      transitions++;
    } else if (line[0] == 'U') {
      long long at;
      int minutes;
      ASSERT_EQ(sscanf(line.c_str(), "U %lld %d", &at, &minutes), 2);
      int offset = 0;
      dword got = UTC2LocalTime(Unix2TFTime(at), &offset);
      dword expected = Unix2TFTime(at + minutes * 60LL);
      if (got != expected || offset != minutes) {
        bad.Add("UTC " + Text(Unix2TFTime(at)) + ": local " + Text(got) + " offset " + std::to_string(offset) +
                ", expected " + Text(expected) + " offset " + std::to_string(minutes));
      }
      utcSamples++;
    } else {
      long long local, u0, u1;
      char kind[8];
      ASSERT_EQ(sscanf(line.c_str(), "L %lld %lld %lld %7s", &local, &u0, &u1, kind), 4);
      // A skipped local time counts as daylight time (the earlier instant), a repeated one
      // as standard time (the later instant).
      long long expected = strcmp(kind, "unique") == 0 ? u0 : strcmp(kind, "skip") == 0 ? std::min(u0, u1)
                                                                                           : std::max(u0, u1);
      skipped += strcmp(kind, "skip") == 0;
      repeated += strcmp(kind, "repeat") == 0;
      int offset = 0;
      dword got = LocalTime2UTC(Unix2TFTime(local), &offset);
      if (got != Unix2TFTime(expected) || offset != (local - expected) / 60) {
        bad.Add(std::string(kind) + " local " + Text(Unix2TFTime(local)) + ": UTC " + Text(got) + " offset " +
                std::to_string(offset) + ", expected " + Text(Unix2TFTime(expected)));
      }
      localSamples++;
    }
  }
  EXPECT_EQ(bad.count(), 0) << bad.first();
  EXPECT_EQ(transitions, 2 * (lastYear - firstYear + 1));
  EXPECT_GT(utcSamples, 365 * (lastYear - firstYear + 1));
  EXPECT_GT(localSamples, 365 * (lastYear - firstYear + 1));
  EXPECT_GT(skipped, 0);
  EXPECT_GT(repeated, 0);

  // The transitions kept for each year are the zone's, and the rule's calendar finds them.
  Mismatches badYears;
  for (int year = firstYear; year <= lastYear; year++) {
    UTC2LocalTime(Packed(year, 7, 1, 0, 0), nullptr);
    if (DSTStartUTCsaved != Unix2TFTime(starts[year]) || DSTEndUTCsaved != Unix2TFTime(ends[year])) {
      badYears.Add(std::to_string(year) + ": start " + Text(DSTStartUTCsaved) + " end " + Text(DSTEndUTCsaved) +
                   ", expected " + Text(Unix2TFTime(starts[year])) + " and " + Text(Unix2TFTime(ends[year])));
    }
  }
  EXPECT_EQ(badYears.count(), 0) << badYears.first();
}

TEST_F(PvrTimeTest, EuropeRuleMatchesBerlin1996To2037) {
  WriteFile(kDstIni, "DefaultRule=europe\r\n");
  TimeZone(60, true);   // the firmware's own daylight flag must not count twice
  CheckZone("Europe/Berlin", 1996, 2037);
  EXPECT_EQ(DSTRule, DST_RULE_EUROPE);
  // The rule's calendar against the tz database's changes: 01:00 UTC on the last Sundays.
  EXPECT_EQ(DST_TransitionDate(5, 6, 3, 1, 0, Packed(2037, 1, 1, 0, 0)), Packed(2037, 3, 29, 1, 0));
}

TEST_F(PvrTimeTest, EuropeRuleMatchesLondon1996To2037) {
  WriteFile(kDstIni, "DefaultRule=Europe\r\n");
  TimeZone(0, false);
  CheckZone("Europe/London", 1996, 2037);
}

TEST_F(PvrTimeTest, EuropeRuleMatchesHelsinki1996To2037) {
  WriteFile(kDstIni, "DefaultRule=europe\r\n");
  TimeZone(120, false);
  CheckZone("Europe/Helsinki", 1996, 2037);
}

TEST_F(PvrTimeTest, ManualRuleLikeEuropeMatchesBerlin1996To2037) {
  // Last Sunday of March at 02:00 standard time to last Sunday of October at 03:00
  // daylight time.
  WriteFile(kDstIni, "DefaultRule=manual\r\nDSTStartRule=5,6,3,02:00\r\nDSTEndRule=5,6,10,03:00\r\n");
  TimeZone(60, false);
  CheckZone("Europe/Berlin", 1996, 2037);
  EXPECT_EQ(DSTRule, DST_RULE_MANUAL);
  EXPECT_EQ(DST_CalcTransition(5, 6, 3, 2, 0, Packed(2024, 1, 1, 0, 0)), Packed(2024, 3, 31, 2, 0));
}

TEST_F(PvrTimeTest, ManualRuleMatchesNewYork2007To2037) {
  // Second Sunday of March 02:00 to first Sunday of November 02:00 (daylight clock).
  WriteFile(kDstIni, "DefaultRule=MANUAL\r\nDSTStartRule=2,6,3,02:00\r\nDSTEndRule=1,6,11,02:00\r\n");
  TimeZone(-300, false);
  CheckZone("America/New_York", 2007, 2037);
}

TEST_F(PvrTimeTest, ManualRuleSouthernHemisphereMatchesSydney2008To2037) {
  // First Sunday of October 02:00 to first Sunday of April 03:00 (daylight clock).
  WriteFile(kDstIni, "DefaultRule=manual\r\nDSTStartRule=1,6,10,02:00\r\nDSTEndRule=1,6,4,03:00\r\n");
  TimeZone(600, true);
  CheckZone("Australia/Sydney", 2008, 2037);
}

}  // namespace
