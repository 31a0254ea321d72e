#include "search/skimlet_flow.h"

#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/pvr_path.h"
#include "platform/rivlib_log.h"
#include "search/event_sources.h"
#include "search/matching.h"
#include "search/result_delivery.h"
#include "search/rivlib_log.h"
#include "search/search_definitions.h"
#include "search/segv_handler.h"
#include "search/skimlet.h"
#include "search/websocket.h"

char gSearchFileName[SKIMLET_PATH_SIZE];
char gResultsFileName[SKIMLET_PATH_SIZE];
int gResultsPort;
int gSearchSource;
int gSEver;
int gAUFirmwareFlag;
char gSearchBuffer[SEARCH_BUFFER_SIZE];
int gShowProgress;
int gResultsCount;
int gWebSocketMode;
int gResultsSocket;
int gListeningSocket;
FILE *resultsFile;
time_t t0, t1;

void PrintLine(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fputs("\r\n", stdout);
}

FILE *OpenPvrFile(const char *pvrPath, const char *mode) {
  MappedPath path(pvrPath);
  return path.c_str() ? fopen(path.c_str(), mode) : nullptr;
}

void ResetSkimletState() {
  snprintf(gSearchFileName, sizeof gSearchFileName, "%s", SKIMLET_FOLDER "/bad_file_name.txt");
  snprintf(gResultsFileName, sizeof gResultsFileName, "%s", SKIMLET_FOLDER "/results.epg");
  gResultsPort = 0;
  gSearchSource = SOURCE_PVR;
  gSEver = 15;
  gAUFirmwareFlag = 0;
  memset(gSearchBuffer, 0, sizeof gSearchBuffer);
  gShowProgress = 0;
  gResultsCount = 0;
  gWebSocketMode = 0;
  gResultsSocket = 0;
  gListeningSocket = 0;
  resultsFile = nullptr;
  t0 = t1 = 0;
}

namespace {

void PrintHelp() {
  PrintLine("Usage: skimlet -h -a [australian] -d [definition] -r [results] -s [source].");
  PrintLine("%s", "");
  PrintLine("  -h:  Display this screen.");
  PrintLine("  -a:  Australian firmware. [0|1].");
  PrintLine("  -d:  Search definitions file. Partially compatible with 'Search.txt' from SmartEPG.");
  PrintLine("  -r:  Search results destination file name.");
  PrintLine("       If 'tcp:nnnn' is used search results will be written to a network port nnnn.");
  PrintLine("       This socket will respond to both raw and WebSocket connections.");
  PrintLine("  -s:  EPG source. [pvr|smartepg13|(smartepg|smartepg15)].");
}

// Sockets get the lowest free descriptors: keep 0, 1 and 2 taken so that no socket is 0.
void KeepStandardDescriptors() {
  for (;;) {
    int fd = open("/dev/null", O_RDWR);
    if (fd < 0) return;
    if (fd > 2) {
      close(fd);
      return;
    }
  }
}

// Collected request bytes: appends n bytes and keeps the buffer terminated. False when
// they do not fit.
bool AppendRequest(size_t *received, const char *data, size_t n) {
  if (*received + n >= SEARCH_BUFFER_SIZE) return false;
  memcpy(gSearchBuffer + *received, data, n);
  *received += n;
  gSearchBuffer[*received] = '\0';
  return true;
}

// WebSocket bytes received but not yet decoded.
uint8_t gFrames[SEARCH_BUFFER_SIZE];
size_t gFrameBytes;

// Decodes every complete frame collected so far and appends its payload to the request.
// 0, or -1 when the payload does not fit, -2 when the client closed the connection.
int DecodeFrames(size_t *received) {
  ws_frame frame;
  while (ws_frame_complete(gFrames, gFrameBytes, &frame)) {
    size_t total = frame.headerLength + (size_t)frame.payloadLength;
    if (frame.opcode == WS_OPCODE_CLOSE) return -2;
    if (frame.opcode <= WS_OPCODE_BINARY) {
      // Unmasked in place; the payload of a fragment joins the ones before it.
      uint8_t key[4] = {0, 0, 0, 0};
      bool masked = (gFrames[1] & 0x80) != 0;
      if (masked) memcpy(key, gFrames + frame.headerLength - 4, 4);
      uint8_t *payload = gFrames + frame.headerLength;
      for (size_t i = 0; i < (size_t)frame.payloadLength; i++) payload[i] ^= key[i % 4];
      PrintLine("++++++++++");
      PrintLine("%.*s", (int)frame.payloadLength, (const char *)payload);
      PrintLine("++++++++++");
      if (!AppendRequest(received, (const char *)payload, (size_t)frame.payloadLength)) return -1;
    }
    memmove(gFrames, gFrames + total, gFrameBytes - total);
    gFrameBytes -= total;
  }
  return 0;
}

}  // namespace

