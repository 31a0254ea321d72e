// The parts of an API request target: "/api?" dispatch words "!" handler parameters.
#pragma once

enum { API_WORD_SIZE = 128, API_PARAMS_SIZE = 8196 };

// The dispatch words of a request target.
struct APIWords {
  char function[API_WORD_SIZE];
  char action[API_WORD_SIZE];
  char tap[API_WORD_SIZE];
  char session[API_WORD_SIZE];
  const char *params;   // the handler parameter text inside the target
};

// Splits a target "/api?...!..." into its words; without "!" all words keep their defaults.
void SplitAPITarget(const char *path, APIWords *words);

