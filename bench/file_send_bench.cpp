// Cost of answering with one file as the web server does (open, status, take the bytes,
// one sendmsg of header and body to a loopback TCP client, release, close), by the way the
// bytes are taken: read into a heap buffer, or mapped. It finds the file size up to which
// reading beats mapping (static_files.cpp, FILE_READ_LIMIT). A thread drains the client.
//
// usage: file_send_bench [milliseconds per figure]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

void *Drain(void *arg) {
  int fd = *static_cast<int *>(arg);
  static char sink[1 << 20];
  while (read(fd, sink, sizeof sink) > 0) {
  }
  return nullptr;
}

const char kHeader[] =
    "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html; charset=utf-8\r\n"
    "Content-Length: 1024\r\n\r\n";

bool SendAll(int fd, const void *body, size_t size) {
  iovec parts[2] = {{const_cast<char *>(kHeader), sizeof kHeader - 1}, {const_cast<void *>(body), size}};
  msghdr message = {};
  message.msg_iov = parts;
  message.msg_iovlen = 2;
  size_t want = parts[0].iov_len + size;
  ssize_t sent = sendmsg(fd, &message, MSG_NOSIGNAL);
  return sent == (ssize_t)want;   // blocking socket: all or an error
}

enum Way { READ, MAP, MAP_POPULATED, SENDFILE };
const char *const kWayNames[] = {"read", "mmap", "mmap+populate", "sendfile"};

bool AnswerOnce(Way way, const char *path, int socketFd) {
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0) return false;
  size_t size = (size_t)status.st_size;
  bool ok;
  if (way == READ) {
    char *buffer = static_cast<char *>(malloc(size));
    ok = buffer && read(fd, buffer, size) == (ssize_t)size && SendAll(socketFd, buffer, size);
    free(buffer);
  } else if (way == SENDFILE) {
    // The header waits for the body (MSG_MORE), which the kernel takes from the page cache.
    ok = send(socketFd, kHeader, sizeof kHeader - 1, MSG_NOSIGNAL | MSG_MORE) == (ssize_t)sizeof kHeader - 1;
    off_t offset = 0;
    while (ok && (size_t)offset < size) ok = sendfile(socketFd, fd, &offset, size - (size_t)offset) > 0;
  } else {
    void *mapping = mmap(nullptr, size, PROT_READ, MAP_SHARED | (way == MAP_POPULATED ? MAP_POPULATE : 0), fd, 0);
    ok = mapping != MAP_FAILED && SendAll(socketFd, mapping, size);
    if (mapping != MAP_FAILED) munmap(mapping, size);
  }
  close(fd);
  return ok;
}

// Microseconds per answer: the best of five runs of about `ms` milliseconds each.
double MicrosecondsPerAnswer(Way way, const char *path, int socketFd, double ms) {
  double best = 1e9;
  for (int run = 0; run < 5; run++) {
    long count = 0;
    double start = bench::Seconds(), end = start + ms / 5000.0;
    while (bench::Seconds() < end) {
      if (!AnswerOnce(way, path, socketFd)) return -1;
      count++;
    }
    best = std::min(best, (bench::Seconds() - start) * 1e6 / (double)count);
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  double ms = argc > 1 ? atof(argv[1]) : 1000;
  int listening = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listening, 1) != 0 ||
      getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
    perror("listen");
    return 1;
  }
  int client = socket(AF_INET, SOCK_STREAM, 0);
  if (connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
    perror("connect");
    return 1;
  }
  int server = accept(listening, nullptr, nullptr);
  pthread_t drainer;
  pthread_create(&drainer, nullptr, Drain, &client);

  char folder[] = "/tmp/orvane-file-send-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  const size_t sizes[] = {256, 1024, 4096, 8192, 16384, 32768, 65536, 131072, 262144, 1 << 20};
  printf("%-10s", "file size");
  for (const char *name : kWayNames) printf("%16s", name);
  printf("   (microseconds per answer, best of 5)\n");
  std::vector<char> bytes(1 << 20, 'x');
  for (size_t size : sizes) {
    std::string path = std::string(folder) + "/f" + std::to_string(size);
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, size, f);
    fclose(f);
    printf("%-10zu", size);
    for (Way way : {READ, MAP, MAP_POPULATED, SENDFILE}) printf("%16.2f", MicrosecondsPerAnswer(way, path.c_str(), server, ms));
    printf("\n");
    unlink(path.c_str());
  }
  rmdir(folder);
  shutdown(server, SHUT_RDWR);
  close(server);
  pthread_join(drainer, nullptr);
  close(client);
  close(listening);
  return 0;
}
