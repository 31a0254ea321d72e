// The WebSocket pieces skimlet needs on its results port: the opening handshake (with
// SHA-1 and Base64 for the accept value) and the framing of RFC 6455 (final frames only).
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
  SHA1_DIGEST_SIZE = 20,
  SHA1_BLOCK_SIZE = 64,
  WS_MAX_HEADER = 14,            // 10 bytes of header and a 4-byte masking key
  WS_OPCODE_CONTINUATION = 0,
  WS_OPCODE_TEXT = 1,
  WS_OPCODE_BINARY = 2,
  WS_OPCODE_CLOSE = 8,
  WS_REPLY_SIZE = 1024,
};

#define WS_GUID "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"

struct sha1_context {
  uint32_t state[5];
  uint64_t length;               // bytes hashed so far
  uint8_t block[SHA1_BLOCK_SIZE];
  size_t used;                   // bytes waiting in block
};

void sha1_init(sha1_context *context);
void sha1_update(sha1_context *context, const void *data, size_t length);
void sha1_final(sha1_context *context, uint8_t digest[SHA1_DIGEST_SIZE]);
void sha1_digest(const void *data, size_t length, uint8_t digest[SHA1_DIGEST_SIZE]);

// The Sec-WebSocket-Accept value of a key: Base64 of the SHA-1 of key + GUID. out holds
// at least 29 bytes.
void ws_accept_value(const char *key, char *out, size_t size);

// Checks an opening handshake (length bytes of data) and builds the 101 reply in reply
// (size bytes). Non-zero when the handshake is acceptable.
int ws_parse_header(const char *data, size_t length, char *reply, size_t size);

// A decoded frame.
struct ws_frame {
  int opcode;
  int final;
  size_t headerLength;           // bytes before the payload (mask key included)
  uint64_t payloadLength;
};

// Reads the header of the frame at data (available bytes). Returns 1 with frame filled
// when the whole frame (header and payload) is present, 0 when more bytes are needed.
int ws_frame_complete(const uint8_t *data, size_t available, ws_frame *frame);

// Decodes the final frame at frame (available bytes) into out (outSize bytes), which may
// be the frame itself. Text frames get a zero byte after the payload and give payload
// length + 1; a close frame is replaced by the bytes 8, 0, 0, 0 and gives 4; other opcodes
// give the payload length. 0, with out unchanged, when the first byte does not start a
// final frame, the frame is not complete within available, or its result does not fit.
size_t ws_decode_frame(const uint8_t *frame, size_t available, uint8_t *out, size_t outSize);

// Writes the header of a final frame with this opcode and payload length to out (at least
// WS_MAX_HEADER bytes). With a masking key (4 bytes) the mask bit is set and the key
// follows the length. Returns the header length: 2, 4 or 10 (plus 4 with a key).
size_t ws_create_frame_header(uint64_t length, uint8_t *out, int opcode, const uint8_t *mask);
