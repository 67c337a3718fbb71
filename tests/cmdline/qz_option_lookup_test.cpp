#include "framework/cmdline/qz_option_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using strings = std::vector<std::string>;

const char* const untouched = "<untouched>";

TEST(IsOptionEqual, FoldsBothInPlaceOnlyWhenLengthsAgree) {
  struct row {
    const char* name;
    std::string a, b;
    bool equal;
    std::string a_after, b_after;
  };
  const row rows[] = {
      {"same case", "-out", "-out", true, "-out", "-out"},
      {"capitals", "-OUT", "-Out", true, "-out", "-out"},
      {"different", "-OUT", "-ABC", false, "-out", "-abc"},
      {"prefix is no match", "-OUT", "-O", false, "-OUT", "-O"},
      {"non-ASCII bytes kept", "-\xC3\x84", "-\xC3\xA4", false, "-\xC3\x84", "-\xC3\xA4"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string a = r.a, b = r.b;
    EXPECT_EQ(is_option_equal(a, b), r.equal);
    EXPECT_EQ(a, r.a_after);
    EXPECT_EQ(b, r.b_after);
  }
}

TEST(PackedOptionName, KeepsLowerCaseLettersFromTheTopByte) {
  struct row {
    const char* name;
    u64 code;
    std::string expected;
  };
  const row rows[] = {
      {"quiet in the low bytes", 0x0000007175696574ULL, "-quiet"},
      {"eight letters", 0x6162636465666768ULL, "-abcdefgh"},
      {"capitals and digits skipped", 0x4845'4c50'3168'656cULL, "-hel"},
      {"zero", 0, "-"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(packed_option_name(r.code), r.expected);
  }
}

// The vector members, run through one table: each row names the member, its arguments and what
// the vector and the outputs hold afterwards.
enum class vector_op {
  flag,
  flag_keep,
  packed,
  value,
  value_str,
  value2,
  value3,
  get_value,
  get_value_skip_first,
  present,
  present_skip_first,
  entry,
};

struct vector_case {
  const char* name;
  vector_op op;
  const char* option;
  strings args;
  bool found;
  strings outputs;  // the out-parameters afterwards (untouched unless found)
  strings args_after;
};

bool run(const vector_case& c, strings& args, strings& outputs) {
  std::string& o1 = outputs[0];
  std::string& o2 = outputs[1];
  std::string& o3 = outputs[2];
  switch (c.op) {
    case vector_op::flag:
      return find_option_flag(c.option, args, false);
    case vector_op::flag_keep:
      return find_option_flag(c.option, args, true);
    case vector_op::packed:
      return find_option_flag_packed(0x0000007175696574ULL, args, false);  // "quiet"
    case vector_op::value:
      return find_option_value(c.option, o1, args);
    case vector_op::value_str:
      return find_option_value_str(std::string(c.option), o1, args);
    case vector_op::value2:
      return find_option_value2(c.option, o1, o2, args);
    case vector_op::value3:
      return find_option_value3(c.option, o1, o2, o3, args);
    case vector_op::get_value:
      return get_option_value(c.option, o1, args, false);
    case vector_op::get_value_skip_first:
      return get_option_value(c.option, o1, args, true);
    case vector_op::present:
      return option_present(c.option, args, false);
    case vector_op::present_skip_first:
      return option_present(c.option, args, true);
    case vector_op::entry:
      return find_option_entry(c.option, o1, args);
  }
  return false;
}

TEST(OptionLookupVector, TableOfMembers) {
  const strings none = {untouched, untouched, untouched};
  const vector_case cases[] = {
      // Matching: case ignored, exact length, first occurrence, entry 0 searched.
      {"flag in capitals",
       vector_op::flag,
       "-quiet",
       {"prog", "-QUIET", "x"},
       true,
       none,
       {"prog", "x"}},
      {"shortened form is no match",
       vector_op::flag,
       "-out",
       {"prog", "-ou"},
       false,
       none,
       {"prog", "-ou"}},
      {"longer entry is no match",
       vector_op::flag,
       "-out",
       {"prog", "-outfile"},
       false,
       none,
       {"prog", "-outfile"}},
      {"flag removes the first only",
       vector_op::flag,
       "-q",
       {"prog", "-q", "a", "-q"},
       true,
       none,
       {"prog", "a", "-q"}},
      {"flag at entry 0", vector_op::flag, "-q", {"-q", "a"}, true, none, {"a"}},
      {"flag kept", vector_op::flag_keep, "-q", {"prog", "-Q"}, true, none, {"prog", "-Q"}},
      {"empty vector", vector_op::flag, "-q", {}, false, none, {}},
      {"packed quiet", vector_op::packed, "", {"prog", "-Quiet", "x"}, true, none, {"prog", "x"}},
      // One value.
      {"value taken",
       vector_op::value,
       "-out",
       {"prog", "-out", "f.csv", "-quiet"},
       true,
       {"f.csv", untouched, untouched},
       {"prog", "-quiet"}},
      {"value is the next entry whatever it holds",
       vector_op::value,
       "-out",
       {"prog", "-out", "-quiet"},
       true,
       {"-quiet", untouched, untouched},
       {"prog"}},
      {"option in last place stays",
       vector_op::value,
       "-out",
       {"prog", "x", "-out"},
       false,
       none,
       {"prog", "x", "-out"}},
      {"first of two occurrences",
       vector_op::value,
       "-out",
       {"prog", "-OUT", "a", "-out", "b"},
       true,
       {"a", untouched, untouched},
       {"prog", "-out", "b"}},
      {"value, name as string",
       vector_op::value_str,
       "-dst",
       {"prog", "-Dst", "d"},
       true,
       {"d", untouched, untouched},
       {"prog"}},
      {"value not found",
       vector_op::value,
       "-dst",
       {"prog", "-src", "s"},
       false,
       none,
       {"prog", "-src", "s"}},
      // Several values: all or nothing.
      {"two values",
       vector_op::value2,
       "-r",
       {"prog", "-r", "1", "2", "x"},
       true,
       {"1", "2", untouched},
       {"prog", "x"}},
      {"two values, one present",
       vector_op::value2,
       "-r",
       {"prog", "-r", "1"},
       false,
       none,
       {"prog", "-r", "1"}},
      {"three values", vector_op::value3, "-r", {"-r", "1", "2", "3"}, true, {"1", "2", "3"}, {}},
      {"three values, two present",
       vector_op::value3,
       "-r",
       {"prog", "-r", "1", "2"},
       false,
       none,
       {"prog", "-r", "1", "2"}},
      // Look without taking.
      {"get value keeps the vector",
       vector_op::get_value,
       "-dateformat",
       {"prog", "-dateformat", "yyyy"},
       true,
       {"yyyy", untouched, untouched},
       {"prog", "-dateformat", "yyyy"}},
      {"get value searches entry 0",
       vector_op::get_value,
       "-out",
       {"-out", "x", "-out", "v"},
       true,
       {"x", untouched, untouched},
       {"-out", "x", "-out", "v"}},
      {"get value skipping entry 0",
       vector_op::get_value_skip_first,
       "-out",
       {"-out", "x", "-out", "v"},
       true,
       {"v", untouched, untouched},
       {"-out", "x", "-out", "v"}},
      {"get value in last place",
       vector_op::get_value,
       "-out",
       {"prog", "-out"},
       false,
       none,
       {"prog", "-out"}},
      {"present",
       vector_op::present,
       "-append",
       {"prog", "-APPEND"},
       true,
       none,
       {"prog", "-APPEND"}},
      {"present at entry 0 only, skipped",
       vector_op::present_skip_first,
       "-h",
       {"-h", "x"},
       false,
       none,
       {"-h", "x"}},
      {"present at entry 0 only", vector_op::present, "-h", {"-h", "x"}, true, none, {"-h", "x"}},
      // The entry as written.
      {"entry in its own case",
       vector_op::entry,
       "-quiet",
       {"prog", "-QUIET", "x"},
       true,
       {"-QUIET", untouched, untouched},
       {"prog", "x"}},
  };
  for (const vector_case& c : cases) {
    SCOPED_TRACE(c.name);
    strings args = c.args;
    strings outputs = none;
    EXPECT_EQ(run(c, args, outputs), c.found);
    EXPECT_EQ(outputs, c.outputs);
    EXPECT_EQ(args, c.args_after);
  }
}

TEST(OptionLookupVector, RepeatedCallsTakeOccurrencesInTurn) {
  strings args = {"prog", "-filter", "*.csv", "-filter", "*.txt"};
  std::string value;
  ASSERT_TRUE(find_option_value("-filter", value, args));
  EXPECT_EQ(value, "*.csv");
  ASSERT_TRUE(find_option_value("-filter", value, args));
  EXPECT_EQ(value, "*.txt");
  EXPECT_FALSE(find_option_value("-filter", value, args));
  EXPECT_EQ(args, strings{"prog"});
}

// The array members. The array is built from a list of texts; a null text stands for a null
// pointer entry.
enum class argv_op { flag, flag_keep, present, value, get_value, value2, value3, value4 };

struct argv_case {
  const char* name;
  argv_op op;
  std::vector<const char*> args;
  bool found;
  strings outputs;
  strings args_after;
};

bool run(const argv_case& c, int* count, char** argv, strings& o) {
  const char* option = "-out";
  switch (c.op) {
    case argv_op::flag:
      return find_option_flag_argv(option, count, argv, false);
    case argv_op::flag_keep:
      return find_option_flag_argv(option, count, argv, true);
    case argv_op::present:
      return option_present_argv(option, count, argv);
    case argv_op::value:
      return find_option_value_argv(option, o[0], count, argv);
    case argv_op::get_value:
      return get_option_value_argv(option, o[0], count, argv);
    case argv_op::value2:
      return find_option_value2_argv(option, o[0], o[1], count, argv);
    case argv_op::value3:
      return find_option_value3_argv(option, o[0], o[1], o[2], count, argv);
    case argv_op::value4:
      return find_option_value4_argv(option, o[0], o[1], o[2], o[3], count, argv);
  }
  return false;
}

TEST(OptionLookupArgv, TableOfMembers) {
  const strings none = {untouched, untouched, untouched, untouched};
  auto outs = [&](strings taken) {
    taken.resize(4, untouched);
    return taken;
  };
  const argv_case cases[] = {
      {"entry 0 is never an option", argv_op::flag, {"-out", "x"}, false, none, {"-out", "x"}},
      {"flag removed", argv_op::flag, {"prog", "-OUT", "x"}, true, none, {"prog", "x"}},
      {"flag kept", argv_op::flag_keep, {"prog", "-out"}, true, none, {"prog", "-out"}},
      {"present removes nothing", argv_op::present, {"prog", "-Out"}, true, none, {"prog", "-Out"}},
      {"first occurrence", argv_op::flag, {"prog", "-out", "-out"}, true, none, {"prog", "-out"}},
      {"null entries pass", argv_op::flag, {"prog", nullptr, "-out"}, true, none, {"prog", ""}},
      {"value taken, count two smaller",
       argv_op::value,
       {"prog", "-out", "f", "x"},
       true,
       outs({"f"}),
       {"prog", "x"}},
      {"value in last place", argv_op::value, {"prog", "-out"}, false, none, {"prog", "-out"}},
      {"null value is empty",
       argv_op::value,
       {"prog", "-out", nullptr},
       true,
       outs({""}),
       {"prog"}},
      {"get value keeps the array",
       argv_op::get_value,
       {"prog", "-out", "f"},
       true,
       outs({"f"}),
       {"prog", "-out", "f"}},
      {"two values",
       argv_op::value2,
       {"prog", "-out", "a", "b", "c"},
       true,
       outs({"a", "b"}),
       {"prog", "c"}},
      {"three values",
       argv_op::value3,
       {"prog", "-out", "a", "b", "c"},
       true,
       outs({"a", "b", "c"}),
       {"prog"}},
      {"three values, two present",
       argv_op::value3,
       {"prog", "-out", "a", "b"},
       false,
       none,
       {"prog", "-out", "a", "b"}},
      {"four values",
       argv_op::value4,
       {"prog", "x", "-out", "a", "b", "c", "d"},
       true,
       outs({"a", "b", "c", "d"}),
       {"prog", "x"}},
      {"four values, three present",
       argv_op::value4,
       {"prog", "-out", "a", "b", "c"},
       false,
       none,
       {"prog", "-out", "a", "b", "c"}},
      {"empty array", argv_op::flag, {}, false, none, {}},
  };
  for (const argv_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> storage;
    for (const char* s : c.args) storage.push_back(s ? s : "");
    std::vector<char*> argv;
    for (std::size_t i = 0; i < c.args.size(); ++i)
      argv.push_back(c.args[i] ? storage[i].data() : nullptr);
    int count = static_cast<int>(argv.size());
    strings outputs = none;
    EXPECT_EQ(run(c, &count, argv.data(), outputs), c.found);
    EXPECT_EQ(outputs, c.outputs);
    ASSERT_EQ(count, static_cast<int>(c.args_after.size()));
    for (int i = 0; i < count; ++i) EXPECT_EQ(argv[i] ? argv[i] : "", c.args_after[static_cast<size_t>(i)]) << i;
  }
}

TEST(OptionLookupArgv, MissingArrayOrCountFindsNothing) {
  char prog[] = "prog";
  char out[] = "-out";
  char* argv[] = {prog, out};
  int count = 2;
  std::string value = untouched;
  EXPECT_FALSE(find_option_flag_argv("-out", nullptr, argv, false));
  EXPECT_FALSE(find_option_flag_argv("-out", &count, nullptr, false));
  EXPECT_FALSE(find_option_flag_argv(nullptr, &count, argv, false));
  EXPECT_FALSE(find_option_value_argv("-out", value, nullptr, argv));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(value, untouched);
}

}  // namespace
