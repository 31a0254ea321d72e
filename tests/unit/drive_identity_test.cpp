// The disk's identification texts from the kernel's report, as the independent Python
// encoder (tests/oracles/ata_identify.py) writes it: blanks trimmed as stored, fields that
// fill their words, short and malformed reports.
#include "platform/drive_identity.h"

#include <gtest/gtest.h>

#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"

namespace {

// The report of the Python encoder for three texts given as bytes.
std::string Report(const std::string &model, const std::string &serial, const std::string &firmware) {
  return RunCommand("/usr/bin/python3 " ORVANE_SOURCE_DIR "/tests/oracles/ata_identify.py '" + ToHex(model) + "' '" +
                    ToHex(serial) + "' '" + ToHex(firmware) + "'");
}

DriveIdentity Decode(const std::string &text) {
  DriveIdentity identity;
  EXPECT_TRUE(DecodeDriveIdentity(text.data(), text.size(), &identity)) << text;
  return identity;
}

TEST(DriveIdentity, TextsAsStoredWithBlanksTrimmed) {
  DriveIdentity d = Decode(Report("WDC WD5000AAKS-00V1A0", "     WD-WCAWF1234567", "05.01D05"));
  EXPECT_STREQ(d.model, "WDC WD5000AAKS-00V1A0");
  EXPECT_STREQ(d.serial, "WD-WCAWF1234567");    // leading blanks go from the serial only
  EXPECT_STREQ(d.firmware, "05.01D05");
  d = Decode(Report("  Model with lead", "S", ""));
  EXPECT_STREQ(d.model, "  Model with lead");
  EXPECT_STREQ(d.serial, "S");
  EXPECT_STREQ(d.firmware, "");
  // Texts that fill their fields, with bytes that need escaping in JSON later.
  std::string model = "M\"\\" + std::string(36, 'x') + "\xe9";
  d = Decode(Report(model, std::string(20, '9'), "ABCDEFGH"));
  EXPECT_EQ(std::string(d.model), model);
  EXPECT_EQ(std::string(d.serial), std::string(20, '9'));
  EXPECT_STREQ(d.firmware, "ABCDEFGH");
}

TEST(DriveIdentity, ShortOrMalformedReportsGiveNothing) {
  std::string full = Report("Model", "Serial", "FW");
  DriveIdentity d;
  // Up to the last word of the model text is enough; one word less is not.
  size_t lastModelWord = 46 * 5;   // "%04x" and a separator per word
  EXPECT_TRUE(DecodeDriveIdentity(full.data(), lastModelWord + 4, &d));
  EXPECT_STREQ(d.model, "Model");
  EXPECT_FALSE(DecodeDriveIdentity(full.data(), lastModelWord - 1, &d));
  EXPECT_STREQ(d.model, "");
  std::string bad = full;
  bad[5 * 30] = 'g';
  EXPECT_FALSE(DecodeDriveIdentity(bad.data(), bad.size(), &d));
  std::string wide = full;
  wide.insert(5 * 30, "1");   // a word of five digits
  EXPECT_FALSE(DecodeDriveIdentity(wide.data(), wide.size(), &d));
  EXPECT_FALSE(DecodeDriveIdentity(nullptr, 10, &d));
  // A NUL inside a text ends it.
  d = Decode(Report(std::string("Half\0way", 8), "", ""));
  EXPECT_STREQ(d.model, "Half");
}

class DriveIdentityFile : public EmulatedPvr {};

TEST_F(DriveIdentityFile, ReadFromTheKernelsReport) {
  DriveIdentity d;
  EXPECT_FALSE(ReadDriveIdentity(&d));   // no report: nothing
  EXPECT_STREQ(d.model, "");
  WriteFile("/proc/ide/hda/identify", Report("Disk", " 42", "1.0"));
  ASSERT_TRUE(ReadDriveIdentity(&d));
  EXPECT_STREQ(d.model, "Disk");
  EXPECT_STREQ(d.serial, "42");
  EXPECT_STREQ(d.firmware, "1.0");
}

}  // namespace
