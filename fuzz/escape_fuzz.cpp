// Both escapers on any bytes: the HTML cell text holds no markup character of its own and the
// room-bounded form writes the same text; the JSON string text always parses as a JSON string
// (checked with a maintained JSON library) and gives back a valid UTF-8 text unchanged.
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "framework/text/qz_html_escape.h"
#include "fuzz/fuzz_support.h"
#include "tool/json_writer.h"

namespace {

bool valid_utf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::string html = html_escape(text);
  fuzz::require(html.find_first_of("<>\"'") == std::string::npos || html.find("<br />") != std::string::npos,
                "a markup character passes the HTML escaper");
  std::string without_breaks = html;
  for (size_t at; (at = without_breaks.find("<br />")) != std::string::npos;) without_breaks.erase(at, 6);
  fuzz::require(without_breaks.find_first_of("<>\"'") == std::string::npos, "a markup character passes the HTML escaper");
  std::vector<char> room(html_escaped_room(text.size()));
  const char* end = html_escape_to(room.data(), text, false);
  fuzz::require(std::string(room.data(), static_cast<size_t>(end - room.data())) == html, "the room-bounded HTML escaper writes another text");

  std::string inside;
  json_escape_append(inside, text, false);
  nlohmann::json parsed;
  try {
    parsed = nlohmann::json::parse("\"" + inside + "\"");
  } catch (const nlohmann::json::exception&) {
    fuzz::require(false, "the JSON escaper's text is not a JSON string");
  }
  fuzz::require(parsed.is_string(), "the JSON escaper's text is not a JSON string");
  if (valid_utf8(text)) fuzz::require(parsed.get<std::string>() == text, "a valid UTF-8 text does not come back");
  return 0;
}
