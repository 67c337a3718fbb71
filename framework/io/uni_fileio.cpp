#include "framework/io/uni_fileio.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/io/uni_output.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_path.h"
#include "framework/text/uni_unicode.h"

namespace uni {

namespace {

// Created files get every read and write bit the process's umask allows.
constexpr mode_t create_mode = 0666;
// Larger single transfers are split; Linux moves at most about 2 GiB per call anyway.
constexpr size_t max_transfer = 0x10000000;

// Writes every byte, continuing after short writes and interrupted calls.
bool write_fully(int fd, const u8* data, size_t length, size_t& written) {
  written = 0;
  while (written < length) {
    size_t piece = std::min(length - written, max_transfer);
    ssize_t n = ::write(fd, data + written, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;  // no progress: report instead of spinning
    written += static_cast<size_t>(n);
  }
  return true;
}

// Reads until `length` bytes arrived or the file ends; false only when a read fails
// before anything arrived. `got` holds the count read either way.
bool read_fully(int fd, u8* data, size_t length, size_t& got) {
  got = 0;
  while (got < length) {
    size_t piece = std::min(length - got, max_transfer);
    ssize_t n = ::read(fd, data + got, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return true;
}

// Opens the name and refuses FIFOs and sockets; -1 on any failure. O_NONBLOCK keeps the
// open itself from waiting on a FIFO; it is cleared again so later reads and writes of a
// device behave as blocking calls (a regular file ignores it, so it keeps it). status is
// the opened file's.
int open_checked(const std::wstring& name, int flags, mode_t mode, qz_platform::file_status& status) {
  if (name.empty()) return -1;
  std::string path;
  // A name without an exact UTF-8 form, or with a NUL inside, would reach the system as
  // another, shorter name.
  if (!wide_to_utf8(path, name) || path.empty() || path.find('\0') != std::string::npos) return -1;
  int fd = ::open(path.c_str(), flags | O_NONBLOCK, mode);
  if (fd < 0) return -1;
  if (!qz_platform::descriptor_status(fd, status) || status.is_fifo() || status.is_socket()) {
    ::close(fd);
    return -1;
  }
  if (!status.is_regular()) {
    int current = fcntl(fd, F_GETFL);
    if (current >= 0) fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
  }
  return fd;
}

}  // namespace

fileio::fileio() = default;

fileio::fileio(const std::string& name_value, bool write_access_, bool text_mode_, bool extra) {
  if (!open_ex_utf8(name_value, write_access_, text_mode_, true, extra)) reset_fields();
}

fileio::fileio(const std::wstring& name_value, bool write_access_, bool text_mode_, bool extra) {
  if (!open_ex(name_value, write_access_, text_mode_, true, extra)) reset_fields();
}

fileio::fileio(const std::vector<u8>& data, bool write_access_, bool text_mode_) {
  attach_memory(data, write_access_, text_mode_);
}

fileio::~fileio() { close(); }

void fileio::reset_fields() {
  descriptor = -1;
  size = 0;
  write_access = 0;
  opened = 0;
  text_mode = 0;
  name.clear();
  std::vector<u8>().swap(memory);
  in_memory = 0;
  position = 0;
  offset_at_end = 0;
  output = nullptr;
}

bool fileio::is_open() const { return in_memory || (descriptor != -1 && opened); }

bool fileio::is_valid() const { return is_open(); }

bool fileio::open(std::wstring name_, bool write_access_, bool text_mode_, bool truncate_) {
  int flags = O_RDONLY;
  if (write_access_) flags = truncate_ ? (O_RDWR | O_CREAT | O_TRUNC) : O_RDWR;
  return open_with_flags(std::move(name_), write_access_, text_mode_, flags);
}

bool fileio::open_with_flags(std::wstring name_, bool write_access_, bool text_mode_, int flags) {
  if (name_.empty() || in_memory) return false;
  strip_trailing_slashes_wide(name_);
  if (descriptor != -1) close();
  write_access = write_access_;
  text_mode = text_mode_;
  name = std::move(name_);
  qz_platform::file_status status;
  const int fd = open_checked(name, flags, create_mode, status);
  if (fd == -1) {
    opened = 0;
    return false;
  }
  take_descriptor(fd, status);
  return true;
}

void fileio::take_descriptor(int fd, const qz_platform::file_status& status) {
  descriptor = fd;
  opened = 1;
  // A regular file's size is the one just read; devices are asked.
  size = status.is_regular() && status.size >= 0 ? static_cast<u64>(status.size) : query_size();
  offset_at_end = status.is_regular() && size == 0;
}

bool fileio::open_utf8(const std::string& name_, bool write_access_, bool text_mode_,
                       bool truncate_) {
  return open(utf8_to_wstring(name_), write_access_, text_mode_, truncate_);
}

bool fileio::open_ex(std::wstring name_, bool write_access_, bool text_mode_, bool truncate_,
                     bool) {
  return open(std::move(name_), write_access_, text_mode_, truncate_);
}

bool fileio::open_ex_utf8(const std::string& name_, bool write_access_, bool text_mode_,
                          bool truncate_, bool) {
  return open_utf8(name_, write_access_, text_mode_, truncate_);
}

bool fileio::open_append(std::wstring name_, bool text_mode_) {
  return open_with_flags(std::move(name_), true, text_mode_, O_RDWR | O_APPEND | O_CREAT);
}

bool fileio::open_regular_no_follow(std::wstring name_) {
  if (!open_with_flags(std::move(name_), true, false, O_RDWR | O_NOFOLLOW)) return false;
  qz_platform::file_status status;
  if (qz_platform::descriptor_status(descriptor, status) && status.is_regular()) return true;
  close();
  return false;
}

bool fileio::open_regular_at(const qz_platform::dir_handle& folder, const std::string& entry_name) {
  if (in_memory) return false;
  if (descriptor != -1) close();
  qz_platform::file_status status;
  const int fd = folder.open_regular(entry_name, status);
  if (fd == -1) return false;
  write_access = 1;
  text_mode = 0;
  name = utf8_to_wstring(entry_name);
  take_descriptor(fd, status);
  return true;
}

bool fileio::create_new_utf8(const std::string& name_, bool text_mode_) {
  return open_with_flags(utf8_to_wstring(name_), true, text_mode_, O_RDWR | O_CREAT | O_EXCL);
}

bool fileio::lock_exclusive() {
  if (in_memory) return true;
  if (descriptor == -1) return false;
  qz_platform::file_status status;
  if (!qz_platform::descriptor_status(descriptor, status) || !status.is_regular()) return true;
  int result;
  do {
    result = ::flock(descriptor, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0 || errno != EWOULDBLOCK;
}

bool fileio::open_exclusive_utf8(const std::string& name_, bool text_mode_, bool truncate_, bool* lock_refused) {
  if (lock_refused != nullptr) *lock_refused = false;
  if (!open_with_flags(utf8_to_wstring(name_), true, text_mode_, O_RDWR | O_CREAT)) return false;
  if (!lock_exclusive()) {
    if (lock_refused != nullptr) *lock_refused = true;
    close();
    return false;
  }
  qz_platform::file_status status;
  if (truncate_ && size != 0 && qz_platform::descriptor_status(descriptor, status) && status.is_regular() &&
      !truncate(0)) {
    close();
    return false;
  }
  return true;
}

bool fileio::open_append_utf8(const std::string& name_, bool text_mode_) {
  if (!open_append(utf8_to_wstring(name_), text_mode_)) return false;
  ::lseek(descriptor, 0, SEEK_END);
  return true;
}

bool fileio::close() {
  bool ok = true;
  if (output != nullptr) {
    ok = output->drain();
    delete output;
    output = nullptr;
  }
  if (!in_memory && descriptor != -1) {
    // The descriptor is released even when close reports an error, so no retry.
    if (::close(descriptor) != 0) ok = false;
  }
  reset_fields();
  return ok;
}

bool fileio::attach_memory(const std::vector<u8>& data, bool write_access_, bool text_mode_) {
  close();
  try {
    memory = data;
  } catch (const std::exception&) {
    reset_fields();
    return false;
  }
  enter_memory_mode(memory.size(), write_access_, text_mode_);
  return true;
}

bool fileio::attach_memory(std::vector<u8>&& data, bool write_access_, bool text_mode_) {
  close();
  memory = std::move(data);
  data.clear();
  enter_memory_mode(memory.size(), write_access_, text_mode_);
  return true;
}

bool fileio::create_memory(u32 length, bool write_access_, bool text_mode_) {
  close();
  try {
    memory.assign(length, 0);
  } catch (const std::exception&) {
    reset_fields();
    return false;
  }
  enter_memory_mode(0, write_access_, text_mode_);
  return true;
}

void fileio::enter_memory_mode(u64 at, bool write_access_, bool text_mode_) {
  size = memory.size();
  position = at;
  in_memory = 1;
  opened = 1;
  write_access = write_access_;
  text_mode = text_mode_;
}

bool fileio::append(const void* data, u32 length, u32& written) {
  written = 0;
  if (!is_open() || data == nullptr) return false;
  if (length == 0) return true;
  const u8* bytes = static_cast<const u8*>(data);
  if (in_memory) {
    try {
      memory.insert(memory.end(), bytes, bytes + length);
    } catch (const std::exception&) {
      return false;
    }
    written = length;
    size = memory.size();
    position = size;
    return true;
  }
  // A device such as a terminal cannot seek; its bytes are written all the same.
  off_t end = offset_at_end ? static_cast<off_t>(size) : ::lseek(descriptor, 0, SEEK_END);
  size_t done = 0;
  bool ok = write_fully(descriptor, bytes, length, done);
  written = static_cast<u32>(done);
  if (end >= 0) size = static_cast<u64>(end) + done;
  offset_at_end = ok && end >= 0;
  return ok;
}

bool fileio::write(const void* data, u32 length) {
  u32 written = 0;
  return append(data, length, written);
}

// write takes a 32-bit length; longer contents go in pieces rather than being cut.
bool fileio::write_long(const void* data, u64 length) {
  const u8* bytes = static_cast<const u8*>(data);
  do {
    u32 piece = static_cast<u32>(std::min<u64>(length, max_transfer));
    if (!write(bytes, piece)) return false;
    bytes += piece;
    length -= piece;
  } while (length > 0);
  return true;
}

bool fileio::write_bytes(const std::vector<u8>& bytes) {
  if (bytes.empty()) return false;
  return write_long(bytes.data(), bytes.size());
}

bool fileio::write_fill(u8 value, u32 count) {
  if (count == 1) return write(&value, 1);
  std::vector<u8> bytes;
  try {
    bytes.assign(count, value);
  } catch (const std::exception&) {
    return false;
  }
  return write_bytes(bytes);
}

bool fileio::write_stream(const std::ostringstream& stream) {
  std::string_view text = stream.view();
  return write_long(text.data(), text.size());
}

bool fileio::write_format(const char* format, ...) {
  if (format == nullptr || !is_open()) return false;
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  char probe[1];
  int length = vsnprintf(probe, sizeof probe, format, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    return false;
  }
  std::vector<char> text;
  try {
    text.resize(static_cast<size_t>(length) + 1);
  } catch (const std::exception&) {
    va_end(args);
    return false;
  }
  vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  return write(text.data(), static_cast<u32>(length));
}

bool fileio::write_at(const void* data, u32 length, u64 offset) {
  if (!is_open() || data == nullptr) return false;
  if (length == 0) return true;
  const u8* bytes = static_cast<const u8*>(data);
  if (in_memory) {
    try {
      if (offset < size && offset + length <= size) {
        std::memcpy(memory.data() + offset, bytes, length);
        position = offset + length;
        return true;
      }
      u64 overlap = offset < size ? size - offset : 0;
      if (overlap > 0) std::memcpy(memory.data() + offset, bytes, overlap);
      memory.insert(memory.end(), bytes + overlap, bytes + length);
    } catch (const std::exception&) {
      return false;
    }
    size = memory.size();
    position = size;
    return true;
  }
  if (offset > static_cast<u64>(INT64_MAX)) return false;
  offset_at_end = 0;
  if (::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  size_t done = 0;
  bool ok = write_fully(descriptor, bytes, length, done);
  // A write inside the file leaves its end where it was.
  size = std::max(size, offset + done);
  return ok;
}

bool fileio::write_bytes_at(const std::vector<u8>& bytes, u64 offset) {
  // Pieces at growing offsets would land apart in memory mode, so a longer vector is refused.
  if (bytes.empty() || bytes.size() > 0xFFFFFFFFull) return false;
  return write_at(bytes.data(), static_cast<u32>(bytes.size()), offset);
}

bool fileio::read_at(void* buffer, u32& length, u64 offset) {
  if (!is_open() || offset >= size || buffer == nullptr) return false;
  if (in_memory) {
    length = static_cast<u32>(std::min<u64>(length, size - offset));
    std::memcpy(buffer, memory.data() + offset, length);
    return true;
  }
  if (offset > static_cast<u64>(INT64_MAX)) return false;
  offset_at_end = 0;
  if (::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  if (length == 0) return true;
  length = static_cast<u32>(std::min<u64>(length, size - offset));
  size_t got = 0;
  bool ok = read_fully(descriptor, static_cast<u8*>(buffer), length, got);
  length = static_cast<u32>(got);
  return ok;
}

bool fileio::read_at_u64(void* buffer, u64& length, u64 offset) {
  if (length > 0xFFFFFFFFull) {
    length = 0;
    return false;
  }
  u32 count = static_cast<u32>(length);
  if (!read_at(buffer, count, offset)) {
    length = 0;
    return false;
  }
  length = count;
  return true;
}

namespace {

// Shared by the vector and string forms: `out` is any container of bytes with resize and data.
template <class Bytes>
bool read_range(fileio& file, Bytes& out, u64 count, u64 offset) {
  if (!file.is_open() || offset >= file.size) return false;
  if (count == 0) return true;
  u64 n = std::min(count, file.size - offset);
  try {
    out.resize(n);
  } catch (const std::exception&) {
    return false;
  }
  u8* target = reinterpret_cast<u8*>(out.data());
  if (file.in_memory) {
    std::memcpy(target, file.memory.data() + offset, n);
    file.position = offset + n;
    return true;
  }
  file.offset_at_end = 0;
  if (offset > static_cast<u64>(INT64_MAX) ||
      ::lseek(file.descriptor, static_cast<off_t>(offset), SEEK_SET) < 0) {
    out.clear();
    return false;
  }
  size_t got = 0;
  bool ok = read_fully(file.descriptor, target, n, got);
  out.resize(got);
  return ok;
}

}  // namespace

bool fileio::read_into_vector(std::vector<u8>& out, u64 count, u64 offset) {
  return read_range(*this, out, count, offset);
}

bool fileio::read_into_string(std::string& out, u64 count, u64 offset) {
  return read_range(*this, out, count, offset);
}

bool fileio::read_next(void* buffer, u32& length) {
  if (!is_open()) return false;
  if (length == 0) return true;
  if (buffer == nullptr) return false;
  length = static_cast<u32>(std::min<u64>(length, size));
  if (in_memory) {
    u64 remaining = position < size ? size - position : 0;
    length = static_cast<u32>(std::min<u64>(length, remaining));
    std::memcpy(buffer, memory.data() + position, length);
    position += length;
    return true;
  }
  offset_at_end = 0;
  size_t got = 0;
  bool ok = read_fully(descriptor, static_cast<u8*>(buffer), length, got);
  length = static_cast<u32>(got);
  return ok;
}

u64 fileio::tell() {
  if (!is_open()) return 0;
  if (in_memory) return position;
  off_t at = ::lseek(descriptor, 0, SEEK_CUR);
  return at < 0 ? 0 : static_cast<u64>(at);
}

i64 fileio::seek_set(u64 offset) {
  if (!is_open()) return -1;
  if (in_memory) {
    if (offset > memory.size()) return -1;
    position = offset;
    return static_cast<i64>(offset);
  }
  if (offset > static_cast<u64>(INT64_MAX)) return -1;
  offset_at_end = 0;
  return ::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET);
}

i64 fileio::seek_current(i64 offset) {
  if (!is_open()) return -1;
  if (in_memory) {
    u64 target = position + static_cast<u64>(offset);
    // Unsigned arithmetic: a step back past 0 wraps to a huge value and fails here too.
    if (target > size) return -1;
    position = target;
    return static_cast<i64>(target);
  }
  offset_at_end = 0;
  return ::lseek(descriptor, static_cast<off_t>(offset), SEEK_CUR);
}

i64 fileio::seek_end(u64 back) {
  if (!is_open()) return -1;
  u64 target = back < size ? size - back : 0;
  if (in_memory) {
    position = target;
    return static_cast<i64>(target);
  }
  offset_at_end = 0;
  return ::lseek(descriptor, static_cast<off_t>(target), SEEK_SET);
}

u64 fileio::query_size() {
  if (!is_open()) return 0;
  if (in_memory) return memory.size();
  // Some file systems report a huge seek end for a directory; it holds no bytes to read.
  qz_platform::file_status status;
  const bool known = qz_platform::descriptor_status(descriptor, status);
  if (known && status.is_directory()) return 0;
  // A regular file ends where its size says; the seeks below are for devices.
  if (known && status.is_regular() && status.size >= 0) return static_cast<u64>(status.size);
  off_t current = ::lseek(descriptor, 0, SEEK_CUR);
  off_t end = ::lseek(descriptor, 0, SEEK_END);
  u64 length = 0;
  if (end <= 0) {
    length = qz_platform::block_device_size(descriptor);
    if (length == ~static_cast<u64>(0)) length = 0;
  } else {
    length = static_cast<u64>(end);
  }
  if (current >= 0) ::lseek(descriptor, current, SEEK_SET);
  return length;
}

u64 fileio::refresh_size() {
  if (!is_open()) return 0;
  size = query_size();
  return size;
}

u64 fileio::get_size() const { return is_open() ? size : 0; }

bool fileio::truncate(u64 length) {
  if (!is_open()) return false;
  if (in_memory) {
    try {
      memory.resize(length, 0);
    } catch (const std::exception&) {
      return false;
    }
    position = 0;
    size = length;
    return true;
  }
  if (length > static_cast<u64>(INT64_MAX)) return false;
  // A shorter file may end before the offset.
  offset_at_end = 0;
  int result;
  do {
    result = ::ftruncate(descriptor, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  if (result != 0) return false;
  size = length;
  return true;
}

bool fileio::stat(qz_platform::file_status& out) {
  if (!is_open()) return false;
  if (in_memory) {
    qz_platform::clear_status(out);
    out.size = static_cast<i64>(size);
    return true;
  }
  return qz_platform::descriptor_status(descriptor, out);
}

bool fileio::set_permissions(const std::string& octal_text) {
  if (in_memory) return true;
  if (descriptor == -1) return false;
  u32 mode = 0;
  if (!parse_u32(("O" + octal_text).c_str(), mode)) mode = 0;
  return ::fchmod(descriptor, static_cast<mode_t>(mode)) == 0;
}

void fileio::flush() {
  if (output != nullptr) output->flush();
}

fileio_output* fileio::get_output_stream() {
  if (!is_open()) return nullptr;
  // A second request gets the stream already attached: replacing it would leave the
  // caller's earlier pointer dangling and reorder its pending bytes.
  return attach_output_stream(output, this, output_buffer_bytes);
}

}  // namespace uni
