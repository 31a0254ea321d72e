// The answer a handler sends through the connection, read from the other end of a socket
// pair: its body as text and parsed as JSON.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "webserver/core/http_connection.h"

// The body the handler sends for params ("" when it sends nothing).
template <typename Handler>
std::string HandlerBody(Handler handler, const std::string &params) {
  int pair[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  std::string received;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t n; (n = read(pair[1], buffer, sizeof buffer)) > 0;) received.append(buffer, (size_t)n);
  });
  gInboundSocket = pair[0];
  handler(params.c_str());
  if (fcntl(pair[0], F_GETFD) != -1) close(pair[0]);   // no answer was sent: still open
  reader.join();
  close(pair[1]);
  size_t body = received.find("\r\n\r\n");
  return body == std::string::npos ? std::string() : received.substr(body + 4);
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
