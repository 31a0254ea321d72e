// The HTTP/1.1 server inside the firmware's event loop: one non-blocking listening
// socket and at most one client connection, both polled from idle events. This module owns
// the socket state; the lifecycle only calls its functions.
#pragma once

#include <netinet/in.h>

#include "platform/tap_api.h"

#include "webserver/core/request_parser.h"

extern int gServerStatus;   // 0 no listening socket, 1 listening, 2 a client is connected
extern int gListenSocket, gInboundSocket;
extern int gConnectTicks;   // empty polls of the open connection
extern struct sockaddr_in gNexusServer, gNexusInbound;
extern int gHTTPstatus;   // 200 except while a 304, 401 or 404 is being sent
extern int gPowerFlag;   // 1 shut down, 2 reboot unless recording, 3 reboot regardless

void NetServerInit();
// One idle event's work: accept a connection while listening, read the open one.
void NetServerPoll();
void NetServerCheck();
void NetServerRead();
// Closes the open connection and the listening socket; status 0 (no socket).
void closeSockets();
void NetReadCommand(char *request, int length);
// Sends the answer, its header and length bytes of data together, and closes the connection.
// The send blocks until the client has taken it all or the send time-out passes without
// progress. A 304 has no payload; a 401's data is its whole head.
void NetHTTPRespond(const char *data, int length, const char *contentType, int cacheFlag);
void NetSend401();
void NetSend404();
