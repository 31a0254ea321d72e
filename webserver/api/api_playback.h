// Playback and recording control: play a recording, MP3 or media file, stop, pause and
// resume, jump within the playing file, stop a recording and change the duration of one.
#pragma once

enum {
  PLAY_FIELD_SIZE = 513,     // "dir", "file"
  PLAY_HEX_SIZE = 1026,      // "file_hex"
  PLAY_VALUE_SIZE = 128,     // numbers and jump values
  SLOT_NOT_VALID = 99,       // return code: no such slot, or nothing asked
};

// Jump errors ("error" of the jump answer).
enum {
  JUMP_OK = 0,
  JUMP_NO_PLAY_INFO = 1,
  JUMP_INVALID_VALUE = 3,
  JUMP_PAST_END = 4,
  JUMP_MOVE_FAILED = 5,
  JUMP_NO_BLOCKS = 6,
  JUMP_NO_DURATION = 7,      // a jump in seconds within a file of unknown duration
};

// "play": "dir" and "file" (URL-decoded) or "file_hex", "block". The folder must lie below
// "/mnt/" once normalised and the name must be one plain name (else status -1). Folders of
// "/mnt/hd/DataFiles" play as recordings and of "/mnt/hd/MP3Files" as MP3 (status 0:
// started), any other file as a media file (status 1: started).
void APIFilesPlay(const char *params);
// "stop", "stopplay".
void APIFilesStopPlayback();
// "pause" (request 0) and "continue"/"resume" (request 1). Play information that cannot be
// read changes nothing and answers error -1; a pause or resume that the firmware refuses
// answers -1 as well; 1 when the request needed no change.
void APIFilesPauseUnpause(int request);
// "skip", "jump": "time"/"sec"/"seconds" or "block"/"blocks" (these win), with "+", "-" or
// "=" in front; "nounpause"/"nocontinue", "noresume", "nohide". A backward jump stops at
// the start; a jump in seconds within a file of unknown duration is error 7.
void APIFilesJump(const char *params);
// "stoprec": "slot".
void APIFilesStopRecording(const char *params);
// "duration": "slot", "duration" (minutes).
void APIFilesRecDuration(const char *params);
