// createLogoFile: the logo sprite sheet of the PVR's channels, with the logo store made
// ready first (the user's packs collected and unpacked, "Logos.lil" made or extended,
// "Logo.cache" built when missing) and the OSD drawing the store's bitmaps and JPEGs.
#pragma once

#include "config/logo_sprite_sheet.h"

// Builds the four sprite sheet files; fills report when given. Returns 0 when all four
// were written.
int createLogoFile(LogoSheetReport *report);
