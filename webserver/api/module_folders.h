// The browser application's modules: the folders below "public_html/modules" whose names
// can name a module (IsValidModuleName). Files there are not modules.
#pragma once

// Calls visit for every module folder (the folder's name as the TAP file system gives it)
// and returns their number. The current folder is the same afterwards.
int ForEachModuleFolder(void (*visit)(const char *name, void *context), void *context);
