// Uploads: the body of a POST stored as a file below "/mnt/". The part of a longer body
// that did not arrive with the request is read from the connection itself. The file is
// written through a temporary file renamed into place once the whole body is stored, so a
// failed upload leaves the old file as it was.
#pragma once

#include "platform/file_replace.h"

enum {
  STORE_BUFFER_MAX = 65536,     // bytes received at a time
  STORE_TIMEOUT_TICKS = 200,    // an upload ends after this long without data
};

// "files"/"file" "store"/"save"/"put" and "setting"/"settings" "store": "filename" or
// "filename_hex" (an absolute path below "/mnt/" without ".." segments), "append" (1
// appends to the file, anything else replaces it).
void APIFilesStore(const char *params);

// Writes the request's body, Content-Length bytes at most, to file: what arrived with the
// request, then the rest from the connection. stored counts the bytes written. 0, or an
// errno value: of a failed write or receive, ENOMEM for the receive buffer, ETIMEDOUT when
// the rest stops coming, ECONNRESET when the client ends the connection early.
int fwrite_post_data(ReplacingFile *file, int *stored);

// Creates the folders on the way to the last "/" of path (a normalised PVR path below
// "/mnt/"), mode 0777; the mount points right below "/mnt" are never created. 1 when they
// all exist, 0 (errno set) when one cannot be made or is a file.
int force_dir(const char *path);
