#include "framework/text/qz_md5.h"

#include <cstring>

namespace {

inline u32 rotate_left(u32 x, int n) { return (x << n) | (x >> (32 - n)); }

inline u32 md5_f(u32 x, u32 y, u32 z) { return (x & y) | (~x & z); }
inline u32 md5_g(u32 x, u32 y, u32 z) { return (x & z) | (y & ~z); }
inline u32 md5_h(u32 x, u32 y, u32 z) { return x ^ y ^ z; }
inline u32 md5_i(u32 x, u32 y, u32 z) { return y ^ (x | ~z); }

// One step: a = b + ((a + fn(b, c, d) + word + constant) <<< shift).
template <u32 (*fn)(u32, u32, u32)>
inline void md5_step(u32& a, u32 b, u32 c, u32 d, u32 word, int shift, u32 constant) {
  a += fn(b, c, d) + word + constant;
  a = rotate_left(a, shift) + b;
}

inline u32 load_le32(const u8* p) {
  return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24);
}

inline void store_le32(u8* p, u32 v) {
  p[0] = u8(v);
  p[1] = u8(v >> 8);
  p[2] = u8(v >> 16);
  p[3] = u8(v >> 24);
}

constexpr char hex_digits[] = "0123456789abcdef";

// A-Z a-z 0-9 - . _ : safe both as an SQLite name and inside a file name.
inline bool is_identifier_byte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

void md5_reset(md5_context* ctx) {
  ctx->count[0] = ctx->count[1] = 0;
  std::memset(ctx->buffer, 0, sizeof ctx->buffer);
  ctx->state[0] = 0x67452301;
  ctx->state[1] = 0xefcdab89;
  ctx->state[2] = 0x98badcfe;
  ctx->state[3] = 0x10325476;
}

bool md5_init(md5_context* ctx) {
  if (!ctx) return false;
  md5_reset(ctx);
  return true;
}

