// The tuning API: the PVR's favourites groups with their channels, and its satellites
// (with their LNB settings) and transponders.
#pragma once

void APIFavouritesGet();
// gCommand.action (set by the dispatch) chooses the satellite table (ACTION_GET) or the
// transponders (ACTION_TRANSPONDERS); params may name one satellite ("sat", "satindex").
void APISatGet(const char *params);
