// A view of a block of bytes for display (qz::binary_data) and the dumps that show bytes as
// hex lines, hex pairs, character lines or raw bytes. A hex line holds 16 bytes: an optional
// address column ("0000 0010:  ", 16-bit groups of 4 lower-case digits), the bytes as two
// digits and a blank each with one more blank before the 9th, blanks for missing bytes so the
// character column lines up, one blank, and the bytes as characters (0x20-0x7E as themselves,
// others "."). Every dump stays inside the bytes it is given and leaves the stream's format
// flags and fill as it found them.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

namespace qz {

// Format word bits of a view.
inline constexpr u32 view_grouped = 0x1;  // grouped character lines; no addresses in a range
inline constexpr u32 view_hex = 0x2;      // hexadecimal
inline constexpr u32 view_lines = 0x4;    // address column, or character lines without hex
inline constexpr u32 view_plain = 0x8;    // allows raw bytes and character lines in a range

class binary_data {
 public:
  // Empty, owning, format 2.
  binary_data() = default;
  // The length bytes at data: copied when copy is set (owning), else borrowed (they must
  // outlive the view). Null data or a length of 0 gives the empty view.
  binary_data(const u8* data, u32 length, bool copy);
  // The same over the vector's bytes; without copy the view looks at the vector's storage.
  binary_data(const std::vector<u8>& bytes, bool copy);
  // Owning, size bytes of fill (or of 0).
  binary_data(u32 size, u8 fill);
  explicit binary_data(u32 size);
  // An owning view that cannot have its bytes is the empty view: size 0, never more.
  virtual ~binary_data() = default;

  u32 size() const { return m_num_data; }
  u32 format() const { return m_format; }
  // Returns the format set.
  u32 set_format(u16 format);
  // The bytes (owned or borrowed); null for an empty view.
  const u8* data() const;

  // The byte at index, which must be below size().
  u8& operator()(u32 index);
  u8 operator()(u32 index) const;

  // Editing: false, nothing changed, on a borrowing view.
  // Size 0.
  bool clear();
  // Adds the bytes at the end; false also for null data.
  bool append(const u8* data, u32 length);
  bool push_back(u8 byte);
  // Removes count bytes from position (fewer at the end); false when position is not below
  // the size.
  bool erase(u32 position, u32 count);
  // Replaces the contents with at most length bytes of the file from offset on: only the
  // bytes actually read. False, contents unchanged, when the file cannot be opened or read
  // or the offset is not inside it.
  bool load_file(const char* path, u32 offset, u32 length);

  // Writes the whole view by its format: raw bytes (neither hex nor lines), grouped character
  // lines (lines), hex pairs (hex) or hex lines (hex and lines), addresses from 0. Returns os.
  static std::ostream& dump(std::ostream& os, const binary_data& view);
  // Writes count bytes from start (cut to the end) by the format: with hex, hex lines with
  // addresses from base (lines), else hex pairs, or hex lines without addresses when grouped;
  // without hex nothing unless grouped or plain, then character lines (grouped when grouped)
  // with lines, else raw bytes. Nothing for a start at or past the end.
  static void dump_range(const binary_data& view, std::ostream& os, u32 start, u32 count,
                         u64 base);
  // Creates or truncates the file and writes dump() into it; false when it cannot be
  // written.
  static bool save_dump(const binary_data& view, const char* path);

 private:
  u32 m_num_data = 0;
  std::vector<u8> m_buffer;
  u32 m_format = view_hex;
  bool m_own_data = true;
  const u8* m_data = nullptr;  // the borrowed bytes; the owned ones are m_buffer's
};

}  // namespace qz

// Called after each hex line with context, the line's first position and the end position;
// its result is not used.
using hex_line_callback = bool (*)(void* context, u32 line_start, u32 end);

// Hex lines, each ended by "\n", for the bytes from start up to end (cut to the size); the
// first line's address is base, each next one 16 more. callback may be null.
void write_hex_lines(std::ostream& os, const qz::binary_data& view, u32 start, u32 end, u64 base,
                     bool show_address, hex_line_callback callback, void* context);
// out = the hex lines as write_hex_lines makes them, except that an address whose top 16 bits
// are 0 writes bits 32-47 with 1, 2 or 4 digits as they need ("1 2345 6789:  ").
void hex_dump_to_string(std::string& out, const qz::binary_data& view, u32 start, u32 end,
                        u64 base, bool show_address, hex_line_callback callback, void* context);

// Dumps through a borrowing view of the caller's bytes: hex lines from start to the end.
void hex_dump_buffer(const u8* data, u32 length, std::ostream& os, u32 start, u64 base,
                     bool show_address);
void hex_dump_vector(const std::vector<u8>& bytes, std::ostream& os, u32 start, u64 base);
// When every byte from start on equals the one at start, the one line
// "0x<base, 6+ digits> : value 0x<byte> : 0x<count> bytes"; otherwise hex lines. Nothing for
// a start outside the vector.
void hex_dump_vector_runs(const std::vector<u8>& bytes, std::ostream& os, u32 start, u64 base);
// hex_dump_to_string with addresses from start to length.
void hex_dump_buffer_to_string(const u8* data, u32 length, std::string& out, u32 start, u64 base,
                               hex_line_callback callback = nullptr, void* context = nullptr);
// The string dump with addresses written to os, for at most hex_dump_limit bytes; above that
// only "size to big to output: size 0x<length>" and a newline.
inline constexpr u32 hex_dump_limit = 0x1000000;
void hex_dump_checked(const u8* data, u32 length, std::ostream& os, u32 start, u64 base,
                      hex_line_callback callback = nullptr, void* context = nullptr);
// Hex lines as UTF-16LE text, each ended by CR LF; the address groups are each followed by a
// blank, without the colon.
void hex_dump_utf16(const u8* data, u32 length, std::ostream& os, u32 start, u64 base);

// A diagnostics target: its dumps go to stream while enabled.
struct dump_context {
  bool enabled = false;
  std::ostream* stream = nullptr;
  // hex_dump_checked of the whole buffer, addresses from base; nothing while disabled or
  // without a stream.
  void hex_dump(const u8* data, u32 length, u64 base);
};
