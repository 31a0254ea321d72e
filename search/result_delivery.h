// Delivery of the search results: binary records in a results file, or a JSON document
// streamed to one TCP client on the results port, raw or as WebSocket text frames, with
// progress messages between the pieces.
#pragma once

#include <stddef.h>

#define RESULTS_FILE_MAGIC "RUDARA"
#define FATAL_MESSAGE "@@@@FATAL@@@"

enum {
  RESULTS_FILE_HEADER_SIZE = 8,
  RESULTS_SEND_TIMEOUT = 30,   // seconds a send may wait for a client that does not read
};

// Opens the listening socket on gResultsPort and waits for one client (until 30 seconds
// after the start of the run). The client socket (> 0), -1 on time-out, -2 when the
// listening socket cannot be set up.
int initResultsPort();

// When data (length bytes) is a WebSocket opening handshake for this program, answers it,
// switches to WebSocket mode and returns 1; otherwise WebSocket mode is off and 0.
// *consumed receives the bytes the handshake took (may be null).
int checkForWebSocket(const char *data, size_t length, size_t *consumed);

// Sends data to the client: as one text frame in WebSocket mode. 1 on success, 0 when
// nothing could be sent (no client) or a send failed.
int SendSocket(const char *data, size_t length);

// Sends "@@PROGRESS@@=" and the percentage done.
void sendProgress(int total, int done);

// The results' opening and closing: the file header and trailing count, or the first and
// last pieces of the JSON document.
void writeResultHeader();
void writeResultFooter();

// Closes the client and listening sockets and the results file, whichever are open.
void closeOutputs();
