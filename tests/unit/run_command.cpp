#include "tests/unit/run_command.h"

#include <stdio.h>

std::string RunCommand(const std::string &command, int *status) {
  std::string output;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = rc;
  return output;
}
