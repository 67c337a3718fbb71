// The text of one output record, built through a raw pointer: room() makes space for a bound
// once, and what is written into that space needs no further checks. The writers keep one
// record_text from one record to the next, so that a record costs no allocation once the
// storage has grown, and hand each finished record to their stream in one write. A long value
// goes in slices instead, each handed to the stream as it is made (put_in_slices), so that the
// record never holds a long value's escaped form whole.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "framework/io/uni_output.h"

class record_text {
 public:
  record_text() = default;
  record_text(const record_text&) = delete;
  record_text& operator=(const record_text&) = delete;
  // The text and its storage move over, built on where it was (the window or the storage);
  // the text moved from is left empty, without storage.
  record_text(record_text&& other) noexcept { take_from(other); }
  record_text& operator=(record_text&& other) noexcept {
    if (this != &other) take_from(other);
    return *this;
  }

  // The text becomes empty, in its own storage; the storage stays.
  void clear() {
    data_ = storage_.data();
    capacity_ = storage_.size();
    used_ = 0;
    in_window_ = false;
    mark_room(0);
  }
  // The text becomes empty and is built in the size bytes at window (the free part of an
  // output buffer) for as long as it fits there; text that outgrows the window moves into
  // the own storage. in_window() tells where it ended.
  void clear_in(char* window, std::size_t size) {
    data_ = window;
    capacity_ = size;
    used_ = 0;
    in_window_ = true;
    mark_room(0);
  }
  bool in_window() const { return in_window_; }
  // The start of the text and its end.
  const char* data() const { return data_; }
  const char* end() const { return data_ + used_; }
  // Where n more bytes may be written.
  char* room(std::size_t n) {
    if (capacity_ - used_ < n) grow(n);
    mark_room(n);
    return data_ + used_;
  }
  // The text now ends at end, inside the room last made (checked in builds with assertions:
  // a write past the room would have overrun the window or the storage).
  void commit(const char* end) {
    assert(end >= data_ && end <= room_end_ && "record_text: commit outside its room");
    used_ = static_cast<std::size_t>(end - data_);
  }
  // room, a copy of text, commit.
  void append(std::string_view text) { commit(put_text(room(text.size()), text)); }
  std::size_t size() const { return used_; }
  // The bytes of own storage kept for texts that do not fit a window.
  std::size_t kept() const { return storage_.size(); }
  // Writes the text to out; only for a text in its own storage.
  void write_to(std::ostream& out) const { out.write(data_, static_cast<std::streamsize>(used_)); }

  // Copies text to dst; returns the end of the copy.
  static char* put_text(char* dst, std::string_view text) {
    std::memcpy(dst, text.data(), text.size());
    return dst + text.size();
  }

 private:
  // Kept out of line: the storage grows a few times per run, room is asked for per value.
  // The storage grows only when it is too small for the text and the room asked for, and then
  // at least doubles: a record that outgrows its window reuses the storage earlier records
  // made, so that the storage stays within twice the largest record's room however many
  // records outgrow a window.
  [[gnu::noinline]] void grow(std::size_t n) {
    const std::size_t needed = used_ + n;
    if (storage_.size() < needed) {
      const std::size_t size = std::max(2 * storage_.size(), needed);
      // Text in the window is copied below; what the storage held is no longer wanted.
      if (in_window_) storage_.clear();
      storage_.resize(size);
    }
    if (in_window_) {
      std::memcpy(storage_.data(), data_, used_);
      in_window_ = false;
    }
    data_ = storage_.data();
    capacity_ = storage_.size();
  }

  void take_from(record_text& other) noexcept {
    storage_ = std::move(other.storage_);
    in_window_ = other.in_window_;
    used_ = other.used_;
    capacity_ = other.capacity_;
    data_ = in_window_ ? other.data_ : storage_.data();
#ifndef NDEBUG
    room_end_ = data_ + (other.room_end_ - other.data_);
#endif
    other.storage_ = std::string();
    other.clear();
  }

  // The end of the room last made, for commit's check.
  void mark_room([[maybe_unused]] std::size_t n) {
#ifndef NDEBUG
    room_end_ = data_ + used_ + n;
#endif
  }

  std::string storage_;
  char* data_ = storage_.data();
#ifndef NDEBUG
  const char* room_end_ = data_;
#endif
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  bool in_window_ = false;
};

// Where a writer builds its next record: straight in the free part of the buffer of out when
// out_buffer is that buffer and enough of it is free, saving a copy per record; else in the
// text's own storage.
inline void start_record(record_text& text, std::ostream& out, uni::streambuf_generic_output<char>* out_buffer) {
  constexpr std::size_t least_window = 4096;
  std::size_t free = 0;
  char* window = out_buffer != nullptr && out.rdbuf() == out_buffer ? out_buffer->free_space(free) : nullptr;
  if (window != nullptr && free >= least_window) {
    text.clear_in(window, free);
  } else {
    text.clear();
  }
}

// Hands the finished record to out: taken as written where it was built in out's buffer,
// written to out otherwise.
inline void finish_record(const record_text& text, std::ostream& out,
                          uni::streambuf_generic_output<char>* out_buffer) {
  if (text.in_window()) {
    out_buffer->commit(text.end());
  } else {
    text.write_to(out);
  }
}

// Values longer than this are escaped a slice at a time.
constexpr std::size_t value_slice_bytes = std::size_t(1) << 16;

// The end of the slice of value that starts at from: value_slice_bytes on at most, and never
// inside a UTF-8 sequence or between CR and LF, so that each slice is escaped as it would be
// within the whole. A cut right before a byte that is no continuation byte splits no sequence;
// four continuation bytes in a row belong to no valid one.
inline std::size_t slice_end(std::string_view value, std::size_t from) {
  const std::size_t end = std::min(value.size(), from + value_slice_bytes);
  if (end == value.size()) return end;
  std::size_t cut = end;
  for (std::size_t back = 0; back <= 3; ++back) {
    if ((static_cast<unsigned char>(value[end - back]) & 0xC0) != 0x80) {
      cut = end - back;
      break;
    }
  }
  if (value[cut - 1] == '\r' && value[cut] == '\n') --cut;
  return cut;
}

// Puts value into text slice by slice (slice_end): escape(dst, data, length) writes the escaped
// form of the length bytes at data into the room(length) bytes at dst and returns its end. After each slice but the last, the record so far goes to
// out (finish_record) and goes on in fresh text (start_record).
template <class room_fn, class escape_fn>
void put_in_slices(record_text& text, std::ostream& out, uni::streambuf_generic_output<char>* out_buffer,
                   const std::string& value, room_fn room, escape_fn escape) {
  for (std::size_t from = 0; from < value.size();) {
    const std::size_t end = slice_end(value, from);
    char* dst = text.room(room(end - from));
    text.commit(escape(dst, value.data() + from, end - from));
    from = end;
    if (from < value.size()) {
      finish_record(text, out, out_buffer);
      start_record(text, out, out_buffer);
    }
  }
}
