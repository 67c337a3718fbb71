#include "framework/io/uni_std_streams.h"

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>

#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace uni {

namespace {

constexpr i32 line_buffer_bytes = 4096;
constexpr int input_wait_seconds = 2;

bool descriptor_is_open(int fd) { return fd >= 0 && fcntl(fd, F_GETFD) != -1; }

// Bytes that stdio has already taken from the descriptor but not yet handed out: select on the
// descriptor cannot see them.
bool stdio_holds_input(std::FILE* stream) {
#if defined(__GLIBC__)
  return stream->_IO_read_ptr < stream->_IO_read_end;
#else
  (void)stream;
  return false;
#endif
}

// How many bytes at the end of text begin a UTF-8 character that is not complete there.
std::size_t incomplete_utf8_tail(const std::string& text) {
  std::size_t back = 0;
  while (back < text.size() && back < 4) {
    unsigned char byte = static_cast<unsigned char>(text[text.size() - 1 - back]);
    ++back;
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte: look further back
    std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return needed > back ? back : 0;
  }
  return 0;
}

}  // namespace

stdin_stream::stdin_stream(bool flag_value)
    : stream(stdin), ready(0), flag(0), buffer_size(line_buffer_bytes) {
  if (!stream || !descriptor_is_open(fileno(stream))) {
    stream = nullptr;
    return;
  }
  buffer.reset(new (std::nothrow) char[line_buffer_bytes]);
  if (!buffer) return;
  flag = flag_value;
  ready = 1;
}

stdin_stream::~stdin_stream() { close(); }

void stdin_stream::close() {
  buffer.reset();
  stream = nullptr;
  ready = 0;
  held_back_.clear();
}

// One piece into dest (capacity bytes with its terminator): the held-back bytes first, then
// what fgets gives for the room left. `cut` tells that the piece filled dest without reaching LF.
bool stdin_stream::next_piece(char* dest, int capacity, std::size_t& length, bool& cut) {
  length = 0;
  cut = false;
  if (!ready || !stream || capacity < 2) return false;
  std::size_t held = std::min(held_back_.size(), static_cast<std::size_t>(capacity - 1));
  std::memcpy(dest, held_back_.data(), held);
  held_back_.erase(0, held);
  dest[held] = '\0';
  int room = capacity - static_cast<int>(held);
  if (room > 1 && !std::fgets(dest + held, room, stream)) {
    dest[held] = '\0';
    if (held == 0) return false;
  }
  length = std::strlen(dest);
  cut = length == static_cast<std::size_t>(capacity - 1) && dest[length - 1] != '\n';
  return true;
}

bool stdin_stream::read_piece(std::string& text, bool whole_characters) {
  text.clear();
  std::size_t length = 0;
  bool cut = false;
  if (!buffer || !next_piece(buffer.get(), buffer_size, length, cut)) return false;
  text.assign(buffer.get(), length);
  if (cut && whole_characters) {
    // Decoding the two halves of a character apart would lose it and the whole next piece.
    std::size_t tail = incomplete_utf8_tail(text);
    if (tail < text.size()) {
      held_back_.assign(text, text.size() - tail, tail);
      text.resize(text.size() - tail);
    }
  }
  return true;
}

bool stdin_stream::read(std::string& out, bool strip) {
  if (!read_piece(out, false)) return false;
  if (strip) trim_trailing_newlines(out);
  return true;
}

bool stdin_stream::read(std::wstring& out, bool strip) {
  out.clear();
  std::string text;
  if (!read_piece(text, true)) return false;
  if (strip) trim_trailing_newlines(text);
  utf8_to_wide(out, text);
  return true;
}

bool stdin_stream::read(std::vector<u8>& out, bool strip) {
  out.clear();
  std::string text;
  if (!stdin_stream::read(text, strip)) return false;
  out.assign(text.begin(), text.end());
  return true;
}

bool stdin_stream::read(char* target, u32* length) {
  if (!length) return false;
  u32 capacity = *length;
  *length = 0;
  // fgets with room for the terminator alone succeeds without reading: a loop would never end.
  if (!target || capacity < 2) return false;
  std::size_t got = 0;
  bool cut = false;
  if (!next_piece(target, static_cast<int>(std::min<u32>(capacity, INT_MAX)), got, cut)) return false;
  *length = static_cast<u32>(got);
  return true;
}

bool stdin_stream::wait_for_input() {
  if (!ready || !stream) return false;
  if (!held_back_.empty() || stdio_holds_input(stream)) return true;
  using clock = std::chrono::steady_clock;
  const clock::time_point deadline = clock::now() + std::chrono::seconds(input_wait_seconds);
  int fd = fileno(stream);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - clock::now());
    if (left.count() < 0) left = std::chrono::microseconds(0);
    struct timeval timeout {};
    timeout.tv_sec = static_cast<time_t>(left.count() / 1000000);
    timeout.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    int result = select(fd + 1, &readable, nullptr, nullptr, &timeout);
    // A signal cuts the wait short; the rest of the two seconds is still owed.
    if (result < 0 && errno == EINTR) continue;
    return result > 0 && FD_ISSET(fd, &readable);
  }
}

stdout_stream::stdout_stream(bool flag_value) : descriptor(-1), stream(stdout), ready(0), flag(0) {
  if (!stream) return;
  int fd = fileno(stream);
  if (!descriptor_is_open(fd)) {
    stream = nullptr;
    return;
  }
  descriptor = fd;
  flag = flag_value;
  ready = 1;
}

stdout_stream::~stdout_stream() {
  stream = nullptr;
  ready = 0;
}

void stdout_stream::close() {
  stream = nullptr;
  ready = 0;
  flag = 0;
}

bool stdout_stream::write(const void* data, u32 length) {
  if (!ready || !data || length == 0) return false;
  // Text printed through stdio before this call must not come out after these bytes.
  if (stream && std::fflush(stream) != 0) return false;
  const char* next = static_cast<const char*>(data);
  std::size_t left = length;
  while (left > 0) {
    ssize_t written = ::write(descriptor, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

bool stdout_stream::write(const std::string& text) {
  if (text.size() > UINT32_MAX) return false;
  return write(text.data(), static_cast<u32>(text.size()));
}

bool stdout_stream::write(const std::vector<u8>& bytes) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return false;
  return write(bytes.data(), static_cast<u32>(bytes.size()));
}

bool stdout_stream::write(const std::wstring& text) {
  if (text.empty()) return false;
  std::string utf8;
  wide_to_utf8(utf8, text);
  return write(utf8);
}

}  // namespace uni
