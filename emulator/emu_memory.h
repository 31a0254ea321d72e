// Firmware memory of the emulated PVR. Firmware addresses are 32-bit words on the PVR, so
// everything whose address the firmware hands out (tables, task records, the TAPs'
// TAP_MemAlloc heap, event handler entry points) lies below 4 GiB, on 64-bit hosts too.
#pragma once

#include <stddef.h>

#include "platform/firmware_layout.h"

namespace emu {

// Zeroed firmware memory (tables, records), not counted to any TAP. Null when out of memory.
byte *FirmwareAlloc(size_t size);
void FirmwareFree(void *address);

// The TAPs' heap. Each block is counted to the task slot that allocated it.
void *TapAlloc(size_t size, int slot);
// False when address is not a live block of the TAP heap (nothing is freed then).
bool TapFree(const void *address);

struct HeapUse {
  size_t inUse = 0;    // bytes of live blocks
  size_t peak = 0;     // most bytes in use at once
  size_t blocks = 0;   // live blocks
};
HeapUse TapHeapUse(int slot);
size_t TapHeapTotalInUse();
// Starts a slot's count afresh (a new TAP in the slot); its live blocks stay counted.
void ResetTapHeapPeak(int slot);
// Size of the TAP heap (profile "heap_size", bytes); allocations beyond it fail.
extern size_t gTapHeapSize;

// A firmware word for a function of this program: its own address where that fits in 32
// bits, else the address of a jump to it placed below 4 GiB. 0 when none can be made.
dword FirmwareEntryPoint(void (*function)());

}  // namespace emu
