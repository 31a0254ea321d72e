// EPG figures on a week of events for 200 channels, built by the Python pool encoder: the
// time of EPG answers (one channel for a day, every channel for three hours, everything)
// and the TAP heap each takes at its peak (the emulator's accounting of TAP_MemAlloc), the
// memory the reader holds, and the time to write "PVR.epg".
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "bench/bench_support.h"
#include "emulator/emulator.h"
#include "platform/pvr_time.h"
#include "platform/tap_api.h"
#include "platform/tap_services.h"
#include "tests/unit/sent_answer.h"
#include "webserver/core/http_connection.h"
#include "webserver/epg/api_epg.h"
#include "webserver/epg/epg_dump.h"
#include "webserver/epg/epg_firmware_access.h"
#include "webserver/epg/epg_genre.h"
#include "webserver/epg/epg_info.h"

namespace {

std::string gImage;
EPGPoolView gView;
dword gHead;

int Pool(EPGPoolView *view, dword *head) {
  *view = gView;
  *head = gHead;
  return 1;
}

// Services are numbered by their service ID: TV service n has service ID n + 1.
dword gServiceHeads[200];
dword ServiceHead(word, word, word serviceId) { return serviceId >= 1 && serviceId <= 200 ? gServiceHeads[serviceId - 1] : 0; }
int ServiceKey(int type, int number, EPGServiceKey *key) {
  if (type != 0 || number < 0 || number >= 200) return 0;
  *key = EPGServiceKey{1, 1, 1, (word)(number + 1)};
  return 1;
}
int Position(int, word *position) {
  *position = 0x00C0;
  return 1;
}

// The TAP heap Orvane.tap (slot 0) holds now, and the most it held since the last reset.
size_t HeapInUse() { return emu::TapHeapUse(0).inUse; }
size_t HeapPeakSinceReset() {
  size_t peak = emu::TapHeapUse(0).peak - emu::TapHeapUse(0).inUse;
  emu::ResetTapHeapPeak(0);
  return peak;
}

void Measure(const char *what, const char *params) {
  emu::ResetTapHeapPeak(0);
  double start = bench::Seconds();
  size_t bytes = AnswerOf([params] { APIEPGGet(params); }).Bytes();
  double took = bench::Seconds() - start;
  printf("  %-40s %8.1f ms  %10zu bytes  TAP heap peak %8.1f KB\n", what, took * 1000, bytes,
         HeapPeakSinceReset() / 1024.0);
}

}  // namespace

int main() {
  std::string root = bench::MakeRoot("epg-bench");
  if (root.empty()) return 1;
  std::ofstream(root + "/mnt/hd/ProgramFiles/Settings/DST.ini") << "DefaultRule=europe\r\n";

  printf("EPG: 7 days x 200 channels, events of 30 to 60 minutes\n");
  double start = bench::Seconds();
  std::string script = root + "/make_pool.py";
  std::ofstream(script) <<
      "import sys, json, datetime, random\n"
      "sys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\n"
      "from epg_pool import *\n"
      "random.seed(1)\n"
      "events = []\n"
      "for channel in range(200):\n"
      "    t = datetime.datetime(2024, 3, 1, 0, 0)\n"
      "    while t < datetime.datetime(2024, 3, 8):\n"
      "        d = random.choice((30, 45, 60))\n"
      "        events.append(PoolEvent(t, d, b'Programme %d' % len(events), b'A description of some eighty bytes, '\n"
      "                                b'as a broadcaster would send it.', b'Extended text. ' * 20,\n"
      "                                eventid=len(events) & 0xFFFF, networkid=1, tsid=1, serviceid=channel + 1,\n"
      "                                satindex=1, content=0x10))\n"
      "        t += datetime.timedelta(minutes=d)\n"
      "order = list(range(len(events)))\n"
      "random.shuffle(order)\n"
      "pool = build_pool(events, base=0x20000000, pool_order=order)\n"
      "print(write(pool, sys.argv[1]))\n";
  std::string manifestPath = root + "/manifest.json";
  std::string command = "/usr/bin/python3 " + script + " " + root + "/pool.bin > " + manifestPath;
  if (system(command.c_str()) != 0) return 1;
  printf("  pool image written by the encoder in %.1f s\n", bench::Seconds() - start);

  std::ifstream in(root + "/pool.bin", std::ios::binary);
  std::stringstream image;
  image << in.rdbuf();
  gImage = image.str();
  std::ifstream manifestFile(manifestPath);
  std::string manifest((std::istreambuf_iterator<char>(manifestFile)), std::istreambuf_iterator<char>());
  // The few numbers needed: base, head and the service heads ("services": [[n, t, s, a], ...]).
  gView = EPGPoolView{reinterpret_cast<const byte *>(gImage.data()), 0x20000000, (dword)gImage.size()};
  gHead = (dword)strtoul(manifest.c_str() + manifest.find("\"head\": ") + 8, nullptr, 10);
  size_t at = manifest.find("\"services\": [");
  for (int i = 0; i < 200 && (at = manifest.find("[1, 1, ", at + 1)) != std::string::npos; i++) {
    char *end;
    unsigned long service = strtoul(manifest.c_str() + at + 7, &end, 10);
    dword head = (dword)strtoul(end + 2, nullptr, 10);
    if (service >= 1 && service <= 200) gServiceHeads[service - 1] = head;
  }
  printf("  pool image %.1f MB\n", gImage.size() / 1e6);

  if (!bench::StartOrvane(root)) return 1;
  loadParental();
  loadGenre();
  gEPGFirmware.eventPool = Pool;
  gEPGFirmware.serviceEvents = ServiceHead;
  gEPGFirmware.serviceKey = ServiceKey;
  gEPGFirmware.satellitePosition = Position;

  size_t before = HeapInUse();
  start = bench::Seconds();
  EPGEvent *event = static_cast<EPGEvent *>(malloc(sizeof(EPGEvent)));
  EPGInfo_FilterReset();
  int all = EPGInfo_FindFirst(event);
  double took = bench::Seconds() - start;
  printf("  reader over the whole pool: %d events in %.1f ms, %zu bytes of TAP heap held\n", all, took * 1000,
         HeapInUse() - before);
  EPGInfo_Free();
  free(event);

  printf("EPG answers:\n");
  Measure("one channel, one day", "chtype=0&chnum=17&starttime=2024/03/04 00:00:00&endtime=2024/03/05 00:00:00");
  Measure("one channel, whole week", "chtype=0&chnum=17");
  Measure("every channel, three hours", "starttime=2024/03/04 18:00:00&endtime=2024/03/04 21:00:00");
  Measure("everything (up to the answer's limit)", "");

  emu::ResetTapHeapPeak(0);
  start = bench::Seconds();
  int written = dumpEPG2File();
  took = bench::Seconds() - start;
  struct stat s;
  std::string dump = root + "/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg";
  printf("PVR.epg: %d records in %.1f ms, %.1f MB, TAP heap peak %.1f KB\n", written, took * 1000,
         stat(dump.c_str(), &s) == 0 ? s.st_size / 1e6 : 0.0, HeapPeakSinceReset() / 1024.0);

  return bench::RemoveRoot(root) ? 0 : 1;
}
