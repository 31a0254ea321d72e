// Reading and writing little- and big-endian fields at byte offsets, so that file and
// firmware formats are handled the same on 32-bit mipsel and 64-bit hosts.
#pragma once

#include <stdint.h>

inline uint16_t GetLE16(const void *p) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  return (uint16_t)(b[0] | b[1] << 8);
}
inline uint32_t GetLE32(const void *p) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}
inline uint64_t GetLE64(const void *p) {
  return (uint64_t)GetLE32(static_cast<const uint8_t *>(p) + 4) << 32 | GetLE32(p);
}
inline void PutLE16(void *p, uint16_t v) {
  uint8_t *b = static_cast<uint8_t *>(p);
  b[0] = (uint8_t)v;
  b[1] = (uint8_t)(v >> 8);
}
inline void PutLE32(void *p, uint32_t v) {
  uint8_t *b = static_cast<uint8_t *>(p);
  for (int i = 0; i < 4; i++) b[i] = (uint8_t)(v >> (8 * i));
}
inline uint16_t GetBE16(const void *p) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  return (uint16_t)(b[0] << 8 | b[1]);
}
inline void PutBE16(void *p, uint16_t v) {
  uint8_t *b = static_cast<uint8_t *>(p);
  b[0] = (uint8_t)(v >> 8);
  b[1] = (uint8_t)v;
}
inline uint32_t GetBE32(const void *p) {
  const uint8_t *b = static_cast<const uint8_t *>(p);
  return (uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3];
}
inline void PutLE64(void *p, uint64_t v) {
  PutLE32(p, (uint32_t)v);
  PutLE32(static_cast<uint8_t *>(p) + 4, (uint32_t)(v >> 32));
}
