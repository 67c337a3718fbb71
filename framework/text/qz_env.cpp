#include "framework/text/qz_env.h"

#include <algorithm>
#include <cstdlib>
#include <locale>
#include <vector>

#include "framework/text/qz_path.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

// Expansion stops before a name once the text is longer than this.
constexpr std::size_t expand_text_limit = 512;
// Replacements allowed inside the expansion of one reference of the caller's text. Each
// inserted value is searched again from where it begins, so a value that names itself
// (X=%X%, or A=%B% with B=%A%) would otherwise be expanded for ever without growing.
constexpr int max_nested_expansions = 256;

// The value of an environment name, or null when it is not set. A name holding NUL or '='
// can name no variable (getenv would look up something else).
const char* env_value(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos || name.find('=') != std::string::npos)
    return nullptr;
  return std::getenv(name.c_str());
}

}  // namespace

std::string expand_env_vars(std::string& text, bool allow_vss) {
  std::size_t search_from = 0;
  // The expansion of one reference of the caller's text: it covers [.., chain_end) of the
  // current text; chain_text and chain_close keep the text before it and the reference's
  // closing '%', so that an endless expansion can be undone.
  std::size_t chain_end = 0;
  int chain_replacements = 0;
  std::string chain_text;
  std::size_t chain_close = 0;
  std::string shadow_prefix;

  // Replaces text[open..close] by value; the expansion region grows or shrinks with it.
  auto replace_reference = [&](std::size_t open, std::size_t close, const std::string& value) {
    std::size_t reference_length = close - open + 1;
    if (open < chain_end)
      chain_end = std::max(chain_end, close + 1) + value.size() - reference_length;
    text.replace(open, reference_length, value);
  };

  while (text.size() <= expand_text_limit) {
    std::size_t open = text.find('%', search_from);
    if (open == std::string::npos) break;
    std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    std::string name = text.substr(open + 1, close - open - 1);

    if (const char* value = env_value(name)) {
      if (open >= chain_end) {
        chain_end = close + 1;
        chain_replacements = 0;
        chain_text = text;
        chain_close = close;
      }
      if (chain_replacements == max_nested_expansions) {
        text = chain_text;
        search_from = chain_close + 1;
        chain_end = 0;
        continue;
      }
      ++chain_replacements;
      replace_reference(open, close, value);
      search_from = open;
      continue;
    }
    if (allow_vss && to_lower(name) == "vss") {
      if (shadow_prefix.empty()) shadow_copy_device_prefix(shadow_prefix, false, true);
      replace_reference(open, close, shadow_prefix);
      search_from = open + shadow_prefix.size();
      continue;
    }
    search_from = close + 1;
  }
  return text;
}

std::wstring expand_env_vars_wide(std::wstring& text, bool allow_vss) {
  std::string narrow;
  if (text.empty() || !wide_to_utf8(narrow, text)) return text;
  expand_env_vars(narrow, allow_vss);
  std::wstring expanded;
  // An expansion to nothing is faithful; a value that is not UTF-8 would come back cut short.
  if (!narrow.empty() && !utf8_to_wide(expanded, narrow)) return text;
  text = expanded;
  return text;
}

bool normalize_path(std::string& path, bool expand) {
  if (path.empty()) return false;
  replace_char(path, '\\', '/', false);
  if (expand) expand_env_vars(path, true);
  if (path.find('.') == std::string::npos) return true;

  std::vector<std::string> pieces;
  split_string(path, '/', pieces, true, true, false);
  std::string rebuilt;
  const std::size_t count = pieces.size();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& piece = pieces[i];
    if (piece.empty()) {
      if (i == 0) rebuilt.push_back('/');
      continue;
    }
    if (piece == ".") continue;
    // Only a real name cancels against the ".." after it: "." and ".." do not name a level.
    if (piece != ".." && i + 1 < count && pieces[i + 1] == "..") {
      ++i;
      continue;
    }
    rebuilt += piece;
    if (i + 1 < count) rebuilt.push_back('/');
  }
  path = rebuilt;
  return true;
}

bool locale_from_env(std::string& name) {
  name.clear();
  if (is_valid_locale_name(name.c_str())) return true;
  for (const char* reference : {"%LC_TIME%", "%LANG%"}) {
    name = reference;
    expand_env_vars(name, false);
    if (is_valid_locale_name(name.c_str())) return true;
  }
  name.clear();
  return false;
}

bool is_valid_locale_name(const char* name) {
  if (!name) return false;
  try {
    std::locale probe(name);
  } catch (...) {
    return false;
  }
  return true;
}
