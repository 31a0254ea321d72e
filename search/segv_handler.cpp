#include "search/segv_handler.h"

#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "search/result_delivery.h"
#include "search/skimlet.h"

namespace {

void OnSegmentationFault(int, siginfo_t *info, void *) {
  char line[96];
  int n = snprintf(line, sizeof line, "Caught a segmentation fault at address %p\r\n", info ? info->si_addr : nullptr);
  fflush(stdout);
  if (n > 0) {
    ssize_t ignored = write(STDOUT_FILENO, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    (void)ignored;
  }
  if (gShowProgress && gResultsPort != 0) SendSocket(FATAL_MESSAGE, strlen(FATAL_MESSAGE));
  closeOutputs();
  _exit(0);
}

}  // namespace

void installSegvHandler() {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_sigaction = OnSegmentationFault;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, nullptr);
}
