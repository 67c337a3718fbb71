// Fixture for tests of code that resolves relative paths: a temp_folder that is also
// the current folder while a test runs, with the special files (FIFO, socket) that
// file-type tests need.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"

class folder_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    root_ = folder_.path();
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    for (int sock : sockets_) close(sock);
  }

  // Path of `name` inside the folder.
  std::string at(const std::string& name) const { return folder_.file(name); }
  // The same as a wide string; for ASCII names only.
  std::wstring wide_at(const std::string& name) const {
    const std::string path = at(name);
    return std::wstring(path.begin(), path.end());
  }
  // Whole-file write and read by full path.
  static void write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Makes a FIFO and a bound socket of the given names; the socket closes at the end.
  void make_fifo_and_socket(const std::string& fifo, const std::string& socket_name) {
    ASSERT_EQ(mkfifo(at(fifo).c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockets_.push_back(sock);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", at(socket_name).c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }

  temp_folder folder_{"telvar_files"};
  std::string root_;

 private:
  std::filesystem::path old_cwd_;
  std::vector<int> sockets_;
};

// Puts the current folder back when a test has moved it.
class cwd_guard {
 public:
  cwd_guard() : saved_(std::filesystem::current_path()) {}
  ~cwd_guard() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};
