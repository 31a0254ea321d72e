// What a TAP gives the code that needs no TAP API (common/ and the support library) when it
// starts: its heap (TAP_MemAlloc, so the firmware's rules and accounting hold for answers
// and scratch buffers too), the PVR's clock for dates and the writer of the support layer's
// error log.
#pragma once

// Every TAP calls this first in TAP_Main.
void InstallTapServices();
