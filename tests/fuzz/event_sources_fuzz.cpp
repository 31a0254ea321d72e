// Fuzzes skimlet's event sources with arbitrary files: the PVR dump "PVR.epg" and the
// SmartEPG databases of layouts 13 ("Event.db" with "EventExtDescr.db") and 15 (channel
// files in "EPGDB"). Every event read is matched against definitions that claim nearly
// all of them and delivered, as a results-file record or as the JSON of the results port.
//
// Input: one byte of choices (source in bits 0-1, port mode in bit 2, Australian firmware
// in bit 3, the PVR's character table in bits 4-7), then the file(s); two files are split
// by a 32-bit little-endian length of the first.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "platform/pvr_epg_format.h"
#include "platform/pvr_text.h"
#include "platform/smartepg_format.h"
#include "search/event_sources.h"
#include "search/search_definitions.h"
#include "search/skimlet.h"
#include "tests/fuzz/fuzz_root.h"

namespace {

const char kV13Events[] = SE_FOLDER "/" SE_V13_EVENT_FILE;
const char kV13Texts[] = SE_FOLDER "/" SE_V13_TEXT_FILE;
const char kV15First[] = SE_V15_FOLDER "/00c000010001000a.eventdb";
const char kV15Second[] = SE_V15_FOLDER "/00c0000200020014.eventdb";

std::string Line(const char *key, const std::string &value) {
  std::string line = key;
  line.resize(SEARCH_VALUE_COLUMN, ' ');
  return line + value + "\r\n";
}

// Two definitions: one for any channel that claims every event with an "e" in a text, one
// for a listed channel and a genre, so that both the channel and the genre checks run.
void LoadDefinitions() {
  std::string request = Line("SearchCount:", "2") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                        Line("Name:", "Any") + Line("RecordingMode:", "0") + Line("ChannelID:", "0") +
                        Line("Search:", "B;e;50") + Line("ChannelCount:", "1") + Line("TextCount:", "1") +
                        Line("Name:", "News") + Line("RecordingMode:", "0") +
                        Line("ChannelID:", "00c0000200020014") + Line("Search:", "A;*;50") +
                        Line("Genre:", "20") + Line("EndQuery:", "");
  memset(gSearchBuffer, 0, sizeof gSearchBuffer);
  memcpy(gSearchBuffer, request.data(), request.size());
  if (loadSearch(1) != 2) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  const char *folders[] = {"/mnt/hd/ProgramFiles/Settings/Orvane", SE_V15_FOLDER};
  fuzz::MakeRoot(folders, 2);
  ResetSkimletState();
  LoadDefinitions();
  resultsFile = fopen("/dev/null", "wb");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int choices = data[0];
  data++;
  size--;
  gResultsPort = choices & 4 ? DEFAULT_RESULTS_PORT : 0;   // port mode without a client
  gAUFirmwareFlag = (choices >> 3) & 1;
  gDefaultCharacterSet = (byte)(choices >> 4);
  gResultsCount = 0;

  const uint8_t *a, *b;
  size_t aSize, bSize;
  switch (choices & 3) {
    case 0:
    case 3:
      fuzz::WriteFile(PVR_EPG_PATH, data, size);
      readPVREvents();
      break;
    case 1:
      fuzz::SplitTwo(data, size, &a, &aSize, &b, &bSize);
      fuzz::WriteFile(kV13Events, a, aSize);
      fuzz::WriteFile(kV13Texts, b, bSize);
      readSEv13Events();
      break;
    case 2:
      fuzz::SplitTwo(data, size, &a, &aSize, &b, &bSize);
      fuzz::WriteFile(kV15First, a, aSize);
      fuzz::WriteFile(kV15Second, b, bSize);
      readSEv15Events();
      break;
  }
  if (gResultsCount < 0) abort();
  return 0;
}
