// One HTTP request served by the web server's code as a connection would serve it: the
// request text goes through NetReadCommand on one end of a socket pair; the rest of a
// longer body is written to the other end by a thread (in chunks with pauses, or cut off
// by shutting the writing side), and the answer is read until the server closes.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

struct BodyRest {
  std::string bytes;       // written after the request was read
  size_t chunk = 65536;    // bytes per write
  int pauseMs = 0;         // between writes
  bool cutOff = false;     // shut the writing side after the bytes (the client gives up)
  int holdMs = 0;          // keep the connection open this long before writing anything
};

struct ServedAnswer {
  std::string status;      // the status line
  std::string head;        // the header lines
  std::string body;
  nlohmann::json Json() const;   // the body parsed (discarded when it is no JSON)
};

// Serves request (method, target, headers, blank line and the body's first part).
ServedAnswer ServeRequest(const std::string &request, const BodyRest &rest = BodyRest());
// A GET of target.
ServedAnswer ServeGet(const std::string &target);
// A POST of target with body (Content-Length the body's size), all of it in the request.
ServedAnswer ServePost(const std::string &target, const std::string &body);
