#include "framework/text/qz_json_text.h"

#include "framework/text/qz_join.h"
#include "framework/text/qz_string.h"

namespace {

constexpr size_t npos = std::string::npos;
// How far after a name's opening quote its ":" may stand, beyond the name's own length.
constexpr size_t colon_slack = 2;
// How far after the ":" the "[" of an array value may stand.
constexpr size_t bracket_slack = 2;
// The last "}" of an array of objects stands fewer than this many positions before its "]".
constexpr size_t closing_brace_reach = 6;

bool is_quote(char c) { return c == '"' || c == '\''; }

// piece trimmed, then one leading and one trailing quote taken off.
std::string trimmed_unquoted(std::string piece) {
  trim_whitespace(piece);
  if (!piece.empty() && is_quote(piece.front())) piece.erase(0, 1);
  if (!piece.empty() && is_quote(piece.back())) piece.pop_back();
  return piece;
}

std::string quoted_lower_key(const std::string& name) {
  std::string key = name;
  return "\"" + to_lower(key) + "\"";
}

// The walk both member readers share: false for an empty text or no names; otherwise out gets
// one entry per name, find(lowered text, quoted lower-cased name) for each non-empty name.
template <typename Find>
bool for_each_member_key(std::vector<std::string>& out, const std::vector<std::string>& names,
                         const std::string& text, Find find) {
  out.clear();
  if (text.empty() || names.empty()) return false;
  out.assign(names.size(), std::string());
  std::string lowered = text;
  to_lower(lowered);
  for (size_t n = 0; n < names.size(); ++n) {
    if (!names[n].empty()) out[n] = find(lowered, quoted_lower_key(names[n]));
  }
  return true;
}

// Where the value that starts at start ends (see json_values_for_names).
size_t value_end(const std::string& text, size_t start) {
  const size_t comma_quote = text.find(",\"", start);
  if (comma_quote != npos) {
    return comma_quote > start && text[comma_quote - 1] == '}' ? comma_quote - 1 : comma_quote;
  }
  const size_t comma = text.find(',', start);
  if (comma != npos) {
    const size_t open_quote = text.find('"', start);
    if (open_quote == npos || open_quote > comma) return comma;
    // A quote that never closes holds nothing: the value ends at the comma.
    const size_t close_quote = text.find('"', open_quote + 1);
    return close_quote != npos && close_quote > comma ? close_quote + 1 : comma;
  }
  const size_t brace = text.find('}', start);
  return brace != npos ? brace : text.size();
}

}  // namespace

void json_object::clear() {
  names.clear();
  values.clear();
  positions.clear();
}

bool split_json_objects(std::vector<std::string>& objects, const std::string& text) {
  objects.clear();
  const size_t first_bracket = text.find('[');
  const size_t first_brace = text.find('{');
  if (first_bracket == npos || (first_brace != npos && first_brace < first_bracket)) {
    objects.push_back(text);
    return true;
  }
  if (first_brace == npos) return false;
  size_t opened = 0, closed = 0, group_start = first_brace;
  for (size_t i = first_brace; i < text.size(); ++i) {
    if (text[i] == '{') {
      if (opened == 0) group_start = i;
      ++opened;
    } else if (text[i] == '}' && opened > 0) {
      ++closed;
      if (closed == opened) {
        objects.push_back(text.substr(group_start, i + 1 - group_start));
        opened = closed = 0;
      }
    }
  }
  return !objects.empty();
}

bool json_values_for_names(std::vector<std::string>& values, const std::vector<std::string>& names,
                           const std::string& object_text) {
  return for_each_member_key(
      values, names, object_text, [&](const std::string& lowered, const std::string& key) {
        for (size_t from = 0;;) {
          const size_t key_at = lowered.find(key, from);
          if (key_at == npos) return std::string();
          const size_t colon = lowered.find(':', key_at + key.size());
          if (colon == npos) {
            from = key_at + 1;
            continue;
          }
          const size_t start = colon + 1;
          return trimmed_unquoted(object_text.substr(start, value_end(object_text, start) - start));
        }
      });
}

bool parse_json_objects(std::vector<json_object>& objects, const std::vector<std::string>& names,
                        const std::string& text) {
  objects.clear();
  std::vector<std::string> object_texts;
  if (!split_json_objects(object_texts, text)) return false;
  for (const auto& object_text : object_texts) {
    json_object& record = objects.emplace_back();
    if (!json_values_for_names(record.values, names, object_text)) continue;
    record.names = names;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string name = names[i];
      record.positions.emplace(to_lower(name), static_cast<u32>(i));
    }
  }
  return !objects.empty();
}

bool json_array_members(std::vector<std::string>& members, const std::vector<std::string>& names,
                        const std::string& text) {
  bool found_any = false;
  if (!for_each_member_key(members, names, text,
                           [&](const std::string& lowered, const std::string& key) {
                             for (size_t key_at = lowered.find(key); key_at != npos;
                                  key_at = lowered.find(key, key_at + 1)) {
                               const size_t colon = lowered.find(':', key_at);
                               if (colon == npos || colon - key_at > key.size() + colon_slack)
                                 continue;
                               const size_t bracket = lowered.find('[', colon);
                               if (bracket == npos || bracket - colon > bracket_slack) continue;
                               const size_t close = lowered.find(']', bracket);
                               if (close == npos) continue;
                               const size_t brace = lowered.rfind('}', close);
                               if (brace == npos || close - brace >= closing_brace_reach) continue;
                               found_any = true;
                               return trimmed_unquoted(text.substr(key_at, close - key_at));
                             }
                             return std::string();
                           }))
    return false;
  return found_any;
}

void write_json_pairs(std::ostream& out, const std::map<std::string, std::string>& pairs,
                      char separator) {
  std::vector<std::string> keys, values;
  for (const auto& [key, value] : pairs) {
    keys.push_back(key);
    values.push_back(value);
  }
  write_quoted_pairs(out, keys, values, separator);
}
