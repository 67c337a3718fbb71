// The quoted-field cutter against what its rules promise: fields only ever cut at the
// separator, so joining them with it gives the row back; a row without quotes is cut at every
// separator; trimming and dropping empty fields only trim and drop.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/text/qz_split.h"
#include "fuzz/fuzz_support.h"

namespace {

std::string joined(const std::vector<std::string>& fields, char separator) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) out += (i ? std::string(1, separator) : "") + fields[i];
  return out;
}

std::vector<std::string> cut_everywhere(const std::string& text, char separator) {
  std::vector<std::string> out(1);
  for (const char c : text) {
    if (c == separator) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::input in(data, size);
  const char separators[] = {',', '\t', ';', '|'};
  const char separator = separators[in.byte() % 4];
  const std::string text = in.rest();

  std::vector<std::string> kept;
  const bool cut = split_quoted(text, separator, kept, false, true);
  fuzz::require(cut == !text.empty(), "only an empty row is refused");
  if (!cut) return 0;
  fuzz::require(joined(kept, separator) == text, "the fields joined with the separator are not the row");
  if (text.find('"') == std::string::npos)
    fuzz::require(kept == cut_everywhere(text, separator), "a row without quotes is not cut at every separator");

  // Trimming and dropping act on the same fields.
  std::vector<std::string> expected;
  for (const std::string& field : kept)
    if (!trimmed(field).empty()) expected.push_back(trimmed(field));
  std::vector<std::string> tidy;
  split_quoted(text, separator, tidy, true, false);
  fuzz::require(tidy == expected, "trimmed, non-empty fields differ from the kept fields trimmed");
  return 0;
}
