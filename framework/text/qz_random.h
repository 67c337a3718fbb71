// Random bytes, numbers and short strings for wiping files and naming scratch
// data. Not for cryptography: they draw from the C library's rand(), seeded once
// per process from the microseconds of the clock on the first call. One thread only.
#pragma once

#include <string>

#include "framework/text/qz_types.h"

// A random value from the smaller to the larger of a and b, both included.
u8 random_byte(u8 a, u8 b);
// Four random bytes, the first drawn as the most significant.
u32 random_u32();
// n characters from 33-126; empty for n <= 0.
std::string random_printable_string(int n);
// n characters from 0-9 and a-f; empty for n <= 0.
std::string random_hex_string(int n);
// n characters from 0-9, A-Z and a-z; empty for n <= 0.
std::string random_alnum_string(int n);
// n characters from A-Z; empty for n <= 0.
std::string random_upper_string(int n);
// A digit 1-9 followed by n - 1 digits 0-9; always at least the first digit.
std::string random_digit_string(int n);
