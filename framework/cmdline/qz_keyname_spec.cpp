#include "framework/cmdline/qz_keyname_spec.h"

#include <algorithm>

#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"

namespace {

constexpr u64 bit(unsigned n) { return u64(1) << n; }

struct code_bit {
  const char* code;
  unsigned bit;
};

// Codes without argument, every occurrence removed; "!SK" and "!SKV" run between the groups.
constexpr code_bit plain_codes_before_sk[] = {{"!JC", 60}, {"!R", 0},    {"!WP", 2}, {"!NR", 43},
                                              {"!SS", 49}, {"!B64", 59}, {"!Z", 21}};
constexpr code_bit plain_codes_after_sk[] = {{"!L2TS", 53}, {"!DM", 14}, {"!DA", 15},
                                             {"!DC", 16},   {"!DB", 17}, {"!DE", 61}};
// Codes taken once, with a digit-count argument ("!TAH" has none).
constexpr code_bit digit_count_codes[] = {{"!BP", 45}, {"!TS", 8},  {"!TF", 3},   {"!TAH", 19}, {"!TAA", 9},
                                          {"!TC", 11}, {"!TH", 10}, {"!TU", 4},   {"!TO", 5},   {"!TG", 6},
                                          {"!TMG", 7}, {"!TMZ", 12}};

// Removes every occurrence of code, also one that a removal joins together; true when any.
bool erase_every(std::string& text, const char* code) {
  std::string what = code;
  bool found = false;
  while (erase_first(text, what, false)) found = true;
  return found;
}

// byte_offset of the characters at pos: count is the characters read after pos.
u32 read_number(const std::string& text, std::size_t pos, std::size_t count) {
  u32 value = 0;
  parse_number(text.substr(pos, count).c_str(), value);
  return value;
}

// The digit-count argument at pos: "0", or "1"/"2" and up to that many characters that are
// there. Returns the characters the argument takes; value is 0 for any other character, for
// the end of the text or for characters that are no number.
std::size_t read_digit_count(const std::string& text, std::size_t pos, u32& value) {
  value = 0;
  if (pos >= text.size()) return 0;
  const char count_digit = text[pos];
  if (count_digit == '0') return 1;
  if (count_digit != '1' && count_digit != '2') return 0;
  const std::size_t wanted = std::size_t(count_digit - '0');
  const std::size_t present = std::min(wanted, text.size() - pos - 1);
  value = read_number(text, pos + 1, present);
  return 1 + present;
}

// Removes text from from up to the next '!' at or after search_from (to the end when none).
void cut_to_next_code(std::string& text, std::size_t from, std::size_t search_from) {
  const std::size_t next = text.find('!', std::min(search_from, text.size()));
  text.erase(from, next == std::string::npos ? std::string::npos : next - from);
}

// The "name:value)" that starts at from: both parts and the element's end (the ")"). When the
// ":" or the ")" is missing the element is cut to the next code and the result is false.
bool take_name_and_value(std::string& text, std::size_t pos, std::size_t from, std::string& name,
                         std::string& value) {
  const std::size_t colon = text.find(':', from);
  const std::size_t close = colon == std::string::npos ? std::string::npos : text.find(')', colon + 1);
  if (close == std::string::npos) {
    cut_to_next_code(text, pos, from);
    return false;
  }
  name = text.substr(from, colon - from);
  value = text.substr(colon + 1, close - colon - 1);
  text.erase(pos, close + 1 - pos);
  return true;
}

// The bracket code's first occurrence from start: its text up to ")" into value, the code
// through ")" removed. Without ")" the code is cut to the next code.
// Returns whether a value was read; pos gets where the code stood (npos when absent).
bool take_bracket(std::string& text, const std::string& code, std::string& value, std::size_t& pos) {
  pos = text.find(code);
  if (pos == std::string::npos) return false;
  const std::size_t inner = pos + code.size();
  const std::size_t close = text.find(')', inner);
  if (close == std::string::npos) {
    cut_to_next_code(text, pos, inner);
    return false;
  }
  value = text.substr(inner, close - inner);
  text.erase(pos, close + 1 - pos);
  return true;
}

// The exclusive forms; true when one was found (no other code is then looked at).
bool take_exclusive_form(keyname_filter& result, std::string& text) {
  if (text.find("!AN") != std::string::npos) {
    erase_every(text, "!AN");
    result.flags |= bit(56);
    return true;
  }
  if (text.find("!AF") != std::string::npos && text.find("!AFN") == std::string::npos) {
    erase_every(text, "!AF");
    result.flags |= bit(58);
    return true;
  }
  if (text.find("!AP") != std::string::npos) {
    erase_every(text, "!AP");
    if (text.find('/') == std::string::npos) {
      const std::string common = keyname_filter::get_common_path(text);
      if (!common.empty()) text = common;
    }
    result.flags |= bit(57);
    return true;
  }
  return false;
}

void take_plain_codes(keyname_filter& result, std::string& text, const code_bit* codes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (erase_every(text, codes[i].code)) result.flags |= bit(codes[i].bit);
  }
}

