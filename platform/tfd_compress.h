// TFD block compression: the container in which the firmware keeps compressed bitmap data.
// The input is cut into blocks of at most 32762 bytes; each block is compressed with the
// LHA lh5 method (8 KiB sliding dictionary, static Huffman codes per block) or stored as
// it is when compression does not make it smaller. All container fields are big-endian.
//
//   header (10 bytes): 8, CRC of bytes 4..9, system identifier, 1, number of blocks
//   block:             L + 6, CRC of the L + 4 bytes from offset 4, block type,
//                      uncompressed length, L bytes of lh5 data (or the stored input when
//                      L equals the uncompressed length)
#pragma once

#include "platform/tap_api.h"

enum : dword {
  TFD_HEADER_SIZE = 10,
  TFD_BLOCK_HEADER_SIZE = 8,
  TFD_BLOCK_MAX = 32762,          // input bytes per block
  TFD_MAX_BLOCKS = 0xFFFF,        // the header counts blocks in 16 bits
};

// Called before each block with the percentage of the input done, and finally with 100.
typedef void (*TFDProgressFunction)(dword percent);

// CRC-16 with the reflected polynomial 0xA001, continued from initial (0 for a new CRC),
// no final inversion.
word CRC16(word initial, const void *bytes, dword count);

// Huffman code lengths of at most 16 bits for n symbols (at most 510) with the given
// frequencies, as the block encoder makes them: lengths[i] is 0 for unused symbols, and
// with 2 or more used symbols the code is complete. Returns the number of used symbols
// (with fewer than 2 all lengths are 0), -1 for bad arguments or when memory runs out.
int TFDCodeLengths(const dword *freq, int n, byte *lengths);

// Compresses n bytes (at most TFD_BLOCK_MAX) into a block's data and returns its length.
// A block that does not get smaller is stored: its n input bytes are copied and n is
// returned. Nothing is written when out is null; at most n bytes are written otherwise.
// Returns 0 for null data, n = 0 or n above TFD_BLOCK_MAX.
dword CompressBlock(const byte *data, dword n, byte *out);

// Builds the container for length bytes at out and returns its size in bytes. With out
// null nothing is written and the size that would result is returned. Returns 0 for null
// data and for inputs that need more than TFD_MAX_BLOCKS blocks. out must hold
// TFDMaxSize(length) bytes.
dword CompressTFD(const byte *data, dword length, byte *out, word blockType, word systemId,
                  TFDProgressFunction progress);

// The largest container CompressTFD can make for length bytes (every block stored).
inline dword TFDMaxSize(dword length) {
  return TFD_HEADER_SIZE + length +
         (length / TFD_BLOCK_MAX + (length % TFD_BLOCK_MAX != 0)) * TFD_BLOCK_HEADER_SIZE;
}
