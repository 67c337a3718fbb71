// The chunked line reader at a random chunk size gives the lines of a one-chunk read of the
// same bytes: UTF-8, with a UTF-8 mark, UTF-16LE with its mark, and without detection.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "fuzz/fuzz_support.h"

namespace {

struct collected {
  std::vector<std::string> lines;
  std::vector<u64> offsets;
};

u64 collect(uni::fileio&, u64 context, std::vector<std::string>& lines, u32 count, u64 offset) {
  collected& into = *reinterpret_cast<collected*>(context);
  into.lines.insert(into.lines.end(), lines.begin(), lines.begin() + count);
  into.offsets.push_back(offset);
  return 1;
}

// Every line of bytes, read in chunks of chunk_bytes.
std::vector<std::string> lines_of(const std::vector<u8>& bytes, u32 chunk_bytes, bool trim, bool skip_empty,
                                  bool detect_bom, int& result) {
  uni::fileio file(bytes, false, true);
  collected into;
  result = file.for_each_line(collect, reinterpret_cast<u64>(&into), trim, skip_empty, false,
                              uni::fileio::all_lines, detect_bom, chunk_bytes);
  return into.lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::input in(data, size);
  const uint32_t chunk = in.in_range(1, 300);
  const bool trim = in.flag();
  const bool skip_empty = in.flag();
  const bool detect_bom = in.flag();
  std::vector<u8> bytes;
  switch (in.byte() % 3) {
    case 1: bytes = {0xEF, 0xBB, 0xBF}; break;
    case 2: bytes = {0xFF, 0xFE}; break;
    default: break;
  }
  bytes.insert(bytes.end(), in.data(), in.data() + in.size());

  int whole_result = 0;
  int chunked_result = 0;
  const std::vector<std::string> whole = lines_of(bytes, 1 << 20, trim, skip_empty, detect_bom, whole_result);
  const std::vector<std::string> chunked = lines_of(bytes, chunk, trim, skip_empty, detect_bom, chunked_result);
  fuzz::require(whole_result == chunked_result, "the chunk size changes the reader's result");
  fuzz::require(whole == chunked, "the chunk size changes the lines");
  return 0;
}
