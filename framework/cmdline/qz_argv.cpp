#include "framework/cmdline/qz_argv.h"

#include <cstddef>

#include "framework/cmdline/qz_option_lookup.h"
#include "framework/io/qz_file_stats.h"
#include "framework/text/qz_number_parse.h"
#include "framework/text/qz_split.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

template <class Str, class Ch, class Convert>
bool append_args(std::vector<Str>& out, int argc, Ch** argv, Convert convert) {
  if (argv)
    for (int i = 0; i < argc; ++i) out.push_back(argv[i] ? convert(argv[i]) : Str());
  return !out.empty();
}

template <class Str>
bool erase_entry(int index, std::vector<Str>& v) {
  if (index < 0) return true;
  if (static_cast<std::size_t>(index) >= v.size()) return false;
  v.erase(v.begin() + index);
  return true;
}

// Matches wide entries (array entries may be null, taken as empty) against one name.
class wide_name_matcher {
 public:
  explicit wide_name_matcher(std::wstring name) : name_(std::move(name)) {}
  bool operator()(const std::wstring& entry) const {
    if (entry.size() != name_.size()) return false;
    std::wstring entry_copy = entry;
    std::wstring name_copy = name_;
    return equals_nocase_wide(entry_copy, name_copy);
  }
  bool operator()(const wchar_t* entry) const { return (*this)(std::wstring(entry ? entry : L"")); }

 private:
  std::wstring name_;
};

// The wide name of a UTF-8 option name; false for a null or malformed one.
bool wide_option_name(const char* name, std::wstring& out) {
  if (!name || !is_valid_utf8(name)) return false;
  out = utf8_to_wstring(name);
  return true;
}

// Array look-up from entry 1; the match and its values leave the array.
bool take_from_wide_argv(const wchar_t* name, int& argc, wchar_t** argv,
                         std::wstring* const* values, std::size_t value_count) {
  if (!name) return false;
  int at =
      option_lookup::copy_argv_values(argc, argv, wide_name_matcher(name), values, value_count);
  if (at < 0) return false;
  // The later pointers move down over the taken ones; the slots freed at the end keep theirs.
  int taken = static_cast<int>(value_count) + 1;
  for (int i = at; i + taken < argc; ++i) argv[i] = argv[i + taken];
  argc -= taken;
  return true;
}

bool take_from_wide_vector(const char* name, std::vector<std::wstring>& args,
                           std::wstring* const* values, std::size_t value_count, bool remove) {
  std::wstring wide_name;
  if (!wide_option_name(name, wide_name)) return false;
  std::ptrdiff_t at =
      option_lookup::copy_option_values(args, 0, wide_name_matcher(wide_name), values, value_count);
  if (at < 0) return false;
  if (remove) option_lookup::erase_option(args, at, value_count);
  return true;
}

}  // namespace

bool args_to_vector(std::vector<std::string>& out, int argc, char** argv) {
  return append_args(out, argc, argv, [](const char* s) { return std::string(s); });
}

bool wide_args_to_utf8_vector(std::vector<std::string>& out, int argc, wchar_t** argv) {
  return append_args(out, argc, argv, [](const wchar_t* s) { return wstring_to_utf8(s); });
}

bool args_to_wide_vector(std::vector<std::wstring>& out, int argc, char** argv) {
  return append_args(out, argc, argv, [](const char* s) { return utf8_to_wstring(s); });
}

bool join_args_quoted(std::string& out, int argc, char** argv) {
  if (argc <= 0 || !argv) return false;
  std::string joined;
  for (int i = 0; i < argc; ++i) {
    std::string entry = argv[i] ? argv[i] : "";
    if (i > 0) joined.push_back(' ');
    if (entry.find(' ') != std::string::npos)
      joined += '"' + entry + '"';
    else
      joined += entry;
  }
  out = joined;
  return true;
}

bool resplit_args(std::vector<std::string>& out, int argc, char** argv, char separator) {
  std::string joined;
  if (!join_args_quoted(joined, argc, argv)) return false;
  out.clear();
  if (separator == ' ') return split_command_line(joined.c_str(), 0, out, true) > 0;
  return split_string(joined, separator, out, false, false, false);
}

