// The disk's identification: the model, serial number and firmware revision texts of its
// ATA IDENTIFY DEVICE data, as the kernel reports them in "/proc/ide/hda/identify" (the 256
// words of the data in hexadecimal, blank- and line-separated). A text holds two
// characters a word, the first in the word's high byte.
#pragma once

#include <stddef.h>

enum {
  ATA_IDENTIFY_WORDS = 256,
  ATA_SERIAL_WORD = 10,        // 10 words, 20 characters
  ATA_SERIAL_SIZE = 20,
  ATA_FIRMWARE_WORD = 23,      // 4 words, 8 characters
  ATA_FIRMWARE_SIZE = 8,
  ATA_MODEL_WORD = 27,         // 20 words, 40 characters
  ATA_MODEL_SIZE = 40,
};

// The texts as stored, trailing blanks removed; the serial number without its leading
// blanks too. Each ends at its first NUL, if any.
struct DriveIdentity {
  char model[ATA_MODEL_SIZE + 1];
  char serial[ATA_SERIAL_SIZE + 1];
  char firmware[ATA_FIRMWARE_SIZE + 1];
};

// Decodes length bytes of the kernel's text. False (every text empty) when it holds fewer
// words than the model text needs or a word that is not hexadecimal.
bool DecodeDriveIdentity(const char *text, size_t length, DriveIdentity *identity);

// Reads and decodes "/proc/ide/hda/identify"; false (every text empty) when that fails.
bool ReadDriveIdentity(DriveIdentity *identity);
