// The display texts of Orvane-Config.tap: the language table with its English defaults.
// A language file "Orvane-Config.lng" in "/ProgramFiles/Settings/Orvane" may replace any of
// them with lines "<index>=<text>" (UTF-8, "\n" for a line break).
#pragma once

enum { CONFIG_TEXTS = 35, CONFIG_TEXT_SIZE = 96 };

// Loads the language file when there is one.
void initialiseLanguage();
// The text of index, or defaultText when the language file has none.
const char *LangGetStringDefault(int index, const char *defaultText);
// The text of index with its English default.
const char *ConfigText(int index);
