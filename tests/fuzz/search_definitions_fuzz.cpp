// Fuzzes the search definitions: the text of a definitions file or of a request from the
// results port is parsed, every pattern converted and compiled, and one event matched
// against the result. The first byte chooses file or request; the rest is the text.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "search/matching.h"
#include "search/search_definitions.h"
#include "search/skimlet.h"
#include "tests/fuzz/fuzz_root.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

namespace {

const char kFolder[] = "/mnt/hd/ProgramFiles/Settings/Orvane";
const char kDefinitions[] = "/mnt/hd/ProgramFiles/Settings/Orvane/search.txt";

void CheckDefinitions(int loaded) {
  Check(loaded == -1 || loaded == gSearchCount);
  for (int i = 0; i < gSearchCount; i++) {
    const SearchDefinition &d = gSearchList[i];
    Check(strnlen(d.name, sizeof d.name) < sizeof d.name);
    Check(d.textCount >= 0 && d.textCount <= d.textCapacity);
    Check(d.channelCount >= 0 && d.channelCount <= d.channelCapacity);
    for (int t = 0; t < d.textCount; t++) {
      Check(strnlen(d.texts[t].text, sizeof d.texts[t].text) < sizeof d.texts[t].text);
      Check((d.texts[t].code == nullptr) == (d.texts[t].matchData == nullptr));
    }
  }
}

// An event that the usual definitions have a chance to claim, texts with references.
void MatchOneEvent() {
  static SkimletEvent event;
  memset(&event, 0, sizeof event);
  event.channelId = 0x00c000010001000aull;
  event.event.starttime = 60374u << 16 | 20 << 8 | 15;   // 2024/03/05 20:15
  event.event.endtime = 60374u << 16 | 21 << 8;
  event.event.duration = 45;
  event.event.contentidentifier = 0x20;
  snprintf(event.event.name, sizeof event.event.name, "Evening News &amp; Weather");
  snprintf(event.event.description, sizeof event.event.description, "Headlines &#233;t&eacute; &#x41;");
  snprintf(event.event.text, sizeof event.event.text, "Sport, news and the weather at 20:15.");
  gResultsCount = 0;
  int score = testMatching(&event);
  Check(gResultsCount == (score >= CLAIM_SCORE ? 1 : 0));
}

// makeRegexText on the text as one pattern, into a buffer of a size the input chooses.
void ConvertPattern(const char *text, size_t size) {
  char *regex = static_cast<char *>(malloc(size ? size : 1));
  makeRegexText(text, regex, size);
  if (size > 0) Check(strnlen(regex, size) < size);
  free(regex);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  const char *folders[] = {kFolder};
  fuzz::MakeRoot(folders, 1);
  ResetSkimletState();
  resultsFile = fopen("/dev/null", "wb");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  bool fromRequest = data[0] & 1;
  data++;
  size--;
  int loaded;
  if (fromRequest) {
    size_t n = size < SEARCH_BUFFER_SIZE - 1 ? size : SEARCH_BUFFER_SIZE - 1;
    memset(gSearchBuffer, 0, sizeof gSearchBuffer);
    memcpy(gSearchBuffer, data, n);
    loaded = loadSearch(1);
  } else {
    fuzz::WriteFile(kDefinitions, data, size);
    snprintf(gSearchFileName, sizeof gSearchFileName, "%s", kDefinitions);
    loaded = loadSearch(0);
  }
  CheckDefinitions(loaded);
  if (loaded > 0) MatchOneEvent();
  freeSearches();
  gShowProgress = 0;

  char *text = static_cast<char *>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  ConvertPattern(text, size > 0 ? data[0] * 3u : 0);
  ConvertPattern(text, SEARCH_REGEX_SIZE);
  free(text);
  return 0;
}
