// Channel lookups shared by the handlers of both TAPs: the logo ID of a service and the
// service of a logo ID, a service by name or by tuning identity, a favourites group by name,
// and whether this PVR offers its analogue inputs.
#pragma once

#include <stdint.h>

#include "platform/firmware_tables.h"

// The logo ID of service chnum of type chtype (0 TV, 1 radio): ChannelLogoID of the
// position of its satellite, the network and stream IDs of its transponder and its service
// ID; 0 when the service, its satellite or its transponder cannot be read.
uint64_t LogoManager_GetChannelID(int chtype, int chnum);
// The first TV, then radio, service whose logo ID is logoId: 1 and its type and number
// (either output may be null), else 0.
int LogoManager_GetServiceNumByChannelID(uint64_t logoId, int *chtype, int *chnum);
// The first TV, then radio, service whose TAP API channel name is exactly name: 1 and its
// type and number; both outputs are 0 first, and an empty name finds nothing.
int findChannelByName(const char *name, int *chtype, int *chnum);
// The first service of type chtype on this satellite and transponder index with this
// service ID: 1 and its number, else 0.
int matchChannel(int chtype, int satIndex, int transponderIndex, int serviceId, int *chnum);
// The index of the first favourites group named exactly name, its record copied to record
// (may be null); -1 when none is, record untouched.
int FindFavouritesGroup(const char *name, FavouritesGroupRecord *record);

// Whether the PVR offers its analogue inputs: the firmware has "_isAnalogMode" and the two
// analogue functions the channel switch calls.
bool AnalogueInputAvailable();