bool interleave_options(std::vector<std::string>& out, const std::vector<std::string>& names,
                        const std::vector<std::string>& values) {
  out.clear();
  if (names.size() != values.size()) return false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) {
      out.clear();
      break;
    }
    out.push_back(names[i]);
    if (!values[i].empty()) out.push_back(values[i]);
  }
  return !out.empty();
}

void set_log_record_lists(log_record& record, const std::string& text,
                          const std::vector<std::string>& first,
                          const std::vector<std::string>& second) {
  if (first.empty() || first.size() != second.size()) return;
  record.path = text;
  record.attr_names = first;
  record.attr_values = second;
  record.list_marker = 1;
}

bool erase_vector_entry(int index, std::vector<std::string>& v) { return erase_entry(index, v); }

bool erase_vector_entry_wide(int index, std::vector<std::wstring>& v) {
  return erase_entry(index, v);
}

bool take_argv_flag_wide(const wchar_t* name, int& argc, wchar_t** argv) {
  return take_from_wide_argv(name, argc, argv, nullptr, 0);
}

bool take_argv_value_wide(const wchar_t* name, std::wstring& value, int& argc, wchar_t** argv) {
  value.clear();
  std::wstring* values[] = {&value};
  return take_from_wide_argv(name, argc, argv, values, 1);
}

bool take_argv_values2_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            int& argc, wchar_t** argv) {
  std::wstring* values[] = {&value1, &value2};
  return take_from_wide_argv(name, argc, argv, values, 2);
}

bool take_argv_values3_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            std::wstring& value3, int& argc, wchar_t** argv) {
  std::wstring* values[] = {&value1, &value2, &value3};
  return take_from_wide_argv(name, argc, argv, values, 3);
}

bool take_argv_values4_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            std::wstring& value3, std::wstring& value4, int& argc, wchar_t** argv) {
  std::wstring* values[] = {&value1, &value2, &value3, &value4};
  return take_from_wide_argv(name, argc, argv, values, 4);
}

bool find_option_flag_wide(const char* name, std::vector<std::wstring>& args, bool keep) {
  return take_from_wide_vector(name, args, nullptr, 0, !keep);
}

bool find_option_code_wide(u64 code, std::vector<std::wstring>& args, bool keep) {
  return find_option_flag_wide(packed_option_name(code).c_str(), args, keep);
}

bool find_option_value_wide(const char* name, std::wstring& value,
                            std::vector<std::wstring>& args) {
  std::wstring* values[] = {&value};
  return take_from_wide_vector(name, args, values, 1, true);
}

bool find_option_values2_wide(const char* name, std::wstring& value1, std::wstring& value2,
                              std::vector<std::wstring>& args) {
  std::wstring* values[] = {&value1, &value2};
  return take_from_wide_vector(name, args, values, 2, true);
}

bool option_present_wide(const char* name, const std::vector<std::wstring>& args, bool skip_first) {
  std::wstring wide_name;
  if (!wide_option_name(name, wide_name)) return false;
  return option_lookup::copy_option_values(args, skip_first ? 1 : 0, wide_name_matcher(wide_name),
                                           static_cast<std::wstring* const*>(nullptr), 0) >= 0;
}

bool take_counted_values(const char* name, std::string& count_text,
                         std::vector<std::string>& values, std::vector<std::string>& args) {
  count_text.clear();
  values.clear();
  if (!name) return false;
  std::string option_name = name;
  std::string* count_out[] = {&count_text};
  std::ptrdiff_t at = option_lookup::copy_option_values(
      args, 0, [&](const std::string& entry) { return option_matches(entry, option_name); },
      count_out, 1);
  if (at < 0) return false;
  u32 value_count = 0;
  parse_u32_string(count_text, value_count);
  // 64-bit sum: a count such as "-1" reads as 0xFFFFFFFF.
  const u64 first_value = static_cast<u64>(at) + 2;
  if (first_value + value_count > args.size()) return false;
  auto values_begin = args.begin() + static_cast<std::ptrdiff_t>(first_value);
  values.assign(values_begin, values_begin + value_count);
  option_lookup::erase_option(args, at, value_count + 1);
  return true;
}
