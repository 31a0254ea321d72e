// The channels API: the PVR's TV and radio services (optionally those of one favourites
// group) and its analogue inputs as JSON, and the channel switch.
#pragma once

// "/api?function=channels&action=get!": params holds "favourites", "group",
// "favourites_hex" or "group_hex".
void APIChannelsGet(const char *params);
// "/api?function=channels&action=set!": params holds "mainsub", "chtype", "chnum", "logoid".
void APIChannelsSet(const char *params);
