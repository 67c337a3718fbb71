// What every fuzz target shares: reading the fuzzer's bytes as a few choices and a rest, and
// failing loudly when an invariant does not hold (the fuzzer keeps the input that did it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Takes choices from the front of the fuzzer's bytes; what is left is the subject.
class input {
 public:
  input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // The next byte, 0 when none is left.
  uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  // A number in [low, high] from the next two bytes.
  uint32_t in_range(uint32_t low, uint32_t high) {
    const uint32_t raw = static_cast<uint32_t>(byte()) | static_cast<uint32_t>(byte()) << 8;
    return low + raw % (high - low + 1);
  }
  bool flag() { return (byte() & 1) != 0; }
  // The rest of the bytes as text.
  std::string rest() const { return std::string(reinterpret_cast<const char*>(data_), size_); }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Stops the run when an invariant fails: the fuzzer records the input as a crash.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz
