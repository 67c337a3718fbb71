// File streams that take a file name in every form the system carries names in: a
// std::string, a byte vector, a wide string or a vector of UTF-16 units. A name is bytes: a
// std::string or byte vector is handed to the standard stream unchanged, whether or not it is
// UTF-8, and the wide and UTF-16 forms are turned into their UTF-8 bytes. A name that has no
// exact path (empty, holding a NUL, a wide character beyond U+10FFFF, an unpaired high UTF-16
// surrogate) opens nothing: the stream is left in its fail state, so no other, shortened name
// is ever opened in its place.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

namespace uni {

// The path bytes of each name form; false (out empty) when the name has no exact path.
bool stream_path_string(std::string& out, const std::string& name);
bool stream_path_bytes(std::string& out, const std::vector<u8>& name);
bool stream_path_wide(std::string& out, const std::wstring& name);
bool stream_path_utf16(std::string& out, const std::vector<u16>& name);

// An output file stream.
class ofstream : public std::ofstream {
 public:
  // Not opened.
  ofstream() = default;
  // Opened with `mode` (std::ios::out is always added by the standard stream).
  explicit ofstream(const std::string& name, std::ios::openmode mode = std::ios::out);
  explicit ofstream(const std::vector<u8>& name, std::ios::openmode mode = std::ios::out);
  explicit ofstream(const std::wstring& name, std::ios::openmode mode = std::ios::out);
  explicit ofstream(const std::vector<u16>& name, std::ios::openmode mode = std::ios::out);
  ~ofstream() override = default;

  // Opens with `mode`; the fail state is set when the name or the open fails.
  void open(const std::string& name, std::ios::openmode mode = std::ios::out);
  void open(const std::vector<u8>& name, std::ios::openmode mode = std::ios::out);
  // Opens for output, always truncating an existing file.
  void open(const std::wstring& name);
  void open(const std::vector<u16>& name);
};

// An input file stream.
class ifstream : public std::ifstream {
 public:
  // Not opened.
  ifstream() = default;
  // Opened with `mode` (std::ios::in is always added by the standard stream).
  explicit ifstream(const std::vector<u8>& name, std::ios::openmode mode = std::ios::in);
  explicit ifstream(const std::wstring& name, std::ios::openmode mode = std::ios::in);
  explicit ifstream(const std::vector<u16>& name, std::ios::openmode mode = std::ios::in);
  ~ifstream() override = default;

  // Opens with `mode`; the fail state is set when the name or the open fails.
  void open(const std::string& name, std::ios::openmode mode = std::ios::in);
  void open(const std::vector<u8>& name, std::ios::openmode mode = std::ios::in);
  void open(const std::vector<u16>& name, std::ios::openmode mode = std::ios::in);
};

// The process-wide marker of UTF-8 file names; it holds no state beyond two words that
// start at 0. One instance, utf8_locale_instance, lives for the whole process.
class utf8_locale {
 public:
  utf8_locale() = default;
  virtual ~utf8_locale() = default;

  u32 first = 0;
  u32 second = 0;
};

// The one process-wide utf8_locale.
extern utf8_locale utf8_locale_instance;

}  // namespace uni
