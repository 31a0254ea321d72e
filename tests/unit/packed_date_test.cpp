// Packed PVR dates and their JSON text, against Python's datetime over the whole range of
// the 16-bit MJD; date 0 against the emulated PVR's clock.
#include "common/packed_date.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"

namespace {

uint32_t Packed(unsigned mjd, unsigned hour, unsigned minute) { return mjd << 16 | hour << 8 | minute; }

}  // namespace

TEST(PackedDateText, DocumentedExampleBothWays) {
  EXPECT_STREQ(PVRDateToJSON(Packed(58132, 20, 15), 0), "2018/01/14 20:15:00");
  EXPECT_EQ(JSONToPVRDate("2018/01/14 20:15:00"), Packed(58132, 20, 15));
}

TEST(PackedDateText, SecondsUseTheirLowEightBits) {
  EXPECT_STREQ(PVRDateToJSON(Packed(58132, 0, 0), 59), "2018/01/14 00:00:59");
  EXPECT_STREQ(PVRDateToJSON(Packed(58132, 0, 0), 256 + 7), "2018/01/14 00:00:07");
  EXPECT_STREQ(PVRDateToJSON(Packed(58132, 0, 0), -1), "2018/01/14 00:00:255");
}

TEST(PackedDateText, DaysBeforeTheFormulasHoldPrintAsZeros) {
  EXPECT_STREQ(PVRDateToJSON(Packed(0, 1, 5), 0), "0000/00/00 01:05:00");
  EXPECT_STREQ(PVRDateToJSON(Packed(15078, 0, 0), 0), "0000/00/00 00:00:00");
  EXPECT_STREQ(PVRDateToJSON(Packed(15079, 0, 0), 0), "1900/03/01 00:00:00");
}

TEST(PackedDateParse, InvalidTextsGiveZero) {
  const char *texts[] = {"", "garbage", "0000/00/00 00:00:00", "2018/13/01 00:00:00", "2018/00/10 00:00:00",
                         "2018/02/30 10:00:00", "2019/02/29 10:00:00", "1900/02/28 00:00:00",
                         "2038/04/23 00:00:00", "2100/01/01 00:00:00", "2018/01/14 24:00:00",
                         "2018/01/14 20:60:00", "02018/01/14 20:15:00", "2018-01-14 20:15:00", "2018/01"};
  for (const char *text : texts) EXPECT_EQ(JSONToPVRDate(text), 0u) << text;
  EXPECT_EQ(JSONToPVRDate(nullptr), 0u);
}

TEST(PackedDateParse, ScanfStyleTolerance) {
  EXPECT_EQ(JSONToPVRDate("2018/01/14"), Packed(58132, 0, 0));
  EXPECT_EQ(JSONToPVRDate("2018/01/14 20"), Packed(58132, 20, 0));
  EXPECT_EQ(JSONToPVRDate(" 2018/1/14   20:5:99"), Packed(58132, 20, 5));
  EXPECT_EQ(JSONToPVRDate("2018/01/1420:15:00"), Packed(58132, 20, 15));   // the blank may be absent
  EXPECT_EQ(JSONToPVRDate("2018/01/14 201500"), Packed(58132, 20, 0));     // two-digit fields
  EXPECT_EQ(JSONToPVRDate("2038/04/22 23:59:00"), Packed(65535, 23, 59));
  EXPECT_EQ(JSONToPVRDate("1900/03/01 00:00:00"), Packed(15079, 0, 0));
  EXPECT_EQ(JSONToPVRDate("2000/02/29 12:00:00"), Packed(51603, 12, 0));
}

// Every MJD from 1900-03-01 to 2038-04-22 with varying times: Python's datetime writes the
// text and computes the MJD.
TEST(PackedDateOracle, WholeMjdRangeAgreesWithPythonDatetime) {
  std::string script = R"PY(
import datetime
epoch = datetime.datetime(1858, 11, 17)
for mjd in range(15079, 65536):
    h, m, s = mjd * 7 % 24, mjd * 13 % 60, mjd * 17 % 60
    t = epoch + datetime.timedelta(days=mjd, hours=h, minutes=m, seconds=s)
    print(mjd, h, m, s, t.strftime("%Y/%m/%d %H:%M:%S"))
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, ""));
  ASSERT_EQ(lines.size(), 65536u - 15079u);
  int bad = 0;
  for (const std::string &line : lines) {
    unsigned mjd, h, m, s;
    char date[16], time[16];
    ASSERT_EQ(sscanf(line.c_str(), "%u %u %u %u %15s %15s", &mjd, &h, &m, &s, date, time), 6) << line;
    std::string want = std::string(date) + " " + time;
    std::string got = PVRDateToJSON(Packed(mjd, h, m), (int)s);
    uint32_t back = JSONToPVRDate(want.c_str());
    if (got != want || back != Packed(mjd, h, m)) {
      if (++bad < 10) ADD_FAILURE() << line << " got " << got << " back " << back;
    }
  }
  EXPECT_EQ(bad, 0);
}

int FixedClock(uint16_t *mjd, uint8_t *hour, uint8_t *minute, uint8_t *second) {
  *mjd = 58132;
  *hour = 20;
  *minute = 15;
  *second = 42;
  return 0;
}

// Date 0 reads whichever clock is installed; skimlet installs none.
TEST(PackedDateText, DateZeroReadsTheInstalledClockOrPrintsZeros) {
  SetPVRClock(FixedClock);
  EXPECT_STREQ(PVRDateToJSON(0, 7), "2018/01/14 20:15:42");
  SetPVRClock(nullptr);
  EXPECT_STREQ(PVRDateToJSON(0, 7), "0000/00/00 00:00:00");
  EXPECT_STREQ(PVRDateToJSON(Packed(58132, 20, 15), 7), "2018/01/14 20:15:07");
}

// The TAP's start installs the TAP API's clock (the emulated PVR does the same).
class PackedDateClock : public EmulatedPvr {};

// Date 0 is the PVR's local time now, seconds included; Python turns the emulated local
// seconds into the expected texts.
TEST_F(PackedDateClock, DateZeroReadsThePvrClock) {
  emu::gProfile.utcOffset = 570;
  emu::gProfile.timeMode = 3;   // daylight saving in force: one more hour
  emu::PublishProfile();
  std::string got, locals;
  for (int64_t utc : {1516000000LL, 951782400LL + 86399, 2000000000LL, 1700000000LL, 1230768000LL - 1}) {
    emu::SetFixedClock(utc);
    got += std::string(PVRDateToJSON(0, 99)) + "\n";   // the seconds argument plays no part
    locals += std::to_string(utc + (570 + 60) * 60) + "\n";
  }
  std::string script = R"PY(
import sys, datetime
for line in sys.stdin:
    t = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=int(line))
    print(t.strftime("%Y/%m/%d %H:%M:%S"))
)PY";
  EXPECT_EQ(got, RunPython(script, locals));
}
