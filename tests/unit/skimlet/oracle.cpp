#include "tests/unit/skimlet/oracle.h"

#include <stdio.h>
#include <sys/wait.h>

std::string Oracle(const std::string &command, bool *ok) {
  std::string out;
  *ok = false;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  int status = pclose(pipe);
  *ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}
