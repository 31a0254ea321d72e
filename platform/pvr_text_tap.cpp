// The parts of the text conversions that need the TAP API or the firmware.
#include <string.h>

#include "platform/firmware_hooks.h"
#include "platform/pvr_text.h"
#include "platform/tap_api.h"

int StrMkUTF8(char *text, size_t size, byte defaultTable) {
  if (!text || size == 0) return 0;
  size_t length = strlen(text);
  if (length >= size) return 0;
  // StrToUTF8 needs four bytes per input byte and one for the terminating zero.
  dword scratchSize = (dword)(4 * length + 1);
  char *scratch = static_cast<char *>(TAP_MemAlloc(scratchSize));
  if (!scratch) return 0;
  StrToUTF8(text, scratch, defaultTable);
  size_t converted = strlen(scratch);
  int fits = converted < size;
  if (fits) memcpy(text, scratch, converted + 1);
  TAP_MemFree(scratch);
  return fits ? 1 : 0;
}

