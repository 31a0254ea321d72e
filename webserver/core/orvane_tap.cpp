// The identity of Orvane.tap in its TAP header.
#include "platform/tap_header.h"
#include "webserver/core/settings.h"

TAP_HEADER(ORVANE_TAP_ID, "Orvane 2.20", "Orvane", "Control the PVR from a web browser.", "2.20")
