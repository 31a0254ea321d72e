// The TAP's heap for the helpers of common/: a TAP's memory comes from TAP_MemAlloc, so
// that the firmware's rules and accounting hold for answers and scratch buffers too.
#pragma once

// Makes common/ allocate through TAP_MemAlloc/TAP_MemFree. Called first thing at start.
void InstallTapHeap();
