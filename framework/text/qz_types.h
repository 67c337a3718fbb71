// Fixed-width integer names used across telvar.
// u8..u64 are unsigned, i32/i64 signed; a wide character (wchar_t) holds one
// 32-bit code point on every platform telvar builds on.
#pragma once

#include <cstdint>

using u8 = std::uint8_t;
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i8 = std::int8_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

static_assert(sizeof(wchar_t) == 4, "telvar expects 32-bit wide characters");
