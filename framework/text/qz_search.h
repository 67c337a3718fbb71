// Searches over raw byte buffers: byte patterns, values at a stride, blocks
// that hold data, and printable ASCII / UTF-16LE strings with their offsets.
// A buffer is (pointer, length in bytes); offsets count bytes from its start,
// plus the caller's base where a function takes one. Functions that "append"
// leave earlier entries of the output vectors in place; the others empty them.
// Printable means the bytes 32-126; with white space TAB, LF and CR count too.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// ---- The one Horspool search every byte-pattern search of telvar goes through.

// Offset returned by horspool_find when the pattern does not occur.
inline constexpr u64 bytes_not_found = ~u64{0};

// Skip table of a pattern: how far the window moves for the byte under its last position.
struct horspool_table {
  u32 shift[256];
};

// Fills table for pattern: every entry plen, then plen - 1 - k for the byte at each k < plen - 1.
void build_horspool_table(horspool_table& table, const u8* pattern, u32 plen);
// Offset of the first occurrence of pattern in buf starting at or after from, using the
// table built for that pattern; bytes_not_found when none, for null or empty arguments,
// or when fewer than plen bytes remain after from.
u64 horspool_find(const horspool_table& table, const u8* buf, u64 len, const u8* pattern,
                  u32 plen, u64 from);
// horspool_find from the start of buf with a table built for this one search.
u64 horspool_find(const u8* buf, u64 len, const u8* pattern, u32 plen);

// ---- Pattern searches.

// Empties offsets, then records base + position of every non-overlapping match (only the
// first with first_only), by plain comparison or with the skip table; both give the same
// offsets. False for a null buf, pattern or offsets, a zero len or plen, or plen > len;
// otherwise whether offsets is non-empty.
bool search_bytes(const u8* buf, u32 len, const u8* pattern, u32 plen, std::vector<u64>* offsets,
                  u64 base, bool use_skip_table, bool first_only);
// *out = 0, then the position of the first match; true when found.
bool find_bytes_first_ptr(const u8* buf, u32 len, const u8* pattern, u32 plen, u64* out,
                          bool use_skip_table);
// Empties offsets; false for a null buf, a zero len or an empty pattern; otherwise
// search_bytes for every match.
bool find_bytes_all(const u8* buf, u32 len, const std::vector<u8>& pattern,
                    std::vector<u64>* offsets, u64 base, bool use_skip_table);
// *out = base + position of the first match and true; false with *out unchanged when
// there is none, for a null buf, a zero len or an empty pattern.
bool find_bytes_first(const u8* buf, u32 len, const std::vector<u8>& pattern, u64* out, u64 base,
                      bool use_skip_table);
// search_bytes from offset 0 with 32-bit positions (positions emptied first); false when
// there is no match or for the arguments search_bytes refuses.
bool find_all_positions(const u8* buffer, u32 length, const u8* pattern, u32 pattern_length,
                        std::vector<u32>& positions, bool use_skip_table, bool first_only);
// The position an aligned scan tests after pos: pos + 1 while (pos + 1) is not a multiple of
// run, else (and always for run 0) the smallest multiple of align above pos. Always above pos;
// align must not be 0.
u64 next_aligned_position(u64 pos, u32 run, u32 align);
// Appends the positions p <= len - plen where pattern matches, testing p = 0 and then after
// each p: p + 1 while (p + 1) is not a multiple of run, else the next multiple of align
// (run 0 always jumps). False for a null buf, pattern or offsets, a zero len, plen or align,
// or plen > len; otherwise whether offsets is non-empty.
bool search_bytes_aligned(std::vector<u64>* offsets, const u8* buf, u32 len, const u8* pattern,
                          u32 plen, u32 run, u32 align, bool first_only);
// Empties both outputs, then tests the positions 0, next_aligned_position(...), ... below
// length: the first pattern in list order that fits into the rest of the buffer and matches
// there is recorded (position into positions, its index into which); first_only stops at the
// first record. Empty patterns never match. False for a null buffer, a length or alignment
// of 0 or no pattern; otherwise whether which is non-empty.
bool find_patterns_aligned(std::vector<u64>& positions, std::vector<u32>& which, const u8* buffer,
                           i32 length, const std::vector<std::vector<u8>>& patterns, u32 run,
                           u32 alignment, bool first_only);
// *out = 0; true with *out = base + first position when the bytes of text occur in buf
// (an empty text is found at 0).
bool find_text_in_bytes(u64* out, const std::vector<u8>& buf, const std::string& text, u64 base);
// Whether first occurs in buf and second occurs after the end of that first occurrence; an
// empty first or second counts as present. False when both are empty, buf is empty or
// buf is shorter than either.
bool contains_in_order(const std::vector<u8>& buf, const std::vector<u8>& first,
                       const std::vector<u8>& second);
// *out = 0; the highest match position p with len - window <= p <= len - plen; true with
// *out = p when found. False for a null or zero argument or plen > len.
bool rfind_bytes_in_tail(const u8* buf, u32 len, const u8* pattern, u32 plen, u32 window,
                         u64* out);
