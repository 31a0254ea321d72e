#include "search/websocket.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "common/base64.h"

// ---- SHA-1 (FIPS 180-4) ----

namespace {

inline uint32_t Rotl(uint32_t v, int n) { return v << n | v >> (32 - n); }

void Sha1Block(uint32_t state[5], const uint8_t *p) {
  uint32_t w[80];
  for (int i = 0; i < 16; i++) {
    w[i] = (uint32_t)p[4 * i] << 24 | (uint32_t)p[4 * i + 1] << 16 | (uint32_t)p[4 * i + 2] << 8 | p[4 * i + 3];
  }
  for (int i = 16; i < 80; i++) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; i++) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    uint32_t t = Rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

void sha1_init(sha1_context *context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
  context->state[4] = 0xC3D2E1F0;
  context->length = 0;
  context->used = 0;
}

void sha1_update(sha1_context *context, const void *data, size_t length) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  context->length += length;
  while (length > 0) {
    size_t n = SHA1_BLOCK_SIZE - context->used;
    if (n > length) n = length;
    memcpy(context->block + context->used, p, n);
    context->used += n;
    p += n;
    length -= n;
    if (context->used == SHA1_BLOCK_SIZE) {
      Sha1Block(context->state, context->block);
      context->used = 0;
    }
  }
}

void sha1_final(sha1_context *context, uint8_t digest[SHA1_DIGEST_SIZE]) {
  uint64_t bits = context->length * 8;
  uint8_t pad = 0x80;
  uint64_t keep = context->length;
  sha1_update(context, &pad, 1);
  uint8_t zero = 0;
  while (context->used != SHA1_BLOCK_SIZE - 8) sha1_update(context, &zero, 1);
  uint8_t tail[8];
  for (int i = 0; i < 8; i++) tail[i] = (uint8_t)(bits >> (56 - 8 * i));
  sha1_update(context, tail, 8);
  context->length = keep;
  for (int i = 0; i < 5; i++) {
    for (int j = 0; j < 4; j++) digest[4 * i + j] = (uint8_t)(context->state[i] >> (24 - 8 * j));
  }
}

void sha1_digest(const void *data, size_t length, uint8_t digest[SHA1_DIGEST_SIZE]) {
  sha1_context context;
  sha1_init(&context);
  sha1_update(&context, data, length);
  sha1_final(&context, digest);
}

// ---- Handshake ----

void ws_accept_value(const char *key, char *out, size_t size) {
  if (!out || size == 0) return;
  out[0] = '\0';
  uint8_t digest[SHA1_DIGEST_SIZE];
  sha1_context context;
  sha1_init(&context);
  sha1_update(&context, key, strlen(key));
  sha1_update(&context, WS_GUID, strlen(WS_GUID));
  sha1_final(&context, digest);
  char encoded[32];   // 28 characters and a NUL
  b64encode(digest, encoded, SHA1_DIGEST_SIZE);
  snprintf(out, size, "%s", encoded);
}

namespace {

enum { WS_FIELD_SIZE = 256, WS_KEY_SIZE = 128, WS_REQUEST_MAX = 8192 };

// When line starts with prefix (letter case ignored) and carries at least one character
// after it, copies the rest into out and returns 1.
int HeaderValue(const char *line, const char *prefix, char *out, size_t size) {
  size_t n = strlen(prefix);
  if (strncasecmp(line, prefix, n) != 0 || line[n] == '\0') return 0;
  snprintf(out, size, "%s", line + n);
  return 1;
}

}  // namespace

