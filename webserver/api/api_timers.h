// The timers API: the PVR's timers as JSON, and new, changed and deleted timers from the
// keyword=value lines of a POST body.
#pragma once

enum { TIMERS_NEW = 1, TIMERS_MODIFY = 2, TIMERS_DELETE = 3 };

void APITimersGet();
// mode: TIMERS_NEW, TIMERS_MODIFY or TIMERS_DELETE; the parameters are the request body.
void APITimersUpdate(int mode);
