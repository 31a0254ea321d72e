#include "tests/unit/emulated_pvr.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/firmware_hooks.h"
#include "platform/tap_api.h"
#include "platform/tap_services.h"

namespace {

void MakeFolders(const std::string &path) {
  for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; at++) {
    mkdir(path.substr(0, at).c_str(), 0755);
  }
  mkdir(path.c_str(), 0755);
}

}  // namespace

void EmulatedPvr::SetUp() {
  settings_.Take();
  char pattern[] = "/tmp/orvane-pvr-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root_ = pattern;
  for (const char *folder : {"/mnt/hd/ProgramFiles/Settings/Orvane/public_html", "/mnt/hd/DataFiles",
                             "/mnt/hd/MP3Files", "/dev/pts", "/tmp"}) {
    MakeFolders(root_ + folder);
  }
  std::string error;
  ASSERT_TRUE(emu::Start(root_, &error)) << error;
  ResetFirmwareHooks();
  emu::ClearTasks();
  ASSERT_EQ(emu::AttachLinkedTap(0x514B570F, "/ProgramFiles/Settings/Orvane", TAP_EventHandler), 0);
  InstallTapServices();   // as the TAP's start does
}

void EmulatedPvr::TearDown() {
  emu::ClearTasks();
  emu::ClearFaults();
  if (!root_.empty() && root_.rfind("/tmp/orvane-pvr-", 0) == 0) {
    int ignored = system(("rm -rf '" + root_ + "'").c_str());
    (void)ignored;
  }
  settings_.PutBack();
}

std::string EmulatedPvr::Host(const std::string &pvrPath) const {
  return root_ + (pvrPath.empty() || pvrPath[0] != '/' ? "/" : "") + pvrPath;
}

void EmulatedPvr::WriteFile(const std::string &pvrPath, const std::string &content) const {
  std::string path = Host(pvrPath);
  MakeFolders(path.substr(0, path.rfind('/')));
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string EmulatedPvr::ReadFile(const std::string &pvrPath) const {
  std::ifstream in(Host(pvrPath), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool EmulatedPvr::Exists(const std::string &pvrPath) const {
  struct stat s;
  return stat(Host(pvrPath).c_str(), &s) == 0;
}
