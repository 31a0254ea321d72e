// The firmware's memory as a TAP may read it: firmware pointers are 32-bit addresses of the
// TAP's own process (on a 64-bit host the emulated firmware keeps everything it hands out
// below 4 GiB, so the same value serves). Before a TAP follows pointers through a firmware
// structure it takes the readable region that holds it, so that no pointer leads it out of
// mapped memory and no walk is longer than the region allows.
#pragma once

#include "platform/tap_api.h"

// The readable memory around a firmware address: the process mapping that holds it,
// joined with the readable mappings directly before and after it (so a heap made of
// several mappings counts whole), below 4 GiB. Returns 1 with the region's host address,
// its firmware address and size; 0 when the address is not in readable memory.
int FirmwareMemoryRegion(dword address, const byte **bytes, dword *start, dword *size);
