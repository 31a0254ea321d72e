// The genre list API: the general or Australian genre table in the browser's language.
#pragma once

#include <stdint.h>

#include "platform/epg_event.h"

// The source flag of the first PVR event the genre-source probe met.
extern uint8_t gEPGType;

// "/api?epg!genre": params is the handler parameter text ("genre_source", "language").
void APIEPGgenre(const char *params);

// The genre-source probe's callback: notes the event's source flag and stops the reader.
int EPGGenreCallbackFunction(EPGEvent *event);
