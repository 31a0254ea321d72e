// Remote control through the API: key presses for the firmware and typed characters for
// the other TAPs. A power key word leaves its power action in gPowerFlag, carried out
// after the answer has been sent.
#pragma once

enum { REMOTE_MODE_KEY = 0, REMOTE_MODE_CHARACTER = 1 };

// "remote"/"send" (mode REMOTE_MODE_KEY, parameter "key") and "ascii"/"send"
// (REMOTE_MODE_CHARACTER, parameter "char").
void APIRemoteSend(const char *params, int mode);
