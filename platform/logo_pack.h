// The logo packs the user brings: "LogoPack.tar", "Logos.lil" and "lil.add" on a USB drive
// are moved into the logo folder, and "LogoPack.tar" is unpacked there with the PVR's
// busybox tar ("/mnt/hd/ProgramFiles/busybox").
//
// A pack is untrusted. It is listed first and refused whole when an entry is anything but a
// plain file or folder (links included), has an absolute name or a ".." segment, or the
// listing cannot be read. An accepted pack is unpacked into a temporary folder of the logo
// folder, whose plain files are then moved into place; the pack is deleted (with
// "Logo.cache", which the new logos outdate) only when all of that succeeded.
#pragma once

// Where the user's packs are looked for: "/mnt/sd<b..e>/<name>" and "/mnt/sd<b..e>1/<name>".
// Moves each of the three files found into folder (a PVR path). Returns how many moved.
int LogoPackCollect(const char *folder);

enum LogoPackResult {
  LOGO_PACK_NONE = 0,          // no "LogoPack.tar"
  LOGO_PACK_EXTRACTED = 1,
  LOGO_PACK_REFUSED = 2,       // an entry that may not be unpacked; the pack is kept
  LOGO_PACK_FAILED = 3,        // listing, unpacking or moving failed; the pack is kept
};

struct LogoPackReport {
  int files;                   // plain files moved into the logo folder
  char reason[160];            // why a pack was refused or failed
};

// Unpacks folder/"LogoPack.tar" as described above.
int LogoPackExtract(const char *folder, LogoPackReport *report);

// Whether one name of a pack's listing may be unpacked: not empty, not absolute, no ".."
// segment, no control bytes.
int LogoPackNameIsSafe(const char *name);