// "!SK" and "!SKV": the character after the first "!SK" decides which is taken first.
void take_sk_codes(keyname_filter& result, std::string& text) {
  const std::size_t pos = text.find("!SK");
  if (pos == std::string::npos) return;
  if (pos + 3 < text.size() && text[pos + 3] == 'V') {
    erase_every(text, "!SKV");
    result.flags |= bit(55);
    if (text.find("!SK") == std::string::npos) return;
  }
  erase_every(text, "!SK");
  result.flags |= bit(52);
}

void take_digit_count_codes(keyname_filter& result, std::string& text) {
  for (const code_bit& c : digit_count_codes) {
    const std::string code = c.code;
    const std::size_t pos = text.find(code);
    if (pos == std::string::npos) continue;
    std::size_t taken = 0;
    if (code != "!TAH") {
      u32 value = 0;
      taken = read_digit_count(text, pos + code.size(), value);
      result.byte_offset = value;
    }
    text.erase(pos, code.size() + taken);
    result.flags |= bit(c.bit);
  }
}

void take_sp_code(keyname_filter& result, std::string& text) {
  const std::size_t pos = text.find("!SP");
  if (pos == std::string::npos) return;
  const std::size_t present = pos + 3 < text.size() ? 1 : 0;
  result.byte_offset = read_number(text, pos + 3, present);
  text.erase(pos, 3 + present);
  result.flags |= bit(47);
}

void take_bracket_codes(keyname_filter& result, std::string& text) {
  std::size_t pos = 0;
  std::string value;
  if (take_bracket(text, "!SC(", value, pos)) {
    result.sub_text = value;
    result.flags |= bit(48);
  }
  while (true) {
    if (take_bracket(text, "!SR(", value, pos)) {
      result.sub_list.push_back(value);
      result.flags |= bit(46);
    } else if (pos == std::string::npos) {
      break;
    }
  }
  if (take_bracket(text, "!AFN(", value, pos)) {
    result.value_name = value;
    result.flags |= bit(32);
  }
  if (take_bracket(text, "!CFN(", value, pos)) {
    result.value_name = value;
    result.flags |= bit(50);
  }
}

// "!CT", its digit count, then an optional "(name:text)". "!CT" without a name part sets its
// bit; a "(" that is never completed sets none.
void take_ct_code(keyname_filter& result, std::string& text) {
  const std::size_t pos = text.find("!CT");
  if (pos == std::string::npos) return;
  u32 value = 0;
  const std::size_t taken = read_digit_count(text, pos + 3, value);
  result.byte_offset = value;
  text.erase(pos, 3 + taken);
  if (pos >= text.size() || text[pos] != '(') {
    cut_to_next_code(text, pos, pos);
    result.flags |= bit(51);
    return;
  }
  if (take_name_and_value(text, pos, pos + 1, result.value_name, result.sub_text)) result.flags |= bit(51);
}

void take_map_codes(keyname_filter& result, std::string& text) {
  for (std::size_t pos = text.find("!S("); pos != std::string::npos; pos = text.find("!S(")) {
    std::string key;
    std::string value;
    if (take_name_and_value(text, pos, pos + 3, key, value)) {
      result.sub_map.emplace(key, value);
      result.flags |= bit(34);
    }
  }
}

}  // namespace

bool parse_keyname_spec(keyname_filter& result, std::string& spec) {
  result.clear();
  if (!take_exclusive_form(result, spec)) {
    if (spec.rfind("(unnamed)", 0) == 0) result.flags |= bit(35);
    if (spec == "(all dates)") result.flags |= bit(20);
    if (spec == "(other fields)") result.flags |= bit(44);
    if (spec.find('!') != std::string::npos) {
      take_plain_codes(result, spec, plain_codes_before_sk, std::size(plain_codes_before_sk));
      take_sk_codes(result, spec);
      take_plain_codes(result, spec, plain_codes_after_sk, std::size(plain_codes_after_sk));
      take_digit_count_codes(result, spec);
      take_sp_code(result, spec);
      take_bracket_codes(result, spec);
      take_ct_code(result, spec);
      take_map_codes(result, spec);
    }
  }
  trim_whitespace_ex(spec, false);
  std::string line_break = "\\n";
  erase_first(spec, line_break, false);
  result.key_path = spec;
  result.valid = 1;
  return true;
}
