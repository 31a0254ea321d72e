// Helpers of the fuzz targets: a check that stops the run, and the fuzzer's input as a
// read-only FILE for readers that take a stream.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace fuzz {

inline void Check(bool condition) {
  if (!condition) abort();
}

// A private copy of the input opened as a stream (fmemopen wants writable memory);
// closed and freed with the object.
class MemoryFile {
 public:
  MemoryFile(const uint8_t *data, size_t size) : copy_(malloc(size)) {
    Check(copy_ != nullptr);
    memcpy(copy_, data, size);
    file_ = fmemopen(copy_, size, "rb");
    Check(file_ != nullptr);
  }
  ~MemoryFile() {
    fclose(file_);
    free(copy_);
  }
  MemoryFile(const MemoryFile &) = delete;
  MemoryFile &operator=(const MemoryFile &) = delete;
  FILE *get() const { return file_; }

 private:
  void *copy_;
  FILE *file_;
};

}  // namespace fuzz
