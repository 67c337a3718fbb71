// Text placed so that its last byte is the last one before a page that may not be read: a scan
// that reads past the end of such a text faults instead of reading stray bytes unnoticed.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

class guarded_bytes {
 public:
  // Room for texts up to one page long.
  guarded_bytes() {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return;
    base_ = static_cast<char*>(map);
    if (mprotect(base_ + page_, page_, PROT_NONE) != 0) {
      munmap(base_, 2 * page_);
      base_ = nullptr;
    }
  }
  guarded_bytes(const guarded_bytes&) = delete;
  guarded_bytes& operator=(const guarded_bytes&) = delete;
  ~guarded_bytes() {
    if (base_) munmap(base_, 2 * page_);
  }

  bool ready() const { return base_ != nullptr; }
  // A copy of text that ends where the unreadable page begins.
  const char* place(const std::string& text) {
    char* at = base_ + page_ - text.size();
    std::memcpy(at, text.data(), text.size());
    return at;
  }

 private:
  std::size_t page_ = 0;
  char* base_ = nullptr;
};
