// The body a handler sends for its parameters, as text and parsed as JSON (a body that is
// not JSON fails the test).
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/unit/sent_answer.h"

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
