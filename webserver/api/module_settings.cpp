#include "webserver/api/module_settings.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "common/common_memory.h"
#include "common/json_answer.h"
#include "common/url_params.h"
#include "platform/file_replace.h"
#include "platform/key_lines.h"

namespace {

const char kClientFolder[] = "/mnt/hd/ProgramFiles/Settings/Orvane";
const char kClientFile[] = "/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Client.ini";
const char kModulesFolder[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/";
const char *const kContent[] = {"setting_get", "setting_set", "setting_delete"};

size_t FieldLength(const char *text) { return text ? strnlen(text, SETTING_FIELD_SIZE) : 0; }

// The folder that must exist: the client's, or the module's.
int FolderOf(const char *module, char *out, size_t size) {
  bool client = !module || !*module;
  if (!client && !IsValidModuleName(module)) return SETTINGS_BAD_MODULE;
  int n = client ? snprintf(out, size, "%s", kClientFolder) : snprintf(out, size, "%s%s", kModulesFolder, module);
  return n > 0 && (size_t)n < size ? SETTINGS_OK : SETTINGS_TOO_LONG;
}

// A JSON string of a span of a text (which need not end after it).
void Quoted(JsonAnswer *answer, const char *text, size_t length) {
  if (length == 0) {
    answer->Cat("\"\"");
  } else {
    answer->String(text, (int)length);
  }
}

// Loads the settings text of module; a missing file is an empty text (*existed 0).
int LoadSettings(const char *module, KeyText *keys, char *path, size_t pathSize, int *existed) {
  keys->text = nullptr;
  keys->length = keys->capacity = 0;
  *existed = 0;
  char folder[PVR_PATH_SIZE];
  int result = FolderOf(module, folder, sizeof folder);
  if (result == SETTINGS_OK) result = SettingsFilePath(module, path, pathSize);
  if (result != SETTINGS_OK) return result;
  if (!IsFolder(folder)) return SETTINGS_NO_MODULE;
  char *data;
  size_t length;
  int error = ReadWholeFile(path, SETTINGS_FILE_LIMIT, &data, &length);
  if (error == ENOENT) return SETTINGS_OK;
  if (error == ENOMEM) return SETTINGS_NO_MEMORY;
  if (error) return SETTINGS_READ_FAILED;
  KeyTextAdopt(keys, data, length);
  *existed = 1;
  return SETTINGS_OK;
}

int SaveSettings(const char *path, const KeyText *keys) {
  return ReplaceFile(path, keys->text, keys->length) == 0 ? SETTINGS_OK : SETTINGS_SAVE_FAILED;
}

// The decoded value of a set, checked: into out (SETTING_FIELD_SIZE bytes).
int DecodeValue(const char *value, char *out, size_t *length) {
  out[0] = '\0';
  *length = 0;
  if (!value) value = "";
  size_t raw = strlen(value);
  if (raw >= (size_t)SETTINGS_FILE_LIMIT) return SETTINGS_TOO_LONG;
  int decoded = URLdecode(value, nullptr);
  if (decoded < 0) return SETTINGS_BAD_VALUE;
  if (decoded > SETTING_FIELD_SIZE) return SETTINGS_TOO_LONG;
  URLdecode(value, out);
  *length = (size_t)decoded - 1;
  // A decoded NUL would end the value early: the text is then shorter than the count.
  if (strlen(out) != *length || !KeyLineValueIsValid(out, *length)) return SETTINGS_BAD_VALUE;
  return SETTINGS_OK;
}

// What an answer reports besides the result.
struct Outcome {
  int status;
  const char *value;      // the value shown
  size_t valueLength;
  char *ownedValue;       // a copy from CommonAlloc, when the value had to be kept
};

int Apply(int operation, const char *module, const char *key, const char *value, char *decoded,
          Outcome *outcome) {
  size_t keyLength = FieldLength(key);
  if (operation == SETTINGS_SET) {
    int result = DecodeValue(value, decoded, &outcome->valueLength);
    if (result != SETTINGS_OK) return result;
    outcome->value = decoded;
  }
  if (keyLength >= SETTING_FIELD_SIZE) return SETTINGS_TOO_LONG;
  if (!KeyLineKeyIsValid(key, keyLength)) return SETTINGS_BAD_KEY;

  KeyText keys;
  char path[PVR_PATH_SIZE];
  int existed;
  int result = LoadSettings(module, &keys, path, sizeof path, &existed);
  if (result != SETTINGS_OK) return result;
  KeyLine line;
  bool found = KeyLineFind(keys.text, keys.length, key, keyLength, &line);
  bool save = !existed;
  if (operation == SETTINGS_SET) {
    if (KeyTextSet(&keys, key, keyLength, decoded, outcome->valueLength) != 0) result = SETTINGS_NO_MEMORY;
    save = true;
  } else if (found) {
    // The value the key had, kept apart from the text a delete changes.
    outcome->ownedValue = static_cast<char *>(CommonAlloc(line.valueLength + 1));
    if (!outcome->ownedValue) {
      result = SETTINGS_NO_MEMORY;
    } else {
      memcpy(outcome->ownedValue, line.value, line.valueLength);
      outcome->value = outcome->ownedValue;
      outcome->valueLength = line.valueLength;
    }
    if (result == SETTINGS_OK && operation == SETTINGS_DELETE) {
      KeyTextDelete(&keys, key, keyLength);
      save = true;
    }
  }
  if (result == SETTINGS_OK && save) result = SaveSettings(path, &keys);
  KeyTextFree(&keys);
  if (result == SETTINGS_OK) outcome->status = operation == SETTINGS_GET ? (found ? 1 : 0) : 1;
  return result;
}

// The timestamp is the PVR's date text (PVRDateToJSON), which needs no escaping.
const char *Stamp(const char *timestamp) { return timestamp ? timestamp : ""; }

void ErrorMembers(JsonAnswer *answer, int result) {
  if (result == SETTINGS_OK) return;
  answer->Printf(",\r\n\"error_code\":%d,\r\n\"error_text\":\"%s\"", result, SettingsErrorText(result));
}

void WriteAnswer(JsonAnswer *answer, int operation, const char *key, const Outcome &outcome, int result,
                 const char *timestamp) {
  answer->Printf("{\"timestamp\":\"%.63s\",\r\n\"content\":\"%s\",\r\n\"status\":%d,\r\n",
                 Stamp(timestamp), kContent[operation], outcome.status);
  answer->Cat("\"setting_key\":");
  Quoted(answer, key ? key : "", FieldLength(key));
  answer->Cat(",\r\n\"setting_value\":");
  Quoted(answer, outcome.value, outcome.valueLength);
  ErrorMembers(answer, result);
  answer->Cat("\r\n}\r\n");
}

}  // namespace

const char *SettingsErrorText(int result) {
  switch (result) {
    case SETTINGS_OK: return "No error";
    case SETTINGS_BAD_MODULE: return "Invalid module name";
    case SETTINGS_NO_MODULE: return "Module not found";
    case SETTINGS_BAD_KEY: return "Invalid key";
    case SETTINGS_BAD_VALUE: return "Invalid value";
    case SETTINGS_TOO_LONG: return "Key or value too long";
    case SETTINGS_READ_FAILED: return "Error reading settings file";
    case SETTINGS_SAVE_FAILED: return "Error saving settings file";
    case SETTINGS_NO_MEMORY: return "Out of memory";
    default: return "Unknown error";
  }
}

int IsValidModuleName(const char *module) {
  size_t length = FieldLength(module);
  if (length == 0 || length >= SETTING_FIELD_SIZE || strstr(module, "..")) return 0;
  if (strcmp(module, ".") == 0) return 0;
  for (size_t i = 0; i < length; i++) {
    unsigned char c = (unsigned char)module[i];
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return 0;
  }
  return 1;
}

int SettingsFilePath(const char *module, char *out, size_t size) {
  int n;
  if (!module || !*module) {
    n = snprintf(out, size, "%s", kClientFile);
  } else {
    if (!IsValidModuleName(module)) return SETTINGS_BAD_MODULE;
    n = snprintf(out, size, "%s%s/settings.ini", kModulesFolder, module);
  }
  return n > 0 && (size_t)n < size ? SETTINGS_OK : SETTINGS_TOO_LONG;
}

int SettingsAnswer(JsonAnswer *answer, int operation, const char *module, const char *key,
                   const char *value, const char *timestamp) {
  if (operation < SETTINGS_GET || operation > SETTINGS_DELETE) operation = SETTINGS_GET;
  char decoded[SETTING_FIELD_SIZE];
  Outcome outcome = {0, "", 0, nullptr};
  int result = Apply(operation, module, key, value, decoded, &outcome);
  WriteAnswer(answer, operation, key, outcome, result, timestamp);
  CommonFree(outcome.ownedValue);
  return result;
}

void SettingsRefusedAnswer(JsonAnswer *answer, int operation, const char *key, int result, const char *timestamp) {
  if (operation < SETTINGS_GET || operation > SETTINGS_DELETE) operation = SETTINGS_GET;
  Outcome outcome = {0, "", 0, nullptr};
  WriteAnswer(answer, operation, key, outcome, result, timestamp);
}

int SettingsListEntries(JsonAnswer *answer, const char *text, size_t length) {
  int count = 0;
  size_t at = 0;
  KeyLine line;
  answer->Cat("\"setting\":");
  while (KeyLineNext(text, length, &at, &line)) {
    char first = line.key[0];
    if (line.start == line.end || first == '#' || first == '/' || first == '\'' || first == '\r') continue;
    if (!line.hasValue || line.keyLength == 0) continue;
    int mark = answer->BeginRecord();
    answer->Cat(count == 0 ? "\r\n\t{\r\n\t" : "\r\n\t,\r\n\t");
    Quoted(answer, line.key, line.keyLength);
    answer->Cat(":");
    Quoted(answer, line.value, line.valueLength);
    if (!answer->EndRecord(mark)) break;
    count++;
  }
  answer->Cat(count ? "\r\n\t},\r\n" : "{},\r\n");
  return count;
}

int SettingsListAnswer(JsonAnswer *answer, const char *module, const char *timestamp) {
  answer->Printf("{\"content\":\"setting_list\",\r\n\"timestamp\":\"%.63s\",\r\n", Stamp(timestamp));
  KeyText keys;
  char path[PVR_PATH_SIZE];
  int existed;
  int result = LoadSettings(module, &keys, path, sizeof path, &existed);
  int count = SettingsListEntries(answer, keys.text, keys.length);
  KeyTextFree(&keys);
  if (result != SETTINGS_OK) {
    answer->Printf("\"error_code\":%d,\r\n\"error_text\":\"%s\",\r\n", result, SettingsErrorText(result));
  }
  answer->Printf("\"count\":%d}\r\n", count);
  return result;
}
