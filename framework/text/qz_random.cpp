#include "framework/text/qz_random.h"

#include <sys/time.h>

#include <cstdlib>

namespace {

bool generator_seeded = false;

// n characters, each drawn from lo..hi until accept takes it.
template <typename Accept>
std::string random_string(int n, u8 lo, u8 hi, Accept accept) {
  std::string text;
  if (n <= 0) return text;
  text.reserve(static_cast<size_t>(n));
  while (text.size() < static_cast<size_t>(n)) {
    const u8 c = random_byte(lo, hi);
    if (accept(c)) text.push_back(static_cast<char>(c));
  }
  return text;
}

bool any_char(u8) { return true; }

}  // namespace

u8 random_byte(u8 a, u8 b) {
  if (!generator_seeded) {
    timeval now{};
    gettimeofday(&now, nullptr);
    srand(static_cast<unsigned>(now.tv_usec));
    generator_seeded = true;
  }
  const unsigned lo = a < b ? a : b;
  const unsigned hi = a < b ? b : a;
  // Computed in unsigned int so that the full range 0-255 (256 values) does not overflow.
  return static_cast<u8>(lo + static_cast<unsigned>(rand()) % (hi - lo + 1));
}

u32 random_u32() {
  u32 value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | random_byte(0, 255);
  return value;
}

std::string random_printable_string(int n) { return random_string(n, 33, 126, any_char); }

std::string random_hex_string(int n) {
  return random_string(n, '0', 'f', [](u8 c) { return (c >= '0' && c <= '9') || c >= 'a'; });
}

std::string random_alnum_string(int n) {
  return random_string(n, '0', 'z', [](u8 c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c >= 'a';
  });
}

std::string random_upper_string(int n) { return random_string(n, 'A', 'Z', any_char); }

std::string random_digit_string(int n) {
  std::string text(1, static_cast<char>(random_byte('1', '9')));
  if (n > 1) text += random_string(n - 1, '0', '9', any_char);
  return text;
}
