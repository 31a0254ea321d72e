#include "platform/shell_command.h"

#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include "platform/pvr_path.h"

int ShellAppend(char *out, size_t size, const char *text) {
  size_t used = strnlen(out, size), add = strlen(text);
  if (used >= size || add >= size - used) return 0;
  memcpy(out + used, text, add + 1);
  return 1;
}

int ShellAppendPath(char *out, size_t size, const char *pvrPath) {
  MappedPath path(pvrPath);
  if (!path.c_str() || !ShellAppend(out, size, "'")) return 0;
  for (const char *p = path.c_str(); *p; p++) {
    char single[2] = {*p, 0};
    if (!ShellAppend(out, size, *p == '\'' ? "'\\''" : single)) return 0;
  }
  return ShellAppend(out, size, "'");
}

int RunShellCommand(const char *command) {
  if (!command || !*command) return -1;
  int status = system(command);
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
