// Names from the PVR in JSON answers: cut to their field, converted to UTF-8 from their
// character table (the PVR's default one without a selector), cleaned (MakeValidFileName
// with flag 1) and escaped; their "_hex" twins carry the raw bytes.
#pragma once

#include <stddef.h>

class JsonAnswer;

enum { PVR_NAME_FIELD = 256 };   // names and file names of up to 255 bytes are prepared

// Appends the prepared name (the body of a JSON string) of at most field bytes of name.
bool AppendPVRName(JsonAnswer *answer, const char *name, size_t field);
// Appends at most field bytes of name converted to UTF-8 and escaped, without cleaning.
bool AppendPVRText(JsonAnswer *answer, const char *name, size_t field);
