#include "search/result_delivery.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/byte_order.h"
#include "search/skimlet.h"
#include "search/websocket.h"

namespace {

// The address the listening socket binds to: any address on the PVR. On a PC the
// variable ORVANE_BIND_ADDRESS may name one (tests keep to the loopback address).
in_addr_t BindAddress() {
#ifndef ORVANE_PVR
  const char *text = getenv("ORVANE_BIND_ADDRESS");
  in_addr address;
  if (text && *text && inet_pton(AF_INET, text, &address) == 1) return address.s_addr;
#endif
  return htonl(INADDR_ANY);
}

void CloseListening() {
  if (gListeningSocket > 0) close(gListeningSocket);
  gListeningSocket = 0;
}

// Sends all bytes; false when the client is gone or does not take them in time.
bool SendAll(const void *data, size_t length) {
  const char *p = static_cast<const char *>(data);
  while (length > 0) {
    ssize_t n = send(gResultsSocket, p, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= (size_t)n;
  }
  return true;
}

}  // namespace

int initResultsPort() {
  gListeningSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (gListeningSocket < 0) {
    PrintLine(" ERROR - Unable to create listening socket. errno=%d.", errno);
    gListeningSocket = 0;
    return -2;
  }
  int flags = fcntl(gListeningSocket, F_GETFL, 0);
  int result = fcntl(gListeningSocket, F_SETFL, (flags < 0 ? 0 : flags) | O_NONBLOCK);
  if (result < 0) {
    PrintLine(" ERROR - 'fcntl' returned %d when selecting non-blocking mode on listening socket %d.", result,
              gListeningSocket);
    CloseListening();
    return -2;
  }
  int on = 1;
  if (setsockopt(gListeningSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
    PrintLine(" ERROR - Failed to set socket option on listening socket. errno=%d.", errno);
    CloseListening();
    return -2;
  }
  sockaddr_in address;
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = BindAddress();
  address.sin_port = htons((uint16_t)gResultsPort);
  if (bind(gListeningSocket, reinterpret_cast<sockaddr *>(&address), sizeof address) < 0) {
    PrintLine(" ERROR - Unable to bind listening socket to port %d. errno=%d.", gResultsPort, errno);
    CloseListening();
    return -2;
  }
  if (listen(gListeningSocket, 1024) < 0) {
    PrintLine(" ERROR - Unable to listen on port %d. errno=%d.", gResultsPort, errno);
    CloseListening();
    return -2;
  }

  for (;;) {
    bool late = time(nullptr) - t0 > SEARCH_TIME_LIMIT;
    if (late) {
      PrintLine(" ERROR - Timeout waiting for connection to port %d with socket %d.'.", gResultsPort,
                gListeningSocket);
    }
    int client = accept(gListeningSocket, nullptr, nullptr);
    if (client > 0) {
      gResultsSocket = client;
      // Sends wait for a slow client, but not for ever.
      timeval limit = {RESULTS_SEND_TIMEOUT, 0};
      setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      return client;
    }
    if (client == 0) close(client);
    if (late) return -1;
    usleep(100000);
  }
}

int checkForWebSocket(const char *data, size_t length, size_t *consumed) {
  if (consumed) *consumed = 0;
  static const char kPaths[][20] = {"GET /razuziziz HTTP", "GET /skimlet HTTP"};
  bool candidate = false;
  for (const char *path : kPaths) {
    size_t n = strlen(path);
    if (length >= n && memcmp(data, path, n) == 0) candidate = true;
  }
  if (!candidate) return 0;

  // The handshake ends with an empty line; anything after it is already frame data.
  size_t end = length;
  for (size_t i = 0; i + 3 < length; i++) {
    if (memcmp(data + i, "\r\n\r\n", 4) == 0) {
      end = i + 4;
      break;
    }
  }
  char reply[WS_REPLY_SIZE];
  if (!ws_parse_header(data, end, reply, sizeof reply)) {
    gWebSocketMode = 0;
    return 0;
  }
  if (gResultsSocket > 0) SendAll(reply, strlen(reply));
  gWebSocketMode = 1;
  if (consumed) *consumed = end;
  return 1;
}

int SendSocket(const char *data, size_t length) {
  if (gListeningSocket <= 0 || gResultsSocket <= 0) return 0;
  if (gWebSocketMode) {
    uint8_t header[WS_MAX_HEADER];
    size_t n = ws_create_frame_header(length, header, WS_OPCODE_TEXT, nullptr);
    if (n > 10) {
      PrintLine(" ERROR - SendSocket: buffer size to large for frame buffer");
      return 0;
    }
    if (!SendAll(header, n)) {
      PrintLine(" ERROR - Failed to send websocket frame header to client");
      return 0;
    }
  }
  if (!SendAll(data, length)) {
    PrintLine(" ERROR - Failed to send bytes to client");
    return 0;
  }
  return 1;
}

void sendProgress(int total, int done) {
  int percent = total > 0 ? (int)((long long)done * 100 / total) : 0;
  char text[32];
  int n = snprintf(text, sizeof text, "@@PROGRESS@@=%d", percent);
  PrintLine(" Sending progress [%s]{%d}", text, n);
  SendSocket(text, (size_t)n);
}

void writeResultHeader() {
  if (gResultsPort != 0) {
    char text[160];
    int n = snprintf(text, sizeof text, "{\r\n\"content\":\"epg_search_results\",\r\n\"source\":\"%s\",\r\n\"event\":\r\n[\r\n",
                     gSearchSource == SOURCE_SMARTEPG ? "smartepg" : "pvr");
    SendSocket(text, (size_t)n);
    return;
  }
  static const uint8_t header[RESULTS_FILE_HEADER_SIZE] = {'R', 'U', 'D', 'A', 'R', 'A', 0x00, 0x01};
  if (resultsFile) fwrite(header, 1, sizeof header, resultsFile);
}

void writeResultFooter() {
  if (gResultsPort != 0) {
    char text[64];
    int n = snprintf(text, sizeof text, "],\r\n\"count\":%d\r\n}\r\n", gResultsCount);
    SendSocket(text, (size_t)n);
    return;
  }
  uint8_t count[4];
  PutLE32(count, (uint32_t)gResultsCount);
  if (resultsFile) fwrite(count, 1, sizeof count, resultsFile);
}

void closeOutputs() {
  if (gResultsSocket > 0) close(gResultsSocket);
  gResultsSocket = 0;
  CloseListening();
  if (resultsFile) fclose(resultsFile);
  resultsFile = nullptr;
}
