#include "framework/text/qz_hex_view.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <fstream>
#include <new>

#include "framework/text/qz_md5.h"
#include "framework/text/qz_number_format.h"

namespace {

constexpr u32 line_bytes = 16;
constexpr u32 grouped_chars = 48;
constexpr u32 plain_chars = 64;

// The ways an address column is written.
enum class address_form {
  none,
  stream,   // 16-bit groups of 4 digits, then ":  "
  compact,  // bits 32-47 with only the digits they need when the top 16 bits are 0
  utf16,    // 16-bit groups of 4 digits, each followed by a blank, no colon
};

char shown_char(u8 byte) { return (byte >= 0x20 && byte <= 0x7E) ? static_cast<char>(byte) : '.'; }

void append_hex_group(std::string& out, u64 value, u32 digits) {
  out += format_u64(value, true, digits).substr(2);
}

void append_address(std::string& out, u64 address, address_form form) {
  const u64 top = address >> 48;
  const u64 high = (address >> 32) & 0xFFFF;
  if (top != 0) {
    append_hex_group(out, top, 4);
    out += ' ';
  }
  if (top != 0 || high != 0) {
    u32 digits = 4;
    if (form == address_form::compact && top == 0) digits = high <= 0xF ? 1 : high <= 0xFF ? 2 : 4;
    append_hex_group(out, high, digits);
    out += ' ';
  }
  append_hex_group(out, (address >> 16) & 0xFFFF, 4);
  out += ' ';
  append_hex_group(out, address & 0xFFFF, 4);
  out += form == address_form::utf16 ? " " : ":  ";
}

// One hex line of count (1 to 16) bytes, without its line end.
void append_hex_line(std::string& out, const u8* bytes, u32 count, u64 address, address_form form) {
  if (form != address_form::none) append_address(out, address, form);
  for (u32 i = 0; i < count; ++i) {
    if (i == 8) out += ' ';
    append_hex_bytes(out, bytes + i, 1, "", false);
    out += ' ';
  }
  const u32 missing = line_bytes - count;
  out.append(3 * missing + (missing >= 8 ? 1 : 0), ' ');
  out += ' ';
  for (u32 i = 0; i < count; ++i) out += shown_char(bytes[i]);
}

// Calls add_line for each hex line of data[start, end) with its text (line end included),
// position and end.
template <class AddLine>
void for_each_hex_line(const u8* data, u32 start, u32 end, u64 base, address_form form,
                       const char* line_end, AddLine add_line) {
  std::string line;
  for (u32 pos = start; pos < end; pos += std::min(line_bytes, end - pos)) {
    line.clear();
    append_hex_line(line, data + pos, std::min(line_bytes, end - pos), base + (pos - start), form);
    line += line_end;
    add_line(line, pos);
  }
}

void write_text(std::ostream& os, const std::string& text) {
  os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void write_hex_pairs(std::ostream& os, const u8* data, u32 start, u32 end) {
  std::string text;
  for (u32 pos = start; pos < end; ++pos) {
    append_hex_bytes(text, data + pos, 1, "", false);
    text += ' ';
    if ((pos + 1) % line_bytes == 0) text += '\n';
  }
  text += '\n';
  write_text(os, text);
}

void write_char_lines(std::ostream& os, const u8* data, u32 start, u32 end, u64 base, bool grouped) {
  const u32 width = grouped ? grouped_chars : plain_chars;
  std::string line;
  for (u32 pos = start; pos < end; pos += std::min(width, end - pos)) {
    line.clear();
    append_address(line, base + (pos - start), address_form::stream);
    const u32 count = std::min(width, end - pos);
    for (u32 i = 0; i < count; ++i) {
      if (grouped && i > 0 && i % 4 == 0) line += i % 16 == 0 ? "   " : " ";
      line += shown_char(data[pos + i]);
    }
    line += '\n';
    write_text(os, line);
  }
}

void write_raw(std::ostream& os, const u8* data, u32 start, u32 end) {
  if (start < end)
    os.write(reinterpret_cast<const char*>(data + start), static_cast<std::streamsize>(end - start));
}

}  // namespace

namespace qz {

binary_data::binary_data(const u8* data, u32 length, bool copy) {
  if (!data || length == 0) return;
  if (!copy) {
    m_own_data = false;
    m_data = data;
    m_num_data = length;
    return;
  }
  try {
    m_buffer.assign(data, data + length);
    m_num_data = length;
  } catch (const std::bad_alloc&) {
    m_buffer.clear();
  }
}

binary_data::binary_data(const std::vector<u8>& bytes, bool copy)
    : binary_data(bytes.data(), static_cast<u32>(bytes.size()), copy) {}

binary_data::binary_data(u32 size, u8 fill) {
  try {
    m_buffer.assign(size, fill);
    m_num_data = size;
  } catch (const std::bad_alloc&) {
    m_buffer.clear();
  }
}

binary_data::binary_data(u32 size) : binary_data(size, 0) {}

u32 binary_data::set_format(u16 format) { return m_format = format; }

const u8* binary_data::data() const {
  if (m_num_data == 0) return nullptr;
  return m_own_data ? m_buffer.data() : m_data;
}

u8& binary_data::operator()(u32 index) {
  assert(index < m_num_data && "index < m_num_data");
  // Writing through a borrowed view changes the caller's bytes, as a view of them should.
  return m_own_data ? m_buffer[index] : const_cast<u8*>(m_data)[index];
}

u8 binary_data::operator()(u32 index) const {
  assert(index < m_num_data && "index < m_num_data");
  return data()[index];
}

bool binary_data::clear() {
  if (!m_own_data) return false;
  m_buffer.clear();
  m_num_data = 0;
  return true;
}

bool binary_data::append(const u8* bytes, u32 length) {
  if (!m_own_data || !bytes) return false;
  if (length > 0xFFFFFFFFu - m_num_data) return false;
  try {
    m_buffer.insert(m_buffer.end(), bytes, bytes + length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  m_num_data = static_cast<u32>(m_buffer.size());
  return true;
}

bool binary_data::push_back(u8 byte) { return append(&byte, 1); }

bool binary_data::erase(u32 position, u32 count) {
  if (!m_own_data || position >= m_num_data) return false;
  const u32 removed = std::min(count, m_num_data - position);
  m_buffer.erase(m_buffer.begin() + position, m_buffer.begin() + position + removed);
  m_num_data = static_cast<u32>(m_buffer.size());
  return true;
}

bool binary_data::load_file(const char* path, u32 offset, u32 length) {
  if (!m_own_data || !path) return false;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool loaded = false;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long file_size = std::ftell(file);
    if (file_size > static_cast<long>(offset) && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0) {
      const u64 available = static_cast<u64>(file_size) - offset;
      const u32 wanted = static_cast<u32>(std::min<u64>(length, available));
      std::vector<u8> bytes;
      try {
        bytes.resize(wanted);
        const std::size_t read = std::fread(bytes.data(), 1, wanted, file);
        if (read == wanted || !std::ferror(file)) {
          bytes.resize(read);
          m_buffer.swap(bytes);
          m_num_data = static_cast<u32>(m_buffer.size());
          loaded = true;
        }
      } catch (const std::bad_alloc&) {
      }
    }
  }
  std::fclose(file);
  return loaded;
}

std::ostream& binary_data::dump(std::ostream& os, const binary_data& view) {
  const u8* bytes = view.data();
  const u32 end = view.size();
  if (end == 0) return os;
  const bool hex = view.m_format & view_hex;
  const bool lines = view.m_format & view_lines;
  if (hex && lines)
    write_hex_lines(os, view, 0, end, 0, true, nullptr, nullptr);
  else if (hex)
    write_hex_pairs(os, bytes, 0, end);
  else if (lines)
    write_char_lines(os, bytes, 0, end, 0, true);
  else
    write_raw(os, bytes, 0, end);
  return os;
}

void binary_data::dump_range(const binary_data& view, std::ostream& os, u32 start, u32 count, u64 base) {
  if (start >= view.size()) return;
  const u8* bytes = view.data();
  const u32 end = start + std::min(count, view.size() - start);
  const u32 format = view.m_format;
  if (format & view_hex) {
    if (format & view_lines)
      write_hex_lines(os, view, start, end, base, true, nullptr, nullptr);
    else if (format & view_grouped)
      write_hex_lines(os, view, start, end, base, false, nullptr, nullptr);
    else
      write_hex_pairs(os, bytes, start, end);
    return;
  }
  if (!(format & (view_grouped | view_plain))) return;
  if (format & view_lines)
    write_char_lines(os, bytes, start, end, base, format & view_grouped);
  else
    write_raw(os, bytes, start, end);
}

bool binary_data::save_dump(const binary_data& view, const char* path) {
  if (!path) return false;
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (!file) return false;
  dump(file, view);
  file.close();
  return !file.fail();
}

}  // namespace qz

void write_hex_lines(std::ostream& os, const qz::binary_data& view, u32 start, u32 end, u64 base,
                     bool show_address, hex_line_callback callback, void* context) {
  end = std::min(end, view.size());
  const address_form form = show_address ? address_form::stream : address_form::none;
  for_each_hex_line(view.data(), start, end, base, form, "\n", [&](const std::string& line, u32 pos) {
    write_text(os, line);
    if (callback) callback(context, pos, end);
  });
}

void hex_dump_to_string(std::string& out, const qz::binary_data& view, u32 start, u32 end, u64 base,
                        bool show_address, hex_line_callback callback, void* context) {
  out.clear();
  end = std::min(end, view.size());
  try {
    out.reserve(5 * static_cast<std::size_t>(end));
    const address_form form = show_address ? address_form::compact : address_form::none;
    for_each_hex_line(view.data(), start, end, base, form, "\n", [&](const std::string& line, u32 pos) {
      out += line;
      if (callback) callback(context, pos, end);
    });
  } catch (const std::bad_alloc&) {
    std::string().swap(out);
  }
}

void hex_dump_buffer(const u8* data, u32 length, std::ostream& os, u32 start, u64 base, bool show_address) {
  qz::binary_data view(data, length, false);
  view.set_format(show_address ? (qz::view_hex | qz::view_lines) : (qz::view_hex | qz::view_grouped));
  write_hex_lines(os, view, start, length, base, show_address, nullptr, nullptr);
}

void hex_dump_vector(const std::vector<u8>& bytes, std::ostream& os, u32 start, u64 base) {
  hex_dump_buffer(bytes.data(), static_cast<u32>(bytes.size()), os, start, base, true);
}

void hex_dump_vector_runs(const std::vector<u8>& bytes, std::ostream& os, u32 start, u64 base) {
  if (start >= bytes.size()) return;
  const u8 first = bytes[start];
  const bool one_value =
      std::all_of(bytes.begin() + start + 1, bytes.end(), [first](u8 byte) { return byte == first; });
  if (!one_value) {
    hex_dump_vector(bytes, os, start, base);
    return;
  }
  write_text(os, format_u64(base, true, 6) + " : value " + format_u64(first, true, 2) + " : " +
                     format_u64(bytes.size() - start, true, 2) + " bytes\n");
}

void hex_dump_buffer_to_string(const u8* data, u32 length, std::string& out, u32 start, u64 base,
                               hex_line_callback callback, void* context) {
  const qz::binary_data view(data, length, false);
  hex_dump_to_string(out, view, start, length, base, true, callback, context);
}

void hex_dump_checked(const u8* data, u32 length, std::ostream& os, u32 start, u64 base,
                      hex_line_callback callback, void* context) {
  if (length > hex_dump_limit) {
    write_text(os, "size to big to output: size " + format_u64(length, true, 1) + "\n");
    return;
  }
  std::string text;
  hex_dump_buffer_to_string(data, length, text, start, base, callback, context);
  write_text(os, text);
}

void hex_dump_utf16(const u8* data, u32 length, std::ostream& os, u32 start, u64 base) {
  if (!data) return;
  std::string units;
  for_each_hex_line(data, start, length, base, address_form::utf16, "\r\n", [&](const std::string& line, u32) {
    units.clear();
    for (char c : line) {
      units += c;
      units += '\0';
    }
    write_text(os, units);
  });
}

void dump_context::hex_dump(const u8* data, u32 length, u64 base) {
  if (enabled && stream) hex_dump_checked(data, length, *stream, 0, base);
}
