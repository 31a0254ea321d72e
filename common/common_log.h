// The log that the helpers of common/ write to. These helpers are built into every
// deliverable, and each deliverable keeps its log its own way, so the deliverable that has
// one installs it here at start-up (Orvane.tap: its logging level and LogWriteEntry).
// Until something is installed, nothing is logged.
#pragma once

typedef void (*CommonLogWriter)(int level, const char *text);

// level: the deliverable's current logging level, read at every entry; writer: where
// entries go. Either null switches logging off.
void SetCommonLog(const int *level, CommonLogWriter writer);

// Whether an entry of this level would be written (test this before formatting).
int CommonLogEnabled(int level);
void CommonLogWrite(int level, const char *text);
