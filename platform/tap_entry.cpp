// The firmware's first call into a TAP: hand it the two entry points.
#include "platform/tap_api.h"

TAP_EXPORT void __TAP_Init_(TAP_Registration *registration) {
  if (!registration) return;
  registration->main = TAP_Main;
  registration->eventHandler = TAP_EventHandler;
}
