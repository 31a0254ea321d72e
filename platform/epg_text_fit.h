// Fitting an EPG text into a fixed field without cutting a UTF-8 character in two.
#pragma once

#include <stddef.h>

// Copies text (at most length bytes, ending early at a zero byte) into out of size bytes
// and terminates it. When the text is longer than size - 1 bytes, it is cut there, and a
// UTF-8 character that the cut would split is left out whole. Returns the bytes kept.
size_t EPGFitText(char *out, size_t size, const char *text, size_t length);
