// Fuzzes what skimlet reads from its results port: the opening handshake and the frames
// that carry the request. Buffers are allocated to their exact size, so the address
// sanitizer sees any overrun; the relations checked below must hold for any input.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "search/result_delivery.h"
#include "search/skimlet.h"
#include "search/websocket.h"
#include "tests/fuzz/fuzz_root.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

namespace {

uint8_t *Copy(const uint8_t *data, size_t size, size_t extra) {
  uint8_t *p = static_cast<uint8_t *>(malloc(size + extra ? size + extra : 1));
  Check(p != nullptr);
  if (size) memcpy(p, data, size);
  return p;
}

// The frame at data, decoded apart and in place, as the reader of the request does.
void FuzzOneFrame(const uint8_t *data, size_t size) {
  ws_frame frame;
  int complete = ws_frame_complete(data, size, &frame);
  if (complete) Check(frame.headerLength <= size && frame.payloadLength <= size - frame.headerLength);

  // Into an output of the frame's size plus one, and in place.
  uint8_t *out = Copy(nullptr, 0, size + 1);
  size_t n = ws_decode_frame(data, size, out, size + 1);
  Check(n <= size + 1);
  bool final = size > 0 && data[0] >= 0x80 && data[0] <= 0x8F;
  if (n > 0) Check(final && complete);
  free(out);
  uint8_t *inPlace = Copy(data, size, 1);
  Check(ws_decode_frame(inPlace, size, inPlace, size + 1) == n);
  free(inPlace);
}

// A stream of frames, each payload collected after the last (as skimlet joins fragments).
void FuzzStream(const uint8_t *data, size_t size) {
  uint8_t *stream = Copy(data, size, 0);
  size_t at = 0;
  size_t collected = 0;
  ws_frame frame;
  while (at < size && ws_frame_complete(stream + at, size - at, &frame)) {
    size_t total = frame.headerLength + (size_t)frame.payloadLength;
    Check(total <= size - at && total >= 2);
    collected += (size_t)frame.payloadLength;
    at += total;
  }
  Check(collected <= size);
  free(stream);
}

void FuzzHandshake(const uint8_t *data, size_t size, size_t replySize) {
  char *reply = reinterpret_cast<char *>(Copy(nullptr, 0, replySize));
  int ok = ws_parse_header(reinterpret_cast<const char *>(data), size, reply, replySize);
  if (replySize > 0) Check(strnlen(reply, replySize) < replySize);
  if (ok) Check(strncmp(reply, "HTTP/1.1 101 Switching Protocols\r\n", 34) == 0);
  free(reply);

  // The raw bytes as the first read from a client: a handshake is taken only whole.
  size_t consumed = 0;
  gWebSocketMode = 0;
  const char *text = reinterpret_cast<const char *>(Copy(data, size, 0));
  int websocket = checkForWebSocket(text, size, &consumed);
  Check(consumed <= size && (websocket || consumed == 0) && gWebSocketMode == websocket);
  free(const_cast<char *>(text));
}

// Headers written for any length are read back as that length.
void FuzzHeader(const uint8_t *data, size_t size) {
  uint64_t length = 0;
  for (size_t i = 0; i < 4 && i < size; i++) length = length << 8 | data[i];
  if (size > 4) length &= size > 5 && data[5] & 1 ? 0xFFFFu : 0xFFFFFFFFu;
  uint8_t header[WS_MAX_HEADER];
  const uint8_t key[4] = {1, 2, 3, 4};
  size_t n = ws_create_frame_header(length, header, WS_OPCODE_TEXT, size > 4 && data[4] & 1 ? key : nullptr);
  Check(n >= 2 && n <= WS_MAX_HEADER);
  ws_frame frame;
  // Only the header is there: complete only when the payload is empty.
  Check(ws_frame_complete(header, n, &frame) == (length == 0));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  ResetSkimletState();
  const char *none[] = {"/"};
  fuzz::MakeRoot(none, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzOneFrame(data, size);
  FuzzStream(data, size);
  FuzzHandshake(data, size, size > 0 ? data[size - 1] * 5u : WS_REPLY_SIZE);
  FuzzHandshake(data, size, WS_REPLY_SIZE);
  FuzzHeader(data, size);
  return 0;
}
