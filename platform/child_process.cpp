#include "platform/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum { FD_LIMIT_FALLBACK = 1024, FD_LIMIT_MAX = 65536 };

// Closes every descriptor from 3 up except keep. In the child after fork:
// async-signal-safe calls only.
void CloseAllFrom3But(int keep, long limit) {
#if defined(SYS_close_range)
  if (syscall(SYS_close_range, 3u, (unsigned)keep - 1, 0u) == 0 &&
      syscall(SYS_close_range, (unsigned)keep + 1, ~0u, 0u) == 0) {
    return;
  }
#endif
  for (long fd = 3; fd < limit; fd++) {
    if (fd != keep) close((int)fd);
  }
}

// Puts fd on target; false on failure.
bool Place(int fd, int target) {
  if (fd < 0) return false;
  if (fd == target) return true;
  if (dup2(fd, target) < 0) return false;
  close(fd);
  return true;
}

// The child: its own process group, default signals, the standard descriptors, nothing
// else; then the program. Reports errno on the pipe when it cannot run it.
[[noreturn]] void RunChild(const char *program, const char *const argv[], const char *outputPath, int report,
                           long fdLimit) {
  setpgid(0, 0);
  // The report pipe stays clear of the standard descriptors.
  if (report < 3) {
    report = fcntl(report, F_DUPFD, 3);
    fcntl(report, F_SETFD, FD_CLOEXEC);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  static const int kReset[] = {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD};
  for (int s : kReset) sigaction(s, &defaults, nullptr);
  int failure = 0;
  int in = open("/dev/null", O_RDONLY);
  if (!Place(in, 0)) failure = errno;
  if (!failure && outputPath) {
    int out = open(outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!Place(out, 1)) failure = errno;
  }
  if (!failure) CloseAllFrom3But(report, fdLimit);
  if (!failure) execv(program, const_cast<char *const *>(argv));
  if (!failure) failure = errno;
  ssize_t ignored = write(report, &failure, sizeof failure);
  (void)ignored;
  _exit(127);
}

}  // namespace

int StartChildProcess(const char *program, const char *const argv[], const char *outputPath, int *pid,
                      int *error) {
  *pid = 0;
  *error = 0;
  long fdLimit = sysconf(_SC_OPEN_MAX);
  if (fdLimit <= 0) fdLimit = FD_LIMIT_FALLBACK;
  if (fdLimit > FD_LIMIT_MAX) fdLimit = FD_LIMIT_MAX;
  int report[2];
  if (pipe(report) != 0) {
    *error = errno;
    return CHILD_FAILED;
  }
  // The write end closes itself when the program starts: end of file means it runs.
  fcntl(report[0], F_SETFD, FD_CLOEXEC);
  fcntl(report[1], F_SETFD, FD_CLOEXEC);
  pid_t child = fork();
  if (child < 0) {
    *error = errno;
    close(report[0]);
    close(report[1]);
    return CHILD_FAILED;
  }
  if (child == 0) RunChild(program, argv, outputPath, report[1], fdLimit);
  close(report[1]);
  setpgid(child, child);   // also here, so that the group exists when fork returns
  int failure = 0;
  ssize_t n;
  do {
    n = read(report[0], &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == (ssize_t)sizeof failure) {
    int status;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    *error = failure;
    return CHILD_FAILED;
  }
  *pid = child;
  return CHILD_STARTED;
}

int WaitChildProcess(int pid, int *status, int *error) {
  int raw = 0;
  pid_t got;
  do {
    got = waitpid(pid, &raw, 0);
  } while (got < 0 && errno == EINTR);
  if (got != pid) {
    *error = errno;
    return 0;
  }
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : raw;
  return 1;
}

int SignalChildGroup(int pid, int signal) { return pid > 0 && kill(-pid, signal) == 0 ? 1 : 0; }
