#include "framework/text/qz_names.h"

#include <initializer_list>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "framework/text/qz_join.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"

namespace {

constexpr size_t most_terminated_parts = 10;

const char* separator_of(u32 flags) {
  if (flags & compose_sep_underscore) return "_";
  if (flags & compose_sep_blank) return " ";
  if (flags & compose_sep_dot) return ".";
  if (flags & compose_sep_slash) return "/";
  if (flags & compose_sep_backslash) return "\\";
  if (flags & compose_sep_bar) return "|";
  return "";
}

void apply_case(std::string& part, u32 flags, bool first_part) {
  if ((flags & compose_capitalize_all) || (first_part && (flags & compose_capitalize_first))) {
    if (!part.empty()) part[0] = static_cast<char>(to_upper_char(part[0]));
  } else if (flags & compose_upper) {
    to_upper(part);
  } else if (flags & compose_lower) {
    to_lower(part);
  }
}

// The n parts that text_at(0) ... text_at(n - 1) give, each in its case style, with the
// separator between two of them.
template <class TextAt>
std::string compose(u32 flags, size_t n, TextAt&& text_at) {
  const char* separator = separator_of(flags);
  std::string name, part;
  for (size_t i = 0; i < n; ++i) {
    const char* text = text_at(i);
    part.assign(text ? text : "");
    apply_case(part, flags, i == 0);
    name += part;
    if (i + 1 < n) name += separator;
  }
  return name;
}

std::ostringstream& compose_ids(std::ostringstream& os, u32 flags, compose_name_of name_of,
                                std::initializer_list<u64> ids) {
  os.str("");
  for (u64 id : ids) {
    if (id == 0) return os;
  }
  u32 counted = (flags & ~u32{compose_count_mask}) | static_cast<u32>(ids.size());
  return compose_name_stream(os, counted, name_of, ids.begin());
}

template <class Str>
void remove_duplicates(std::vector<Str>& list) {
  using view = std::basic_string_view<typename Str::value_type>;
  std::unordered_set<view> seen;
  seen.reserve(list.size());
  std::vector<bool> first_seen(list.size());
  bool any_duplicate = false;
  for (size_t i = 0; i < list.size(); ++i) {
    first_seen[i] = seen.insert(view(list[i])).second;
    any_duplicate |= !first_seen[i];
  }
  if (!any_duplicate) return;
  size_t kept = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!first_seen[i]) continue;
    if (kept != i) list[kept] = std::move(list[i]);
    ++kept;
  }
  list.resize(kept);
}

}  // namespace

std::string compose_name(u32 flags, compose_name_of name_of, const u64* ids) {
  if (!ids || !name_of) return std::string();
  size_t count = flags & compose_count_mask;
  if (count > 0) {
    for (size_t i = 0; i < count; ++i) {
      if (ids[i] == 0) return std::string();
    }
  } else {
    while (count <= most_terminated_parts && ids[count] != 0) ++count;
    if (count == 0 || count > most_terminated_parts) return std::string();
  }
  return compose(flags, count, [&](size_t i) { return name_of(ids[i]); });
}

std::ostringstream& compose_name_stream(std::ostringstream& out, u32 flags,
                                        compose_name_of name_of, const u64* ids) {
  if (flags & compose_keep_stream) {
    // A stream given its text at construction writes from the start unless moved to the end.
    out.seekp(0, std::ios_base::end);
  } else {
    out.str("");
  }
  out << compose_name(flags, name_of, ids);
  return out;
}

std::ostringstream& compose_name_stream_2(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2) {
  return compose_ids(os, flags, name_of, {id1, id2});
}

std::ostringstream& compose_name_stream_3(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3) {
  return compose_ids(os, flags, name_of, {id1, id2, id3});
}

std::ostringstream& compose_name_stream_4(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4) {
  return compose_ids(os, flags, name_of, {id1, id2, id3, id4});
}

std::ostringstream& compose_name_stream_5(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5) {
  return compose_ids(os, flags, name_of, {id1, id2, id3, id4, id5});
}

std::ostringstream& compose_name_stream_6(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5, u64 id6) {
  return compose_ids(os, flags, name_of, {id1, id2, id3, id4, id5, id6});
}

std::ostringstream& compose_name_stream_7(std::ostringstream& os, u32 flags,
                                          compose_name_of name_of, u64 id1, u64 id2, u64 id3,
                                          u64 id4, u64 id5, u64 id6, u64 id7) {
  return compose_ids(os, flags, name_of, {id1, id2, id3, id4, id5, id6, id7});
}

std::string qz_names_detail::compose_from_texts(u32 flags, const char* const* texts,
                                                size_t given) {
  size_t count = flags & compose_count_mask;
  // The texts are counted by the caller's flag word; never read more than were given.
  if (count == 0 || count > given) return std::string();
  return compose(flags, count, [&](size_t i) { return texts[i]; });
}

bool key_value_map(std::map<std::string, std::string>& out, const std::vector<u8>& data) {
  out.clear();
  if (data.empty()) return false;
  std::vector<std::string> lines;
  split_byte_vector_lines(data, lines);
  for (const std::string& line : lines) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    out.emplace(line.substr(0, equals), line.substr(equals + 1));
  }
  return !out.empty();
}

bool join_arg_list_quoted(std::string& out, const std::vector<std::string>& args, char quote) {
  out.clear();
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out += ' ';
    qz_join_detail::append_quoted_if_blank(out, args[i], quote);
  }
  return true;
}

std::string& join_set(std::string& out, const std::set<std::string>& items,
                      const std::string& separator, bool skip_empty) {
  out.clear();
  qz_join_detail::append_joined(out, items.begin(), items.end(), separator, skip_empty);
  return out;
}

void remove_duplicate_strings(std::vector<std::string>& list) { remove_duplicates(list); }

void remove_duplicate_strings_wide(std::vector<std::wstring>& list) { remove_duplicates(list); }

void write_zone_info(std::ostream& out, const std::map<std::string, std::string>& entries,
                     bool annotate) {
  static constexpr const char* zone_labels[] = {" [local machine]", " [intranet]", " [trusted]",
                                                " [internet]", " [untrusted]"};
  if (entries.empty()) return;
  out << "zone_info" << "={";
  bool first = true;
  for (const auto& [key, value] : entries) {
    if (!first) out << ";";
    first = false;
    out << '"' << key << "\":\"" << value;
    u32 zone = 0;
    if (annotate && key.rfind("ZoneId", 0) == 0 && parse_number_string(value, zone) &&
        zone < std::size(zone_labels))
      out << zone_labels[zone];
    out << '"';
  }
  out << "}";
}
