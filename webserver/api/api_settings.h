// The settings of the browser application ("Orvane-Client.ini") and of its modules
// ("public_html/modules/<module>/settings.ini"), key by key and as a list.
#pragma once

// "setting"/"settings" "get" (type 0), "set" (1), "delete" (2): "key", "value" (set only,
// URL-decoded), "module" (optional).
void APISetting(const char *params, int type);
// "setting"/"settings" "list": "module" (optional).
void APISettingList(const char *params);
