// A TAP for the tests with the SmartEPG TAP's ID and version text: while it runs, the TAP
// list and the EPG handlers find SmartEPG running. It does nothing else.
#include "platform/tap_header.h"

TAP_HEADER(0x8E0A424E, "SmartEPG", "Orvane tests", "Stands in for the SmartEPG TAP.", "V7.0")

TAP_EXPORT int TAP_Main(void) { return 1; }

TAP_EXPORT dword TAP_EventHandler(word, TapParam param1, TapParam) { return (dword)param1; }
