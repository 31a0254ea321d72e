// The LogoPainter of the TAP: each image is drawn on a fresh OSD region at (0, 0) of plane
// 0, the plane is synced and read back (TAP_Osd_GetPlaneBaseInfo), and its top-left 54 x 34
// pixels become the cell; then the region is deleted.
#pragma once

#include "config/logo_sprite_sheet.h"

// The painter; it keeps no state of its own.
const LogoPainter *OsdLogoPainter();

// Draws the built-in image which (0 "AV General", 1 "AV Composite", 2 "AV Component") at
// (x, y) of a region, 54 x 34 pixels.
void DrawAvImage(int region, dword x, dword y, int which);
