// The binary parameter block of a TAP start request: the "tap_params" parameter (URL-
// decoded), Base64 text of at most TAP_PARAMS_MAX characters, decoded as bytes with their
// true length, NUL bytes included.
#pragma once

enum { TAP_PARAMS_MAX = 2047 };

enum TapParameterBlockResult {
  TAP_BLOCK_INVALID = -1,   // too long, not Base64, or no memory
  TAP_BLOCK_NONE = 0,       // not given
  TAP_BLOCK_GIVEN = 1,
};

// Decodes the block of params. For TAP_BLOCK_GIVEN, *block holds *length bytes from the
// common allocator (the TAP heap in a TAP; freed with CommonFree), or is null when the
// block is empty. *block is null and *length 0 otherwise.
int TapParameterBlock(const char *params, unsigned char **block, int *length);
