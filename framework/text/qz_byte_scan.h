// Block scans over bytes, 16 a step where the machine has SSE2: the escapers and the splitter
// find the first byte of a set with them. A scan reads no byte past the end of its text: a block
// that would cross the end is assembled from the bytes that are there, zeros after them. A scan
// that stores whole blocks needs 16 bytes of room past what it writes.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "framework/text/qz_types.h"

#if defined(__SSE2__)

// The 16 bytes at p when left is 16 or more; otherwise the left (at least 1) bytes at p in the
// low bytes of the block, zeros above them. Reads nothing at or past p + left: the short block
// is put together from overlapping loads that end at the text's last byte.
inline __m128i load_block(const unsigned char* p, std::size_t left) {
  if (left >= 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  u64 low = 0;
  u64 high = 0;
  if (left > 8) {
    std::memcpy(&low, p, 8);
    std::memcpy(&high, p + left - 8, 8);
    high >>= 8 * (16 - left);  // keep bytes 8 to left - 1
  } else if (left >= 4) {
    u32 first = 0;
    u32 last = 0;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + left - 4, 4);
    low = u64{first} | u64{last} << (8 * (left - 4));
  } else {
    low = u64{p[0]} | u64{p[left / 2]} << (8 * (left / 2)) | u64{p[left - 1]} << (8 * (left - 1));
  }
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// Bit k set where byte k of block is one of Set.
template <char... Set>
inline unsigned bytes_in_set(__m128i block) {
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(Set)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}

// block with every backslash made a slash, as paths are written on the page.
inline __m128i backslashes_to_slashes(__m128i block) {
  const __m128i is_backslash = _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'));
  return _mm_xor_si128(block, _mm_and_si128(is_backslash, _mm_set1_epi8('\\' ^ '/')));
}

#endif

// The number of bytes of a block before its first special one: mask marks the specials (bit k:
// byte k) and left bytes remain in the text, whose end stops the count as a special would.
// 16 when the block is whole and clean.
inline unsigned clean_bytes(unsigned mask, std::size_t left) {
  if (left < 16) mask |= 1u << left;
  return mask != 0 ? static_cast<unsigned>(__builtin_ctz(mask)) : 16;
}

#if defined(__SSE2__)

// Copies the bytes from pos to the first one of Set (or to length) to dst, 16 a step, each
// backslash made a slash with slash_paths; moves pos and dst past them. Whole blocks are
// stored: dst needs 16 bytes of room past the bytes copied.
template <char... Set>
inline void copy_to_first_of(const unsigned char* bytes, std::size_t& pos, std::size_t length,
                             bool slash_paths, char*& dst) {
  while (pos < length) {
    const std::size_t left = length - pos;
    const __m128i block = load_block(bytes + pos, left);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), slash_paths ? backslashes_to_slashes(block) : block);
    const unsigned clean = clean_bytes(bytes_in_set<Set...>(block), left);
    pos += clean;
    dst += clean;
    if (clean < 16) return;
  }
}

#endif
