// MD5 digests (RFC 1321) and the helpers that turn a digest into a safe name: lower-case
// hex text and an identifier cleaner that keeps only A-Z a-z 0-9 - . _ .
// Nothing here allocates except the output strings; failures are reported by a false result.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "framework/text/qz_types.h"

// State of one running digest.
struct md5_context {
  u32 state[4];   // chaining words A, B, C, D
  u32 count[2];   // message length in bits modulo 2^64, low word first
  u8 buffer[64];  // the first (count / 8) mod 64 bytes are the unprocessed tail
};

// Resets ctx (see md5_reset); false for a null ctx.
bool md5_init(md5_context* ctx);
// Zeroes the count and buffer and loads the initial chaining values; ctx must not be null.
void md5_reset(md5_context* ctx);
// Adds length bytes of data to the message; false, ctx unchanged, for a null ctx or data
// or a length of 0.
bool md5_update(md5_context* ctx, const u8* data, u32 length);
// Pads the message, writes the 16-byte digest and resets ctx for a new message; false, ctx
// unchanged, for a null ctx or digest.
bool md5_final(u8* digest, md5_context* ctx);
// One compression step of the 64-byte block into the four chaining words.
void md5_transform(u32 state[4], const u8 block[64]);
// digest = the 16-byte MD5 of the bytes; false, digest untouched, for a null pointer or a
// length of 0 (an empty message is never hashed: callers name only non-empty text).
bool md5_digest(const u8* data, u32 length, u8* digest);

// out = each byte as two lower-case hex digits, one blank between bytes when spaced; empty for
// a null data pointer or a length below 1. Returns out.
std::string& bytes_to_hex(std::string& out, const u8* data, i32 length, bool spaced);
// Appends the n bytes to out, each as "0x" (with prefix) and two lower-case hex digits,
// separator between two bytes; nothing for a null pointer. The one hex writer of every
// byte-to-text function.
void append_hex_bytes(std::string& out, const u8* data, std::size_t n, std::string_view separator,
                      bool prefix);
// out = in with only A-Z a-z 0-9 - . _ kept; each run of other bytes (every byte of 0x80 and
// above included) between two kept bytes becomes one "_", runs at either end are dropped.
// Returns out.
std::string& sanitize_identifier(std::string& out, const std::string& in);
// Replaces, in place, every byte that is not an ASCII letter by "_" (length unchanged).
void replace_non_letters(std::string& text);
