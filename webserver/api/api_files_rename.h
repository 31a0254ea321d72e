// Renaming and deleting a recording together with its companions: the files of the same
// name plus ".inf" (recording header) and plus ".nav" (navigation index).
#pragma once

enum {
  FILES_RENAME_FIELD_SIZE = 513,       // folders and names
  FILES_RENAME_HEX_SIZE = 1026,        // the hex form of a name
  FILES_RENAME = 1,
  FILES_DELETE = 2,
  FILES_RENAME_TARGET_EXISTS = 999,    // errno of a rename refused because a target exists
};

// "files"/"file" "rename" (mode 1) and "delete" (mode 2). Parameters: "dir"/"old_dir",
// "file"/"old_file", "file_hex"/"old_file_hex", "new_dir", "new_file" (URL-decoded;
// "/DataFiles" stands for "/mnt/hd/DataFiles").
//
// Every folder must lie below "/mnt/" once normalised (links followed) and every name must
// be one plain name; otherwise nothing is touched and each of the three files reports
// status -1 with errno EINVAL. The main file goes first: when it cannot be renamed or
// deleted, its companions are left as they are and report status -1 with errno ECANCELED.
// A companion that does not exist is no error (status 0, errno ENOENT). A rename onto an
// existing file, ".inf" or ".nav" is refused whole (statuses 1 for the targets that exist,
// errno 999). Without memory for the answer nothing is touched and nothing is sent.
void APIFilesRenameDelete(const char *params, int mode);
