#include "tests/unit/skimlet/oracle.h"

#include <sys/wait.h>

#include "tests/unit/run_command.h"

std::string Oracle(const std::string &command, bool *ok) {
  int status = -1;
  std::string out = RunCommand(command, &status);
  *ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return out;
}
