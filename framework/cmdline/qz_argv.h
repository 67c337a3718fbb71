// Argument vectors: argc/argv to vectors and back, arguments joined and cut again (the words
// of a command line are cut by qz_split), entries removed, and option look-ups on wide
// argument arrays and vectors.
// Option names match entries of equal length without regard to ASCII case; only the first
// match counts. A function that does not find all it needs returns false and leaves the
// arguments as they were. Functions that "append" keep what out already holds.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

class log_record;

// ---- Building and joining ----

// Appends the argc entries in order, a null entry as an empty text; true when out is not empty.
bool args_to_vector(std::vector<std::string>& out, int argc, char** argv);
// args_to_vector with each wide entry converted to UTF-8.
bool wide_args_to_utf8_vector(std::vector<std::string>& out, int argc, wchar_t** argv);
// args_to_vector with each UTF-8 entry converted to wide text.
bool args_to_wide_vector(std::vector<std::wstring>& out, int argc, char** argv);
// out = the entries joined by one blank, an entry holding a blank between double quotes, a
// null entry as an empty text; false, out unchanged, for no entries or a null argv.
bool join_args_quoted(std::string& out, int argc, char** argv);
// out = the arguments joined by join_args_quoted and cut again: at blanks with quote grouping,
// or at separator without trimming and without empty pieces. false when nothing was cut.
bool resplit_args(std::vector<std::string>& out, int argc, char** argv, char separator);
// out = each name followed by its value when the value is not empty; an empty name empties out
// and ends the walk. false when the two differ in size or out ends empty.
bool interleave_options(std::vector<std::string>& out, const std::vector<std::string>& names,
                        const std::vector<std::string>& values);
// record's path = text, its two lists = copies of first and second, its list marker = 1;
// nothing when first is empty or the two differ in size.
void set_log_record_lists(log_record& record, const std::string& text,
                          const std::vector<std::string>& first,
                          const std::vector<std::string>& second);

// ---- Removing and taking ----

// Removes entry index; false when index is not below the size. A negative index removes
// nothing and gives true.
bool erase_vector_entry(int index, std::vector<std::string>& v);
bool erase_vector_entry_wide(int index, std::vector<std::wstring>& v);

// Array look-ups from entry 1 (entry 0, the program, is never matched); a match is removed
// with its values and argc drops accordingly.
bool take_argv_flag_wide(const wchar_t* name, int& argc, wchar_t** argv);
// value is emptied first, then takes the entry after the match.
bool take_argv_value_wide(const wchar_t* name, std::wstring& value, int& argc, wchar_t** argv);
// Two (three, four) values after the match; the values are untouched unless all are there.
bool take_argv_values2_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            int& argc, wchar_t** argv);
bool take_argv_values3_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            std::wstring& value3, int& argc, wchar_t** argv);
bool take_argv_values4_wide(const wchar_t* name, std::wstring& value1, std::wstring& value2,
                            std::wstring& value3, std::wstring& value4, int& argc, wchar_t** argv);

// Vector look-ups from entry 0 with a UTF-8 name.
// Whether name is in args; the first match is removed unless keep.
bool find_option_flag_wide(const char* name, std::vector<std::wstring>& args, bool keep);
// find_option_flag_wide with the name packed_option_name(code).
bool find_option_code_wide(u64 code, std::vector<std::wstring>& args, bool keep);
// value = the entry after the first match; both are removed. An option in last place is
// neither taken nor removed.
bool find_option_value_wide(const char* name, std::wstring& value, std::vector<std::wstring>& args);
// The same with two values; three entries are removed.
bool find_option_values2_wide(const char* name, std::wstring& value1, std::wstring& value2,
                              std::vector<std::wstring>& args);
// Whether any entry matches, searching from entry 1 when skip_first.
bool option_present_wide(const char* name, const std::vector<std::wstring>& args, bool skip_first);
// Takes "name count v1 .. vn": count_text = the count as written, values = the n values
// (n read with parse_u32, 0 when it does not read); all of them are removed from args. Both
// outputs are emptied first; false, args unchanged, when name is missing, last, or fewer than
// n values follow (count_text then holds the count).
bool take_counted_values(const char* name, std::string& count_text,
                         std::vector<std::string>& values, std::vector<std::string>& args);
