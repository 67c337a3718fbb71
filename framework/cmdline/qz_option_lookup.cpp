#include "framework/cmdline/qz_option_lookup.h"

#include "framework/text/qz_bytes.h"
#include "framework/text/qz_string.h"

bool is_option_equal(std::string& a, std::string& b) {
  if (a.size() != b.size()) return false;
  return to_lower(a) == to_lower(b);
}

bool option_matches(const std::string& entry, const std::string& name) {
  if (entry.size() != name.size()) return false;
  std::string entry_copy = entry;
  std::string name_copy = name;
  return is_option_equal(entry_copy, name_copy);
}

std::string packed_option_name(u64 code) {
  std::string name = "-";
  for (int shift = 56; shift >= 0; shift -= 8) {
    char c = static_cast<char>((code >> shift) & 0xFF);
    if (c >= 'a' && c <= 'z') name.push_back(c);
  }
  return name;
}

namespace {

// Matches entries, vector strings or array C strings (null taken as empty), against one name.
class name_matcher {
 public:
  explicit name_matcher(std::string name) : name_(std::move(name)) {}
  bool operator()(const std::string& entry) const { return option_matches(entry, name_); }
  bool operator()(const char* entry) const { return option_matches(entry ? entry : "", name_); }

 private:
  std::string name_;
};

// Vector look-up: with remove, the match and its values are erased.
bool take_from_vector(const char* name, std::vector<std::string>& args, std::size_t from,
                      std::string* const* values, std::size_t value_count, bool remove) {
  if (!name) return false;
  std::ptrdiff_t at =
      option_lookup::copy_option_values(args, from, name_matcher(name), values, value_count);
  if (at < 0) return false;
  if (remove) option_lookup::erase_option(args, at, value_count);
  return true;
}

// Array look-up from entry 1: with remove, the match and its values leave the array.
bool take_from_argv(const char* name, int* count, char** argv, std::string* const* values,
                    std::size_t value_count, bool remove) {
  if (!name || !count) return false;
  int at = option_lookup::copy_argv_values(*count, argv, name_matcher(name), values, value_count);
  if (at < 0) return false;
  if (remove)
    for (std::size_t k = 0; k <= value_count; ++k) argv_remove_at(at, count, argv);
  return true;
}

}  // namespace

bool find_option_flag(const char* name, std::vector<std::string>& args, bool keep) {
  return take_from_vector(name, args, 0, nullptr, 0, !keep);
}

bool find_option_flag_packed(u64 code, std::vector<std::string>& args, bool keep) {
  return find_option_flag(packed_option_name(code).c_str(), args, keep);
}

bool find_option_value(const char* name, std::string& value, std::vector<std::string>& args) {
  std::string* values[] = {&value};
  return take_from_vector(name, args, 0, values, 1, true);
}

bool find_option_value_str(const std::string& name, std::string& value,
                           std::vector<std::string>& args) {
  return find_option_value(name.c_str(), value, args);
}

bool find_option_value2(const char* name, std::string& value1, std::string& value2,
                        std::vector<std::string>& args) {
  std::string* values[] = {&value1, &value2};
  return take_from_vector(name, args, 0, values, 2, true);
}

bool find_option_value3(const char* name, std::string& value1, std::string& value2,
                        std::string& value3, std::vector<std::string>& args) {
  std::string* values[] = {&value1, &value2, &value3};
  return take_from_vector(name, args, 0, values, 3, true);
}

bool get_option_value(const char* name, std::string& value, const std::vector<std::string>& args,
                      bool skip_first) {
  if (!name) return false;
  std::string* values[] = {&value};
  return option_lookup::copy_option_values(args, skip_first ? 1 : 0, name_matcher(name), values,
                                           1) >= 0;
}

bool option_present(const char* name, const std::vector<std::string>& args, bool skip_first) {
  if (!name) return false;
  return option_lookup::copy_option_values(args, skip_first ? 1 : 0, name_matcher(name),
                                           static_cast<std::string* const*>(nullptr), 0) >= 0;
}

bool find_option_entry(const char* name, std::string& out, std::vector<std::string>& args) {
  if (!name) return false;
  std::ptrdiff_t at = option_lookup::copy_option_values(
      args, 0, name_matcher(name), static_cast<std::string* const*>(nullptr), 0);
  if (at < 0) return false;
  out = args[static_cast<std::size_t>(at)];
  option_lookup::erase_option(args, at, 0);
  return true;
}

bool find_option_flag_argv(const char* name, int* count, char** argv, bool keep) {
  return take_from_argv(name, count, argv, nullptr, 0, !keep);
}

bool option_present_argv(const char* name, int* count, char** argv) {
  return find_option_flag_argv(name, count, argv, true);
}

bool find_option_value_argv(const char* name, std::string& value, int* count, char** argv) {
  std::string* values[] = {&value};
  return take_from_argv(name, count, argv, values, 1, true);
}

bool get_option_value_argv(const char* name, std::string& value, int* count, char** argv) {
  std::string* values[] = {&value};
  return take_from_argv(name, count, argv, values, 1, false);
}

bool find_option_value2_argv(const char* name, std::string& value1, std::string& value2, int* count,
                             char** argv) {
  std::string* values[] = {&value1, &value2};
  return take_from_argv(name, count, argv, values, 2, true);
}

bool find_option_value3_argv(const char* name, std::string& value1, std::string& value2,
                             std::string& value3, int* count, char** argv) {
  std::string* values[] = {&value1, &value2, &value3};
  return take_from_argv(name, count, argv, values, 3, true);
}

bool find_option_value4_argv(const char* name, std::string& value1, std::string& value2,
                             std::string& value3, std::string& value4, int* count, char** argv) {
  std::string* values[] = {&value1, &value2, &value3, &value4};
  return take_from_argv(name, count, argv, values, 4, true);
}
