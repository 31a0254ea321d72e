// The settings the menu of Orvane-Config.tap edits, read from and written to the web
// server's settings files: "PVRName.ini" in "/ProgramFiles/Settings" (key "pvrname") and
// "Orvane.ini" in "/ProgramFiles/Settings/Orvane". What is written here is what the web
// server reads at its start and on the reload event.
#pragma once

#include <stddef.h>

enum {
  CONFIG_PVR_NAME_SIZE = 513,       // the web server's name buffer
  CONFIG_CREDENTIAL_SIZE = 64,      // user name, password: 63 characters each
  CONFIG_CREDENTIALS_MAX = 127,     // the longest Base64 token the web server reads
  CONFIG_BASE64_SIZE = 512,
};

struct ConfigSettings {
  char pvrName[CONFIG_PVR_NAME_SIZE];
  int port;              // 1..65535
  int loggingLevel;      // 0..3
  int epgSource;         // 0 PVR, 1 SmartEPG
  int authentication;    // 0 none, 1 external only, 2 all
  char userName[CONFIG_CREDENTIAL_SIZE];
  char password[CONFIG_CREDENTIAL_SIZE];
  int cacheControl;      // bit 0 on/off, bits 1-8 count cache resets
  int searchPort;        // 1..65535
  int epgCache;          // 0..10 (30 minutes each)
  int noAutoLogos;       // read, never written
};

extern ConfigSettings gConfig;

// The defaults: no name, port 8000, logging 0, EPG source 0, authentication 1, no
// credentials, cache control 1, search port 8800, EPG cache 0.
void ConfigDefaults(ConfigSettings *settings);

// Reads both files (missing files leave the defaults). When "rebuildlogos" is 1 it is
// removed from "Orvane.ini" at once and 1 is returned; else 0.
int loadINISettings(ConfigSettings *settings);

enum ConfigSaveResult {
  CONFIG_SAVED = 0,
  CONFIG_NEEDS_CREDENTIALS = 1,    // authentication on, user name or password empty
  CONFIG_CREDENTIALS_TOO_LONG = 2, // their Base64 form is longer than the server reads
  CONFIG_USER_HAS_COLON = 3,       // a user name cannot hold ":" in HTTP Basic credentials
  CONFIG_WRITE_FAILED = 4,
};

// Checks the settings and, when they can be used, writes both files. Nothing is written
// when a check fails. Keys of "Orvane.ini" that the menu does not edit are kept.
int saveINISettings(const ConfigSettings *settings);

// The Base64 credentials token of user name and password ("user:password") into out;
// 0 when it does not fit in size bytes.
int ConfigCredentialsToken(const char *userName, const char *password, char *out, size_t size);