// Whether buf begins an XML document ("<?xml ve"), possibly after comments and LFs.
// False for a null buf or len below 16.
bool looks_like_xml(const u8* buf, u32 len);
// Sizes ptrs and lens to one entry per pattern: its characters (null when empty) and length.
// The pointers live as long as the strings stay unchanged. Both are emptied when memory runs
// out. True when there is at least one pattern.
bool make_pattern_table(std::vector<const char*>* ptrs, std::vector<u32>* lens,
                        const std::vector<std::string>& patterns);

// ---- Value searches. They read the N-byte value at byte offsets 0, s, 2s, ... (s = stride
// made a multiple of N) in the machine's byte order, append the byte offsets of matches and
// return whether offsets is non-empty. len counts bytes; the buffers need no alignment.
// False when buf or offsets is null, len < N or stride < N.

bool find_u16_values(std::vector<u64>* offsets, const u16* buf, u32 len, u16 value, u32 stride);
bool find_u32_values(std::vector<u64>* offsets, const u32* buf, u32 len, u32 value, u32 stride,
                     bool first_only);
bool find_u64_values(std::vector<u64>* offsets, const u64* buf, u32 len, u64 value, u32 stride,
                     bool first_only);
// Compares the 64-bit value at every multiple of 4 bytes whose 8 bytes lie inside the buffer;
// a buffer under 8 bytes has no such place. False for a null buf or offsets or len below 4.
bool find_u64_values_packed(std::vector<u64>* offsets, const u8* buf, u32 len, u64 value,
                            bool first_only);
// Empties hits and gives it one list per value; at each position every value equal to the word
// gets the byte offset. first_only stops after the first position that matched anything.
// True when anything matched.
bool find_u32_value_set(std::vector<std::vector<u64>>* hits, const u32* buf, u32 len,
                        const std::vector<u32>& values, u32 stride, bool first_only);
bool find_u64_value_set(std::vector<std::vector<u64>>* hits, const u64* buf, u32 len,
                        const std::vector<u64>& values, u32 stride, bool first_only);
// Empties offsets; for each whole block of max(block, 512) bytes holding a non-zero 64-bit
// word records base + the byte offset of that first non-zero word (first_only: only the
// first such block). False for a null buf or offsets, a zero len or a block larger than len.
bool find_nonzero_blocks(std::vector<u64>* offsets, const u64* buf, u32 len, u32 block,
                         bool first_only, u64 base);

// ---- String extraction. A run is a maximal sequence of characters; blanks before its first
// kept character are skipped; it is recorded with the offset of its first kept character when
// it holds at least min_len (and at least one) characters. UTF-16LE characters are units whose
// first byte is a character byte and whose second is 0; they are stored as single bytes, and
// the scan steps one byte past anything else, so runs at odd offsets are found too.
// skip_leading_punct also skips 32-46, 58-64, 92-96 and 124-126 before a run's first character.

// Byte runs; false for a null buf or len below 1; unless append both vectors are emptied.
bool extract_ascii_strings(const u8* buf, int len, u32 min_len, std::vector<std::string>* strings,
                           std::vector<u64>* offsets, u64 base, bool append, bool include_ws);
// Byte runs holding a character other than CR, LF and blank; both vectors always emptied
// first; false for a null buf or len below 1.
bool extract_printable_strings(const u8* buf, int len, u32 min_len,
                               std::vector<std::string>* strings, std::vector<u64>* offsets,
                               bool include_ws, bool skip_leading_punct);
// UTF-16LE runs; false for a null buf or len below 1; unless append both vectors are emptied.
bool extract_utf16_strings(const u8* buf, u32 len, u32 min_len, std::vector<std::string>* strings,
                           std::vector<u64>* offsets, u64 base, bool append, bool include_ws);
// UTF-16LE runs holding a character other than CR, LF and blank; both vectors always emptied
// first; false for a null buf or len 0.
bool extract_utf16_strings_ex(const u8* buf, u32 len, u32 min_len,
                              std::vector<std::string>* strings, std::vector<u64>* offsets,
                              bool include_ws, bool skip_leading_punct);

// ---- Word searches: offsets of word, without regard to ASCII case, inside runs of characters
// (no white space; leading blanks skipped), non-overlapping from left to right in each run.
// Each offset is base + the byte position of the occurrence. An empty word finds nothing.

// Runs of bytes 32-126. False (offsets untouched) for a null buf or zero len; unless append
// offsets is emptied; otherwise whether offsets is non-empty.
bool find_word_in_ascii(const std::string& word, const u8* buf, u64 len,
                        std::vector<u64>* offsets, int base, bool append);
// Runs of UTF-16LE units 32-126. False (offsets untouched) for a null buf or zero len; unless
// append offsets is emptied; otherwise true, found or not.
bool find_word_in_utf16(const std::string& word, const u8* buf, u64 len,
                        std::vector<u64>* offsets, int base, bool append);
