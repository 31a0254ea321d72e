// The logo API: the channel-logo sprite sheet that Orvane-Config.tap builds in the document
// root ("service-logos.png", ".css", ".txt", ".log"), checked at start-up, rebuilt on
// request (Orvane-Config.tap started in batch mode) and its index served.
#pragma once

// Starts a rebuild when any of the four files is missing (TAP_Main).
void checkLogos();
// "logo"/"logos" "rebuild": starts the rebuild and reports whether the start was made.
void APILogoRebuild();
// "logo"/"logos" "get" and "channel"/"channels" "getlogos": the index "service-logos.txt"
// as a file (entity tags and all), or 404.
void APILogoGet();
