// The TAP management API: the running TAPs of the firmware's task table, starting a TAP
// file (with an optional binary parameter block) and stopping a running TAP.
#pragma once

#include "platform/tap_file_info.h"
#include "platform/tap_tasks.h"

class JsonAnswer;

// "tap"/"taps" "get": every running TAP whose file can be read. Notes whether the
// SmartEPG TAP runs (gSEStatus, gSEVersion).
void APITAPGet();
// "tap"/"taps" "start"/"run": "filename" or "filename_hex", "tap_params" (Base64).
void APITAPStart(const char *params);
// "tap"/"taps" "stop": "index" with "tapid"/"tapid_hex", or "filename"/"filename_hex".
void APITAPStop(const char *params);

// One record of the TAP list; number counts the records written before it. False when the
// answer is full (the record is left out).
bool TAPFormat(JsonAnswer *answer, int number, int slot, const TapTaskSlot &task, const TapFileInfo &info);
