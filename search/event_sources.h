// The three EPG sources skimlet scans: the web server's dump of the PVR's EPG
// ("PVR.epg") and the SmartEPG database in its layouts 13 and 15. Every event read is
// tested by testMatching.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
  NAME_KEEP = 255,             // bytes of name and description kept
  TEXT_KEEP = 8191,            // bytes of extended text kept
  SE_NAME_READ = 256,          // bytes read of a SmartEPG name or description
  SE_TEXT_READ = 8192,         // bytes read of a SmartEPG extended text
};

int readPVREvents();
int readSEv13Events();
int readSEv15Events();

// 1 when some definition has no channel list or lists this channel.
int checkChannel(uint64_t channelId);

// Copies at most limit bytes of text to out (limit + 1 bytes) and terminates it; a
// UTF-8 character that the limit would cut is left out whole. Returns the bytes kept.
size_t keepText(const char *text, char *out, size_t limit);
