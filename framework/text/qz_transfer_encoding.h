// Transfer encodings for mail-style text: Base64 (RFC 4648 alphabet, optional RFC 2045 line
// breaks) and a light quoted-printable encoder that escapes only "=".
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// The 64 digits of Base64 in value order, and the pad character.
inline constexpr char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
inline constexpr char base64_pad = '=';
// Characters of an encoded line before its line break.
inline constexpr u32 base64_line_chars = 76;

// out = the Base64 text of the length bytes at data, "=" padded. With wrap_lines and crlf a
// CR LF follows every 76 characters; with crlf a CR LF also ends the text (so data of a
// multiple of 57 bytes ends in an empty line); with terminate a NUL byte comes last. False,
// out empty, for null data or a length below 1.
bool base64_encode(const u8* data, i32 length, std::vector<char>& out, bool wrap_lines,
                   bool terminate, bool crlf);
// text with every "=" written "=3D" and a soft line break "=" CR LF wherever a line would
// pass 75 characters; an escape is never cut by a break. Nothing else is encoded: CR and LF
// start a new line, other bytes pass as they are.
std::string quoted_printable_encode(const std::string& text);
