// A fresh emulated PVR for one test: a temporary root with the disk's folders, the
// emulator started on it, and the TAP under test in slot 0, in its application folder,
// with the TAP API's services installed as at the TAP's start.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "emulator/emulator.h"
#include "tests/unit/run_command.h"
#include "tests/unit/server_settings_snapshot.h"

class EmulatedPvr : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Host path of a PVR path ("/mnt/hd/ProgramFiles/x") or of a root-relative path.
  std::string Host(const std::string &pvrPath) const;
  // Writes or reads a whole file by PVR path; WriteFile creates the folders.
  void WriteFile(const std::string &pvrPath, const std::string &content) const;
  std::string ReadFile(const std::string &pvrPath) const;
  bool Exists(const std::string &pvrPath) const;

  std::string root_;

 private:
  ServerSettingsSnapshot settings_;   // put back after the test
};
