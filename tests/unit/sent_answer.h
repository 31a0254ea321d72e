// The answer an API handler sends, caught on a socket pair standing in for the client's
// connection: its head and its body. Used by the unit tests and the benchmarks.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "webserver/core/http_connection.h"

struct SentAnswer {
  std::string head;   // status line and header fields
  std::string body;   // empty when nothing was sent
  bool sent = false;

  size_t Bytes() const { return sent ? head.size() + 4 + body.size() : 0; }   // all that was sent
};

// Runs call (which answers through NetHTTPRespond, or not at all) and returns what reached
// the client.
inline SentAnswer AnswerOf(const std::function<void()> &call) {
  int ends[2];
  SentAnswer answer;
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return answer;
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t n; (n = read(ends[1], buffer, sizeof buffer)) > 0;) received.append(buffer, (size_t)n);
  });
  gInboundSocket = ends[0];
  gServerStatus = 2;
  call();
  if (gServerStatus == 2) close(ends[0]);   // nothing was sent: the reader sees the end
  reader.join();
  close(ends[1]);
  size_t split = received.find("\r\n\r\n");
  answer.sent = split != std::string::npos;
  if (answer.sent) {
    answer.head = received.substr(0, split);
    answer.body = received.substr(split + 4);
  }
  return answer;
}