int parseOptions(int argc, char **argv) {
  if (argc <= 1) {
    PrintHelp();
    return 1;
  }
  optind = 1;
  int option;
  while ((option = getopt(argc, argv, "ha:d:r:s:")) != -1) {
    switch (option) {
      case 'h':
        PrintHelp();
        return 1;
      case 'a':
        gAUFirmwareFlag = (int)atol(optarg);
        PrintLine(" Using '%d' for AU firmware.", gAUFirmwareFlag);
        break;
      case 'd':
        snprintf(gSearchFileName, sizeof gSearchFileName, "%s", optarg);
        PrintLine(" Using '%s' for search definitions.", gSearchFileName);
        break;
      case 'r':
        snprintf(gResultsFileName, sizeof gResultsFileName, "%s", optarg);
        gWebSocketMode = 0;
        gResultsPort = 0;
        if (strncmp(optarg, "tcp:", 4) == 0) {
          long port = atol(optarg + 4);
          gResultsPort = (int)(port & 0xFFFF);
          if (gResultsPort == 0) gResultsPort = DEFAULT_RESULTS_PORT;
        }
        PrintLine(" Using '%s' for results.", gResultsFileName);
        break;
      case 's':
        if (strcmp(optarg, "pvr") == 0) {
          gSearchSource = SOURCE_PVR;
          PrintLine(" Using PVR for EPG source data.");
        } else if (strcmp(optarg, "smartepg") == 0 || strcmp(optarg, "smartepg15") == 0) {
          gSearchSource = SOURCE_SMARTEPG;
          gSEver = 15;
          PrintLine(" Using SmartEPG DB v15 for EPG source data.");
        } else if (strcmp(optarg, "smartepg13") == 0) {
          gSearchSource = SOURCE_SMARTEPG;
          gSEver = 13;
          PrintLine(" Using SmartEPG DB v13 for EPG source data.");
        }
        break;
      default:
        break;
    }
  }
  return 0;
}

