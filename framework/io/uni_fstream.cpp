#include "framework/io/uni_fstream.h"

#include "framework/io/uni_file_utils.h"
#include "framework/text/uni_unicode.h"

namespace uni {

utf8_locale utf8_locale_instance;

namespace {

// Opens `stream` on the path, or leaves it closed in its fail state when there is none.
template <typename Stream>
void open_path(Stream& stream, bool converted, const std::string& path, std::ios::openmode mode) {
  if (converted) {
    stream.Stream::open(path, mode);
  } else {
    if (stream.is_open()) stream.close();
    stream.setstate(std::ios::failbit);
  }
}

}  // namespace

bool stream_path_string(std::string& out, const std::string& name) {
  out.clear();
  // The standard stream reads the name up to its first NUL: a name holding one would open
  // another, shorter name.
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  out = name;
  return true;
}

bool stream_path_bytes(std::string& out, const std::vector<u8>& name) {
  return stream_path_string(out, bytes_to_string(name));
}

bool stream_path_wide(std::string& out, const std::wstring& name) { return path_wide_to_utf8(out, name); }

bool stream_path_utf16(std::string& out, const std::vector<u16>& name) {
  // Empty at an unpaired high surrogate, which the check then refuses.
  return stream_path_string(out, utf16_units_to_utf8_string(name));
}

ofstream::ofstream(const std::string& name, std::ios::openmode mode) { open(name, mode); }
ofstream::ofstream(const std::vector<u8>& name, std::ios::openmode mode) { open(name, mode); }
ofstream::ofstream(const std::wstring& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_wide(path, name);
  open_path<std::ofstream>(*this, converted, path, mode);
}
ofstream::ofstream(const std::vector<u16>& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_utf16(path, name);
  open_path<std::ofstream>(*this, converted, path, mode);
}

void ofstream::open(const std::string& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_string(path, name);
  open_path<std::ofstream>(*this, converted, path, mode);
}

void ofstream::open(const std::vector<u8>& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_bytes(path, name);
  open_path<std::ofstream>(*this, converted, path, mode);
}

void ofstream::open(const std::wstring& name) {
  std::string path;
  const bool converted = stream_path_wide(path, name);
  open_path<std::ofstream>(*this, converted, path, std::ios::out | std::ios::trunc);
}

void ofstream::open(const std::vector<u16>& name) {
  std::string path;
  const bool converted = stream_path_utf16(path, name);
  open_path<std::ofstream>(*this, converted, path, std::ios::out | std::ios::trunc);
}

ifstream::ifstream(const std::vector<u8>& name, std::ios::openmode mode) { open(name, mode); }
ifstream::ifstream(const std::wstring& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_wide(path, name);
  open_path<std::ifstream>(*this, converted, path, mode);
}
ifstream::ifstream(const std::vector<u16>& name, std::ios::openmode mode) { open(name, mode); }

void ifstream::open(const std::string& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_string(path, name);
  open_path<std::ifstream>(*this, converted, path, mode);
}

void ifstream::open(const std::vector<u8>& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_bytes(path, name);
  open_path<std::ifstream>(*this, converted, path, mode);
}

void ifstream::open(const std::vector<u16>& name, std::ios::openmode mode) {
  std::string path;
  const bool converted = stream_path_utf16(path, name);
  open_path<std::ifstream>(*this, converted, path, mode);
}

}  // namespace uni
