// Bulk members of uni::fileio: block-wise line reading, block walks, copies with progress,
// hex dumps and line lists.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <sstream>

#include "framework/io/qz_io_report.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_string.h"

namespace uni {

namespace {

constexpr u32 copy_stream_progress_every = 71;
constexpr u32 copy_file_progress_every = 31;
constexpr u32 hex_bytes_per_line = 16;

bool is_line_end(u8 c) { return c == '\n' || c == '\r'; }

std::string trimmed(const std::vector<u8>& block, size_t from, size_t to) {
  std::string line(block.begin() + static_cast<std::ptrdiff_t>(from), block.begin() + static_cast<std::ptrdiff_t>(to));
  trim_whitespace(line);
  return line;
}

// Shows the share of `amount` already copied before block number `index` on the first block
// and every `every`th after it.
void show_copy_progress(io_report* progress, u64 index, u32 every, u64 copied, u64 amount) {
  if (progress == nullptr || index % every != 0) return;
  char text[64];
  const double share = amount == 0 ? 0.0 : static_cast<double>(copied) * 100.0 / static_cast<double>(amount);
  std::snprintf(text, sizeof text, "percent done %4.2f", share);
  progress->status(text);
}

// Hands min(count, size - start) bytes from `start` to `sink` in blocks of `block` bytes
// (0: 4 MiB), with progress on the first and every `every`th block. False when the file is not
// open or empty, `start` is past its end or cannot be reached, a read fails or ends early, or
// `sink` refuses a block.
template <typename Sink>
bool copy_range(fileio& file, u64 start, u64 count, u32 block, io_report* progress, u32 every, Sink sink) {
  if (!file.is_open() || file.seek_set(start) < 0) return false;
  const u64 total = file.query_size();
  if (total == 0 || start > total) return false;
  const u64 amount = std::min(total - start, count);
  if (block == 0) block = fileio::default_copy_block_bytes;
  std::vector<u8> buffer;
  try {
    buffer.resize(static_cast<size_t>(std::min<u64>(block, amount)));
  } catch (const std::exception&) {
    return false;
  }
  u64 copied = 0;
  for (u64 index = 0; copied < amount; ++index) {
    u32 length = static_cast<u32>(std::min<u64>(buffer.size(), amount - copied));
    // A read that fails or ends early leaves the copy short: report it.
    if (!file.read_next(buffer.data(), length) || length == 0) return false;
    show_copy_progress(progress, index, every, copied, amount);
    if (!sink(buffer.data(), length)) return false;
    copied += length;
  }
  return true;
}

}  // namespace

bool fileio::read_lines_at(std::vector<std::string>& lines, u32& length, u64 offset) {
  if (!is_open() || offset > size || length == 0) return false;
  // A block that reaches the end of the content is the last: its unended line is complete.
  const bool last = static_cast<u64>(length) >= size - offset;
  if (last) length = static_cast<u32>(size - offset);
  std::vector<u8> block;
  if (!read_into_vector(block, length, offset) || block.empty()) return false;

  size_t line_start = 0;
  size_t consumed = 0;  // bytes up to and including the last line end
  for (size_t i = 0; i < block.size(); ++i) {
    if (!is_line_end(block[i])) continue;
    consumed = i + 1;
    // A line end right at the line start stays in the next line, where trimming drops it.
    if (i == line_start) continue;
    lines.push_back(trimmed(block, line_start, i));
    line_start = i + 1;
    if (i + 1 < block.size() && is_line_end(block[i + 1]) && block[i + 1] != block[i]) {
      ++i;
      line_start = i + 1;
      consumed = line_start;
    }
  }
  if (last && consumed < block.size()) {
    lines.push_back(trimmed(block, line_start, block.size()));
    length = static_cast<u32>(block.size());
  } else if (consumed == 0) {
    // Without a single line end the block would never be consumed: it is one line.
    lines.push_back(trimmed(block, 0, block.size()));
    length = static_cast<u32>(block.size());
  } else {
    length = static_cast<u32>(consumed);
  }
  return true;
}

bool fileio::read_all_lines(std::vector<std::string>& lines) {
  if (!is_open()) return false;
  lines.clear();
  u64 offset = 0;
  for (;;) {
    u32 length = line_block_bytes;
    if (!read_lines_at(lines, length, offset) || length == 0) break;
    offset += length;
  }
  return !lines.empty();
}

bool fileio::for_each_block(block_callback callback, u64 context, u32 block, u32 overlap, u64 start) {
  if (!is_open()) return false;
  const u64 end = size;
  if (start >= end || end - start < block) {
    block = start >= end ? 0 : static_cast<u32>(end - start);
    overlap = 0;
  }
  std::vector<u8> buffer;
  try {
    buffer.resize(block);
  } catch (const std::exception&) {
    return false;
  }
  u64 offset = start;
  while (offset < end && block != 0) {
    u32 got = block;
    if (!read_at(buffer.data(), got, offset) || got == 0) break;
    if (overlap >= got) overlap = 0;
    if (callback != nullptr) callback(*this, context, buffer.data(), got, overlap, offset);
    offset += got - overlap;
    if (offset < end && end - offset < block) block = static_cast<u32>(end - offset);
  }
  return true;
}

bool fileio::copy_to_stream(std::ostream& out, u64 start, u64 count, u32 block, io_report* progress) {
  const bool copied = copy_range(*this, start, count, block, progress, copy_stream_progress_every,
                                 [&](const u8* bytes, u32 length) {
                                   out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
                                   return static_cast<bool>(out);
                                 });
  if (!copied) return false;
  out.flush();
  return static_cast<bool>(out);
}

bool fileio::copy_to_file(fileio& target, u64 start, u64 count, u64 target_offset, u32 block,
                          io_report* progress) {
  if (!is_open() || count == 0) return false;
  if (in_memory && start > size) return false;
  const bool copied = copy_range(*this, start, count, block, progress, copy_file_progress_every,
                                 [&](const u8* bytes, u32 length) {
                                   if (!target.write_at(bytes, length, target_offset)) return false;
                                   target_offset += length;
                                   return true;
                                 });
  if (progress != nullptr) progress->clear_status();
  return copied;
}

bool fileio::write_hex_dump(const void* data, u32 length, u64 base) {
  if (!is_open() || data == nullptr) return false;
  if (length == 0) return true;
  const u8* bytes = static_cast<const u8*>(data);
  const char* line_end = text_mode ? "\r\n" : "\n";
  std::ostringstream text;
  char piece[32];
  auto line_head = [&](u64 at) {
    std::snprintf(piece, sizeof piece, "0x%06llx : ", static_cast<unsigned long long>(at));
    text << piece;
  };
  line_head(base);
  for (u32 i = 0; i < length; ++i) {
    std::snprintf(piece, sizeof piece, "%02x ", bytes[i]);
    text << piece;
    if ((i + 1) % hex_bytes_per_line != 0) continue;
    for (u32 k = i + 1 - hex_bytes_per_line; k <= i; ++k)
      text << (bytes[k] >= 32 && bytes[k] <= 126 ? static_cast<char>(bytes[k]) : '.');
    text << line_end;
    line_head(base + i + 1);
  }
  text << line_end;
  return write_stream(text);
}

bool fileio::write_hex_dump(const std::vector<u8>& bytes, u64 base) {
  if (!is_open()) return false;
  if (bytes.empty()) return true;
  if (bytes.size() > 0xFFFFFFFFull) return false;
  return write_hex_dump(bytes.data(), static_cast<u32>(bytes.size()), base);
}

bool fileio::write_lines(const std::vector<std::string>& lines) {
  if (!is_open() || lines.empty()) return false;
  for (const std::string& line : lines) {
    const std::string ended = line + "\r\n";
    if (ended.size() > 0xFFFFFFFFull || !write(ended.data(), static_cast<u32>(ended.size()))) return false;
  }
  return true;
}

}  // namespace uni
