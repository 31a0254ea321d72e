// The directory listing: one folder of the PVR's file systems with every entry's name,
// time, size and kind, and for files what their companions tell (the recording header
// ".inf", the navigation file ".nav"), the tags of MP3 files and the header of TAP files;
// and where the folder lives (link, mount point, device).
#pragma once

class JsonAnswer;

enum {
  FILES_DIR_SIZE = 512,                      // the "dir" parameter and the working folder
  FILES_NAME_SIZE = 128,                     // "file" / "file_hex"
  FILES_ANSWER_LIMIT = 1057792,              // the listing's answer at most
  FILES_ENTRY_ESTIMATE = 9216,               // first reservation per entry
};

// "files"/"file" "get": parameters "dir", "nofiles", "file", "file_hex". The folder must
// lie below "/mnt/" once normalised (links followed); "/DataFiles", "/ProgramFiles",
// "/MediaFiles" and "/PhotoFiles" stand for those folders of the disk.
void APIFilesGet(const char *params);

// The location lines of a folder (a normalised PVR path): "link", "mount", "dev", each
// with its "_hex" twin, and "location". False when they did not fit.
bool FilesGet_DirLocation(const char *path, JsonAnswer *answer);
