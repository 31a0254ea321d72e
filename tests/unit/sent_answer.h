// The answer an API handler sends, caught on a socket pair standing in for the client's
// connection: its head and its body.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "webserver/core/http_connection.h"

struct SentAnswer {
  std::string head;   // status line and header fields
  std::string body;   // empty when nothing was sent
  bool sent = false;
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

// The body the handler sends for params ("" when it sends nothing).
template <typename Handler>
std::string HandlerBody(Handler handler, const std::string &params) {
  return AnswerOf([&] { handler(params.c_str()); }).body;
}

// The body parsed; a body that is not JSON fails the test.
template <typename Handler>
nlohmann::json HandlerAnswer(Handler handler, const std::string &params, std::string *raw = nullptr) {
  std::string body = HandlerBody(handler, params);
  if (raw) *raw = body;
  nlohmann::json parsed = nlohmann::json::parse(body, nullptr, false);
  EXPECT_FALSE(parsed.is_discarded()) << body.substr(0, 2000);
  return parsed;
}
