// An emulated PVR whose firmware EPG is a pool image written by the independent Python
// encoder (tests/oracles/epg_pool.py), in the time zone of Europe/Berlin (standard offset
// 60 minutes, European daylight-saving rule), so that local times can be checked with
// Python's zoneinfo.
#pragma once

#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "emulator/emulator.h"
#include "platform/pvr_time.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/handler_answer.h"
#include "webserver/core/http_connection.h"
#include "webserver/epg/epg_firmware_access.h"
#include "webserver/epg/epg_info.h"

class EPGPoolTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile("/mnt/hd/ProgramFiles/Settings/DST.ini", "DefaultRule=europe\r\n");
    emu::gTime.utcOffset = 60;
    emu::gTime.timeMode = 0;
    emu::PublishTimeInfo();
    DST_ForgetRule();
    current_ = this;
    gEPGFirmware = EPGFirmwareAccess();
    gEPGFirmware.eventPool = PoolOf;
    gEPGFirmware.serviceEvents = ServiceHeadOf;
    gEPGFirmware.serviceKey = KeyOf;
  }
  void TearDown() override {
    EPGInfo_Free();
    gEPGFirmware = EPGFirmwareAccess();
    DST_ForgetRule();
    current_ = nullptr;
    EmulatedPvr::TearDown();
  }

  // Runs code with the encoder imported (D = datetime.datetime, PoolEvent, build_pool, ...);
  // the code sets `events` and may set `pool` (default build_pool(events)). Returns
  // {"manifest", "expected" (per event, in the order given)}; the image is loaded.
  nlohmann::json Build(const std::string &code) {
    std::string imagePath = root_ + "/pool.bin";
    std::string script =
        "import sys, json, struct, datetime, random\n"
        "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\n"
        "from epg_pool import *\n"
        "D = datetime.datetime\n"
        "image_path = sys.stdin.read().strip()\n" +
        code +
        "\nif 'pool' not in globals():\n"
        "    pool = build_pool(events)\n"
        "manifest = json.loads(write(pool, image_path))\n"
        "print(json.dumps({'manifest': manifest,\n"
        "                  'expected': [expected_event(e, 'Europe/Berlin') for e in events]}))\n";
    std::string out = RunPython(script, imagePath + "\n");
    nlohmann::json parsed = nlohmann::json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << out;
    if (parsed.is_discarded()) return nlohmann::json();
    image_ = ReadFile(imagePath.substr(root_.size()));
    manifest_ = parsed["manifest"];
    view_.bytes = reinterpret_cast<const byte *>(image_.data());
    view_.address = manifest_["base"].get<dword>();
    view_.size = (dword)image_.size();
    head_ = manifest_["head"].get<dword>();
    return parsed;
  }

  // The body of the answer a handler sends for params, parsed as JSON; raw_ keeps its text.
  nlohmann::json Ask(void (*handler)(const char *), const std::string &params) {
    return HandlerAnswer(handler, params, &raw_);
  }

  // Writes a 32-bit word into the loaded image at a firmware address.
  void Patch(dword address, dword value) {
    size_t at = address - view_.address;
    for (int i = 0; i < 4; i++) image_[at + i] = (char)(value >> (8 * i));
  }

  static int PoolOf(EPGPoolView *view, dword *head) {
    if (!current_ || current_->image_.empty()) return 0;
    *view = current_->view_;
    *head = current_->head_;
    return 1;
  }
  static dword ServiceHeadOf(word networkId, word tsid, word serviceId) {
    if (!current_) return 0;
    for (const auto &s : current_->manifest_["services"]) {
      if (s[0] == networkId && s[1] == tsid && s[2] == serviceId) return s[3].get<dword>();
    }
    return 0;
  }
  static int KeyOf(int svctype, int svcnum, EPGServiceKey *key) {
    auto found = current_->channels_.find(svctype * 10000 + svcnum);
    if (found == current_->channels_.end()) return 0;
    *key = found->second;
    return 1;
  }

  std::string image_;
  nlohmann::json manifest_;
  EPGPoolView view_ = {};
  dword head_ = 0;
  std::map<int, EPGServiceKey> channels_;
  std::string raw_;   // svctype * 10000 + svcnum
  static inline EPGPoolTest *current_ = nullptr;
};
