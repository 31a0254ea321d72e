// Shell commands of the PVR's Linux: paths mapped (PvrPath) and quoted so that no name can
// run anything.
#pragma once

#include <stddef.h>

// Appends pvrPath, mapped and in single quotes, to out (a terminated text of size bytes).
// Returns 1, or 0 when the path cannot be mapped or the result does not fit.
int ShellAppendPath(char *out, size_t size, const char *pvrPath);
// Appends text as it is. Returns 0 when it does not fit.
int ShellAppend(char *out, size_t size, const char *text);
// Runs command through "/bin/sh -c"; its exit status, or -1 when it did not run or ended by
// a signal.
int RunShellCommand(const char *command);
