// Directory listing and folder tree answers on the emulated PVR: answer time, answer size
// and the TAP heap they take (emulator heap accounting), for a folder of 1000 recordings
// with headers and navigation files (the independent header writer), a folder of 1000 MP3
// files tagged by python3-mutagen (half with 200 KB of cover art) and trees of 5000
// folders, one two levels deep and one deep enough to pass the answer's 1 MiB. Best of 5;
// the files come from the page cache as in a repeated listing.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "bench/bench_support.h"
#include "emulator/emulator.h"
#include "platform/tap_api.h"
#include "platform/tap_services.h"
#include "tests/unit/sent_answer.h"
#include "webserver/api/api_files.h"
#include "webserver/api/api_files_tree.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kWriter[] = R"PY(
import os, random, sys
root, source = sys.argv[1], sys.argv[2]
sys.path.insert(0, source + "/tests/oracles")
import recording_header as rh
import mutagen.id3 as m
r = random.Random(1)
rec = root + "/mnt/hd/DataFiles/Bench"
mp3 = root + "/mnt/hd/MP3Files/Bench"
tree = root + "/mnt/hd/DataFiles/Tree"
os.makedirs(rec); os.makedirs(mp3); os.makedirs(tree)
for i in range(1000):
    f = dict(version=0x8000, start_time=r.getrandbits(32), duration_min=r.randint(1, 200),
             service_name=b"Channel %d" % i, event_name=b"Event %d" % i,
             event_description=b"A description " * 10, ext_text=b"Text\\n" * 150,
             bookmarks=[r.getrandbits(32) for _ in range(r.randint(0, 20))])
    name = rec + "/Recording number %04d.rec" % i
    with open(name, "wb") as w:
        w.truncate(9024 * 1000)
    open(name + ".inf", "wb").write(rh.encode(f, 5))
    open(name + ".nav", "wb").write(bytes(1024))
art = bytes(r.getrandbits(8) for _ in range(200000))
for i in range(1000):
    path = mp3 + "/Track %04d.mp3" % i
    open(path, "wb").write(b"\xff\xfb\x90\x64" + bytes(4000))
    t = m.ID3()
    for frame, text in ((m.TPE1, "Artist %d" % i), (m.TIT2, "Title é %d" % i), (m.TALB, "Album"),
                        (m.TRCK, "%d/20" % (i % 20 + 1)), (m.TYER, "2020"), (m.TCON, "Pop"), (m.TLEN, "240000")):
        t.add(frame(encoding=i % 4, text=[text]))
    if i % 2 == 0:
        t.add(m.APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=art))
    t.save(path, v2_version=3 + i % 2)
for i in range(50):
    for j in range(100):
        os.makedirs(root + "/mnt/hd/DataFiles/Wide/Series %02d/Season %02d" % (i, j) if j else
                    root + "/mnt/hd/DataFiles/Wide/Series %02d" % i, exist_ok=True)
folders = [tree]
for i in range(5000):
    path = os.path.join(r.choice(folders[-200:]), "Folder %04d" % i)
    os.mkdir(path)
    folders.append(path)
)PY";

// The answer's "count" and "truncated" members.
int Member(const std::string &answer, const char *name) {
  size_t at = answer.find(std::string("\"") + name + "\":");
  return at == std::string::npos ? -1 : atoi(answer.c_str() + at + strlen(name) + 3);
}

void Measure(const char *what, void (*handler)(const char *), const char *params) {
  const int runs = 5;
  SentAnswer answer;
  size_t peak = 0, left = 0;
  double best = 1e9;
  for (int i = 0; i < runs; i++) {
    emu::ResetTapHeapPeak(0);
    size_t before = emu::TapHeapUse(0).inUse;
    double start = bench::Seconds();
    answer = AnswerOf([&] { handler(params); });
    double took = bench::Seconds() - start;
    if (took < best) best = took;
    peak = emu::TapHeapUse(0).peak - before;
    left = emu::TapHeapUse(0).inUse - before;
  }
  int truncated = Member(answer.body, "truncated");
  printf("  %-30s %7.1f ms  %9zu bytes sent, count %4d%s  TAP heap peak %8zu bytes (%zu left in use)\n", what,
         best * 1000, answer.Bytes(), Member(answer.body, "count"), truncated == 1 ? " (truncated)" : "", peak, left);
}

}  // namespace

int main() {
  std::string root = bench::MakeRoot("files-bench");
  if (root.empty()) return 1;
  std::string script = root + "/writer.py";
  FILE *out = fopen(script.c_str(), "w");
  if (!out) return 1;
  fputs(kWriter, out);
  fclose(out);
  std::string command = "/usr/bin/python3 " + script + " " + root + " " ORVANE_SOURCE_DIR;
  printf("Writing 1000 recordings, 1000 tagged MP3 files and 5000 folders...\n");
  if (system(command.c_str()) != 0) return 1;
  if (!bench::StartOrvane(root)) return 1;
  gLoggingLevel = 0;
  snprintf(gRecordingExt, sizeof gRecordingExt, ".rec");

  printf("Listing and tree answers, best of 5:\n");
  Measure("1000 recordings (.inf, .nav)", APIFilesGet, "dir=/mnt/hd/DataFiles/Bench");
  Measure("1000 tagged MP3 files", APIFilesGet, "dir=/mnt/hd/MP3Files/Bench");
  Measure("one recording by name", APIFilesGet, "dir=/mnt/hd/DataFiles/Bench&file=Recording%20number%200500.rec");
  Measure("tree of 5000 folders, 2 deep", APIFilesTree, "dir=/mnt/hd/DataFiles/Wide");
  Measure("tree of 5000 folders, ~25 deep", APIFilesTree, "dir=/mnt/hd/DataFiles/Tree");
  return bench::RemoveRoot(root) ? 0 : 1;
}
