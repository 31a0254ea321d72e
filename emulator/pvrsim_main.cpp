// pvrsim --root DIR [--idle-ms N] [TAP files...]
// Runs an emulated PVR: loads the TAPs, delivers idle events every N ms, takes commands on
// standard input and prints firmware effects on standard output, one line each. The TAPs'
// console (the first pseudo-terminal of the emulated PVR) is copied to standard error.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "emulator/emu_world.h"
#include "emulator/emulator.h"

namespace {

volatile sig_atomic_t gSignalled;

void OnSignal(int) { gSignalled = 1; }

int Usage() {
  fprintf(stderr,
          "usage: pvrsim --root DIR [--idle-ms N] [TAP files...]\n"
          "commands on standard input:\n"
          "  key CODE              a remote-control key (event 0x0100)\n"
          "  event CODE [P1 [P2]]  any event to every TAP\n"
          "  reload                event 0xFE01 (re-read the settings)\n"
          "  tmscommander N        event 0x0B00 with param1 N\n"
          "  load FILE             load and start a TAP file\n"
          "  heap                  TAP heap in use and peak, per loaded TAP\n"
          "  screen FILE           write the screen (video and OSD) as a PNG file\n"
          "  fail-alloc N|all|off  the Nth TAP_MemAlloc from now fails / every one / none\n"
          "  fail-open NAME        TAP_Hdd_Fopen and TAP_Hdd_Create fail for NAME\n"
          "  fail-playinfo on|off  TAP_Hdd_GetPlayInfo fails / answers again\n"
          "  absent SYMBOL         a firmware hook disappears (before the TAPs bind it)\n"
          "  present SYMBOL        it exists again\n"
          "  faults-off            every injected failure ends\n"
          "  quit                  stop every TAP and end\n");
  return 2;
}

bool ParseNumber(const std::string &text, unsigned long *value) {
  if (text.empty()) return false;
  char *end = nullptr;
  errno = 0;
  *value = strtoul(text.c_str(), &end, 0);
  return errno == 0 && *end == '\0';
}

// The console of the emulated PVR: a FIFO at DIR/dev/pts/0 whose text goes to stderr.
int OpenConsole() {
  std::string folder = emu::gRoot + "/dev/pts";
  std::string fifo = folder + "/0";
  mkdir((emu::gRoot + "/dev").c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  struct stat s;
  if (stat(fifo.c_str(), &s) != 0) mkfifo(fifo.c_str(), 0666);
  return open(fifo.c_str(), O_RDWR | O_NONBLOCK);   // read and write: never sees end of file
}

void CopyConsole(int console) {
  char buffer[4096];
  ssize_t n;
  while (console >= 0 && (n = read(console, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n; i++) {
      if (buffer[i]) fputc(buffer[i], stderr);
    }
  }
  fflush(stderr);
}

// One line per loaded TAP: its TAP heap in use and the most it has used.
void ReportHeap() {
  for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
    if (!emu::gTasks[slot].used) continue;
    emu::HeapUse use = emu::TapHeapUse(slot);
    emu::Effect("heap slot %d id 0x%08x in use %zu bytes in %zu blocks, peak %zu bytes", slot, emu::gTasks[slot].id,
                use.inUse, use.blocks, use.peak);
  }
}

// Carries out one command line; false when pvrsim should end.
bool RunCommand(const std::string &line) {
  std::istringstream words(line);
  std::string command, a, b, c;
  words >> command >> a >> b >> c;
  unsigned long x = 0, y = 0, z = 0;
  if (command.empty() || command[0] == '#') return true;
  if (command == "quit") return false;
  if (command == "key" && ParseNumber(a, &x)) {
    emu::BroadcastEvent(EVT_KEY, (dword)x, 0, true);
  } else if (command == "event" && ParseNumber(a, &x) && (b.empty() || ParseNumber(b, &y)) &&
             (c.empty() || ParseNumber(c, &z))) {
    emu::BroadcastEvent((word)x, (dword)y, (dword)z, true);
  } else if (command == "reload") {
    emu::BroadcastEvent(EVT_RELOAD_CONFIG, 0, 0, true);
  } else if (command == "tmscommander" && ParseNumber(a, &x)) {
    emu::BroadcastEvent(EVT_TMSCOMMANDER, (dword)x, 0, true);
  } else if (command == "load" && !a.empty()) {
    std::string error;
    if (emu::LoadTap(a, &error) < 0) emu::Effect("cannot load %s: %s", a.c_str(), error.c_str());
  } else if (command == "heap") {
    ReportHeap();
  } else if (command == "screen" && !a.empty()) {
    std::string error;
    if (emu::WriteScreenPicture(a, &error)) {
      emu::Effect("screen written to %s", a.c_str());
    } else {
      emu::Effect("screen not written: %s", error.c_str());
    }
  } else if (command == "fail-alloc" && (a == "all" || a == "off")) {
    emu::FailAllocation(0);
    emu::FailAllAllocations(a == "all");
    emu::Effect("TAP_MemAlloc fails %s", a == "all" ? "always" : "never");
  } else if (command == "fail-alloc" && ParseNumber(a, &x) && x > 0) {
    emu::FailAllocation((unsigned)x);
    emu::Effect("TAP_MemAlloc number %lu from now fails", x);
  } else if (command == "fail-open" && !a.empty()) {
    emu::FailFileOpen(a);
    emu::Effect("opening %s fails", a.c_str());
  } else if (command == "fail-playinfo" && (a == "on" || a == "off")) {
    emu::FailPlayInfo(a == "on");
    emu::Effect("TAP_Hdd_GetPlayInfo %s", a == "on" ? "fails" : "answers");
  } else if ((command == "absent" || command == "present") && !a.empty()) {
    std::string error;
    if (emu::MakeHookAbsent(a, command == "absent", &error)) {
      emu::Effect("firmware symbol %s %s", a.c_str(), command == "absent" ? "absent" : "present");
    } else {
      emu::Effect("%s", error.c_str());
    }
  } else if (command == "faults-off") {
    emu::ClearFaults();
    emu::Effect("no injected failures");
  } else {
    emu::Effect("unknown command: %s", line.c_str());
  }
  return true;
}

// Reads whole lines from standard input without blocking; false at "quit".
bool ReadCommands(bool *open) {
  static std::string pending;
  char buffer[1024];
  ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    *open = false;
    return true;
  }
  if (n < 0) return true;
  pending.append(buffer, (size_t)n);
  size_t end;
  while ((end = pending.find('\n')) != std::string::npos) {
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!RunCommand(line)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  std::string root;
  long idleMs = 10;
  std::vector<std::string> taps;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (arg == "--root" && i + 1 < argc) {
      root = argv[++i];
    } else if (arg == "--idle-ms" && i + 1 < argc) {
      char *end;
      idleMs = strtol(argv[++i], &end, 10);
      if (*end || idleMs < 0) return Usage();
    } else if (arg == "-h" || arg == "--help") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage();
    } else {
      taps.push_back(arg);
    }
  }
  if (root.empty()) return Usage();

