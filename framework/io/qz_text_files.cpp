#include "framework/io/qz_text_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <vector>

#include "framework/text/uni_bom.h"
#include "framework/io/uni_file_utils.h"
#include "framework/io/qz_platform.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_html_tokens.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_text_layout.h"
#include "framework/text/qz_wide.h"

namespace {

constexpr u64 largest_buffer = 0x7fffffff;

// out = the whole file; true also for an empty file. False when it does not open, is larger
// than a 32-bit buffer may be, is a folder, or a read falls short.
bool read_whole_file(const std::string& path, std::vector<u8>& out) {
  out.clear();
  if (is_directory(path)) return false;
  uni::fileio file;
  if (!file.open_utf8(path, false, false, false)) return false;
  const u64 size = file.get_size();
  if (size > largest_buffer) return false;
  if (size == 0) return true;
  return file.read_into_vector(out, size, 0) && out.size() == size;
}

// Creates or empties path and writes the length bytes; false when any step fails.
bool write_whole_file(const std::string& path, const void* data, u64 length) {
  uni::fileio file;
  if (!file.open_utf8(path, true, false, true)) return false;
  const bool written = length == 0 || file.write(data, static_cast<u32>(length));
  return file.close() && written;
}

// Writes the length bytes to standard output and flushes it; false when that fails.
bool write_standard_output(const void* data, u64 length) {
  if (length > 0 && std::fwrite(data, 1, length, stdout) != length) return false;
  return std::fflush(stdout) == 0;
}

}  // namespace

bool replace_file_contents(const std::string& path, const void* data, u64 length) {
  if (path.empty() || (data == nullptr && length > 0) || length > largest_buffer) return false;
  // The file itself is opened (through a link, the file it names), so that it keeps its
  // owner, mode and other links, and the system decides whether the caller may write it.
  uni::fileio file;
  if (!file.open_utf8(path, true, false, false)) return false;
  qz_platform::file_status status;
  if (!file.stat(status) || !status.is_regular()) return false;
  // The new content goes over the old before the file is cut to its length, so that a
  // failure before the first write leaves the old content whole.
  const bool written = (length == 0 || file.write_at(data, static_cast<u32>(length), 0)) &&
                       file.truncate(length);
  return file.close() && written;
}

int html_to_wiki_text(const char* source_path, const char* target_path) {
  if (source_path == nullptr || target_path == nullptr) return 0;
  uni::fileio target;
  if (!target.open_utf8(target_path, true, false, true)) return 0;
  std::vector<u8> html;
  if (!read_whole_file(source_path, html)) return 0;
  std::vector<std::string> tokens;
  if (!tokenize_html(reinterpret_cast<const char*>(html.data()), static_cast<u32>(html.size()),
                     tokens, false))
    return 0;
  normalize_html_tags(tokens);
  std::ostringstream text;
  write_wiki_text(text, tokens);
  for (const auto& token : tokens) text << token;
  target.write_stream(text);
  target.close();
  return 0;
}

bool expand_tabs_file(const char* in_path, const char* out_path, u32 tab_width, bool check_utf16) {
  if (in_path == nullptr || out_path == nullptr) return false;
  std::vector<u8> text;
  if (!read_whole_file(in_path, text)) return false;
  std::string expanded;
  if (!expand_tabs(reinterpret_cast<const char*>(text.data()), static_cast<u32>(text.size()),
                   tab_width, expanded, check_utf16))
    expanded.assign(text.begin(), text.end());
  return write_whole_file(out_path, expanded.data(), expanded.size());
}

bool copy_html_without_scripts(const char* source_path, const char* target_path, bool in_place) {
  if (source_path == nullptr) return false;
  std::vector<u8> html;
  if (!read_whole_file(source_path, html)) return false;
  u32 length = static_cast<u32>(html.size());
  if (length > 0 && !remove_tagged_sections(html.data(), &length, "script")) return false;
  if (in_place) {
    if (replace_file_contents(source_path, html.data(), length)) return true;
  } else if (target_path != nullptr) {
    uni::fileio target;
    if (target.open_utf8(target_path, true, false, true)) {
      const bool written = length == 0 || target.write(html.data(), length);
      return target.close() && written;
    }
  } else {
    return write_standard_output(html.data(), length);
  }
  // The file asked for could not be written: the text goes to standard output instead, and
  // the caller learns that its file was not written.
  write_standard_output(html.data(), length);
  return false;
}

bool remove_string_from_file(const char* path, const char* text, bool ignore_case) {
  if (path == nullptr || text == nullptr || *text == '\0') return false;
  std::vector<u8> content;
  if (!read_whole_file(path, content) || content.empty()) return false;
  // remove_all_from_buffer swaps in a buffer of its own, so it gets one from new[].
  u32 length = static_cast<u32>(content.size());
  char* buffer = new (std::nothrow) char[length];
  if (buffer == nullptr) return false;
  std::memcpy(buffer, content.data(), length);
  std::unique_ptr<char[]> owner;
  const bool removed = remove_all_from_buffer(&buffer, &length, text, ignore_case);
  owner.reset(buffer);
  return removed && replace_file_contents(path, owner.get(), length);
}

bool cut_tag_blocks_in_file(const char* source_path, const char* target_path,
                            const char* tag_name) {
  if (source_path == nullptr || tag_name == nullptr) return false;
  std::vector<u8> data;
  if (!read_whole_file(source_path, data) || data.empty()) return false;
  u32 length = static_cast<u32>(data.size());
  if (is_bom_utf16le(data.data(), data.size())) {
    std::wstring tag;
    widen_cstring(tag_name, tag);
    std::vector<u16> units(data.size() / 2);
    std::memcpy(units.data(), data.data(), units.size() * sizeof(u16));
    u32 unit_bytes = static_cast<u32>(units.size() * sizeof(u16));
    if (!remove_tagged_sections_utf16(units.data(), unit_bytes, tag.c_str())) return false;
    std::memcpy(data.data(), units.data(), unit_bytes);
    // An odd last byte belongs to no unit; it stays at the end of what is kept.
    if (data.size() % 2 != 0) data[unit_bytes++] = data.back();
    length = unit_bytes;
  } else if (!remove_tagged_sections(data.data(), &length, tag_name)) {
    return false;
  }
  if (target_path == nullptr) return replace_file_contents(source_path, data.data(), length);
  return write_whole_file(target_path, data.data(), length);
}
