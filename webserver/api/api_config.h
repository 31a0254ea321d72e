// The configuration answer: what the PVR is (model, firmware, disk), its fixed
// capabilities, the web server's settings and the browser modules installed.
#pragma once

void APIConfigGet();
