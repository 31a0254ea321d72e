// Orvane-Config.tap: its TAP header and entry points.
#include "config/config_tap.h"
#include "platform/tap_header.h"

TAP_HEADER(0x514B5710, "Orvane-Config 2.20", "Orvane", "Settings of the Orvane web server, channel logos.", "2.20")

TAP_EXPORT int TAP_Main(void) { return ConfigTapMain(); }

TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2) {
  return ConfigTapEvent(event, param1, param2);
}
