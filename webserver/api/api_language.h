// The language files of the browser application and of its modules.
#pragma once

// "language" "get": "lng" or "lang" (a language code; default the PVR's menu language)
// and "module" (optional). Serves "language-<code>.txt" of the application or of the
// module's "lng" folder, "language-en.txt" when that does not exist; 404 when the menu
// language has no code.
void APILanguageGet(const char *params);

// The code of an OSD language number ("en", "fr", ...), null when it has none.
const char *OsdLanguageCode(int language);
