#include "tests/unit/served_request.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "webserver/core/http_connection.h"

nlohmann::json ServedAnswer::Json() const { return nlohmann::json::parse(body, nullptr, false); }

ServedAnswer ServeRequest(const std::string &request, const BodyRest &rest) {
  int ends[2];
  ServedAnswer answer;
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return answer;
  std::string received;
  std::thread client([&] {
    if (rest.holdMs) std::this_thread::sleep_for(std::chrono::milliseconds(rest.holdMs));
    for (size_t at = 0; at < rest.bytes.size(); at += rest.chunk) {
      if (at && rest.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(rest.pauseMs));
      size_t n = std::min(rest.chunk, rest.bytes.size() - at);
      if (send(ends[1], rest.bytes.data() + at, n, MSG_NOSIGNAL) != (ssize_t)n) break;
    }
    if (rest.cutOff) shutdown(ends[1], SHUT_WR);
    char buffer[65536];
    for (ssize_t n; (n = read(ends[1], buffer, sizeof buffer)) > 0;) received.append(buffer, (size_t)n);
  });
  gInboundSocket = ends[0];
  gServerStatus = 2;
  std::vector<char> buffer(request.begin(), request.end());
  buffer.resize(request.size() + 2048, '\0');
  NetReadCommand(buffer.data(), (int)request.size());
  if (gServerStatus == 2) close(ends[0]);   // nothing answered: the connection is dropped
  gServerStatus = 0;
  client.join();
  close(ends[1]);
  size_t headEnd = received.find("\r\n\r\n");
  size_t lineEnd = received.find("\r\n");
  answer.status = received.substr(0, lineEnd);
  if (headEnd != std::string::npos) {
    answer.head = received.substr(0, headEnd + 2);
    answer.body = received.substr(headEnd + 4);
  }
  return answer;
}

ServedAnswer ServeGet(const std::string &target) {
  return ServeRequest("GET " + target + " HTTP/1.1\r\nHost: pvr\r\n\r\n");
}

ServedAnswer ServePost(const std::string &target, const std::string &body) {
  return ServeRequest("POST " + target + " HTTP/1.1\r\nHost: pvr\r\nContent-Length: " + std::to_string(body.size()) +
                      "\r\n\r\n" + body);
}
