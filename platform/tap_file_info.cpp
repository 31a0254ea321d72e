#include "platform/tap_file_info.h"

#include <stdio.h>
#include <string.h>

#include "platform/byte_order.h"

namespace {

// What the reader needs of an ELF file's section headers.
struct ElfLayout {
  bool is64;
  uint64_t sectionOffset;
  unsigned sectionSize, sectionCount, namesIndex;
};

bool ReadAt(FILE *file, uint64_t offset, void *out, size_t size) {
  return fseeko(file, (off_t)offset, SEEK_SET) == 0 && fread(out, 1, size, file) == size;
}

bool ReadLayout(FILE *file, ElfLayout *layout) {
  byte header[64];
  if (!ReadAt(file, 0, header, 52) || memcmp(header, "\177ELF", 4) != 0 || header[5] != 1) return false;
  layout->is64 = header[4] == 2;
  if (layout->is64) {
    if (!ReadAt(file, 0, header, 64)) return false;
    layout->sectionOffset = GetLE64(header + 0x28);
    layout->sectionSize = GetLE16(header + 0x3A);
    layout->sectionCount = GetLE16(header + 0x3C);
    layout->namesIndex = GetLE16(header + 0x3E);
  } else if (header[4] == 1) {
    layout->sectionOffset = GetLE32(header + 0x20);
    layout->sectionSize = GetLE16(header + 0x2E);
    layout->sectionCount = GetLE16(header + 0x30);
    layout->namesIndex = GetLE16(header + 0x32);
  } else {
    return false;
  }
  return layout->sectionSize >= 40 && layout->sectionSize <= 64 && layout->namesIndex < layout->sectionCount;
}

// Name offset, file offset and size of section i.
bool ReadSection(FILE *file, const ElfLayout &layout, unsigned i, uint32_t *name, uint64_t *offset,
                 uint64_t *size) {
  byte entry[64];
  if (!ReadAt(file, layout.sectionOffset + (uint64_t)i * layout.sectionSize, entry, layout.sectionSize)) return false;
  *name = GetLE32(entry);
  *offset = layout.is64 ? GetLE64(entry + 0x18) : GetLE32(entry + 0x10);
  *size = layout.is64 ? GetLE64(entry + 0x20) : GetLE32(entry + 0x14);
  return true;
}

// Copies the section's bytes (at most size, zero-filled beyond) into out.
void CopySection(FILE *file, uint64_t offset, uint64_t length, void *out, size_t size) {
  memset(out, 0, size);
  if (length > size) length = size;
  ReadAt(file, offset, out, (size_t)length);
  static_cast<char *>(out)[size - 1] = '\0';
}

}  // namespace

int ReadTapFileInfo(const char *path, TapFileInfo *info) {
  if (!path || !info) return 0;
  memset(info, 0, sizeof *info);
  FILE *file = fopen(path, "rb");
  if (!file) return 0;
  ElfLayout layout;
  uint32_t nameOffset;
  uint64_t namesAt = 0, namesSize = 0;
  bool ok = ReadLayout(file, &layout) &&
            ReadSection(file, layout, layout.namesIndex, &nameOffset, &namesAt, &namesSize);
  bool haveId = false;
  for (unsigned i = 0; ok && i < layout.sectionCount; i++) {
    uint64_t offset, size;
    char name[32] = "";
    if (!ReadSection(file, layout, i, &nameOffset, &offset, &size) || nameOffset >= namesSize) continue;
    uint64_t left = namesSize - nameOffset;
    if (!ReadAt(file, namesAt + nameOffset, name, left < sizeof name - 1 ? (size_t)left : sizeof name - 1)) continue;
    if (strcmp(name, "._tap_id") == 0 && size >= 4) {
      byte id[4];
      haveId = ReadAt(file, offset, id, 4);
      info->id = GetLE32(id);
    } else if (strcmp(name, "._tap_program_name") == 0) {
      CopySection(file, offset, size, info->programName, sizeof info->programName);
    } else if (strcmp(name, "._tap_author_name") == 0) {
      CopySection(file, offset, size, info->authorName, sizeof info->authorName);
    } else if (strcmp(name, "._tap_description") == 0) {
      CopySection(file, offset, size, info->description, sizeof info->description);
    } else if (strcmp(name, "._tap_program_version") == 0) {
      CopySection(file, offset, size, info->version, sizeof info->version);
    } else if (strcmp(name, "._tap_etcinfo") == 0) {
      CopySection(file, offset, size, info->etcInfo, sizeof info->etcInfo);
    }
  }
  fclose(file);
  return ok && haveId ? 1 : 0;
}