int ws_parse_header(const char *data, size_t length, char *reply, size_t size) {
  if (!data || !reply || size == 0) return 0;
  reply[0] = '\0';
  // A private, terminated copy that is split into lines.
  static char text[WS_REQUEST_MAX + 1];
  if (length > WS_REQUEST_MAX) length = WS_REQUEST_MAX;
  memcpy(text, data, length);
  text[length] = '\0';

  int version = 0;
  char key[WS_KEY_SIZE] = "";
  char origin[WS_FIELD_SIZE] = "";
  char protocol[WS_FIELD_SIZE] = "";
  char host[WS_FIELD_SIZE] = "";
  char field[WS_FIELD_SIZE];

  char *save = nullptr;
  char *line = strtok_r(text, "\r\n", &save);
  if (!line || (strcmp(line, "GET /razuziziz HTTP/1.1") != 0 && strcmp(line, "GET /skimlet HTTP/1.1") != 0)) {
    return 0;
  }
  while ((line = strtok_r(nullptr, "\r\n", &save)) != nullptr) {
    if (HeaderValue(line, "Sec-WebSocket-Version: ", field, sizeof field)) {
      version = atoi(field);
    } else if (HeaderValue(line, "Sec-WebSocket-Key: ", key, sizeof key)) {
    } else if (HeaderValue(line, "Sec-WebSocket-Origin: ", origin, sizeof origin) ||
               HeaderValue(line, "Origin: ", origin, sizeof origin)) {
    } else if (HeaderValue(line, "Sec-WebSocket-Protocol: ", protocol, sizeof protocol)) {
    } else if (HeaderValue(line, "Host: ", host, sizeof host)) {
    }
  }
  // Without a key no accept value can be given that a client would take.
  if (version <= 5 || origin[0] == '\0' || key[0] == '\0') return 0;

  char accept[40];
  ws_accept_value(key, accept, sizeof accept);
  int n = snprintf(reply, size,
                   "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "WebSocket-Origin: %s\r\nWebSocket-Location: ws://%s/skimlet\r\nSec-WebSocket-Accept: %s\r\n%s\r\n",
                   origin, host, accept, strstr(protocol, "binary") ? "Sec-WebSocket-Protocol: binary\r\n" : "");
  if (n < 0 || (size_t)n >= size) {
    reply[0] = '\0';
    return 0;
  }
  return 1;
}

// ---- Framing ----

int ws_frame_complete(const uint8_t *data, size_t available, ws_frame *frame) {
  if (available < 2) return 0;
  ws_frame f;
  f.final = (data[0] & 0x80) != 0;
  f.opcode = data[0] & 0x0F;
  int masked = (data[1] & 0x80) != 0;
  uint64_t length = data[1] & 0x7F;
  size_t at = 2;
  if (length == 126) {
    if (available < 4) return 0;
    length = (uint64_t)data[2] << 8 | data[3];
    at = 4;
  } else if (length == 127) {
    if (available < 10) return 0;
    // Only the low 32 bits of the 64-bit length are used.
    length = (uint64_t)data[6] << 24 | (uint64_t)data[7] << 16 | (uint64_t)data[8] << 8 | data[9];
    at = 10;
  }
  if (masked) at += 4;
  if (available < at || available - at < length) return 0;
  f.headerLength = at;
  f.payloadLength = length;
  if (frame) *frame = f;
  return 1;
}

size_t ws_decode_frame(const uint8_t *frame, size_t available, uint8_t *out, size_t outSize) {
  if (!frame || !out || available < 1 || frame[0] < 0x80 || frame[0] > 0x8F) return 0;
  ws_frame f;
  if (!ws_frame_complete(frame, available, &f)) return 0;
  // What the frame decodes to must fit: the payload and a terminator, or the close bytes.
  size_t needed = f.opcode == WS_OPCODE_CLOSE ? 4 : (size_t)f.payloadLength + (f.opcode == WS_OPCODE_TEXT);
  if (needed > outSize) return 0;
  uint8_t key[4] = {0, 0, 0, 0};
  bool masked = (frame[1] & 0x80) != 0;
  if (masked) memcpy(key, frame + f.headerLength - 4, 4);
  size_t length = (size_t)f.payloadLength;
  // Forward copy: out never runs ahead of the bytes still to be read.
  for (size_t i = 0; i < length; i++) {
    uint8_t b = frame[f.headerLength + i];
    out[i] = masked ? (uint8_t)(b ^ key[i % 4]) : b;
  }
  if (f.opcode == WS_OPCODE_TEXT) {
    out[length] = 0;
    return length + 1;
  }
  if (f.opcode == WS_OPCODE_CLOSE) {
    out[0] = 8;
    out[1] = out[2] = out[3] = 0;
    return 4;
  }
  return length;
}

size_t ws_create_frame_header(uint64_t length, uint8_t *out, int opcode, const uint8_t *mask) {
  size_t at;
  uint8_t maskBit = mask ? 0x80 : 0;
  out[0] = (uint8_t)(0x80 | (opcode & 0x0F));
  if (length < 126) {
    out[1] = (uint8_t)(maskBit | length);
    at = 2;
  } else if (length <= 0xFFFF) {
    out[1] = (uint8_t)(maskBit | 126);
    out[2] = (uint8_t)(length >> 8);
    out[3] = (uint8_t)length;
    at = 4;
  } else {
    out[1] = (uint8_t)(maskBit | 127);
    // The high four bytes are sent as zeros.
    out[2] = out[3] = out[4] = out[5] = 0;
    out[6] = (uint8_t)(length >> 24);
    out[7] = (uint8_t)(length >> 16);
    out[8] = (uint8_t)(length >> 8);
    out[9] = (uint8_t)length;
    at = 10;
  }
  if (mask) {
    memcpy(out + at, mask, 4);
    at += 4;
  }
  return at;
}