  std::string error;
  if (!emu::Start(root, &error)) {
    fprintf(stderr, "pvrsim: %s\n", error.c_str());
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  int console = OpenConsole();
  fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
  emu::Effect("root %s, system id %u", emu::gRoot.c_str(), emu::gSystem.systemId);

  for (const std::string &tap : taps) {
    if (emu::LoadTap(tap, &error) < 0) {
      fprintf(stderr, "pvrsim: %s\n", error.c_str());
      return 1;
    }
    CopyConsole(console);
  }

  bool stdinOpen = true, running = true;
  while (running && !gSignalled) {
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {console, POLLIN, 0}};
    int n = poll(stdinOpen ? fds : fds + 1, stdinOpen ? 2 : 1, (int)idleMs);
    if (n > 0 && stdinOpen && fds[0].revents) running = ReadCommands(&stdinOpen);
    for (const emu::PendingEvent &e : emu::TakeGeneratedEvents()) {
      emu::BroadcastEvent(e.event, e.param1, e.param2, true);
    }
    emu::BroadcastEvent(EVT_IDLE, 0, 0, false);
    emu::SaveWorldChanges();
    CopyConsole(console);
  }

  emu::BroadcastEvent(EVT_STOP, 0, 0, true);
  // A TAP that has not exited after the stop event gets one more event to do so.
  emu::BroadcastEvent(EVT_IDLE, 0, 0, false);
  emu::SaveWorldChanges();
  CopyConsole(console);
  emu::Effect("stopped");
  return 0;
}
