// Programs started by a TAP: a child process of its own process group that inherits only
// the three standard descriptors (none of the TAP's sockets or open files) and the
// environment, and that the TAP can end, with everything it started, when it stops.
#pragma once

enum {
  CHILD_STARTED = 0,
  CHILD_FAILED = -1,
};

// Starts program (a host path) with argv (null-terminated, argv[0] first), standard input
// from "/dev/null", standard output into outputPath (created or truncated; null keeps the
// TAP's), standard error the TAP's. Returns CHILD_STARTED with the child's process ID,
// which is also its process group; CHILD_FAILED with *error set to the errno of what
// failed (the output file, the fork or the exec).
int StartChildProcess(const char *program, const char *const argv[], const char *outputPath, int *pid,
                      int *error);
// Waits until the child has ended and reaps it. 1 with its exit status (or 128 + signal);
// 0 with *error set when it cannot be waited for.
int WaitChildProcess(int pid, int *status, int *error);
// Sends signal to the child's whole process group; 1 when it was sent.
int SignalChildGroup(int pid, int signal);
