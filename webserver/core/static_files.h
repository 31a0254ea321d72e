// Static files: the browser application from the document root, and files below "/mnt".
#pragma once

// Answers a request for path (length characters) with the file, a 304 or a 404.
void NetServeFile(const char *path, int length);

// The content type of a file name by its suffix (case-sensitive).
const char *ContentTypeOf(const char *name);
