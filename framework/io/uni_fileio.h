// uni::fileio: one open file, or a byte buffer in memory that offers the same
// operations. Names are UTF-8 outside the object and wide inside; a name that does
// not convert exactly is refused, never shortened. Every operation reports failure
// by its result (false, 0 or -1) and never throws; every write except the `_at`
// forms goes to the end of the file.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/qz_platform.h"
#include "framework/text/qz_types.h"

class io_report;

namespace uni {

class fileio_output;
class fileio_ostream;

class fileio {
 public:
  // The chunked line reader's callback: the file, the caller's context, the lines of one
  // chunk, how many of them to take, and the file offset the chunk was read from. It returns
  // 0 to end the reading (no further chunk is read), anything else to go on. The vector
  // belongs to the reader and is reused.
  using line_callback = u64 (*)(fileio& file, u64 context, std::vector<std::string>& lines,
                                u32 count, u64 offset);
  // for_each_block's callback: the file, the caller's context, the block's bytes and their
  // count, the overlap with the block before, and the block's file offset.
  using block_callback = void (*)(fileio& file, u64 context, const u8* block, u32 length, u32 overlap,
                                  u64 offset);
  static constexpr u64 all_lines = ~static_cast<u64>(0);
  static constexpr u32 line_block_bytes = 0x10000;
  static constexpr u32 default_copy_block_bytes = 0x400000;
  static constexpr u32 default_chunk_bytes = 0x100000;
  static constexpr u32 output_buffer_bytes = 0x40000;

  // Where the line reader shows its progress. The console lives above this layer, so the
  // program hands its status line in: print shows one line of text, clear erases it.
  struct status_line {
    void (*print)(const char* text) = nullptr;
    void (*clear)() = nullptr;
  };
  // The status line of every later for_each_line with `show_progress`, process-wide; a null
  // member shows nothing (the default).
  static void set_status_line(status_line target);

  // A closed object.
  fileio();
  // Opened at once by open_ex with truncate set (so write access creates or empties the
  // file); when the open fails the object stays closed. `extra` has no effect.
  fileio(const std::string& name, bool write_access, bool text_mode, bool extra);
  fileio(const std::wstring& name, bool write_access, bool text_mode, bool extra);
  // Memory mode over a copy of `data`, positioned at its end (as attach_memory).
  fileio(const std::vector<u8>& data, bool write_access, bool text_mode);
  fileio(const fileio&) = delete;
  fileio& operator=(const fileio&) = delete;
  // Closes the object; a failure of the last drain cannot be reported here, so callers
  // that must know call close() themselves.
  virtual ~fileio();

  // Opening. Reading opens read-only; writing with `truncate` creates (mode 0666 under the
  // umask) or empties the file; writing without it opens an existing file only. Trailing
  // '/' and '\\' are removed from the name; a held file is closed first; an object in
  // memory mode is refused. FIFOs and sockets are refused. True when open.
  bool open(std::wstring name, bool write_access, bool text_mode, bool truncate);
  // open with the name decoded from UTF-8; a name that is not valid UTF-8 is refused.
  bool open_utf8(const std::string& name, bool write_access, bool text_mode, bool truncate);
  // Exactly open / open_utf8; `extra` has no effect.
  bool open_ex(std::wstring name, bool write_access, bool text_mode, bool truncate, bool extra);
  bool open_ex_utf8(const std::string& name, bool write_access, bool text_mode, bool truncate,
                    bool extra);
  // Opens for writing at the end, creating a missing file; the position stays at 0.
  bool open_append(std::wstring name, bool text_mode);
  // open_append with the name decoded from UTF-8, then positioned at the end.
  bool open_append_utf8(const std::string& name, bool text_mode);
  // Opens an existing regular file for writing in place (no create, no truncate) without
  // following a symbolic link at the name; anything but a regular file is refused.
  bool open_regular_no_follow(std::wstring name);
  // The same for the entry `entry_name` of an open folder (qz_platform::dir_handle::open_regular).
  bool open_regular_at(const qz_platform::dir_handle& folder, const std::string& entry_name);
  // Creates the file for writing (mode 0666 under the umask) only when nothing, not even a
  // dangling link, stands at the name; false when something does or it cannot be created.
  bool create_new_utf8(const std::string& name, bool text_mode);
  // Takes an advisory lock on the open file that no other open of it, in this or any process,
  // holds at the same time, kept until close; never waits. False only when another open holds
  // it; true without a lock for anything but a regular file (a device or a pipe is no one
  // writer's alone), in memory mode, and where the file system keeps no locks.
  bool lock_exclusive();
  // Opens the file for writing as this object's alone: created (mode 0666 under the umask)
  // when missing, else opened as it is and locked (lock_exclusive) before `truncate` empties
  // it, so that a file another writer holds is never emptied. False when it cannot be opened
  // or, with *lock_refused set, when another open holds the lock (the object is closed again).
  bool open_exclusive_utf8(const std::string& name, bool text_mode, bool truncate, bool* lock_refused);
  // Drains and releases the attached output stream, closes the descriptor or drops the
  // memory buffer, and resets every field. False when the stream's bytes did not all
  // reach the file (full disk, a write error at any time) or the system close failed.
  bool close();
  // The object holds an open descriptor or is in memory mode.
  bool is_open() const;
  bool is_valid() const;

