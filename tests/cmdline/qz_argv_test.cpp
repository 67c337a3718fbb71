#include "framework/cmdline/qz_argv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/io/qz_file_stats.h"

namespace {

using strings = std::vector<std::string>;
using wstrings = std::vector<std::wstring>;

// A mutable argument array over texts; a null text stands for a null entry.
template <class Ch>
class arg_array {
 public:
  explicit arg_array(const std::vector<const Ch*>& entries) {
    for (const Ch* e : entries) storage_.emplace_back(e ? e : std::basic_string<Ch>());
    for (std::size_t i = 0; i < entries.size(); ++i)
      pointers_.push_back(entries[i] ? storage_[i].data() : nullptr);
    count = static_cast<int>(pointers_.size());
  }
  Ch** argv() { return pointers_.data(); }
  // The first count entries, null ones as empty texts.
  std::vector<std::basic_string<Ch>> live() const {
    std::vector<std::basic_string<Ch>> out;
    for (int i = 0; i < count; ++i)
      out.emplace_back(pointers_[static_cast<size_t>(i)] ? pointers_[static_cast<size_t>(i)] : std::basic_string<Ch>());
    return out;
  }
  int count = 0;

 private:
  std::vector<std::basic_string<Ch>> storage_;
  std::vector<Ch*> pointers_;
};

TEST(ArgsToVector, AppendsEveryEntryInOrder) {
  arg_array<char> args({"prog", nullptr, "x"});
  strings out = {"kept"};
  EXPECT_TRUE(args_to_vector(out, args.count, args.argv()));
  EXPECT_EQ(out, (strings{"kept", "prog", "", "x"}));

  strings empty;
  EXPECT_FALSE(args_to_vector(empty, 0, args.argv()));
  EXPECT_FALSE(args_to_vector(empty, 3, nullptr));
  EXPECT_TRUE(empty.empty());
}

TEST(ArgsToVector, ConvertsBetweenUtf8AndWide) {
  arg_array<wchar_t> wide({L"prog", L"\u00e4\u20ac", nullptr});
  strings narrow;
  EXPECT_TRUE(wide_args_to_utf8_vector(narrow, wide.count, wide.argv()));
  EXPECT_EQ(narrow, (strings{"prog", "\xC3\xA4\xE2\x82\xAC", ""}));

  arg_array<char> utf8({"prog", "\xC3\xA4\xE2\x82\xAC", nullptr});
  wstrings back;
  EXPECT_TRUE(args_to_wide_vector(back, utf8.count, utf8.argv()));
  EXPECT_EQ(back, (wstrings{L"prog", L"\u00e4\u20ac", L""}));
}

TEST(JoinArgsQuoted, QuotesEntriesWithBlanks) {
  struct row {
    const char* name;
    std::vector<const char*> args;
    bool result;
    std::string expected;
  };
  const row rows[] = {
      {"blank inside an entry", {"a", "b c"}, true, "a \"b c\""},
      {"single entry", {"prog"}, true, "prog"},
      {"null entry", {"a", nullptr, "b"}, true, "a  b"},
      {"tab is no blank", {"a\tb"}, true, "a\tb"},
      {"no entries", {}, false, "unchanged"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    arg_array<char> args(r.args);
    std::string out = "unchanged";
    EXPECT_EQ(join_args_quoted(out, args.count, args.argv()), r.result);
    EXPECT_EQ(out, r.expected);
  }
  std::string out = "unchanged";
  EXPECT_FALSE(join_args_quoted(out, 2, nullptr));
  EXPECT_EQ(out, "unchanged");
}

TEST(ResplitArgs, CutsTheJoinedLineAgain) {
  struct row {
    const char* name;
    std::vector<const char*> args;
    char separator;
    bool result;
    strings expected;
  };
  const row rows[] = {
      {"blank keeps quoted entries whole", {"x", "y z"}, ' ', true, {"x", "y z"}},
      {"comma", {"a,b", "c"}, ',', true, {"a", "b c"}},
      {"comma drops empty pieces", {"a,,b,"}, ',', true, {"a", "b"}},
      {"no entries", {}, ' ', false, {"old"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    arg_array<char> args(r.args);
    strings out = {"old"};
    EXPECT_EQ(resplit_args(out, args.count, args.argv(), r.separator), r.result);
    EXPECT_EQ(out, r.expected);
  }
}

TEST(InterleaveOptions, NamesWithTheirValues) {
  struct row {
    const char* name;
    strings names, values;
    bool result;
    strings expected;
  };
  const row rows[] = {
      {"empty values skipped", {"a", "b", "c"}, {"1", "", "3"}, true, {"a", "1", "b", "c", "3"}},
      {"sizes differ", {"a", "b"}, {"1"}, false, {}},
      {"empty name ends with nothing", {"a", "", "c"}, {"1", "2", "3"}, false, {}},
      {"nothing given", {}, {}, false, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings out = {"old"};
    EXPECT_EQ(interleave_options(out, r.names, r.values), r.result);
    EXPECT_EQ(out, r.expected);
  }
}

TEST(SetLogRecordLists, FillsPathListsAndMarkerOnlyForMatchingLists) {
  log_record record;
  record.size = 7;
  set_log_record_lists(record, "C:/x", {"a"}, {"1", "2"});
  set_log_record_lists(record, "C:/x", {}, {});
  EXPECT_EQ(record.path, "");
  EXPECT_EQ(record.list_marker, 0);

  set_log_record_lists(record, "C:/x", {"a", "b"}, {"1", "2"});
  EXPECT_EQ(record.path, "C:/x");
  EXPECT_EQ(record.attr_names, (strings{"a", "b"}));
  EXPECT_EQ(record.attr_values, (strings{"1", "2"}));
  EXPECT_EQ(record.list_marker, 1);
  EXPECT_EQ(record.size, 7u);
}

TEST(EraseVectorEntry, RemovesOneEntryInRange) {
  struct row {
    const char* name;
    int index;
    bool result;
    strings expected;
  };
  const row rows[] = {
      {"first", 0, true, {"b", "c"}},
      {"last", 2, true, {"a", "b"}},
      {"one past the end", 3, false, {"a", "b", "c"}},
      {"negative removes nothing", -1, true, {"a", "b", "c"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings v = {"a", "b", "c"};
    EXPECT_EQ(erase_vector_entry(r.index, v), r.result);
    EXPECT_EQ(v, r.expected);
    wstrings w = {L"a", L"b", L"c"};
    EXPECT_EQ(erase_vector_entry_wide(r.index, w), r.result);
    EXPECT_EQ(w.size(), r.expected.size());
  }
}

TEST(TakeArgvWide, TableOfMembers) {
  enum class op { flag, value, values2, values3, values4 };
  const std::wstring untouched = L"<untouched>";
  struct row {
    const char* name;
    op operation;
    std::vector<const wchar_t*> args;
    bool found;
    wstrings values;
    wstrings args_after;
  };
  auto vals = [&](wstrings v) {
    v.resize(4, untouched);
    return v;
  };
  const row rows[] = {
      {"flag in capitals", op::flag, {L"prog", L"-QUIET", L"x"}, true, vals({}), {L"prog", L"x"}},
      {"entry 0 is never an option",
       op::flag,
       {L"-quiet", L"x"},
       false,
       vals({}),
       {L"-quiet", L"x"}},
      {"shortened form", op::flag, {L"prog", L"-qu"}, false, vals({}), {L"prog", L"-qu"}},
      {"first occurrence",
       op::flag,
       {L"prog", L"-quiet", L"-quiet"},
       true,
       vals({}),
       {L"prog", L"-quiet"}},
      {"value", op::value, {L"prog", L"-quiet", L"v", L"x"}, true, vals({L"v"}), {L"prog", L"x"}},
      {"value in last place empties it",
       op::value,
       {L"prog", L"-quiet"},
       false,
       vals({L""}),
       {L"prog", L"-quiet"}},
      {"value missing empties it", op::value, {L"prog"}, false, vals({L""}), {L"prog"}},
      {"two values",
       op::values2,
       {L"prog", L"-quiet", L"a", L"b"},
       true,
       vals({L"a", L"b"}),
       {L"prog"}},
      {"two values, one present",
       op::values2,
       {L"prog", L"-quiet", L"a"},
       false,
       vals({}),
       {L"prog", L"-quiet", L"a"}},
      {"three values",
       op::values3,
       {L"prog", L"-quiet", L"a", L"b", L"c", L"d"},
       true,
       vals({L"a", L"b", L"c"}),
       {L"prog", L"d"}},
      {"four values",
       op::values4,
       {L"prog", L"-quiet", L"a", L"b", L"c", L"d"},
       true,
       vals({L"a", L"b", L"c", L"d"}),
       {L"prog"}},
      {"four values, three present",
       op::values4,
       {L"prog", L"-quiet", L"a", L"b", L"c"},
       false,
       vals({}),
       {L"prog", L"-quiet", L"a", L"b", L"c"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    arg_array<wchar_t> args(r.args);
    wstrings v(4, untouched);
    const wchar_t* name = L"-quiet";
    bool found = false;
    switch (r.operation) {
      case op::flag:
        found = take_argv_flag_wide(name, args.count, args.argv());
        break;
      case op::value:
        found = take_argv_value_wide(name, v[0], args.count, args.argv());
        break;
      case op::values2:
        found = take_argv_values2_wide(name, v[0], v[1], args.count, args.argv());
        break;
      case op::values3:
        found = take_argv_values3_wide(name, v[0], v[1], v[2], args.count, args.argv());
        break;
      case op::values4:
        found = take_argv_values4_wide(name, v[0], v[1], v[2], v[3], args.count, args.argv());
        break;
    }
    EXPECT_EQ(found, r.found);
    EXPECT_EQ(v, r.values);
    EXPECT_EQ(args.live(), r.args_after);
  }
}

TEST(FindOptionWide, TableOfMembers) {
  enum class op { flag, flag_keep, code_keep, value, values2, present, present_skip_first };
  const std::wstring untouched = L"<untouched>";
  constexpr u64 help_code = 0x68656c70;  // "help"
  struct row {
    const char* name;
    op operation;
    const char* option;
    wstrings args;
    bool found;
    wstrings values;
    wstrings args_after;
  };
  const wstrings none = {untouched, untouched};
  const row rows[] = {
      {"flag removed", op::flag, "-out", {L"-OUT", L"x"}, true, none, {L"x"}},
      {"flag kept", op::flag_keep, "-out", {L"x", L"-Out"}, true, none, {L"x", L"-Out"}},
      {"prefix is no match", op::flag, "-out", {L"-o"}, false, none, {L"-o"}},
      {"name in UTF-8", op::flag, "-\xC3\xA4", {L"x", L"-\u00e4"}, true, none, {L"x"}},
      {"malformed name", op::flag, "\xFF", {L"", L"x"}, false, none, {L"", L"x"}},
      {"code finds -help", op::code_keep, "", {L"prog", L"-help"}, true, none, {L"prog", L"-help"}},
      {"code finds -HELP", op::code_keep, "", {L"prog", L"-HELP"}, true, none, {L"prog", L"-HELP"}},
      {"value",
       op::value,
       "-out",
       {L"p", L"-out", L"f", L"-out", L"g"},
       true,
       {L"f", untouched},
       {L"p", L"-out", L"g"}},
      {"value in last place", op::value, "-out", {L"p", L"-out"}, false, none, {L"p", L"-out"}},
      {"two values", op::values2, "-r", {L"-r", L"1", L"2", L"x"}, true, {L"1", L"2"}, {L"x"}},
      {"two values, one present", op::values2, "-r", {L"-r", L"1"}, false, none, {L"-r", L"1"}},
      {"present", op::present, "-h", {L"-H"}, true, none, {L"-H"}},
      {"present skipping entry 0",
       op::present_skip_first,
       "-h",
       {L"-h", L"x"},
       false,
       none,
       {L"-h", L"x"}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    wstrings args = r.args;
    wstrings v = none;
    bool found = false;
    switch (r.operation) {
      case op::flag:
        found = find_option_flag_wide(r.option, args, false);
        break;
      case op::flag_keep:
        found = find_option_flag_wide(r.option, args, true);
        break;
      case op::code_keep:
        found = find_option_code_wide(help_code, args, true);
        break;
      case op::value:
        found = find_option_value_wide(r.option, v[0], args);
        break;
      case op::values2:
        found = find_option_values2_wide(r.option, v[0], v[1], args);
        break;
      case op::present:
        found = option_present_wide(r.option, args, false);
        break;
      case op::present_skip_first:
        found = option_present_wide(r.option, args, true);
        break;
    }
    EXPECT_EQ(found, r.found);
    EXPECT_EQ(v, r.values);
    EXPECT_EQ(args, r.args_after);
  }
}

TEST(TakeCountedValues, TableOfArguments) {
  struct row {
    const char* name;
    strings args;
    bool found;
    std::string count_text;
    strings values;
    strings args_after;
  };
  const row rows[] = {
      {"two of three", {"-opt", "2", "a", "b", "c"}, true, "2", {"a", "b"}, {"c"}},
      {"name in capitals, later entry", {"x", "-OPT", "1", "a"}, true, "1", {"a"}, {"x"}},
      {"too few values", {"-opt", "3", "a", "b"}, false, "3", {}, {"-opt", "3", "a", "b"}},
      {"count that does not read", {"-opt", "x", "a"}, true, "x", {}, {"a"}},
      {"option in last place", {"a", "-opt"}, false, "", {}, {"a", "-opt"}},
      {"option missing", {"a", "b"}, false, "", {}, {"a", "b"}},
      {"huge count", {"-opt", "-1", "a"}, false, "-1", {}, {"-opt", "-1", "a"}},
      {"hex count", {"-opt", "0x2", "a", "b"}, true, "0x2", {"a", "b"}, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    strings args = r.args;
    std::string count_text = "old";
    strings values = {"old"};
    EXPECT_EQ(take_counted_values("-opt", count_text, values, args), r.found);
    EXPECT_EQ(count_text, r.count_text);
    EXPECT_EQ(values, r.values);
    EXPECT_EQ(args, r.args_after);
  }
}

}  // namespace
