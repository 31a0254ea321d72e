// What Debian's static libraries that a TAP links (the tag reader, zlib) expect from the C
// library beyond the firmware's: they were built with the stack protector and assertions.
// The TAP brings its own guard and failure functions; a failure is logged on the console
// and stops the TAP where it is, as a corrupted stack or a broken assertion must.
#include <stdint.h>

#include "platform/tap_api.h"

extern "C" {

uintptr_t __stack_chk_guard = 0x5AFE7A95u;

__attribute__((noreturn)) void __stack_chk_fail(void) {
  TAP_SPrint("stack overrun detected\n");
  __builtin_trap();
}

__attribute__((noreturn)) void __assert_fail(const char *expression, const char *file, unsigned int line,
                                             const char *function) {
  TAP_SPrint("assertion failed: %s (%s:%u, %s)\n", expression ? expression : "", file ? file : "", line,
            function ? function : "");
  __builtin_trap();
}

}  // extern "C"
