// Module folders: only folders count, not files beside them.
#include "webserver/api/module_folders.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/directory_stack.h"
#include "tests/unit/emulated_pvr.h"

TEST_F(EmulatedPvr, ModuleFoldersAreFoldersOnly) {
  const std::string modules = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/";
  std::vector<std::string> names;
  auto collect = [](const char *name, void *context) { static_cast<std::vector<std::string> *>(context)->push_back(name); };
  EXPECT_EQ(ForEachModuleFolder(collect, &names), 0);   // no modules folder
  WriteFile(modules + "clock/settings.ini", "");
  WriteFile(modules + "weather/lng/language-en.txt", "");
  WriteFile(modules + "readme.txt", "not a module");
  WriteFile(modules + "notes.ini", "");
  EXPECT_EQ(ForEachModuleFolder(collect, &names), 2);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"clock", "weather"}));
  EXPECT_EQ(ForEachModuleFolder(nullptr, nullptr), 2);
  char folder[512];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(folder, sizeof folder), 1);
  EXPECT_STREQ(folder, "/ProgramFiles/Settings/Orvane");
}
