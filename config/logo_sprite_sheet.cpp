#include "config/logo_sprite_sheet.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/common_memory.h"
#include "common/json_answer.h"
#include "platform/file_replace.h"
#include "platform/png_codec.h"
#include "platform/pvr_text.h"

const int gLogosAcross = 20;

namespace {

const char kLogosTap[] = "/ProgramFiles/Settings/Logos";
const char kLogosPvr[] = "/mnt/hd/ProgramFiles/Settings/Logos";
const char kOutput[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/service-logos";
const int kSheetWidth = 20 * LOGO_CELL_WIDTH;   // gLogosAcross cells
enum { NAME_INPUT = 128, NAME_TEXT = 4 * NAME_INPUT + 1, LOGO_STYLE = 4, LOGO_SIZE = 0, LOGO_ASPECT = 1 };

struct FixedCell {
  const char *cssClass;
  const char *title;
  const char *logoId;
  int svcnum;
};
const FixedCell kFixed[3] = {{"av-general", "AV General", "ffffffffffffff00", 0},
                             {"av-composite", "AV Composite", "ffffffffffffff02", 2},
                             {"av-component", "AV Component", "ffffffffffffff04", 4}};

int RoundToRow(int cells) { return (cells + gLogosAcross - 1) / gLogosAcross * gLogosAcross; }

// The three text files and where the run's lines go.
struct SheetTexts {
  JsonAnswer *css, *json, *log;
  void (*console)(const char *text);
};

void Log(SheetTexts *texts, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Log(SheetTexts *texts, const char *format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  texts->log->Cat(line);
  if (texts->console) texts->console(line);
}

// A channel name as UTF-8 for the CSS comments: control bytes become blanks and "*/"
// cannot end the comment.
void CssCommentText(const char *utf8, char *out, size_t size) {
  size_t n = 0;
  for (const char *p = utf8; *p && n + 3 < size; p++) {
    unsigned char c = (unsigned char)*p;
    out[n++] = c < 0x20 || c == 0x7F ? ' ' : (char)c;
    if (c == '*' && p[1] == '/') out[n++] = ' ';
  }
  out[n] = '\0';
}

// The same for the HTML-ish log: markup characters as references.
void HtmlText(const char *utf8, char *out, size_t size) {
  size_t n = 0;
  for (const char *p = utf8; *p; p++) {
    unsigned char c = (unsigned char)*p;
    const char *ref = c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : c == '"' ? "&quot;"
                    : c == '\'' ? "&#39;" : nullptr;
    char single[2] = {(char)(c < 0x20 || c == 0x7F ? ' ' : c), 0};
    const char *text = ref ? ref : single;
    size_t add = strlen(text);
    if (n + add >= size) break;
    memcpy(out + n, text, add);
    n += add;
  }
  out[n] = '\0';
}

void Utf8Name(const char *name, char *out) {
  char input[NAME_INPUT];
  snprintf(input, sizeof input, "%s", name ? name : "");
  StrToUTF8(input, out, gDefaultCharacterSet);
}

void JsonEntry(SheetTexts *texts, bool first, const char *logoId, int svctype, int svcnum, int x, int y) {
  texts->json->Printf("%s{\"logoid\":\"%s\",\r\n\"svctype\":%d,\r\n\"svcnum\":%d,\r\n\"sprite_x\":%d,\r\n"
                      "\"sprite_y\":%d}\r\n",
                      first ? "" : ",", logoId, svctype, svcnum, x, y);
}

// Copies a cell into the sheet at cell index (when the sheet holds it).
void PutCell(byte *sheet, int cells, int index, const byte *cell) {
  if (index >= cells) return;
  int column = index % gLogosAcross, row = index / gLogosAcross;
  for (int y = 0; y < LOGO_CELL_HEIGHT; y++) {
    byte *to = sheet + ((size_t)(row * LOGO_CELL_HEIGHT + y) * kSheetWidth + (size_t)(column * LOGO_CELL_WIDTH)) * 4;
    memcpy(to, cell + y * LOGO_CELL_WIDTH * 4, LOGO_CELL_WIDTH * 4);
  }
}

// A PNG logo of the logo folder: 1 when it exists (*used tells whether it filled the cell).
int PngLogo(SheetTexts *texts, const char *file, byte *cell, bool *used) {
  *used = false;
  char path[PVR_PATH_SIZE];
  snprintf(path, sizeof path, "%s/%s", kLogosPvr, file);
  Log(texts, "   Looking for '%s/%s'.<br>\r\n", kLogosTap, file);
  if (!IsRegularFile(path)) return 0;
  char *data = nullptr;
  size_t size = 0;
  byte *pixels = nullptr;
  unsigned width = 0, height = 0;
  unsigned error = ReadWholeFile(path, LOGO_FILE_LIMIT, &data, &size) != 0
                       ? 1
                       : PngDecodeRGBA((const byte *)data, size, LOGO_PNG_MAX_PIXELS, &pixels, &width, &height);
  CommonFree(data);
  Log(texts, "   Loaded PNG w = %u, h = %u.<br>\r\n", width, height);
  if (error) Log(texts, "   PNG not decoded: %s.<br>\r\n", PngErrorText(error));
  if (!error && width == LOGO_CELL_WIDTH && height == LOGO_CELL_HEIGHT) {
    memcpy(cell, pixels, LOGO_CELL_BYTES);
    *used = true;
  }
  CommonFree(pixels);
  return 1;
}

// Finds the channel's logo and draws it into cell; source gets where it came from.
bool FindLogo(SheetTexts *texts, const LogoSheetOptions *options, const LogoChannel &channel,
              const char *safeName, const char *htmlName, byte *cell, char *source, size_t sourceSize) {
  char file[NAME_TEXT + 32];
  bool used;
  snprintf(file, sizeof file, "%016llx.png", (unsigned long long)channel.logoId);
  if (PngLogo(texts, file, cell, &used)) {
    if (used) snprintf(source, sourceSize, "%s/%s", kLogosTap, file);
  } else if (*safeName) {
    snprintf(file, sizeof file, "%s.png", safeName);
    if (PngLogo(texts, file, cell, &used) && used) snprintf(source, sourceSize, "%s/%s", kLogosTap, file);
  }
  if (used) return true;

  const LogoPainter *painter = options->painter;
  LogoRecord *record = options->store ? LogoStoreFindChannel(options->store, safeName, channel.logoId, LOGO_STYLE,
                                                             LOGO_SIZE, LOGO_ASPECT)
                                      : nullptr;
  dword length = 0;
  const byte *image = record ? LogoStoreImage(options->store, record, &length) : nullptr;
  if (image && painter && painter->storeLogo &&
      painter->storeLogo(painter->context, image, length, channel.name ? channel.name : "", cell)) {
    snprintf(source, sourceSize, "LIL QTL");
    Log(texts, "   Found LGSZ_qtl.<br>\r\n");
    return true;
  }
  if (record) Log(texts, "   The logo store's image of '%s' could not be drawn.<br>\r\n", record->name);
  Log(texts, "   %s: LGSZ_qtl: NONE.<br>\r\n", htmlName);

  for (int pass = 0; pass < 2; pass++) {
    if (pass == 0) {
      snprintf(file, sizeof file, "%016llx.jpg", (unsigned long long)channel.logoId);
    } else {
      if (!*safeName) break;
      snprintf(file, sizeof file, "%s.jpg", safeName);
    }
    char path[PVR_PATH_SIZE];
    snprintf(path, sizeof path, "%s/%s", kLogosPvr, file);
    if (!IsRegularFile(path)) continue;
    char tapPath[PVR_PATH_SIZE];
    snprintf(tapPath, sizeof tapPath, "%s/%s", kLogosTap, file);
    if (painter && painter->jpeg && painter->jpeg(painter->context, tapPath, cell)) {
      snprintf(source, sourceSize, "%s", tapPath);
      return true;
    }
    Log(texts, "   JPEG '%s' could not be drawn.<br>\r\n", tapPath);
    break;   // the first JPEG that exists decides
  }
  return false;
}

bool WriteText(const char *suffix, const JsonAnswer &text) {
  char path[PVR_PATH_SIZE];
  snprintf(path, sizeof path, "%s%s", kOutput, suffix);
  return text.Ok() && !text.Cut() && ReplaceFile(path, text.Data(), (size_t)text.Length()) == 0;
}

}  // namespace

void CopyOsdCell(const byte *plane, dword pitch, byte *cell) {
  for (int y = 0; y < LOGO_CELL_HEIGHT; y++) {
    const byte *from = plane + (size_t)y * pitch;
    byte *to = cell + y * LOGO_CELL_WIDTH * 4;
    for (int x = 0; x < LOGO_CELL_WIDTH; x++, from += 4, to += 4) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      to[3] = from[3];
    }
  }
}

int BuildLogoSpriteSheet(const LogoChannel *channels, int count, const LogoSheetOptions *options,
                         LogoSheetReport *report) {
  LogoSheetReport ignored;
  if (!report) report = &ignored;
  memset(report, 0, sizeof *report);
  if (count < 0 || (count > 0 && !channels)) count = 0;
  JsonAnswer css, json, log;
  SheetTexts texts = {&css, &json, &log, options->console};
  const LogoPainter *painter = options->painter;

  if (options->prelude) log.Cat(options->prelude);
  int channelCount = count + LOGO_FIXED_CELLS;
  int estimated = RoundToRow(channelCount);
  report->channels = channelCount;
  json.Printf("{\"content\":\"logos\",\r\n\"timestamp\":\"%.63s\",\r\n\"logos\":\r\n[\r\n",
              options->timestamp ? options->timestamp : "");
  Log(&texts, "Channel count = %d, image count = %d.<br>\r\n\r\n", channelCount, estimated);
  Log(&texts, "Estimated image dimensions = %d x %d (Width x Height).<br>\r\n\r\n", kSheetWidth,
      estimated * LOGO_CELL_HEIGHT / gLogosAcross);

  int cells = estimated < LOGO_SHEET_MAX_CELLS ? estimated : LOGO_SHEET_MAX_CELLS;
  size_t sheetBytes = (size_t)cells * LOGO_CELL_BYTES;
  byte *sheet = static_cast<byte *>(CommonAlloc(sheetBytes));
  byte *cell = static_cast<byte *>(CommonAlloc(LOGO_CELL_BYTES));
  if (!sheet || !cell) {
    Log(&texts, "<b>ERROR</b> - unable to allocate %u bytes for the image.<br>\r\n", (unsigned)sheetBytes);
    cells = 0;
  } else {
    memset(sheet, 0, sheetBytes);
  }

  for (int i = 0; i < 3; i++) {
    css.Printf(".logo-%s\t{background-position: -%dpx 0px;}\t/*  %s [Internal] */\r\n", kFixed[i].cssClass,
               (i + 1) * LOGO_CELL_WIDTH, kFixed[i].title);
    if (cell) {
      memset(cell, 0, LOGO_CELL_BYTES);
      if (painter && painter->builtIn && painter->builtIn(painter->context, i, cell)) PutCell(sheet, cells, i + 1, cell);
    }
    JsonEntry(&texts, i == 0, kFixed[i].logoId, 99, kFixed[i].svcnum, (i + 1) * LOGO_CELL_WIDTH, 0);
  }

  int placed = LOGO_FIXED_CELLS;
  for (int i = 0; i < count; i++) {
    const LogoChannel &channel = channels[i];
    char safeName[LOGO_NAME_FIELD] = "";
    size_t prefix = channel.svcType == 1 ? 2 : 0;
    if (prefix) memcpy(safeName, "r_", 3);
    LogoManager_ChannelNameToLogoName(channel.name, safeName + prefix, sizeof safeName - prefix);
    if (!safeName[prefix]) safeName[0] = '\0';   // no name left: nothing to look for
    char utf8[NAME_TEXT], htmlName[2 * NAME_TEXT], cssName[NAME_TEXT + NAME_INPUT];
    Utf8Name(channel.name, utf8);
    HtmlText(utf8, htmlName, sizeof htmlName);
    CssCommentText(utf8, cssName, sizeof cssName);
    Log(&texts, "<br><b>Processing: %d/%d, Channel: '%s', LogoID: '%016llx', Channel PC safe name: '%s'.</b><br>\r\n",
        i + 1, count, htmlName, (unsigned long long)channel.logoId, safeName);

    char source[PVR_PATH_SIZE] = "";
    bool found = cell && (memset(cell, 0, LOGO_CELL_BYTES),
                          FindLogo(&texts, options, channel, safeName, htmlName, cell, source, sizeof source));
    if (!found) {
      Log(&texts, "   Logo not found.<br>\r\n");
      css.Printf(".logo-%016llx\t{background-position: 0px 0px;}\t/*  %s  [No Logo] */\r\n",
                 (unsigned long long)channel.logoId, cssName);
      continue;
    }
    int column = placed % gLogosAcross, row = placed / gLogosAcross;
    Log(&texts, "   Adding logo %s to column %d, row %d, ID = 0x%016llx.<br>\r\n", source, column, row,
        (unsigned long long)channel.logoId);
    char sourceText[PVR_PATH_SIZE];
    CssCommentText(source, sourceText, sizeof sourceText);
    css.Printf(".logo-%016llx\t{background-position: %dpx %dpx;}\t/*  %s [%s] */\r\n",
               (unsigned long long)channel.logoId, -(column * LOGO_CELL_WIDTH), -(row * LOGO_CELL_HEIGHT), cssName,
               sourceText);
    char id[17];
    snprintf(id, sizeof id, "%016llx", (unsigned long long)channel.logoId);
    JsonEntry(&texts, false, id, channel.svcType, channel.svcNum, column * LOGO_CELL_WIDTH, row * LOGO_CELL_HEIGHT);
    PutCell(sheet, cells, placed, cell);
    placed++;
  }
  report->logos = placed - LOGO_FIXED_CELLS;
  Log(&texts, "<br>%d channel logos found out of %d channels.<br>\r\n\r\n", report->logos, channelCount);

  int used = RoundToRow(placed);
  if (used > LOGO_SHEET_MAX_CELLS) {
    Log(&texts, "<b>WARNING</b> - Too many logos found, only processing %d of %d.<br>\r\n\r\n", LOGO_SHEET_MAX_CELLS,
        used);
    used = LOGO_SHEET_MAX_CELLS;
  }
  report->width = kSheetWidth;
  report->height = used * LOGO_CELL_HEIGHT / gLogosAcross;
  Log(&texts, "Actual image dimensions = %d x %d (Width x Height).<br>\r\n\r\n", report->width, report->height);

  byte *png = nullptr;
  size_t pngSize = 0;
  report->pngError = sheet && cells >= used ? PngEncodeRGBA(sheet, (unsigned)report->width, (unsigned)report->height,
                                                            &png, &pngSize)
                                            : 83;
  CommonFree(sheet);
  CommonFree(cell);
  if (report->pngError) {
    char line[256];
    snprintf(line, sizeof line, "error %u: %s\n", report->pngError, PngErrorText(report->pngError));
    if (options->console) options->console(line);
    report->failedFiles++;
  } else {
    char path[PVR_PATH_SIZE];
    snprintf(path, sizeof path, "%s.png", kOutput);
    if (ReplaceFile(path, png, pngSize) != 0) report->failedFiles++;
  }
  CommonFree(png);

  json.Printf("],\r\n\"count\":%d}\r\n", placed);
  report->failedFiles += !WriteText(".css", css) + !WriteText(".txt", json) + !WriteText(".log", log);
  return report->failedFiles ? -1 : 0;
}
