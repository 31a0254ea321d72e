// Access control and routing of the request that has just been parsed.
#pragma once

// Decides whether the client may be served and sends the request to the API, a screen
// capture, a static file or an error answer.
void NetProcessCommand();

// Screen-capture request names: what (1 screen, 2 OSD, 3 programme) and format (1 PNG,
// 2 BMP, 3 TIFF) of a path, with or without its leading "/". False for other paths.
bool ScreenCaptureOf(const char *path, int *what, int *format);
