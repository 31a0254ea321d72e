// Where the helpers of common/ take their memory from. A TAP installs the firmware's heap
// (TAP_MemAlloc/TAP_MemFree) at start, so that its rules and accounting hold; skimlet and
// the host tools keep the C library's heap, the default.
#pragma once

#include <stddef.h>

typedef void *(*CommonAllocFunction)(size_t size);
typedef void (*CommonFreeFunction)(void *address);

// Installs an allocator; null for either restores the C library's heap.
void SetCommonAllocator(CommonAllocFunction alloc, CommonFreeFunction release);

// Memory from the installed allocator; null when it has none to give.
void *CommonAlloc(size_t size);
void CommonFree(void *address);
