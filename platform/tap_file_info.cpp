#include "platform/tap_file_info.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "common/mjd.h"
#include "platform/byte_order.h"
#include "platform/pvr_path.h"

namespace {

enum {
  SECTION_NAME_SIZE = 32,    // longer section names are none of the TAP's
  SHT_NOBITS_TYPE = 8,       // a section without bytes in the file
};

// What the reader needs of an ELF file: its size and where its section headers lie.
struct ElfLayout {
  uint64_t fileSize;
  bool is64;
  uint64_t sectionOffset;
  unsigned sectionSize, sectionCount, namesIndex;
};

// One section header: name offset, type, and the file bytes it covers.
struct ElfSection {
  uint32_t name;
  uint32_t type;
  uint64_t offset;
  uint64_t size;
};

// Whether offset + size lies within the file (without overflowing).
bool WithinFile(const ElfLayout &layout, uint64_t offset, uint64_t size) {
  return offset <= layout.fileSize && size <= layout.fileSize - offset;
}

bool ReadAt(FILE *file, uint64_t offset, void *out, size_t size) {
  return fseeko(file, (off_t)offset, SEEK_SET) == 0 && fread(out, 1, size, file) == size;
}

bool ReadLayout(FILE *file, ElfLayout *layout) {
  if (fseeko(file, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file);
  if (end < 52) return false;
  layout->fileSize = (uint64_t)end;
  byte header[64];
  if (!ReadAt(file, 0, header, 52) || memcmp(header, "\177ELF", 4) != 0 || header[5] != 1) return false;
  unsigned minimumEntry;
  if (header[4] == 2) {
    if (!ReadAt(file, 0, header, 64)) return false;
    layout->is64 = true;
    layout->sectionOffset = GetLE64(header + 0x28);
    layout->sectionSize = GetLE16(header + 0x3A);
    layout->sectionCount = GetLE16(header + 0x3C);
    layout->namesIndex = GetLE16(header + 0x3E);
    minimumEntry = 64;
  } else if (header[4] == 1) {
    layout->is64 = false;
    layout->sectionOffset = GetLE32(header + 0x20);
    layout->sectionSize = GetLE16(header + 0x2E);
    layout->sectionCount = GetLE16(header + 0x30);
    layout->namesIndex = GetLE16(header + 0x32);
    minimumEntry = 40;
  } else {
    return false;
  }
  // The whole section header table must lie within the file.
  return layout->sectionSize >= minimumEntry && layout->sectionSize <= 64 && layout->sectionCount > 0 &&
         layout->namesIndex < layout->sectionCount &&
         WithinFile(*layout, layout->sectionOffset, (uint64_t)layout->sectionCount * layout->sectionSize);
}

// Section i; false when it cannot be read or its bytes do not lie within the file.
bool ReadSection(FILE *file, const ElfLayout &layout, unsigned i, ElfSection *section) {
  byte entry[64];
  if (!ReadAt(file, layout.sectionOffset + (uint64_t)i * layout.sectionSize, entry, layout.sectionSize)) return false;
  section->name = GetLE32(entry);
  section->type = GetLE32(entry + 4);
  section->offset = layout.is64 ? GetLE64(entry + 0x18) : GetLE32(entry + 0x10);
  section->size = layout.is64 ? GetLE64(entry + 0x20) : GetLE32(entry + 0x14);
  if (section->type == SHT_NOBITS_TYPE) section->size = 0;
  return WithinFile(layout, section->offset, section->size);
}

// The name of a section from the names section, terminated; empty when it does not end
// within the names section or is too long to be one of the TAP's.
void ReadSectionName(FILE *file, const ElfSection &names, uint32_t offset, char *name) {
  name[0] = '\0';
  if (offset >= names.size) return;
  uint64_t left = names.size - offset;
  size_t count = left < (uint64_t)SECTION_NAME_SIZE ? (size_t)left : (size_t)SECTION_NAME_SIZE;
  if (!ReadAt(file, names.offset + offset, name, count) || !memchr(name, '\0', count)) name[0] = '\0';
}

// Copies the section's bytes into a text field of size bytes, cut and terminated.
void CopySection(FILE *file, const ElfSection &section, char *out, size_t size) {
  memset(out, 0, size);
  size_t length = section.size < size - 1 ? (size_t)section.size : size - 1;
  if (!ReadAt(file, section.offset, out, length)) memset(out, 0, size);
}

bool SameName(const char *a, const char *b) { return strcmp(a, b) == 0; }

}  // namespace

int ReadTapFileInfoFromFile(FILE *file, TapFileInfo *info) {
  if (!file || !info) return 0;
  memset(info, 0, sizeof *info);
  ElfLayout layout;
  ElfSection names;
  if (!ReadLayout(file, &layout) || !ReadSection(file, layout, layout.namesIndex, &names)) return 0;
  bool haveId = false;
  for (unsigned i = 0; i < layout.sectionCount; i++) {
    ElfSection section;
    char name[SECTION_NAME_SIZE];
    if (!ReadSection(file, layout, i, &section)) continue;
    ReadSectionName(file, names, section.name, name);
    if (SameName(name, "._tap_id")) {
      byte id[4];
      if (section.size >= 4 && ReadAt(file, section.offset, id, 4)) {
        info->id = GetLE32(id);
        haveId = true;
      }
    } else if (SameName(name, "._tap_program_name")) {
      CopySection(file, section, info->programName, sizeof info->programName);
    } else if (SameName(name, "._tap_author_name")) {
      CopySection(file, section, info->authorName, sizeof info->authorName);
    } else if (SameName(name, "._tap_description")) {
      CopySection(file, section, info->description, sizeof info->description);
    } else if (SameName(name, "._tap_program_version")) {
      CopySection(file, section, info->version, sizeof info->version);
    } else if (SameName(name, "._tap_etcinfo")) {
      CopySection(file, section, info->etcInfo, sizeof info->etcInfo);
    }
  }
  info->buildDate = ParseTapBuildDate(info->etcInfo);
  return haveId ? 1 : 0;
}

int ReadTapFileInfo(const char *path, TapFileInfo *info) {
  if (!path || !info) return 0;
  memset(info, 0, sizeof *info);
  FILE *file = fopen(path, "rb");
  if (!file) return 0;
  int result = ReadTapFileInfoFromFile(file, info);
  fclose(file);
  return result;
}

int HDD_TAP_GetInfo(const char *pvrPath, TapFileInfo *info) {
  if (!pvrPath || !info) return 0;
  memset(info, 0, sizeof *info);
  MappedPath path(pvrPath);
  return path.c_str() ? ReadTapFileInfo(path.c_str(), info) : 0;
}

word ParseTapBuildDate(const char *text) {
  static const char kMonths[] = "janfebmaraprmayjunjulaugsepoctnovdec";
  if (!text) return 0;
  // The first month name, the first number below 1000 (the day) and the first of four
  // digits (the year); other words and numbers (a time of day) are passed over.
  int day = 0, month = 0, year = 0;
  for (const char *p = text; *p;) {
    const char *start = p;
    if (isdigit((unsigned char)*p)) {
      while (isdigit((unsigned char)*p)) p++;
      long digits = p - start;
      int value = digits <= 4 ? atoi(start) : -1;
      if (digits == 4 && !year) year = value;
      if (digits <= 3 && !day) day = value;
    } else if (isalpha((unsigned char)*p)) {
      while (isalpha((unsigned char)*p)) p++;
      for (int m = 0; m < 12 && !month && p - start >= 3; m++) {
        if (tolower((unsigned char)start[0]) == kMonths[3 * m] && tolower((unsigned char)start[1]) == kMonths[3 * m + 1] &&
            tolower((unsigned char)start[2]) == kMonths[3 * m + 2]) {
          month = m + 1;
        }
      }
    } else {
      p++;
    }
  }
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (!month || day < 1 || day > kDays[month - 1] || year < 1900) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return 0;
  // The MJD must fit its 16 bits: 1900-03-01 to 2038-04-22.
  long order = year * 10000L + month * 100 + day;
  if (order < 19000301L || order > 20380422L) return 0;
  return DateToMjd(year, month, day);
}
