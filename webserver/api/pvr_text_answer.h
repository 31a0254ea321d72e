// PVR texts in JSON answers: names and texts read from the PVR's files and tables are in
// the PVR's character tables; an answer carries them in UTF-8, escaped.
#pragma once

#include <stddef.h>

class JsonAnswer;

// A name (at most length bytes of it): cleaned of control characters and cut to the
// longest name the PVR keeps (MakeValidFileName(name, 1)) behind its character-table
// selector, which is kept; converted to UTF-8 (from the PVR's default character set when
// it has no selector), escaped. False when it did not fit.
bool AppendPvrName(JsonAnswer *answer, const char *name, size_t length);
// A text (at most length bytes of it, at most PVR_TEXT_ANSWER_MAX): converted to UTF-8 and
// escaped, without cleaning. Both keep the answer UTF-8: a byte that belongs to no UTF-8
// sequence of a text marked as UTF-8 is shown as its code point U+0080-U+00FF.
bool AppendPvrText(JsonAnswer *answer, const char *text, size_t length);

enum { PVR_TEXT_ANSWER_MAX = 1024 };   // bytes of a text taken at most
