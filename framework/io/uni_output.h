// Buffered output streams: a std::ostream whose text collects in one buffer and
// leaves it in large writes, when the buffer is full and when the stream is
// destroyed. Flushes and line ends (std::flush, std::endl) write nothing.
// uni::fileio_output writes into a uni::fileio; uni::fileio_stats only adds up
// the values of the bytes it receives.
#pragma once

#include <new>
#include <memory>
#include <ostream>
#include <streambuf>
#include <vector>

#include "framework/text/qz_types.h"

namespace uni {

class fileio;

// A put buffer of `size` bytes whose last byte stays free for the character that
// overflow receives; drains go to generic_write. Used with char only.
template <class CharT>
class streambuf_generic_output : public std::basic_streambuf<CharT> {
 public:
  using traits_type = typename std::basic_streambuf<CharT>::traits_type;
  using int_type = typename traits_type::int_type;

  // Allocates the buffer; on failure the size is 0 and every output operation fails.
  explicit streambuf_generic_output(unsigned long size);
  ~streambuf_generic_output() override = default;

  // Hands every pending byte to generic_write; 0 on success, -1 when a write failed
  // (the bytes not written stay pending, those written are never written again).
  virtual int flush();
  // Writes `count` bytes; returns the count written (possibly fewer) or 0xFFFFFFFF.
  virtual unsigned generic_write(const char* data, unsigned count) = 0;

  bool has_buffer() const { return buffer_ready_ != 0; }
  // The free part of the buffer, size bytes from the pointer returned (null and 0 without a
  // buffer): text written there becomes output, after what is pending, once commit is given
  // its end; nothing else may be written to the stream meanwhile.
  CharT* free_space(std::size_t& size) {
    size = buffer_ready_ ? static_cast<std::size_t>(this->epptr() - this->pptr()) : 0;
    return size > 0 ? this->pptr() : nullptr;
  }
  // Takes the text from free_space's pointer to end as written.
  void commit(const CharT* end) { this->pbump(static_cast<int>(end - this->pptr())); }

 protected:
  // Stores `c` (unless end-of-file), then drains the buffer; returns `c`, 0 for
  // end-of-file, or end-of-file when a write failed.
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const CharT* text, std::streamsize count) override;
  int sync() override { return flush(); }

 private:
  void set_pending(std::size_t count);

  unsigned long buffer_size_ = 0;
  std::unique_ptr<CharT[]> buffer_;
  u8 buffer_ready_ = 0;
};

// The stream buffer over a uni::fileio (not owned). Its sync writes nothing.
class fileio_ostream : public streambuf_generic_output<char> {
 public:
  fileio_ostream(fileio* target, int size);
  // Drains what is pending into the file; a failure here goes unreported.
  ~fileio_ostream() override;
  unsigned generic_write(const char* data, unsigned count) override;
  // True when the buffer exists and the target was open at construction.
  bool ready() const { return ready_ != 0; }

 protected:
  int sync() override { return 0; }

 private:
  fileio* target_ = nullptr;
  u8 ready_ = 0;
};

// A std::ostream over its own stream buffer `Buffer`, built on a `Target`. Without a
// buffer (or, for a file, without an open target) the stream stays in the bad state.
template <class Buffer, class Target>
class buffered_output : public std::ostream {
 public:
  buffered_output(Target* target, int size) : std::ostream(nullptr), buffer_(target, size) {
    if (buffer_.ready()) {
      rdbuf(&buffer_);
      open_ = 1;
    }
  }
  // close, then the buffer's destruction writes what is pending.
  ~buffered_output() override { close(); }
  // Flushes (which writes nothing) and marks the stream closed.
  void close() {
    if (!open_) return;
    std::ostream::flush();
    open_ = 0;
  }

 protected:
  Buffer buffer_;
  u8 open_ = 0;
};

// The output stream that uni::fileio::get_output_stream attaches to its file; the file
// owns it and destroys it at close.
class fileio_output : public buffered_output<fileio_ostream, fileio> {
 public:
  using buffered_output::buffered_output;
  // Hands every pending byte to the file; true when all of them, and everything written
  // through the stream before, reached it.
  bool drain();
};

// Creates the stream of `owner` in `slot` unless one is attached there already (which is
// returned); null when memory runs out or the stream has no buffer.
template <class Stream, class Owner>
Stream* attach_output_stream(Stream*& slot, Owner* owner, int size) {
  if (slot != nullptr) return slot;
  Stream* stream = new (std::nothrow) Stream(owner, size);
  if (stream == nullptr) return nullptr;
  if (stream->bad()) {
    delete stream;
    return nullptr;
  }
  slot = stream;
  return slot;
}

class fileio_stats_output;

// Adds up the values of the bytes written to it (through write or its stream).
class fileio_stats {
 public:
  fileio_stats() = default;
  fileio_stats(const fileio_stats&) = delete;
  fileio_stats& operator=(const fileio_stats&) = delete;
  virtual ~fileio_stats();

  // Adds each byte's value to the sum; false for a null pointer or length 0.
  bool write(const void* data, u32 length);
  // A new stream with a 256 KiB buffer, attached and returned (a second call returns the
  // one attached); null when memory runs out.
  fileio_stats_output* get_output_stream();
  // Drains and destroys the attached stream.
  void close();
  // Flushes the attached stream (which adds nothing).
  void flush();
  // Destroys the attached stream (its bytes counted), then sets the sum to 0.
  void clear();

  u64 sum = 0;
  fileio_stats_output* output = nullptr;  // owned
};

class fileio_stats_ostream : public streambuf_generic_output<char> {
 public:
  fileio_stats_ostream(fileio_stats* target, int size);
  ~fileio_stats_ostream() override;
  // 0xFFFFFFFF for a null pointer or count 0, else the count, added to the target's sum.
  unsigned generic_write(const char* data, unsigned count) override;
  bool ready() const { return has_buffer(); }

 protected:
  int sync() override { return 0; }

 private:
  fileio_stats* target_ = nullptr;
};

class fileio_stats_output : public buffered_output<fileio_stats_ostream, fileio_stats> {
 public:
  using buffered_output::buffered_output;
};

}  // namespace uni
