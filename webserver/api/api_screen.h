// Screen capture: the nine "@@" names answered with a picture of the PVR's screen.
#pragma once

// Captures what (1 screen: video and OSD, 2 OSD, 3 programme: video) and answers with it
// in format (1 PNG, 2 BMP, 3 TIFF), 1024 x 576 pixels; 404 when the picture cannot be
// made (memory, PNG encoder).
void APIScreenGet(int what, int format);
