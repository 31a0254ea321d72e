// The settings of the browser application and of its modules: key=value files that the
// browser reads and changes key by key, and lists.
//
//   client:  "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini"
//   module:  "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/<module>/settings.ini"
//
// Keys are matched whole at the start of a line (setting "name" leaves "username" alone).
// A changed file is written through a temporary file and renamed into place. A module is a
// folder that exists; its name is not empty and holds no "/" and no "..". Keys, values and
// module names are refused, not cut, when they are longer than their fields.
//
// The handlers (APISetting, APISettingList) scan their parameters, take the timestamp,
// call these and send the answer; the answer builder keeps every answer bounded.
#pragma once

#include <stddef.h>

class JsonAnswer;

enum {
  SETTING_FIELD_SIZE = 513,                 // key, value and module: at most 512 bytes
  SETTINGS_FILE_LIMIT = 1024 * 1024,        // a larger settings file is not read
};

enum SettingsOperation { SETTINGS_GET = 0, SETTINGS_SET = 1, SETTINGS_DELETE = 2 };

// Results; the answer carries them as "error_code" with the texts of SettingsErrorText.
enum SettingsResult {
  SETTINGS_OK = 0,
  SETTINGS_BAD_MODULE = 1,      // "Invalid module name"
  SETTINGS_NO_MODULE = 2,       // "Module not found"
  SETTINGS_BAD_KEY = 3,         // "Invalid key"
  SETTINGS_BAD_VALUE = 4,       // "Invalid value" (CR, LF, NUL or a broken escape)
  SETTINGS_TOO_LONG = 5,        // "Key or value too long"
  SETTINGS_READ_FAILED = 6,     // "Error reading settings file"
  SETTINGS_SAVE_FAILED = 7,     // "Error saving settings file"
  SETTINGS_NO_MEMORY = 8,       // "Out of memory"
};
const char *SettingsErrorText(int result);

// 1 when module may name a module folder: 1 to 512 bytes, no "/", "\", "..", control
// bytes. Also for the modules' language files.
int IsValidModuleName(const char *module);
// The PVR path of the settings file of module (null or empty: the client's). 0 or an
// error result.
int SettingsFilePath(const char *module, char *out, size_t size);

// APISetting: carries out a get, set or delete of key (value: the parameter as sent, URL-
// decoded here) and writes the whole answer:
//   {"timestamp":..., "content":"setting_get|set|delete", "status":..., "setting_key":...,
//    "setting_value":...}
// with "error_code" and "error_text" before the closing brace when it failed (status 0).
// A get of a missing file creates it empty, as the browser expects. Returns the result.
int SettingsAnswer(JsonAnswer *answer, int operation, const char *module, const char *key,
                   const char *value, const char *timestamp);

// The answer of APISetting for a request that was refused before it was carried out
// (result: why), in the same form: status 0, the key as sent, no value.
void SettingsRefusedAnswer(JsonAnswer *answer, int operation, const char *key, int result, const char *timestamp);

// APISettingList: the entries of the module's (or client's) file:
//   {"content":"setting_list", "timestamp":..., "setting":{...}, "count":N}
// with "error_code"/"error_text" before "count" for a bad or missing module or an
// unreadable file. A missing file lists nothing. Returns the result.
int SettingsListAnswer(JsonAnswer *answer, const char *module, const char *timestamp);

// The "setting" member for a settings text: skips lines beginning with "#", "/", "'" or
// CR and lines without "=" or without a key; entries are records of the answer, so a full
// answer stops them. Returns the number of entries written.
int SettingsListEntries(JsonAnswer *answer, const char *text, size_t length);