  // Memory mode. attach_memory: closes what was held; the content is a copy of `data` and
  // the position its end. create_memory: `length` zero bytes, position 0. False when the
  // buffer cannot be allocated (what was held is already closed).
  bool attach_memory(const std::vector<u8>& data, bool write_access, bool text_mode);
  // attach_memory taking over `data` (left empty) instead of copying it; never fails.
  bool attach_memory(std::vector<u8>&& data, bool write_access, bool text_mode);
  bool create_memory(u32 length, bool write_access, bool text_mode);

  // Writing at the end. All bytes are written (short writes are continued); false when
  // not open, for a null pointer or on a write error. Length 0 is true.
  bool write(const void* data, u32 length);
  // false for an empty vector, else write (in pieces beyond 4 GiB).
  bool write_bytes(const std::vector<u8>& bytes);
  // `count` copies of `value`; false for count 0.
  bool write_fill(u8 value, u32 count);
  // The stream's text; true for an empty text.
  bool write_stream(const std::ostringstream& stream);
  // printf-formatted text without its terminator; false for a null format.
  bool write_format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Writes at `offset`. A file may be extended; the cached size never shrinks here. In memory
  // mode an offset at or past the end appends at the end (no gap is filled).
  bool write_at(const void* data, u32 length, u64 offset);
  // write_at of the vector; false when it is empty or holds 4 GiB or more.
  bool write_bytes_at(const std::vector<u8>& bytes, u64 offset);

  // Reading. read_at: up to `length` bytes at `offset` (below the cached size), `length`
  // becomes the count read; the memory position does not move.
  bool read_at(void* buffer, u32& length, u64 offset);
  // read_at for a u64 length; false (and length 0) when it exceeds 0xFFFFFFFF.
  bool read_at_u64(void* buffer, u64& length, u64 offset);
  // `out` = at most `count` bytes from `offset` (cut to what arrived); false when not open,
  // `offset` is not below the size, or a read fails. Count 0 is true and leaves `out` alone.
  bool read_into_vector(std::vector<u8>& out, u64 count, u64 offset);
  bool read_into_string(std::string& out, u64 count, u64 offset);
  // Up to `length` bytes at the current position, which advances; `length` becomes the count.
  bool read_next(void* buffer, u32& length);

  // Positioning and size. seek_*: the new position, -1 when not open or out of range.
  u64 tell();
  i64 seek_set(u64 offset);
  i64 seek_current(i64 offset);
  // `back` bytes before the cached end, at least 0.
  i64 seek_end(u64 back);
  // The length from the system (a block device's size, 0 for a directory), not stored.
  u64 query_size();
  // query_size stored in `size` and returned; 0 when not open.
  u64 refresh_size();
  // The cached size; 0 when not open.
  u64 get_size() const;
  // Cuts or extends the content to `length` (memory mode: new bytes zero, position 0).
  // False when not open or the system refuses; the cached size changes only on success.
  bool truncate(u64 length);
  // The status of the open file; memory mode gives a record holding only the size.
  bool stat(qz_platform::file_status& out);
  // fchmod with the text read as octal ("644" is 0644); a text that does not parse gives
  // mode 0. Memory mode: true without effect; no descriptor: false.
  bool set_permissions(const std::string& octal_text);
  // Flushes the attached stream, which by design writes nothing to the file.
  void flush();
  // The attached buffered output stream (256 KiB), created on first call; null when the
  // object is not open or memory runs out. Its bytes reach the file when the buffer fills
  // and at close().
  fileio_output* get_output_stream();

  // The chunked line reader: calls `callback` once per chunk that completes at least one
  // line. Lines are cut at LF exactly as if the whole file were one chunk, whatever
  // `chunk_bytes`: leading CRs and one CR before the LF are removed, then `trim` cuts
  // " \t\r\n" at both ends and `skip_empty` drops empty lines (with `keep_line_ends` every
  // line is delivered as it stands, its LF and CRs included, and neither applies); a last line without LF is
  // delivered at the end. With `detect_bom` a UTF-8 mark is dropped and a UTF-16LE mark
  // makes the text UTF-16 (unpaired surrogates become U+FFFD); the offset handed to
  // `callback` is where the chunk's bytes lie in the file, so the first chunk after a mark
  // reports the mark's length (2 or 3), not 0. Stops after `max_lines` lines (all_lines: no
  // limit), and after the first callback that returns 0. With `show_progress` "percent done N"
  // is shown per chunk on the status line (set_status_line), which is cleared at the end. Returns 0 when the
  // object is not open, not in text mode, a line is longer than 2 GiB or a read fails before the
  // end; 1 otherwise (also when the callback ended the reading). Running out of memory throws
  // std::bad_alloc, which the run's end reports. The buffer holds at most about twice the
  // longest line, and gives its room back before that line is handed on.
  int for_each_line(line_callback callback, u64 context, bool trim, bool skip_empty,
                    bool show_progress, u64 max_lines, bool detect_bom,
                    u32 chunk_bytes = default_chunk_bytes, bool keep_line_ends = false);