int receiveRequest() {
  size_t received = 0;
  gSearchBuffer[0] = '\0';
  gFrameBytes = 0;
  bool complete = false;
  bool error = false;
  static char chunk[SEARCH_CHUNK + 1];

  for (;;) {
    PrintLine(" Reading from socket.");
    ssize_t n = recv(gResultsSocket, chunk, SEARCH_CHUNK, MSG_DONTWAIT);
    PrintLine(" Read %d bytes from socket.", (int)n);
    if (n > 0) {
      chunk[n] = '\0';
      if (gWebSocketMode) {
        if (gFrameBytes + (size_t)n > sizeof gFrames) {
          PrintLine(" ERROR - Input buffer too small for WebSocket data.");
          error = true;
          break;
        }
        memcpy(gFrames + gFrameBytes, chunk, (size_t)n);
        gFrameBytes += (size_t)n;
        int decoded = DecodeFrames(&received);
        if (decoded == -2) {
          PrintLine(" ERROR - The client closed the WebSocket connection.");
          error = true;
          break;
        }
        if (decoded == -1) {
          PrintLine(" ERROR - Input buffer too small for WebSocket data.");
          error = true;
          break;
        }
      } else {
        PrintLine("++++++++++");
        PrintLine("%s", chunk);
        PrintLine("++++++++++");
        if (!AppendRequest(&received, chunk, (size_t)n)) {
          PrintLine(" ERROR - Input buffer too small for WebSocket data.");
          error = true;
          break;
        }
      }
      if (strstr(gSearchBuffer, "EndQuery:")) complete = true;
    }
    if (received > SEARCH_REQUEST_LIMIT) {
      PrintLine(" ERROR - Input buffer too small for WebSocket data.");
      error = true;
      break;
    }
    PrintLine(" Got %d bytes.", (int)received);
    if (!gWebSocketMode && n > 0) {
      PrintLine(" WebSocket mode = %d.", gWebSocketMode);
      size_t consumed = 0;
      if (checkForWebSocket(chunk, (size_t)n, &consumed)) {
        // The handshake is not part of the request; bytes after it are frame data.
        received = 0;
        gSearchBuffer[0] = '\0';
        complete = false;
        memcpy(gFrames, chunk + consumed, (size_t)n - consumed);
        gFrameBytes = (size_t)n - consumed;
        if (DecodeFrames(&received) != 0) {
          PrintLine(" ERROR - Input buffer too small for WebSocket data.");
          error = true;
          break;
        }
        if (strstr(gSearchBuffer, "EndQuery:")) complete = true;
      }
      PrintLine(" WebSocket mode = %d.", gWebSocketMode);
    }
    usleep(100000);
    ssize_t waiting = recv(gResultsSocket, chunk, SEARCH_CHUNK, MSG_PEEK | MSG_DONTWAIT);
    PrintLine(" Peek ahead found %d bytes waiting.", (int)waiting);
    if (complete) {
      const char *end = strstr(gSearchBuffer, "EndQuery:");
      PrintLine(" Decoding WebSocket frame: received = %d, pos = %ld.", (int)received,
                end ? (long)(end - gSearchBuffer) : -1L);
      break;
    }
    if (time(nullptr) - t0 > SEARCH_TIME_LIMIT) {
      PrintLine(" ERROR - Timed-out reading socket data.");
      error = true;
      break;
    }
  }

  if (error) {
    PrintLine("Errors encountered, exiting.");
    return 1;
  }
  PrintLine("Got : -------START-------");
  PrintLine("%s", gSearchBuffer);
  PrintLine("--------END---------");
  return 0;
}

int skimletMain(int argc, char **argv) {
  SetRivlibLog(SkimletRivlibLogWrite);
  KeepStandardDescriptors();
  setvbuf(stdout, nullptr, _IOLBF, 0);
  PrintLine("skimlet - searches the EPG with regular expressions for the Orvane web control.");
  PrintLine("Part of Orvane, written by the Orvane developers.");
  ResetSkimletState();
  if (parseOptions(argc, argv)) return 0;

  t0 = time(nullptr);
  bool fromRequest = false;
  if (gResultsPort == 0) {
    resultsFile = OpenPvrFile(gResultsFileName, "wb");
    if (!resultsFile) {
      PrintLine("  ERROR - Unable to open results file '%s'.", gResultsFileName);
      return -3;
    }
  } else {
    PrintLine(" Writing results to TCP port %d.", gResultsPort);
    int client = initResultsPort();
    if (client < 1) {
      PrintLine(" ERROR - Error %d creating socket.", client);
      closeOutputs();
      freeSearches();
      return 0;
    }
    if (receiveRequest() != 0) {
      closeOutputs();
      return 1;
    }
    fromRequest = true;
  }

  installSegvHandler();

  int loaded = loadSearch(fromRequest ? 1 : 0);
  const char *from = fromRequest ? gResultsFileName : gSearchFileName;
  PrintLine(" Loaded %d search definitions from '%s'.", loaded, from);
  if (loaded < 1) {
    PrintLine(" ERROR - No search criteria found in '%s'.", from);
    closeOutputs();
    freeSearches();
    return 0;
  }

  gResultsCount = 0;
  loadParentalGenre();
  writeResultHeader();

  if (gSearchSource == SOURCE_PVR) {
    PrintLine(" Searching PVR EPG Events.");
    readPVREvents();
  } else {
    PrintLine(" Searching SmartEPG Events (DB ver %d).", gSEver);
    if (gSEver == 15) {
      readSEv15Events();
    } else {
      readSEv13Events();
    }
  }

  if (gShowProgress && gResultsPort != 0) sendProgress(1000, 1000);

  t1 = time(nullptr);
  writeResultFooter();
  closeOutputs();
  PrintLine(" Saved %d EPG events to '%s' in %ld seconds.", gResultsCount, gResultsFileName, (long)(t1 - t0));
  freeSearches();
  return 0;
}
