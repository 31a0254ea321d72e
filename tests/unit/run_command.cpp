#include "tests/unit/run_command.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

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

namespace {

bool Runnable(const std::string &tool) {
  if (tool.find('/') != std::string::npos) return access(tool.c_str(), X_OK) == 0;
  const char *path = getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t end = folders.find(':', start);
    std::string folder = folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (access(((folder.empty() ? "." : folder) + "/" + tool).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

}  // namespace

bool RequireTool(const std::string &tool) {
  if (Runnable(tool)) return true;
  ADD_FAILURE() << "the oracle " << tool << " is missing: run tools/setup-deps.sh test (make test does)";
  return false;
}
