// The text of one output record, built through a raw pointer: room() makes space for a bound
// once, and what is written into that space needs no further checks. The writers keep one
// record_text from one record to the next, so that a record costs no allocation once the
// storage has grown, and hand each finished record to their stream in one write.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

class record_text {
 public:
  // The text becomes empty; the storage stays.
  void clear() { used_ = 0; }
  // Where n more bytes may be written.
  char* room(std::size_t n) {
    if (storage_.size() - used_ < n) grow(n);
    return storage_.data() + used_;
  }
  // The text now ends at end, inside the room last made.
  void commit(const char* end) { used_ = static_cast<std::size_t>(end - storage_.data()); }
  // room, a copy of text, commit.
  void append(std::string_view text) { commit(put_text(room(text.size()), text)); }
  std::size_t size() const { return used_; }
  void write_to(std::ostream& out) const {
    out.write(storage_.data(), static_cast<std::streamsize>(used_));
  }

  // Copies text to dst; returns the end of the copy.
  static char* put_text(char* dst, std::string_view text) {
    std::memcpy(dst, text.data(), text.size());
    return dst + text.size();
  }

 private:
  // Kept out of line: the storage grows a few times per run, room is asked for per value.
  [[gnu::noinline]] void grow(std::size_t n) {
    storage_.resize(std::max(2 * storage_.size(), used_ + n));
  }

  std::string storage_;
  std::size_t used_ = 0;
};
