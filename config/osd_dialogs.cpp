#include "config/osd_dialogs.h"

#include <stdio.h>
#include <string.h>

namespace {

enum : dword { BOX = 0xF0182038, FRAME = 0xFFB0B8D0, WHITE = 0xFFFFFFFF, GREY = 0xFF8088A0, CELL = 0xFF303850,
               CURSOR = 0xFFE0A020, BLACK = 0xFF000000, GREEN = 0xFF20A040, YELLOW = 0xFFD0C020, BLUE = 0xFF2050D0 };
enum { COLUMNS = 12, SPECIALS = 3, CELL_W = 44, CELL_H = 28, MAX_ROWS = 5 };
const dword kWidth = COLUMNS * CELL_W + 20, kHeight = 82 + MAX_ROWS * CELL_H + 50;

// The character sets, UTF-8.
const char *const kSets[] = {"abcdefghijklmnopqrstuvwxyz0123456789-_.@",
                             "!\"#$%&'()*+,/:;<=>?[\\]^`{|}~",
                             "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xAB\xC3\xA1\xC3\xA0\xC3\xA2"
                             "\xC3\xAD\xC3\xAC\xC3\xAE\xC3\xB3\xC3\xB2\xC3\xB4\xC3\xBA\xC3\xB9\xC3\xBB\xC3\xB1\xC3\xA7"
                             "\xC3\xA5\xC3\xB8\xC3\xA6"};
const char *const kSpecials[SPECIALS] = {"Space", "Del", "OK"};

struct Keyboard {
  bool open;
  int region;
  char title[96];
  const char *legend[4];
  char text[KEYBOARD_LIMIT + 1];
  int limit;
  int set, cell;
  bool caps;
} gKeyboard = {false, -1, "", {}, "", 0, 0, 0, false};

struct Message {
  bool open;
  int region;
} gMessage = {false, -1};

int CharLength(byte lead) { return lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4; }

// The characters of the current set: count, and the one at index into out (capitals when on).
int SetSize(int set) {
  int n = 0;
  for (const char *p = kSets[set]; *p; p += CharLength((byte)*p)) n++;
  return n;
}

void SetChar(int set, int index, bool caps, char *out) {
  const char *p = kSets[set];
  for (int i = 0; i < index && *p; i++) p += CharLength((byte)*p);
  int n = CharLength((byte)*p);
  memcpy(out, p, (size_t)n);
  out[n] = '\0';
  if (!caps) return;
  if (n == 1 && out[0] >= 'a' && out[0] <= 'z') out[0] = (char)(out[0] - 32);
  // Latin-1 small letters U+00E0..U+00FE but the division sign: capital 0x20 below.
  if (n == 2 && (byte)out[0] == 0xC3 && (byte)out[1] >= 0xA0 && (byte)out[1] != 0xB7 && (byte)out[1] != 0xBF) {
    out[1] = (char)((byte)out[1] - 0x20);
  }
}

int Cells() { return SetSize(gKeyboard.set) + SPECIALS; }

void DrawKeyboard() {
  int r = gKeyboard.region;
  dword width = kWidth;
  TAP_Osd_FillBox(r, 0, 0, kWidth, kHeight, BOX);
  TAP_Osd_DrawRectangle(r, 0, 0, kWidth, kHeight, 2, FRAME);
  TAP_Osd_PutS(r, 10, 8, width - 10, gKeyboard.title, WHITE, 0, 0, FNT_Size_1926, ALIGN_CENTER);
  TAP_Osd_FillBox(r, 10, 40, width - 20, 30, BLACK);
  char shown[KEYBOARD_LIMIT + 2];
  snprintf(shown, sizeof shown, "%s_", gKeyboard.text);
  TAP_Osd_PutS(r, 16, 45, width - 16, shown, WHITE, 0, 0, FNT_Size_1622, ALIGN_LEFT);
  for (int i = 0; i < Cells(); i++) {
    dword x = 10 + (dword)(i % COLUMNS) * CELL_W, y = 82 + (dword)(i / COLUMNS) * CELL_H;
    char label[8];
    int special = i - SetSize(gKeyboard.set);
    if (special >= 0) {
      snprintf(label, sizeof label, "%s", kSpecials[special]);
    } else {
      SetChar(gKeyboard.set, i, gKeyboard.caps, label);
    }
    bool current = i == gKeyboard.cell;
    TAP_Osd_FillBox(r, x + 1, y + 1, CELL_W - 2, CELL_H - 2, current ? CURSOR : CELL);
    TAP_Osd_PutS(r, x + 1, y + 5, x + CELL_W - 1, label, current ? BLACK : WHITE, 0, 0,
                 special >= 0 ? FNT_Size_1419 : FNT_Size_1622, ALIGN_CENTER);
  }
  dword legendY = 82 + MAX_ROWS * CELL_H + 14;
  const dword colours[4] = {GREY, GREEN, YELLOW, BLUE};
  for (int i = 0; i < 4; i++) {
    dword x = 10 + (dword)i * (width - 20) / 4;
    TAP_Osd_FillBox(r, x, legendY + 3, 14, 14, colours[i]);
    TAP_Osd_PutS(r, x + 18, legendY, x + (width - 20) / 4, gKeyboard.legend[i] ? gKeyboard.legend[i] : "", WHITE, 0,
                 0, FNT_Size_1419, ALIGN_LEFT);
  }
}

// Appends a character when it fits within the limit.
void Type(const char *character) {
  size_t used = strlen(gKeyboard.text), n = strlen(character);
  if (used + n > (size_t)gKeyboard.limit) return;
  memcpy(gKeyboard.text + used, character, n + 1);
}

void DeleteLast() {
  size_t n = strlen(gKeyboard.text);
  while (n > 0 && ((byte)gKeyboard.text[n - 1] & 0xC0) == 0x80) n--;   // continuation bytes
  if (n > 0) n--;
  gKeyboard.text[n] = '\0';
}

}  // namespace

