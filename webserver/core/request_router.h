// Access control and routing of the request that has just been parsed.
#pragma once

// Decides whether the client may be served and sends the request to the API, a screen
// capture, a static file or an error answer.
void NetProcessCommand();
