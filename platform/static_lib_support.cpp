// What Debian's static libraries that a TAP links (libid3tag and zlib, built with the
// stack protector and assertions) expect from the C library beyond what the firmware
// offers: the stack protector's guard and failure handler and the assertion handler.
// Defined here, hidden like everything in a TAP, so the TAP needs nothing more at load time.
#ifdef ORVANE_PVR
#include <stdint.h>
#include <stdlib.h>

extern "C" {
// A terminator canary: a zero, a line feed, a carriage return and 0xFF, the bytes at which
// most overflowing copies stop.
uintptr_t __stack_chk_guard = 0xFF0D0A00u;
void __stack_chk_fail(void) { abort(); }
void __assert_fail(const char *, const char *, unsigned int, const char *) { abort(); }
}
#endif
