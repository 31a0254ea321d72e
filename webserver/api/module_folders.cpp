#include "webserver/api/module_folders.h"

#include "platform/directory_stack.h"
#include "platform/tap_api.h"
#include "webserver/api/module_settings.h"

int ForEachModuleFolder(void (*visit)(const char *name, void *context), void *context) {
  PushedDir saved;
  if (!HDD_ChangeDir("/ProgramFiles/Settings/Orvane/public_html/modules")) return 0;
  int count = 0;
  TYPE_FolderEntry entry;
  for (dword more = TAP_Hdd_FindFirst(&entry); more; more = TAP_Hdd_FindNext(&entry)) {
    entry.name[sizeof entry.name - 1] = '\0';
    if (entry.attribute != ATTR_FOLDER || !IsValidModuleName(entry.name)) continue;
    if (visit) visit(entry.name, context);
    count++;
  }
  return count;
}
