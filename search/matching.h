// Tests each event against the search definitions in their order; the first definition
// whose score reaches 50 claims the event, which is then counted and delivered.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "search/skimlet.h"

enum {
  CLAIM_SCORE = 50,
  HTML_DECODE_SIZE = 8192,
  RESULT_RECORD_SIZE = 9048,
};

// The score of the claiming definition (50 or more), or the best lower score (0 when no
// definition got as far as its texts). On a claim the event gets the definition's index
// and name, gResultsCount grows by one and the event is delivered (saveResult).
int testMatching(SkimletEvent *event);

// Delivers one claimed event: a binary record to the results file, or its JSON record to
// the client on the results port.
void saveResult(SkimletEvent *event);

// 1 Monday .. 7 Sunday, from the MJD of a packed date.
int ExtractWeekDay(uint32_t date);

// Replaces HTML character references ("&amp;", "&#233;", "&#xE9;", "&eacute;"...) by the
// byte they name when it lies between 32 and 254; other text is copied. Writes at most
// size - 1 bytes and a NUL; returns the length written.
size_t htmlDecode(const char *in, char *out, size_t size);

// The 9048-byte binary result record of an event.
void packResultRecord(const SkimletEvent *event, uint8_t out[RESULT_RECORD_SIZE]);
