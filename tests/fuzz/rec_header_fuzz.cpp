// Fuzzes the recording header decoder: any bytes, any length, every system type with a
// layout. The image lives in a buffer of exactly its size, so the address sanitizer sees
// any read past it; every text of the record must stay terminated within its field.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "platform/rec_header.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

namespace {

void CheckText(const char *text, size_t size) { Check(memchr(text, 0, size) != nullptr); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Inputs are header images; the magic is put in front of most of them so that the
  // layouts, not the magic test, get the attention.
  uint8_t *image = (uint8_t *)malloc(size + 4);
  Check(image != nullptr);
  size_t length = size;
  if (size > 0 && (data[0] & 0x0F) != 0) {
    memcpy(image, "TFrc", 4);
    memcpy(image + 4, data, size);
    length = size + 4;
  } else {
    memcpy(image, data, size);
  }
  RECHeaderInfo record;
  static const dword kSystemTypes[] = {5, 6, 7, 13, 1};
  for (dword systemType : kSystemTypes) {
    int result = HDD_DecodeRECHeader(image, (dword)length, &record, systemType);
    Check(result == 0 || result == 1);
    CheckText(record.service.serviceName, sizeof record.service.serviceName);
    CheckText(record.event.eventName, sizeof record.event.eventName);
    CheckText(record.event.eventDescription, sizeof record.event.eventDescription);
    CheckText(record.extEvent.text, sizeof record.extEvent.text);
    Check(record.event.nameLength <= REC_EVENT_TEXT_SIZE);
    Check(record.extEvent.textLength <= REC_EXT_TEXT_SIZE);
    Check(strlen(record.event.eventName) <= record.event.nameLength);
    Check(strlen(record.event.eventDescription) <= (size_t)(REC_EVENT_TEXT_SIZE - record.event.nameLength));
  }
  free(image);
  return 0;
}
