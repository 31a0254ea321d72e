// The support layer's directory stack: a TAP saves its current folder, goes elsewhere and
// comes back. 16 entries of 200 bytes.
#pragma once

#include <stddef.h>

enum { DIR_STACK_DEPTH = 16, DIR_STACK_ENTRY = 200 };

// Copies the TAP's current folder (a TAP path such as "/ProgramFiles/Settings") into out.
// Returns 0 when the firmware does not tell it.
int HDD_TAP_GetCurrentDir(char *out, size_t size);
// Saves the current folder; 0 when the stack is full or the folder unknown.
int HDD_TAP_PushDir();
// Changes back to the most recently saved folder; 0 when the stack is empty.
int HDD_TAP_PopDir();
// Changes to an absolute TAP folder; 1 on success.
int HDD_ChangeDir(const char *folder);

// Saves the current folder for the life of a scope and changes back at its end.
class PushedDir {
 public:
  PushedDir() : pushed_(HDD_TAP_PushDir() != 0) {}
  ~PushedDir() {
    if (pushed_) HDD_TAP_PopDir();
  }
  bool ok() const { return pushed_; }
  PushedDir(const PushedDir &) = delete;
  PushedDir &operator=(const PushedDir &) = delete;

 private:
  bool pushed_;
};
