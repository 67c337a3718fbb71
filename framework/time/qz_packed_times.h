// Packed time records (packed_time_record): up to eight FILETIMEs that lie close together,
// stored as the latest of them in full and every other as its distance below it. Layout,
// little-endian: one header byte (bits 0-2 count - 1, bits 3-5 index of the base time, bit 6
// distances in milliseconds), an 8-byte base word (bits 0-59 the base FILETIME, bits 60-62
// distance width in bytes - 1), then one distance per other time in index order, 1, 2, 4, 6
// or 8 bytes wide.
#pragma once

#include <vector>

#include "framework/text/qz_types.h"

// The most times one record holds.
constexpr u32 packed_times_max_count = 8;
// Header and base word.
constexpr u32 packed_times_head_bytes = 9;

// Appends the record of times to out, the distances counted in milliseconds (truncated) when
// milliseconds is set; returns the bytes appended. 0 with nothing appended for no times, more
// than eight, a time with its top bit set or a latest time at or beyond 2^60 ticks (the base
// word holds 60 bits).
u16 encode_packed_times(const std::vector<u64>& times, std::vector<u8>& out, bool milliseconds);

// Clears times, then reads the record at data (size bytes) into it; returns the bytes the
// record occupies. 0 with times empty for a null data, a record shorter than its header says,
// a width code or header bit the encoder never writes, a base index beyond the count, or a
// distance larger than the base.
u32 decode_packed_times(const u8* data, u32 size, std::vector<u64>& times);
