// The ID3v2 tag of an MP3 file as the directory listing shows it: seven text frames
// (artist, title, album, track, year, genre, length), each with its text encoding and its
// first text in UTF-8. Tags of versions 2.2, 2.3 and 2.4 are read, with every text encoding
// (ISO 8859-1, UTF-16 with and without byte-order mark, UTF-16BE, UTF-8), unsynchronised
// tags and frames, and compressed frames.
//
// The frames are found by a bounded walk over the tag; each wanted frame is then decoded by
// libid3tag on its own, so that a damaged or empty frame costs only itself, and frames
// the listing does not show (cover art) are never read.
#pragma once

#include <stddef.h>
#include <stdio.h>

enum {
  MP3_TAG_FRAMES = 7,
  MP3_TAG_VALUE_SIZE = 2048,            // bytes of a value with its terminating zero
  MP3_TAG_FRAME_LIMIT = 64 * 1024,      // a wanted frame larger than this, stored or inflated, is not read
  MP3_TAG_UNSYNC_LIMIT = 1024 * 1024,   // bytes read of a tag unsynchronised as a whole
};

// The frames in the listing's order, with the member names it gives them.
enum Mp3TagFrameIndex {
  MP3_ARTIST, MP3_TITLE, MP3_ALBUM, MP3_TRACK, MP3_YEAR, MP3_GENRE, MP3_LENGTH,
};
struct Mp3TagField {
  const char *frameId;   // ID3v2.3/2.4 frame ID ("TPE1")
  const char *key;       // listing member ("artist")
};
extern const Mp3TagField gMp3TagFields[MP3_TAG_FRAMES];

struct Mp3TagFrame {
  bool present;
  int encoding;                     // the frame's text encoding byte, 0-3
  char text[MP3_TAG_VALUE_SIZE];    // its first text in UTF-8, cut at a character, terminated
};

struct Mp3Tags {
  int version;                      // 2, 3 or 4; 0 when the file has no readable tag
  Mp3TagFrame frame[MP3_TAG_FRAMES];
};

// Reads the tag of the file at a path of the machine running the code (map PVR paths with
// PvrPath first). Returns 1 when the file has an ID3v2 tag, 0 when not (tags cleared).
// Values: ISO 8859-1 texts are converted like PVR texts, from gDefaultCharacterSet;
// UTF-16 texts (surrogate pairs joined) and UTF-8 texts are written as UTF-8;
// UTF-16 without byte-order mark is taken as little-endian; a leading byte-order mark is
// not written. The year comes from "TYER", else from "TDRC"; the genre of a 2.2 or 2.3
// tag is given in that version's form ("(13)Pop").
int Mp3ReadTags(const char *path, Mp3Tags *tags);
// The same from an open file, read from its start.
int Mp3ReadTagsFromFile(FILE *file, Mp3Tags *tags);
