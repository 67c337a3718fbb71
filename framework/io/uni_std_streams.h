// Standard input read line by line and standard output written as raw bytes. A missing stream
// leaves the object not ready, and then every operation returns false. Nothing here prints.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

namespace uni {

// Lines of standard input, one piece of at most 4095 bytes per read: a longer line arrives in
// several pieces and only its last one ends in LF. End of input and read errors both give false.
// A piece holds the bytes up to the first NUL. With strip, every trailing CR and LF is removed.
class stdin_stream {
 public:
  // Ready when standard input is open; flag is stored and has no effect.
  explicit stdin_stream(bool flag);
  virtual ~stdin_stream();
  stdin_stream(const stdin_stream&) = delete;
  stdin_stream& operator=(const stdin_stream&) = delete;

  // out = the next piece; false (out empty) at end of input or when not ready.
  virtual bool read(std::string& out, bool strip);
  // The same decoded from UTF-8; a malformed piece gives the characters before the fault. A
  // character cut by the piece limit is held back and arrives whole with the next piece.
  virtual bool read(std::wstring& out, bool strip);
  // The same as bytes.
  bool read(std::vector<u8>& out, bool strip);
  // Reads at most *length - 1 bytes up to and including LF into target, NUL-terminated, and sets
  // *length to the number read; false (*length 0) at end of input, when not ready, or when
  // target or length is null or *length is below 2.
  bool read(char* target, u32* length);
  // True when input can be read without blocking, waiting at most 2 seconds; end of input
  // counts as readable. False when not ready or nothing came.
  bool wait_for_input();
  bool input_ready() const { return true; }
  bool is_ready() const { return ready != 0; }
  // Releases the buffer and leaves the object not ready; standard input stays open.
  void close();

 protected:
  std::unique_ptr<char[]> buffer;
  std::FILE* stream;
  u8 ready;
  u8 flag;
  i32 buffer_size;

 private:
  bool next_piece(char* dest, int capacity, std::size_t& length, bool& cut);
  // text = the next piece (empty and false at the end); with whole_characters a UTF-8
  // character cut at the piece limit is held back for the next read.
  bool read_piece(std::string& text, bool whole_characters);

  std::string held_back_;  // the start of a UTF-8 character that the last wide read cut off
};

// Raw bytes to the descriptor of standard output, written until all are out.
class stdout_stream {
 public:
  // Ready when standard output is open; flag is stored and has no effect.
  explicit stdout_stream(bool flag);
  virtual ~stdout_stream();
  stdout_stream(const stdout_stream&) = delete;
  stdout_stream& operator=(const stdout_stream&) = delete;

  // Writes the bytes after whatever the stdio buffer of standard output still holds; false when
  // not ready, data is null, length is 0, or a write fails.
  bool write(const void* data, u32 length);
  bool write(const std::string& text);
  // False for an empty vector.
  bool write(const std::vector<u8>& bytes);
  // Writes the text as UTF-8; false for an empty text.
  bool write(const std::wstring& text);
  bool is_ready() const { return ready != 0; }
  // Stops writing; standard output itself stays open.
  void close();

 protected:
  int descriptor;
  std::FILE* stream;
  u8 ready;
  u8 flag;
};

}  // namespace uni
