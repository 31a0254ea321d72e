// Fills gEPGFirmware from the firmware: the event pool and the service lists through the
// EPG hooks, channels through the TAP API and the firmware's service lookups.
#pragma once

#include "webserver/epg/epg_firmware_access.h"

// Called by TAP_Main; a hook that does not resolve leaves its feature absent.
void BindEPGFirmware();