void OsdKeyboardOpen(const char *title, const char *text, int limit, const char *const legend[4]) {
  OsdKeyboardClose();
  gKeyboard.limit = limit < 0 ? 0 : limit > KEYBOARD_LIMIT ? KEYBOARD_LIMIT : limit;
  snprintf(gKeyboard.title, sizeof gKeyboard.title, "%s", title ? title : "");
  for (int i = 0; i < 4; i++) gKeyboard.legend[i] = legend ? legend[i] : nullptr;
  // The text to edit, cut to the limit without splitting a character.
  size_t n = 0;
  for (const char *p = text ? text : ""; *p;) {
    size_t c = (size_t)CharLength((byte)*p);
    if (n + c > (size_t)gKeyboard.limit || strnlen(p, c) < c) break;
    memcpy(gKeyboard.text + n, p, c);
    n += c;
    p += c;
  }
  gKeyboard.text[n] = '\0';
  gKeyboard.set = gKeyboard.cell = 0;
  gKeyboard.caps = false;
  gKeyboard.region = TAP_Osd_Create((720 - kWidth) / 2, 90, kWidth, kHeight, 0, 0);
  gKeyboard.open = true;
  DrawKeyboard();
}

bool OsdKeyboardIsOpen() { return gKeyboard.open; }
const char *OsdKeyboardText() { return gKeyboard.text; }

void OsdKeyboardClose() {
  if (gKeyboard.region >= 0) TAP_Osd_Delete(gKeyboard.region);
  gKeyboard.region = -1;
  gKeyboard.open = false;
}

int OsdKeyboardKey(dword key) {
  if (!gKeyboard.open) return KEYBOARD_CANCELLED;
  int cells = Cells(), chars = SetSize(gKeyboard.set);
  int &cell = gKeyboard.cell;
  switch (key) {
    case RKEY_Exit:
      return KEYBOARD_CANCELLED;
    case RKEY_Left: cell = (cell + cells - 1) % cells; break;
    case RKEY_Right: cell = (cell + 1) % cells; break;
    case RKEY_Up: cell = cell >= COLUMNS ? cell - COLUMNS : cell; break;
    case RKEY_Down: cell = cell + COLUMNS < cells ? cell + COLUMNS : cell; break;
    case RKEY_Green:
      gKeyboard.set = (gKeyboard.set + 1) % (int)(sizeof kSets / sizeof kSets[0]);
      cell = 0;
      break;
    case RKEY_Yellow: gKeyboard.caps = !gKeyboard.caps; break;
    case RKEY_Blue: gKeyboard.text[0] = '\0'; break;
    case RKEY_Ok:
      if (cell < chars) {
        char character[8];
        SetChar(gKeyboard.set, cell, gKeyboard.caps, character);
        Type(character);
      } else if (cell == chars) {
        Type(" ");
      } else if (cell == chars + 1) {
        DeleteLast();
      } else {
        return KEYBOARD_DONE;
      }
      break;
    default:
      if (key >= RKEY_0 && key <= RKEY_9) {
        char digit[2] = {(char)('0' + (key - RKEY_0)), 0};
        Type(digit);
      }
      break;
  }
  DrawKeyboard();
  return KEYBOARD_OPEN;
}

void OsdMessageOpen(const char *title, const char *text) {
  OsdMessageClose();
  gMessage.region = TAP_Osd_Create(160, 200, 400, 170, 0, 0);
  gMessage.open = true;
  int r = gMessage.region;
  TAP_Osd_FillBox(r, 0, 0, 400, 170, BOX);
  TAP_Osd_DrawRectangle(r, 0, 0, 400, 170, 2, FRAME);
  TAP_Osd_PutS(r, 10, 10, 390, title ? title : "", WHITE, 0, 0, FNT_Size_1926, ALIGN_CENTER);
  char lines[256];
  snprintf(lines, sizeof lines, "%s", text ? text : "");
  dword y = 50;
  for (char *line = lines; line && y < 120; y += 24) {
    char *end = strchr(line, '\n');
    if (end) *end = '\0';
    TAP_Osd_PutS(r, 10, y, 390, line, WHITE, 0, 0, FNT_Size_1622, ALIGN_CENTER);
    line = end ? end + 1 : nullptr;
  }
  TAP_Osd_FillBox(r, 160, 126, 80, 30, CURSOR);
  TAP_Osd_PutS(r, 160, 131, 240, "OK", BLACK, 0, 0, FNT_Size_1622, ALIGN_CENTER);
}

bool OsdMessageIsOpen() { return gMessage.open; }

void OsdMessageClose() {
  if (gMessage.region >= 0) TAP_Osd_Delete(gMessage.region);
  gMessage.region = -1;
  gMessage.open = false;
}
