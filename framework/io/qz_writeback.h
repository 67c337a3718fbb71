// Early write-out of a file another part of the process keeps writing: the kernel is asked to
// start writing the file's changed pages to the disk now, without waiting for them, so that a
// later sync of the file finds less left to write. Nothing here syncs or reports.
#pragma once

#include <string>

// A read-only handle on one file, used only to start the write-out of its changed pages.
class file_writeback {
 public:
  file_writeback() = default;
  ~file_writeback();
  file_writeback(const file_writeback&) = delete;
  file_writeback& operator=(const file_writeback&) = delete;

  // Opens path (closing a file held before); false when it cannot be opened.
  bool open(const std::string& path);
  // Starts writing every page of the file changed so far and returns without waiting for the
  // disk; false without an open file or when the system refuses.
  bool start() const;
  void close();
  bool is_open() const { return descriptor_ >= 0; }

 private:
  int descriptor_ = -1;
};
