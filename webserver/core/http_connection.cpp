#include "webserver/core/http_connection.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/firmware_hooks.h"
#include "platform/recording_slots.h"
#include "webserver/core/logging.h"
#include "webserver/core/request_parser.h"
#include "webserver/core/request_router.h"
#include "webserver/core/settings.h"

int gServerStatus;
int gListenSocket, gInboundSocket;
int gConnectTicks;
struct sockaddr_in gNexusServer, gNexusInbound;
int gHTTPstatus = 200;
int gPowerFlag;

namespace {

enum {
  RECEIVE_SPARE = 2048,      // zero bytes after the request, so it is always terminated
  READ_TIMEOUT_POLLS = 101,  // empty polls before an idle connection is dropped
  HEADER_SIZE = 10240,
  SEND_TIMEOUT_SECONDS = 30, // a client that stops reading cannot stall the PVR for longer
};

void CloseListening() { close(gListenSocket); }

// Sends the parts on the client connection in one sendmsg, and again from where it stopped
// after a partial send (a signal, or the send time-out while the client reads slowly).
// Returns the bytes sent, or the failed call's result when nothing was sent.
long SendParts(struct iovec *parts, int count) {
  long total = 0;
  while (count > 0 && parts->iov_len == 0) {
    parts++;
    count--;
  }
  while (count > 0) {
    struct msghdr message = {};
    message.msg_iov = parts;
    message.msg_iovlen = (size_t)count;
    ssize_t sent = sendmsg(gInboundSocket, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return total > 0 ? total : (long)sent;
    total += sent;
    for (; count > 0 && (size_t)sent >= parts->iov_len; parts++, count--) sent -= (ssize_t)parts->iov_len;
    if (count > 0) {
      parts->iov_base = static_cast<char *>(parts->iov_base) + sent;
      parts->iov_len -= (size_t)sent;
    }
  }
  return total;
}

// The share of a send's result that fell to a part of length bytes after offset bytes:
// what was sent of it, or the failed call's result when nothing at all was sent.
long SentOfPart(long sent, int offset, int length) {
  if (sent < 0) return sent;
  long part = sent - offset;
  if (part < 0) return 0;
  return part < length ? part : length;
}

// A client socket from the listening one, not inherited by programs the PVR starts. A
// kernel without accept4 is remembered and served by accept and fcntl.
bool gAccept4Missing;

int AcceptClient() {
  // A failed accept costs the kernel a socket made and freed again; asking first whether a
  // connection waits keeps the idle events cheap.
  struct pollfd listening = {gListenSocket, POLLIN, 0};
  if (poll(&listening, 1, 0) != 1 || !(listening.revents & POLLIN)) return -1;
  socklen_t size = sizeof gNexusInbound;
  sockaddr *address = reinterpret_cast<sockaddr *>(&gNexusInbound);
  if (!gAccept4Missing) {
    int inbound = accept4(gListenSocket, address, &size, SOCK_CLOEXEC);
    if (inbound >= 0 || (errno != ENOSYS && errno != EINVAL)) return inbound;
    gAccept4Missing = true;
  }
  int inbound = accept(gListenSocket, address, &size);
  if (inbound >= 0) fcntl(inbound, F_SETFD, FD_CLOEXEC);
  return inbound;
}

void CarryOutPowerAction() {
  int action = gPowerFlag;
  gPowerFlag = 0;
  if (action == 1) {
    FwPutDevEvt putDevEvt = HookPutDevEvt();
    if (putDevEvt) putDevEvt(DEV_EVENT_POWER_OFF, 0);
  } else if (action == 2) {
    if (!AnyRecordingRuns(gRecordingStreams)) TAP_Reboot();
  } else if (action == 3) {
    TAP_Reboot();
  }
}

const char *StatusText(int status) {
  switch (status) {
    case 404: return "NOT FOUND";
    case 401: return "Access Denied";
    case 304: return "Not Modified";
    default: return "OK";
  }
}

int FormatHeader(char *header, int length, const char *contentType, int cacheFlag) {
  const char *text = StatusText(gHTTPstatus);
  int n;
  if (cacheFlag == 0) {
    n = snprintf(header, HEADER_SIZE,
                 "HTTP/1.1 %d %s\r\nConnection: close\r\nCache-Control: no-cache, no-store\r\n"
                 "Content-Type: %s; charset=utf-8\r\nContent-Length: %d\r\n\r\n",
                 gHTTPstatus, text, contentType, length);
  } else if (gHTTPstatus == 200 && (gCacheControl & 1)) {
    n = snprintf(header, HEADER_SIZE,
                 "HTTP/1.1 %d %s\r\nConnection: close\r\nCache-Control: must-revalidate\r\n"
                 "Content-Type: %s; charset=utf-8\r\nContent-Length: %d\r\nEtag: %s\r\n\r\n",
                 gHTTPstatus, text, contentType, length, gHTTPetag);
  } else if (gHTTPstatus == 304) {
    n = snprintf(header, HEADER_SIZE, "HTTP/1.1 %d %s\r\nConnection: close\r\nEtag: %s\r\n\r\n",
                 gHTTPstatus, text, gHTTPetag);
  } else {
    n = snprintf(header, HEADER_SIZE,
                 "HTTP/1.1 %d %s\r\nConnection: close\r\nContent-Type: %s; charset=utf-8\r\n"
                 "Content-Length: %d\r\n\r\n",
                 gHTTPstatus, text, contentType, length);
  }
  return n < HEADER_SIZE ? n : HEADER_SIZE - 1;
}

}  // namespace

void NetServerInit() {
  LOGF(LOG_NETWORK, "Initialising listening socket.");
  gListenSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (gListenSocket < 0) {
    LOGF(LOG_OPERATIONAL, "Error opening listening socket.");
    return;
  }
  LOGF(LOG_NETWORK, "Setting listening socket %d to non-blocking mode.", gListenSocket);
  fcntl(gListenSocket, F_SETFL, fcntl(gListenSocket, F_GETFL) | O_NONBLOCK);
  fcntl(gListenSocket, F_SETFD, FD_CLOEXEC);
  int on = 1;
  if (setsockopt(gListenSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    LOGF(LOG_OPERATIONAL, "Failed to set socket option on listening socket. errno=%d.", errno);
    CloseListening();
    return;
  }
  // Accepted sockets inherit the send time-out, so a client that stops reading cannot stall
  // the PVR for longer; they do not inherit O_NONBLOCK, so their sends block.
  struct timeval timeout = {SEND_TIMEOUT_SECONDS, 0};
  setsockopt(gListenSocket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  memset(&gNexusServer, 0, sizeof gNexusServer);
  gNexusServer.sin_family = AF_INET;
  gNexusServer.sin_addr.s_addr = htonl(INADDR_ANY);
  gNexusServer.sin_port = htons(gPort);
  LOGF(LOG_NETWORK, "About to 'bind' listening socket %d on port %d.", gListenSocket, gPort);
  if (bind(gListenSocket, reinterpret_cast<sockaddr *>(&gNexusServer), sizeof gNexusServer) != 0) {
    LOGF(LOG_OPERATIONAL, "Failed to bind to listening socket.  errno=%d.", errno);
    CloseListening();
    return;
  }
  LOGF(LOG_NETWORK, "About to 'listen' listening socket %d.", gListenSocket);
  if (listen(gListenSocket, 1) != 0) {
    LOGF(LOG_OPERATIONAL, "Failed to listen to listening socket.");
    CloseListening();
    return;
  }
  gServerStatus = 1;
  LOGF(LOG_NETWORK, "Listening socket %d initialisation complete.", gListenSocket);
}

void NetServerPoll() {
  if (gServerStatus == 1) {
    NetServerCheck();
  } else if (gServerStatus == 2) {
    NetServerRead();
  }
}

void closeSockets() {
  if (gServerStatus >= 2) close(gInboundSocket);
  if (gServerStatus >= 1) close(gListenSocket);
  gServerStatus = 0;
}

void NetServerCheck() {
  int inbound = AcceptClient();
  if (inbound < 0) {
    gInboundSocket = 0;
    return;
  }
  gInboundSocket = inbound;
  gServerStatus = 2;
  gConnectTicks = 0;
  LOGF(LOG_NETWORK, "Got connection from %s.", inet_ntoa(gNexusInbound.sin_addr));
  NetServerRead();
}

void NetServerRead() {
  int pending = 0;
  long received = 0;
  if (ioctl(gInboundSocket, FIONREAD, &pending) == 0 && pending > 0) {
    char *buffer = static_cast<char *>(TAP_MemAlloc((dword)pending + RECEIVE_SPARE));
    if (!buffer) {
      LOGF(LOG_OPERATIONAL, "Error allocating memory for inbound socket buffer.");
    } else {
      memset(buffer, 0, (size_t)pending + RECEIVE_SPARE);
      received = recv(gInboundSocket, buffer, (size_t)pending, MSG_DONTWAIT);
      if (received > 0) {
        LOGF(LOG_NETWORK, "---------");
        LOGF(LOG_NETWORK, "NetServerRead()");
        LOGF(LOG_NETWORK, "Got %ld bytes of data from socket %d.", received, gInboundSocket);
        LOGF(LOG_NETWORK, "---------");
        NetReadCommand(buffer, (int)received);
        TAP_MemFree(buffer);
        return;
      }
      TAP_MemFree(buffer);
    }
  }
  if (++gConnectTicks < READ_TIMEOUT_POLLS) return;
  LOGF(LOG_NETWORK, "NetServerRead: timeout [%ld], resetting connection.", received);
  close(gInboundSocket);
  gConnectTicks = 0;
  gServerStatus = 1;
}

void NetReadCommand(char *request, int length) {
  RequestParserSettings settings = {gAuthentication, gCacheControl, gLoggingLevel, LogWriteEntry};
  NetParseRequest(request, length, settings);
  dword start = TAP_GetTick();
  NetProcessCommand();
  LOGF(LOG_DETAIL, "Command completed in %ld ticks.", (long)(TAP_GetTick() - start));
  CarryOutPowerAction();
}

void NetHTTPRespond(const char *data, int length, const char *contentType, int cacheFlag) {
  LOGF(LOG_NETWORK, "NetHTTPRespond: Content-type = '%s', cache-control = %d.", contentType, cacheFlag);
  if (length < 0 || !data) length = 0;
  // The header (none for a 401, whose payload is the whole head) and the payload (none
  // for a 304) leave in one send.
  char header[HEADER_SIZE];
  int headerLength = 0;
  if (gHTTPstatus != 401) {
    headerLength = FormatHeader(header, length, contentType ? contentType : "text/html", cacheFlag);
    LOGF(LOG_NETWORK, "NetHTTPRespond: Sending header: %d. Socket = %d.", headerLength, gInboundSocket);
  }
  int payloadLength = gHTTPstatus != 304 ? length : 0;
  if (gHTTPstatus != 304) {
    LOGF(LOG_NETWORK, "NetHTTPRespond: Sending payload: %d. Socket = %d.", length, gInboundSocket);
  }
  struct iovec parts[2] = {{header, (size_t)headerLength}, {const_cast<char *>(data), (size_t)payloadLength}};
  errno = 0;
  long sent = SendParts(parts, 2);
  int sendErrno = errno;
  if (gHTTPstatus != 401) {
    LOGF(LOG_NETWORK, "NetHTTPRespond Sent: %ld, errno: %d. Socket = %d.", SentOfPart(sent, 0, headerLength),
         sendErrno, gInboundSocket);
  }
  if (gHTTPstatus != 304) {
    LOGF(LOG_NETWORK, "NetHTTPRespond Sent: %ld, errno: %d. Socket = %d.",
         SentOfPart(sent, headerLength, payloadLength), sendErrno, gInboundSocket);
  }
  close(gInboundSocket);
  gHTTPstatus = 200;
  gServerStatus = 1;
}

void NetSend401() {
  static const char kAnswer[] =
      "HTTP/1.1 401 Access Denied\r\nWWW-Authenticate: Basic realm=\"Orvane\"\r\nContent-Length: 0\r\n\r\n";
  gHTTPstatus = 401;
  LOGF(LOG_NETWORK, "Sending 401.");
  NetHTTPRespond(kAnswer, (int)sizeof kAnswer - 1, "text/html", 0);
}

void NetSend404() {
  static const char kPage[] =
      "<html><head>\r\n<title>404 Not Found</title>\r\n</head><body>\r\n"
      "<p>The requested URL was not found.</p>\r\n</body></html>\r\n";
  gHTTPstatus = 404;
  LOGF(LOG_NETWORK, "Sending 404.");
  NetHTTPRespond(kPage, (int)sizeof kPage - 1, "text/html", 0);
}