  // Bulk operations (uni_fileio_bulk.cpp). Progress goes to the given reporter's status
  // display (null: none) as "percent done" of the bytes already copied.
  //
  // Appends the lines of the `length` bytes at `offset` to `lines`. LF and CR both end a line
  // (CR LF and LF CR count once); each non-empty stretch between line ends is appended
  // trimmed of " \t\r\n", so a stretch of blanks gives an empty line. `length` becomes the
  // bytes consumed: up to the last line end, so that the next call starts there; a block
  // that reaches the end of the content also gives its unended last line; a block without
  // any line end is one line by itself. False when not open, `offset` is past the size,
  // `length` is 0, or nothing could be read.
  bool read_lines_at(std::vector<std::string>& lines, u32& length, u64 offset);
  // lines = every line of the content, read by read_lines_at in 64 KiB blocks (a longer
  // line arrives in 64 KiB pieces); true when there is at least one.
  bool read_all_lines(std::vector<std::string>& lines);
  // Calls `callback` for blocks of `block` bytes from `start`, each beginning `overlap` bytes
  // before the end of the one before; the last block is cut to the rest of the content, and
  // once a block is not longer than the overlap the overlap is 0 from there on. A read that
  // fails or delivers nothing ends the walk. False when not open or the buffer cannot be
  // had; else true.
  bool for_each_block(block_callback callback, u64 context, u32 block, u32 overlap, u64 start);
  // Writes min(count, size - start) bytes from `start` to `out` in blocks of `block` bytes
  // (0: 4 MiB), then flushes `out`. Progress on the first and every 71st block. False when
  // not open, the content is empty, `start` is past the end or cannot be reached, a read
  // fails or ends early, or `out` reports a failed write or flush.
  bool copy_to_stream(std::ostream& out, u64 start, u64 count, u32 block, io_report* progress);
  // The same into `target` at `target_offset` onwards (write_at), progress on the first and
  // every 31st block and the display cleared at the end. Also false for count 0 and when a
  // write into `target` fails.
  bool copy_to_file(fileio& target, u64 start, u64 count, u64 target_offset, u32 block,
                    io_report* progress);
  // Writes a hex dump of the bytes, offsets counted from `base`: lines of "0x" + offset (at
  // least 6 lower-case hex digits) + " : ", then "hh " per byte and, after each 16th byte, the
  // 16 bytes as text (32..126 as themselves, others '.') and the next line's offset; one more
  // line end closes the dump. Lines end in "\r\n" in text mode, else "\n". False when not
  // open, for a null pointer, or when the write fails; true for no bytes.
  bool write_hex_dump(const void* data, u32 length, u64 base);
  bool write_hex_dump(const std::vector<u8>& bytes, u64 base);
  // Writes each line followed by "\r\n" at the end of the content; false when not open, for
  // an empty list, or at the first write that fails (the lines before it stay written).
  bool write_lines(const std::vector<std::string>& lines);

  // Copying the content to another file (with the file utilities, uni_file_utils.cpp).
  // save_as copies the memory buffer (below 128 MiB) or the file from the current
  // position to its end into `target`, appended or created/truncated, leaving the source
  // at its end. An empty content gives false unless allow_empty, which then creates (or,
  // appending, keeps) the target. False when the target does not open, a read, write or
  // close fails, or truncating the target would destroy this very file.
  bool save_as(std::wstring target, bool append, bool allow_empty);
  bool save_as_utf8(const std::string& target, bool append, bool allow_empty);
  // Memory mode only: the non-empty buffer written into `path`, created or truncated.
  bool save_memory_to_file(const std::string& path);
  // out = the companion "<name>:Zone.Identifier" when it exists; false when the object
  // is not open, has no name or no such companion.
  bool list_zone_identifier(std::vector<std::string>& out);

  i32 descriptor = -1;
  u64 size = 0;  // content length as last queried or written
  u8 write_access = 0;
  u8 opened = 0;
  u8 text_mode = 0;
  std::wstring name;  // as opened, trailing separators removed
  std::vector<u8> memory;
  u8 in_memory = 0;
  u64 position = 0;  // memory mode only; a file uses its descriptor's offset
  // The descriptor's offset is the end of the file: set by an open that found the file empty
  // and by a write at the end, cleared by every other move of the offset, so that writes at
  // the end need not seek there first.
  u8 offset_at_end = 0;
  fileio_output* output = nullptr;  // owned

 private:
  friend class fileio_ostream;
  // Appends up to `length` bytes at the end; `written` says how many arrived even when
  // the result is false, so a caller that retries does not write them twice.
  bool append(const void* data, u32 length, u32& written);
  bool write_long(const void* data, u64 length);
  bool open_with_flags(std::wstring name, bool write_access, bool text_mode, int flags);
  // Takes the descriptor just opened, whose status is given.
  void take_descriptor(int fd, const qz_platform::file_status& status);
  void enter_memory_mode(u64 at, bool write_access, bool text_mode);
  void reset_fields();
};

}  // namespace uni