void md5_transform(u32 state[4], const u8 block[64]) {
  u32 x[16];
  for (int i = 0; i < 16; ++i) x[i] = load_le32(block + 4 * i);
  u32 a = state[0], b = state[1], c = state[2], d = state[3];

  md5_step<md5_f>(a, b, c, d, x[0], 7, 0xd76aa478);
  md5_step<md5_f>(d, a, b, c, x[1], 12, 0xe8c7b756);
  md5_step<md5_f>(c, d, a, b, x[2], 17, 0x242070db);
  md5_step<md5_f>(b, c, d, a, x[3], 22, 0xc1bdceee);
  md5_step<md5_f>(a, b, c, d, x[4], 7, 0xf57c0faf);
  md5_step<md5_f>(d, a, b, c, x[5], 12, 0x4787c62a);
  md5_step<md5_f>(c, d, a, b, x[6], 17, 0xa8304613);
  md5_step<md5_f>(b, c, d, a, x[7], 22, 0xfd469501);
  md5_step<md5_f>(a, b, c, d, x[8], 7, 0x698098d8);
  md5_step<md5_f>(d, a, b, c, x[9], 12, 0x8b44f7af);
  md5_step<md5_f>(c, d, a, b, x[10], 17, 0xffff5bb1);
  md5_step<md5_f>(b, c, d, a, x[11], 22, 0x895cd7be);
  md5_step<md5_f>(a, b, c, d, x[12], 7, 0x6b901122);
  md5_step<md5_f>(d, a, b, c, x[13], 12, 0xfd987193);
  md5_step<md5_f>(c, d, a, b, x[14], 17, 0xa679438e);
  md5_step<md5_f>(b, c, d, a, x[15], 22, 0x49b40821);

  md5_step<md5_g>(a, b, c, d, x[1], 5, 0xf61e2562);
  md5_step<md5_g>(d, a, b, c, x[6], 9, 0xc040b340);
  md5_step<md5_g>(c, d, a, b, x[11], 14, 0x265e5a51);
  md5_step<md5_g>(b, c, d, a, x[0], 20, 0xe9b6c7aa);
  md5_step<md5_g>(a, b, c, d, x[5], 5, 0xd62f105d);
  md5_step<md5_g>(d, a, b, c, x[10], 9, 0x02441453);
  md5_step<md5_g>(c, d, a, b, x[15], 14, 0xd8a1e681);
  md5_step<md5_g>(b, c, d, a, x[4], 20, 0xe7d3fbc8);
  md5_step<md5_g>(a, b, c, d, x[9], 5, 0x21e1cde6);
  md5_step<md5_g>(d, a, b, c, x[14], 9, 0xc33707d6);
  md5_step<md5_g>(c, d, a, b, x[3], 14, 0xf4d50d87);
  md5_step<md5_g>(b, c, d, a, x[8], 20, 0x455a14ed);
  md5_step<md5_g>(a, b, c, d, x[13], 5, 0xa9e3e905);
  md5_step<md5_g>(d, a, b, c, x[2], 9, 0xfcefa3f8);
  md5_step<md5_g>(c, d, a, b, x[7], 14, 0x676f02d9);
  md5_step<md5_g>(b, c, d, a, x[12], 20, 0x8d2a4c8a);

  md5_step<md5_h>(a, b, c, d, x[5], 4, 0xfffa3942);
  md5_step<md5_h>(d, a, b, c, x[8], 11, 0x8771f681);
  md5_step<md5_h>(c, d, a, b, x[11], 16, 0x6d9d6122);
  md5_step<md5_h>(b, c, d, a, x[14], 23, 0xfde5380c);
  md5_step<md5_h>(a, b, c, d, x[1], 4, 0xa4beea44);
  md5_step<md5_h>(d, a, b, c, x[4], 11, 0x4bdecfa9);
  md5_step<md5_h>(c, d, a, b, x[7], 16, 0xf6bb4b60);
  md5_step<md5_h>(b, c, d, a, x[10], 23, 0xbebfbc70);
  md5_step<md5_h>(a, b, c, d, x[13], 4, 0x289b7ec6);
  md5_step<md5_h>(d, a, b, c, x[0], 11, 0xeaa127fa);
  md5_step<md5_h>(c, d, a, b, x[3], 16, 0xd4ef3085);
  md5_step<md5_h>(b, c, d, a, x[6], 23, 0x04881d05);
  md5_step<md5_h>(a, b, c, d, x[9], 4, 0xd9d4d039);
  md5_step<md5_h>(d, a, b, c, x[12], 11, 0xe6db99e5);
  md5_step<md5_h>(c, d, a, b, x[15], 16, 0x1fa27cf8);
  md5_step<md5_h>(b, c, d, a, x[2], 23, 0xc4ac5665);

  md5_step<md5_i>(a, b, c, d, x[0], 6, 0xf4292244);
  md5_step<md5_i>(d, a, b, c, x[7], 10, 0x432aff97);
  md5_step<md5_i>(c, d, a, b, x[14], 15, 0xab9423a7);
  md5_step<md5_i>(b, c, d, a, x[5], 21, 0xfc93a039);
  md5_step<md5_i>(a, b, c, d, x[12], 6, 0x655b59c3);
  md5_step<md5_i>(d, a, b, c, x[3], 10, 0x8f0ccc92);
  md5_step<md5_i>(c, d, a, b, x[10], 15, 0xffeff47d);
  md5_step<md5_i>(b, c, d, a, x[1], 21, 0x85845dd1);
  md5_step<md5_i>(a, b, c, d, x[8], 6, 0x6fa87e4f);
  md5_step<md5_i>(d, a, b, c, x[15], 10, 0xfe2ce6e0);
  md5_step<md5_i>(c, d, a, b, x[6], 15, 0xa3014314);
  md5_step<md5_i>(b, c, d, a, x[13], 21, 0x4e0811a1);
  md5_step<md5_i>(a, b, c, d, x[4], 6, 0xf7537e82);
  md5_step<md5_i>(d, a, b, c, x[11], 10, 0xbd3af235);
  md5_step<md5_i>(c, d, a, b, x[2], 15, 0x2ad7d2bb);
  md5_step<md5_i>(b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

bool md5_update(md5_context* ctx, const u8* data, u32 length) {
  if (!ctx || !data || length == 0) return false;
  u32 index = (ctx->count[0] >> 3) & 0x3F;
  u32 added_bits = length << 3;
  ctx->count[0] += added_bits;
  if (ctx->count[0] < added_bits) ++ctx->count[1];
  ctx->count[1] += length >> 29;

  u32 room = 64 - index;
  u32 done = 0;
  if (length >= room) {
    std::memcpy(ctx->buffer + index, data, room);
    md5_transform(ctx->state, ctx->buffer);
    for (done = room; length - done >= 64; done += 64) md5_transform(ctx->state, data + done);
    index = 0;
  }
  std::memcpy(ctx->buffer + index, data + done, length - done);
  return true;
}

bool md5_final(u8* digest, md5_context* ctx) {
  if (!ctx || !digest) return false;
  u8 bit_count[8];
  store_le32(bit_count, ctx->count[0]);
  store_le32(bit_count + 4, ctx->count[1]);

  static const u8 padding[64] = {0x80};
  u32 index = (ctx->count[0] >> 3) & 0x3F;
  u32 pad_length = index < 56 ? 56 - index : 120 - index;
  md5_update(ctx, padding, pad_length);
  md5_update(ctx, bit_count, 8);

  for (int i = 0; i < 4; ++i) store_le32(digest + 4 * i, ctx->state[i]);
  md5_reset(ctx);
  return true;
}

bool md5_digest(const u8* data, u32 length, u8* digest) {
  if (!digest) return false;
  md5_context ctx;
  md5_reset(&ctx);
  if (!md5_update(&ctx, data, length)) return false;
  return md5_final(digest, &ctx);
}

void append_hex_bytes(std::string& out, const u8* data, std::size_t n, std::string_view separator,
                      bool prefix) {
  if (!data || n == 0) return;
  std::size_t per_byte = 2 + (prefix ? 2 : 0);
  out.reserve(out.size() + n * per_byte + (n - 1) * separator.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (i && !separator.empty()) out.append(separator);
    if (prefix) out.append("0x", 2);
    char pair[2] = {hex_digits[data[i] >> 4], hex_digits[data[i] & 0x0F]};
    out.append(pair, 2);
  }
}

std::string& bytes_to_hex(std::string& out, const u8* data, i32 length, bool spaced) {
  out.clear();
  if (length > 0) append_hex_bytes(out, data, std::size_t(length), spaced ? " " : "", false);
  return out;
}

std::string& sanitize_identifier(std::string& out, const std::string& in) {
  out.clear();
  out.reserve(in.size());
  bool pending_separator = false;
  for (char ch : in) {
    if (!is_identifier_byte(static_cast<unsigned char>(ch))) {
      pending_separator = true;
      continue;
    }
    if (pending_separator && !out.empty()) out.push_back('_');
    pending_separator = false;
    out.push_back(ch);
  }
  return out;
}

void replace_non_letters(std::string& text) {
  for (char& ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) ch = '_';
  }
}
