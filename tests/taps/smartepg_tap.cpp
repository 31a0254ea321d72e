// A stand-in for the SmartEPG TAP: it carries that TAP's ID and a version text, so that the
// emulated PVR's task table shows SmartEPG running and the web server reads the database
// layout its version uses (V6: layout 13, V7 and later: layout 15). It keeps no EPG of its
// own: the demo disk and the tests write the database files. SMARTEPG_VERSION names the
// version text.
#include "platform/tap_header.h"

#ifndef SMARTEPG_VERSION
#define SMARTEPG_VERSION "V7.2"
#endif

TAP_HEADER(0x8E0A424E, "SmartEPG stand-in " SMARTEPG_VERSION, "Orvane tests",
           "Stands in for the SmartEPG TAP in the emulated PVR.", SMARTEPG_VERSION)

TAP_EXPORT int TAP_Main(void) { return 1; }

TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2) {
  (void)event;
  (void)param2;
  return (dword)param1;
}
