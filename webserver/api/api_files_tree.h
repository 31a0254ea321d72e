// The folder tree: every folder below a start folder, for the browser's folder picker.
#pragma once

class JsonAnswer;

enum {
  FILES_TREE_DIR_SIZE = 513,            // the "dir" parameter
  FILES_TREE_ANSWER_SIZE = 1050624,     // the answer at most: 1 MiB of folders and the tail
  FILES_TREE_OPEN_FOLDERS = 9,          // folders the walk keeps open at most
};

// "files"/"file" "tree": parameter "dir" (URL-decoded; default "/mnt/hd/DataFiles"), a
// folder below "/mnt/" once normalised and its links followed. The folders are found by a
// walk that does not follow symbolic links; "truncated" is 1 when the walk stopped because
// the answer was full.
void APIFilesTree(const char *params);

// The request's answer, the folders listed and whether the walk stopped for size (reset
// at the start of every request).
extern JsonAnswer *Gapitext;
extern int GtreeCount;
extern int GtreeTruncated;
