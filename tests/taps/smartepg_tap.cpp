// A TAP for the tests with the SmartEPG TAP's ID and a version text: while it runs, the TAP
// list and the EPG handlers find SmartEPG running, and the web server reads the database
// layout its version uses (V6: layout 13, V7 and later: layout 15). It keeps no EPG of its
// own: the demo disk and the tests write the database files. SMARTEPG_VERSION names the
// version text.
#include "platform/tap_header.h"

#ifndef SMARTEPG_VERSION
#define SMARTEPG_VERSION "V7.0"
#endif

TAP_HEADER(0x8E0A424E, "SmartEPG", "Orvane tests", "Stands in for the SmartEPG TAP.", SMARTEPG_VERSION)

TAP_EXPORT int TAP_Main(void) { return 1; }

TAP_EXPORT dword TAP_EventHandler(word, TapParam param1, TapParam) { return (dword)param1; }
