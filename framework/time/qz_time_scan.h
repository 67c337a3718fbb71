// Finding timestamps in raw bytes: every offset of a buffer is read as 4-, 8- and
// 16-byte values in both byte orders and interpreted as each time_kind of a kind
// mask; an interpretation is a hit when it is a valid time whose FILETIME lies in
// the caller's window (minimum <= FILETIME <= maximum, both taken as signed).
// No scan reads outside the buffer it is given, whatever its length.
#pragma once

#include <map>
#include <ostream>
#include <vector>

#include "framework/text/qz_types.h"
#include "framework/time/qz_time.h"

// One hit: the value's bytes in buffer order, its instant and where it was found.
struct time_stats {
  // Empty bytes, zero numbers, little-endian, length 0.
  time_stats() = default;
  // Copies the first length bytes of bytes, in order when little_endian, else
  // reversed (so the bytes of a value read big-endian come back in buffer order).
  // A null bytes, or a copy that cannot be allocated, leaves the cleared hit.
  time_stats(const u8* bytes, u64 filetime, u64 offset, u32 kind, bool little_endian, u32 length);

  // Back to the state of a new hit.
  void clear();

  std::vector<u8> bytes;
  u64 filetime = 0;
  u64 offset = 0;         // the caller's base offset plus the position
  u32 kind = 0;           // the time_kind tested
  u8 little_endian = 1;   // 0 when the value was read big-endian
  u32 length = 0;         // bytes of the value
};

// Hits by offset; hits at one offset keep the order in which they were found.
using time_hit_map = std::multimap<u64, time_stats>;

// What scan_times_callback needs between calls; hit_count adds up every scan.
struct time_scan_context {
  std::ostream* out = nullptr;
  u64 max_filetime = 0;
  u64 min_filetime = 0;
  u32 kind_mask = 0;
  u32 hit_count = 0;
};

// ---- Single values ----

// Tests value as each kind of mask that fits its size (values from 2^32 on as the
// 8-byte kinds, smaller ones as the 4-byte kinds; unix seconds, milliseconds and
// NTP either way); adds every hit under offset. The hits record length 8 for
// values from 2^32 on and for NTP, else 4. True when this call added a hit.
bool test_value_as_times(time_hit_map& hits, u64 value, i64 max_filetime, i64 min_filetime, u64 offset,
                         bool little_endian, bool clear_first, u32 mask);
// The 16 bytes as a version-1 GUID time, else as a {u32, u32, FILETIME} record;
// a hit has kind guid and length 16.
bool test_guid_time(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                    bool clear_first);
// The 8 bytes as a little-endian snowflake identifier; a hit has length 8.
bool test_snowflake_time(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                         bool clear_first);
// value as an OLE date (days since 1899-12-30); the hit keeps the double's bytes.
bool test_ole_time(time_hit_map& hits, i64 max_filetime, i64 min_filetime, u64 offset, bool clear_first,
                   double value);
// The 16 bytes as a UTC SYSTEMTIME, then reversed the same way; each hit keeps
// the bytes as tested.
bool test_systemtime(time_hit_map& hits, const u8* bytes, i64 max_filetime, i64 min_filetime, u64 offset,
                     bool clear_first);

// ---- Buffer scans ----

// Scans size bytes at every offset for the kinds of mask and prints every hit
// to out (when given) in offset order; returns how many tests found a hit.
i32 scan_buffer_for_times(std::ostream* out, const u8* bytes, u32 size, u64 max_filetime, u64 min_filetime,
                          u64 base_offset, u32 mask);
// scan_buffer_for_times, then the same scan of the big-endian and of the
// little-endian varint the buffer starts with, each printed under "Variable int
// BE" or "Variable int LE" when it found something; returns the sum of the counts.
i32 scan_buffer_for_times_varint(std::ostream* out, const u8* bytes, u32 size, u64 max_filetime,
                                 u64 min_filetime, u64 base_offset, u32 mask);
// The two scans over a vector; 0 for an empty one. A vector beyond 4 GiB is
// scanned up to its first 4 GiB.
i32 scan_vector_for_times(std::ostream* out, const std::vector<u8>& bytes, u64 max_filetime, u64 min_filetime,
                          u64 base_offset, u32 mask);
i32 scan_vector_for_times_varint(std::ostream* out, const std::vector<u8>& bytes, u64 max_filetime,
                                 u64 min_filetime, u64 base_offset, u32 mask);
// scan_buffer_for_times with the context's stream, window and mask, adding the
// count to context->hit_count; -1 when bytes, size or context is missing, else 0.
i32 scan_times_callback(u64 unused_id, time_scan_context* context, const u8* bytes, u32 size, u64 unused_size,
                        u64 base_offset);

// Writes "offset, LE|BE, kind name, yyyy-mm-dd hh:mm:ss.nnnnnnnnn UTC|LOC, bytes"
// and an end of line. The stream's flags and fill character are put back as they
// were: left in hex mode, the caller's next number would print in hex unasked.
void print_time_hit(const time_stats& hit, std::ostream& out);

// ---- Lists of plausible times ----

// Records base_offset + 8 * i for each value i of size_bytes / 8 values within
// minimum..maximum (unsigned), then skips the rest of its record of record_size
// bytes. False for a null values, size below 8, or a record size that is not a
// positive multiple of 8; else true when something was recorded.
bool find_filetimes_in_array(std::vector<u64>& offsets, const u64* values, i32 size_bytes, u64 base_offset,
                             u64 min_filetime, u64 max_filetime, i32 record_size);
// Every valid time of the little-endian u32 at each position read as unix
// seconds, with its position. False (outputs empty) for null bytes or size below 8.
bool scan_unix32_times(const u8* bytes, u64 size, std::vector<qz::time>& times, std::vector<u64>& offsets);
// The little-endian u64 at each position read as unix seconds and as a FILETIME;
// each valid one with its position. False for null bytes or size below 8.
bool scan_unix_and_filetimes(const u8* bytes, u64 size, std::vector<qz::time>& times, std::vector<u64>& offsets);
