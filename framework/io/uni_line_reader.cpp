// The chunked line reader of uni::fileio. The unfinished end of each chunk is kept as raw
// bytes and the next chunk is read right behind it, so every line is cut, stripped of
// CRs, trimmed and tested for emptiness only once it is complete: the lines come out the
// same whatever the chunk size.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_split.h"
#include "framework/text/uni_unicode.h"

namespace uni {

namespace {

static_assert(std::endian::native == std::endian::little,
              "UTF-16LE sources are read straight into native 16-bit units");

// The line splitter walks a buffer with a signed 32-bit index.
constexpr u64 max_buffer_bytes = INT32_MAX;
// A buffer that a long line made grow beyond this many chunks goes back to the size of a chunk
// once the line is cut out of it, before the line is handed on.
constexpr u64 shrink_above_chunks = 4;

fileio::status_line progress_line;

bool is_high_surrogate(u16 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Grows `buffer` to at least `needed` bytes, doubling so that a long line read in small
// chunks is not copied over and over. False for a line too long for the splitter; running out
// of memory throws, as everywhere in a run.
bool reserve_bytes(std::vector<u8>& buffer, u64 needed) {
  if (needed > max_buffer_bytes) return false;
  if (buffer.size() >= needed) return true;
  buffer.resize(std::max<u64>(needed, std::min<u64>(buffer.size() * 2, max_buffer_bytes)));
  return true;
}

// Turns UTF-16LE bytes into UTF-8. A high surrogate or an odd byte at the end of a chunk
// waits for the next chunk; at the end of the file, and wherever a surrogate has no
// partner, U+FFFD stands in its place and the conversion goes on.
class utf16_decoder {
 public:
  void reserve(u32 chunk) {
    units_.resize(chunk / 2 + 2);
    text_.reserve(chunk / 2 * 3 + 256);
  }
  // Where the next `count` raw bytes go, behind what waits from the previous chunk.
  char* input(u32 count) {
    u64 needed_units = (pending_bytes_ + count + 1) / 2;
    if (units_.size() < needed_units) units_.resize(needed_units);
    return reinterpret_cast<char*>(units_.data()) + pending_bytes_;
  }
  // Converts the pending bytes plus `count` fresh ones; the result is text().
  void convert(u32 count, bool at_end) {
    u64 total_bytes = pending_bytes_ + count;
    size_t whole_units = total_bytes / 2;
    size_t usable = whole_units;
    if (!at_end && usable > 0 && is_high_surrogate(units_[usable - 1])) --usable;
    text_.clear();
    if (usable > 0) utf16_to_utf8_replacing(text_, units_.data(), usable * 2);
    // An odd byte left at the very end of the file is not a character.
    pending_bytes_ = at_end ? 0 : total_bytes - usable * 2;
    if (pending_bytes_ > 0) {
      char* raw = reinterpret_cast<char*>(units_.data());
      std::memmove(raw, raw + usable * 2, pending_bytes_);
    }
  }
  const std::string& text() const { return text_; }

 private:
  std::vector<u16> units_;
  u64 pending_bytes_ = 0;
  std::string text_;
};

}  // namespace

void fileio::set_status_line(status_line target) { progress_line = target; }

int fileio::for_each_line(line_callback callback, u64 context, bool trim, bool skip_empty,
                          bool show_progress, u64 max_lines, bool detect_bom, u32 chunk_bytes,
                          bool keep_line_ends) {
  if (!is_open() || !text_mode || callback == nullptr) return 0;
  if (chunk_bytes == 0) chunk_bytes = default_chunk_bytes;
  // Reads are bounded by the cached size, which must be the size the loop walks to.
  const u64 file_size = refresh_size();
  const u32 chunk = static_cast<u32>(std::min<u64>(file_size, chunk_bytes));

  std::vector<u8> work;  // the carried unfinished line, then the fresh bytes
  std::vector<std::string> lines;
  utf16_decoder utf16;
  if (!reserve_bytes(work, static_cast<u64>(chunk) + 1)) return 0;

  // The mark is looked for in the file's first bytes, so a chunk smaller than the mark
  // cannot hide it.
  u64 offset = 0;
  bool is_utf16 = false;
  if (detect_bom && file_size >= 2) {
    u8 mark[3] = {};
    u32 got = static_cast<u32>(std::min<u64>(file_size, sizeof mark));
    if (!read_at(mark, got, 0)) return 0;
    if (got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
      is_utf16 = true;
      offset = 2;
    } else if (got >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
      offset = 3;
    }
  }
  if (is_utf16) utf16.reserve(chunk);

  int result = 1;
  u64 carry = 0;
  u64 delivered = 0;
  while (offset < file_size) {
    if (max_lines != all_lines && delivered >= max_lines) break;
    const u64 chunk_offset = offset;
    u32 got = static_cast<u32>(std::min<u64>(chunk, file_size - offset));
    u8* target = nullptr;
    if (is_utf16) {
      target = reinterpret_cast<u8*>(utf16.input(got));
    } else {
      if (!reserve_bytes(work, carry + got + 1)) {
        result = 0;
        break;
      }
      target = work.data() + carry;
    }
    // A read that fails, or finds the file shorter than it was, leaves lines unread.
    if (!read_at(target, got, offset) || got == 0) {
      result = 0;
      break;
    }
    offset += got;
    const bool at_end = offset >= file_size;

    u64 length = carry + got;
    if (is_utf16) {
      utf16.convert(got, at_end);
      const std::string& text = utf16.text();
      if (!reserve_bytes(work, carry + text.size() + 1)) {
        result = 0;
        break;
      }
      std::memcpy(work.data() + carry, text.data(), text.size());
      length = carry + text.size();
    }
    // The end of the file ends the last line as an LF would; a line kept whole does not get
    // that LF.
    const bool lf_added = at_end && length > 0 && work[length - 1] != '\n';
    if (lf_added) work[length++] = '\n';

    // Only the fresh bytes can hold the LF that completes a line.
    u32 consumed = 0;
    u64 count = 0;
    if (length > carry && std::memchr(work.data() + carry, '\n', length - carry) != nullptr) {
      if (keep_line_ends) {
        split_buffer_whole_lines(consumed, lines, work.data(), static_cast<u32>(length));
        if (lf_added) lines.back().pop_back();
      } else {
        split_buffer_lines(consumed, lines, work.data(), static_cast<u32>(length), trim,
                           skip_empty);
      }
      count = lines.size();
    }
    carry = length - consumed;
    if (consumed > 0 && carry > 0) std::memmove(work.data(), work.data() + consumed, carry);
    // The lines are copies: the room a long line took goes back before they are handed on,
    // so that the line and what is made of it never stand beside it.
    if (work.size() > shrink_above_chunks * (static_cast<u64>(chunk) + 1) &&
        carry + chunk + 1 <= work.size() / 2) {
      std::vector<u8> smaller(carry + chunk + 1);
      std::memcpy(smaller.data(), work.data(), carry);
      work.swap(smaller);
    }

    bool stop = false;
    const u64 in_chunk = count;
    if (count > 0) {
      if (max_lines != all_lines && delivered + count >= max_lines) {
        count = max_lines - delivered;
        stop = true;
      }
      // A callback that takes nothing more ends the loop: the rest of the file is not read.
      if (callback(*this, context, lines, static_cast<u32>(count), chunk_offset) == 0) stop = true;
      // Only a chunk's first line can be longer than a chunk (it began in an earlier one): the
      // room of a long one goes back rather than staying with the lines for the rest of the file.
      if (lines[0].capacity() > shrink_above_chunks * static_cast<u64>(chunk)) std::string().swap(lines[0]);
    }

    if (show_progress && progress_line.print != nullptr) {
      float share = max_lines == all_lines
                        ? static_cast<float>(chunk_offset) / static_cast<float>(file_size)
                        : static_cast<float>(delivered + in_chunk) / static_cast<float>(max_lines);
      char text[32];
      std::snprintf(text, sizeof text, "percent done %d\n", static_cast<int>(share * 100.0f));
      progress_line.print(text);
    }
    delivered += count;
    if (stop) break;
  }
  if (show_progress && progress_line.clear != nullptr) progress_line.clear();
  return result;
}

}  // namespace uni
