#include "framework/io/uni_output.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <new>

#include "framework/io/uni_fileio.h"

namespace uni {

namespace {
constexpr unsigned write_failed = 0xFFFFFFFFu;
}

template <class CharT>
streambuf_generic_output<CharT>::streambuf_generic_output(unsigned long size) {
  // pbump takes an int: larger buffers are refused like a failed allocation.
  if (size == 0 || size > static_cast<unsigned long>(INT_MAX)) return;
  try {
    // Left unfilled: only what is written into it is ever read back.
    buffer_.reset(new CharT[size]);
  } catch (const std::exception&) {
    return;
  }
  buffer_size_ = size;
  buffer_ready_ = 1;
  set_pending(0);
}

// The put area normally ends one short of the buffer, keeping the reserved byte. After a
// failed drain of a completely full buffer it spans all of it, so pptr never passes epptr.
template <class CharT>
void streambuf_generic_output<CharT>::set_pending(std::size_t count) {
  CharT* base = buffer_.get();
  std::size_t end = std::max<std::size_t>(buffer_size_ - 1, count);
  this->setp(base, base + end);
  this->pbump(static_cast<int>(count));
}

template <class CharT>
typename streambuf_generic_output<CharT>::int_type streambuf_generic_output<CharT>::overflow(
    int_type c) {
  if (!buffer_ready_) return traits_type::eof();
  const bool is_eof = traits_type::eq_int_type(c, traits_type::eof());
  CharT* base = buffer_.get();
  std::size_t pending = static_cast<std::size_t>(this->pptr() - base);
  bool stored = false;
  if (!is_eof && pending < buffer_size_) {
    base[pending++] = traits_type::to_char_type(c);
    stored = true;
  }
  std::size_t done = 0;
  while (done < pending) {
    unsigned written = generic_write(reinterpret_cast<const char*>(base + done),
                                     static_cast<unsigned>(pending - done));
    if (written == write_failed || written == 0) {
      // Keep only what did not arrive, so a later drain neither loses nor repeats bytes.
      std::memmove(base, base + done, (pending - done) * sizeof(CharT));
      set_pending(pending - done);
      return traits_type::eof();
    }
    done += std::min<std::size_t>(written, pending - done);
  }
  set_pending(0);
  if (!is_eof && !stored) {
    base[0] = traits_type::to_char_type(c);
    this->pbump(1);
  }
  return is_eof ? int_type(0) : c;
}

template <class CharT>
std::streamsize streambuf_generic_output<CharT>::xsputn(const CharT* text,
                                                        std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    std::streamsize room = this->epptr() - this->pptr();
    if (room > 0) {
      std::streamsize piece = std::min(room, count - done);
      std::memcpy(this->pptr(), text + done, static_cast<std::size_t>(piece) * sizeof(CharT));
      this->pbump(static_cast<int>(piece));
      done += piece;
      continue;
    }
    if (traits_type::eq_int_type(overflow(traits_type::to_int_type(text[done])),
                                 traits_type::eof()))
      break;
    ++done;
  }
  return done;
}

template <class CharT>
int streambuf_generic_output<CharT>::flush() {
  if (!buffer_ready_) return 0;
  return traits_type::eq_int_type(overflow(traits_type::eof()), traits_type::eof()) ? -1 : 0;
}

template class streambuf_generic_output<char>;

fileio_ostream::fileio_ostream(fileio* target, int size)
    : streambuf_generic_output<char>(size > 0 ? static_cast<unsigned long>(size) : 0) {
  if (has_buffer() && target != nullptr && target->is_open()) {
    target_ = target;
    ready_ = 1;
  }
}

fileio_ostream::~fileio_ostream() {
  if (ready_) flush();
}

unsigned fileio_ostream::generic_write(const char* data, unsigned count) {
  if (target_ == nullptr) return write_failed;
  u32 written = 0;
  if (target_->append(data, count, written)) return count;
  return written > 0 ? written : write_failed;
}

bool fileio_output::drain() {
  if (!buffer_.ready()) return false;
  bool drained = buffer_.flush() == 0;
  // A write that failed earlier put the stream in the bad state and dropped what was
  // written through it afterwards, even when this last drain succeeds.
  return drained && !bad();
}

fileio_stats::~fileio_stats() { close(); }

bool fileio_stats::write(const void* data, u32 length) {
  if (data == nullptr || length == 0) return false;
  const u8* bytes = static_cast<const u8*>(data);
  u64 total = 0;
  for (u32 i = 0; i < length; ++i) total += bytes[i];
  sum += total;
  return true;
}

fileio_stats_output* fileio_stats::get_output_stream() {
  return attach_output_stream(output, this, 0x40000);
}

void fileio_stats::close() {
  if (output == nullptr) return;
  output->flush();
  delete output;
  output = nullptr;
}

void fileio_stats::flush() {
  if (output != nullptr) output->flush();
}

void fileio_stats::clear() {
  close();
  sum = 0;
}

fileio_stats_ostream::fileio_stats_ostream(fileio_stats* target, int size)
    : streambuf_generic_output<char>(size > 0 ? static_cast<unsigned long>(size) : 0) {
  if (has_buffer()) target_ = target;
}

fileio_stats_ostream::~fileio_stats_ostream() {
  if (has_buffer()) flush();
}

unsigned fileio_stats_ostream::generic_write(const char* data, unsigned count) {
  if (target_ == nullptr || data == nullptr || count == 0) return write_failed;
  target_->write(data, count);
  return count;
}

}  // namespace uni
