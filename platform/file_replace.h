// Whole files of the PVR's file system by absolute path ("/mnt/hd/..."), mapped through
// PvrPath. A file is replaced by writing a temporary file beside it ("<name>.tmp") and
// renaming that over it once everything was written, so a failed write leaves the old file.
// Results are 0 or an errno value.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include "platform/pvr_path.h"

// Reads the file into memory from CommonAlloc (freed with CommonFree), with a NUL after its
// length bytes. ENOENT when it does not exist, EFBIG when it holds more than limit bytes,
// ENOMEM when memory runs out.
int ReadWholeFile(const char *pvrPath, size_t limit, char **data, size_t *length);

// Whether pvrPath names an existing folder / an existing regular file.
int IsFolder(const char *pvrPath);
int IsRegularFile(const char *pvrPath);

// A file being replaced. Writes go to the temporary file; the first error is kept and
// makes ReplacingFileCommit fail.
struct ReplacingFile {
  FILE *file;
  int error;
  char path[PVR_PATH_SIZE];
  char temporary[PVR_PATH_SIZE];
};

int ReplacingFileOpen(ReplacingFile *replacing, const char *pvrPath);
// Appends count bytes.
int ReplacingFileWrite(ReplacingFile *replacing, const void *data, size_t count);
// Writes count bytes at offset (which lies within what was written), then goes on at
// the end again.
int ReplacingFileWriteAt(ReplacingFile *replacing, long offset, const void *data, size_t count);
// Closes the temporary file and renames it over the file; on any error removes it and
// returns the error. Returns the error when called after an earlier failure.
int ReplacingFileCommit(ReplacingFile *replacing);
// Gives up: closes and removes the temporary file.
void ReplacingFileAbandon(ReplacingFile *replacing);

// The whole replacement of a file with count bytes.
int ReplaceFile(const char *pvrPath, const void *data, size_t count);
