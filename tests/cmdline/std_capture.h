// Catches what the process writes on standard output and/or standard error, byte for byte:
// the descriptors are pointed at one temporary file until text() puts them back.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

class std_capture {
 public:
  // fds: 1, 2 or both; both land in the one file, in the order they were written.
  explicit std_capture(std::initializer_list<int> fds = {2}) : file_(std::tmpfile()) {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int fd : fds) {
      saved_.push_back({fd, dup(fd)});
      dup2(fileno(file_), fd);
    }
  }
  ~std_capture() {
    restore();
    if (file_) std::fclose(file_);
  }
  std_capture(const std_capture&) = delete;
  std_capture& operator=(const std_capture&) = delete;

  // Everything written since construction; the descriptors are restored by the first call.
  std::string text() {
    restore();
    std::string out;
    std::rewind(file_);
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) out.append(buffer, got);
    return out;
  }

 private:
  struct saved_fd {
    int fd;
    int copy;
  };
  void restore() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (const saved_fd& s : saved_) {
      dup2(s.copy, s.fd);
      close(s.copy);
    }
    saved_.clear();
  }

  std::FILE* file_;
  std::vector<saved_fd> saved_;
};
