#include "platform/epg_genre_format.h"

#include <string.h>

#include "common/text_helpers.h"

char gParental[PARENTAL_ENTRIES][PARENTAL_ENTRY_SIZE];
char gGenreDescription[GENRE_ENTRIES][GENRE_ENTRY_SIZE];
char gGenreDescriptionAU[GENRE_AU_ENTRIES][GENRE_ENTRY_SIZE];

void FindGenreDescription(int auFlag, int mode, uint8_t content, uint8_t sourceflag, char *text,
                          uint8_t *auMarker, uint8_t *code) {
  int lo = content & 0x0F;
  int hi = content >> 4;
  bool au = mode == GENRE_MODE_AU || (mode == GENRE_MODE_AUTO && auFlag != 0 && sourceflag == 0);
  int index;
  uint8_t genreCode;
  if (au) {
    index = lo != 0 ? lo : hi;
    genreCode = (uint8_t)(index * 16);
    if (text) CopyBounded(text, GENRE_ENTRY_SIZE, gGenreDescriptionAU[index], GENRE_ENTRY_SIZE);
  } else {
    index = lo != 0 ? (lo << 4 | hi) : content;
    genreCode = (uint8_t)index;
    if (text) CopyBounded(text, GENRE_ENTRY_SIZE, gGenreDescription[index], GENRE_ENTRY_SIZE);
  }
  if (auMarker) *auMarker = au ? 1 : 0;
  if (code) *code = genreCode;
}

void TerminateGenreTables() {
  for (int i = 0; i < PARENTAL_ENTRIES; i++) gParental[i][PARENTAL_ENTRY_SIZE - 1] = '\0';
  for (int i = 0; i < GENRE_ENTRIES; i++) gGenreDescription[i][GENRE_ENTRY_SIZE - 1] = '\0';
  for (int i = 0; i < GENRE_AU_ENTRIES; i++) gGenreDescriptionAU[i][GENRE_ENTRY_SIZE - 1] = '\0';
}
