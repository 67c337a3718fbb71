#include "framework/text/qz_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using namespace std::string_literals;

const std::string shadow_prefix = "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy";

// Sets and unsets environment variables for one test and puts back what was there before.
class env_guard {
 public:
  env_guard() = default;
  env_guard(const env_guard&) = delete;
  env_guard& operator=(const env_guard&) = delete;
  ~env_guard() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  // value null unsets the variable.
  void set(const std::string& name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
      setenv(name.c_str(), value, 1);
    else
      unsetenv(name.c_str());
  }
  // Unsets every LC_* variable, so that only the ones a test sets choose the locale.
  void clear_locale_categories() {
    std::vector<std::string> names;
    for (char** entry = environ; *entry; ++entry)
      if (std::strncmp(*entry, "LC_", 3) == 0)
        names.emplace_back(*entry, std::strchr(*entry, '=') - *entry);
    for (const std::string& name : names) set(name, nullptr);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

struct expand_case {
  const char* name;
  std::vector<std::pair<const char*, const char*>> vars;  // null value: unset
  std::string text;
  bool allow_vss;
  std::string expected;
};

TEST(ExpandEnvVars, TableOfTexts) {
  const std::string over_limit(505, 'a');  // with a name: beyond 512 characters
  const std::string padding(450, 'a');     // with a name: within 512 characters
  const std::string long_value(100, 'v');
  const std::string growth(200, 'g');
  const std::string grow_value = "%QZT_G%" + growth;
  const std::string grown = grow_value + growth + growth;
  const expand_case cases[] = {
      {"set name", {{"QZT_HOME", "/Users/x"}}, "%QZT_HOME%/a.csv", false, "/Users/x/a.csv"},
      {"name is case-sensitive",
       {{"QZT_HOME", "/Users/x"}, {"qzt_home", nullptr}},
       "%qzt_home%/a.csv",
       false,
       "%qzt_home%/a.csv"},
      {"unset name stays", {{"QZT_NOPE", nullptr}}, "%QZT_NOPE%/a.csv", false, "%QZT_NOPE%/a.csv"},
      {"lone percent", {}, "50%", false, "50%"},
      {"empty name", {}, "%%", false, "%%"},
      {"empty value", {{"QZT_EMPTY", ""}}, "%QZT_EMPTY%x", false, "x"},
      {"two names", {{"QZT_A", "a"}, {"QZT_B", "b"}}, "%QZT_A%-%QZT_B%", false, "a-b"},
      {"inserted value searched again",
       {{"QZT_A", "%QZT_B%/x"}, {"QZT_B", "b"}},
       "%QZT_A%",
       false,
       "b/x"},
      {"inserted percent pairs with the next",
       {{"QZT_A", "50%"}, {"QZT_B", "bee"}},
       "%QZT_A% and %QZT_B%",
       false,
       "50% and %QZT_B%"},
      {"vss on", {{"VSS", nullptr}}, "%VSS%1\\Users", true, shadow_prefix + "1\\Users"},
      {"vss any case", {{"vsS", nullptr}}, "x%vsS%", true, "x" + shadow_prefix},
      {"vss off", {{"VSS", nullptr}}, "%VSS%1\\Users", false, "%VSS%1\\Users"},
      {"a variable named vss wins", {{"vss", "mine"}}, "%vss%", true, "mine"},
      // Texts beyond the 512-character limit.
      {"long text left alone",
       {{"QZT_HOME", "/Users/x"}},
       "%QZT_HOME%" + over_limit,
       false,
       "%QZT_HOME%" + over_limit},
      {"last value may carry beyond the limit",
       {{"QZT_LONG", long_value.c_str()}},
       padding + "%QZT_LONG%",
       false,
       padding + long_value},
      {"no name after the limit",
       {{"QZT_LONG", long_value.c_str()}, {"QZT_A", "a"}},
       "%QZT_LONG%%QZT_A%" + padding,
       false,
       long_value + "%QZT_A%" + padding},
      // Names that refer to themselves are left as written; the rest still expands.
      {"self reference",
       {{"QZT_X", "%QZT_X%"}, {"QZT_HOME", "/h"}},
       "%QZT_X%/%QZT_HOME%",
       false,
       "%QZT_X%//h"},
      {"two names naming each other",
       {{"QZT_A", "%QZT_B%"}, {"QZT_B", "%QZT_A%"}},
       "<%QZT_A%>",
       false,
       "<%QZT_A%>"},
      {"cycle of three",
       {{"QZT_A", "%QZT_B%"}, {"QZT_B", "%QZT_C%"}, {"QZT_C", "%QZT_A%"}},
       "%QZT_B%/%QZT_B%",
       false,
       "%QZT_B%/%QZT_B%"},
      {"self reference that grows stops at the limit",
       {{"QZT_G", grow_value.c_str()}},
       "%QZT_G%",
       false,
       grown},
      // Texts that name no variable even though getenv would find one.
      {"NUL inside a name", {{"QZT_HOME", "/Users/x"}}, "%QZT_HOME\0x%"s, false, "%QZT_HOME\0x%"s},
      {"'=' inside a name", {{"QZT_EQ", "a=b"}}, "%QZT_EQ=a%", false, "%QZT_EQ=a%"},
  };
  for (const expand_case& c : cases) {
    SCOPED_TRACE(c.name);
    env_guard env;
    for (const auto& [name, value] : c.vars) env.set(name, value);
    std::string text = c.text;
    EXPECT_EQ(expand_env_vars(text, c.allow_vss), c.expected);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(ExpandEnvVars, WideForm) {
  struct row {
    const char* name;
    std::wstring text;
    bool allow_vss;
    std::wstring expected;
  };
  const std::wstring wide_prefix(shadow_prefix.begin(), shadow_prefix.end());
  const row rows[] = {
      {"set name beside non-ASCII text", L"%QZT_HOME%/\u00e4.csv", false,
       L"/Users/\u00e9/\u00e4.csv"},
      {"vss on", L"%vss%1", true, wide_prefix + L"1"},
      {"vss off", L"%vss%1", false, L"%vss%1"},
      {"expands to nothing", L"%QZT_EMPTY%", false, L""},
      {"empty text", L"", true, L""},
      {"value that is not UTF-8 is not inserted", L"%QZT_BAD%/x", false, L"%QZT_BAD%/x"},
      {"character beyond Unicode is kept", std::wstring(L"%QZT_HOME%") + wchar_t(0x110000), false,
       std::wstring(L"%QZT_HOME%") + wchar_t(0x110000)},
  };
  env_guard env;
  env.set("QZT_HOME", "/Users/\xC3\xA9");
  env.set("QZT_EMPTY", "");
  env.set("QZT_BAD", "\xFF\xFE");
  env.set("vss", nullptr);
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::wstring text = r.text;
    EXPECT_EQ(expand_env_vars_wide(text, r.allow_vss), r.expected);
    EXPECT_EQ(text, r.expected);
  }
}

TEST(NormalizePath, TableOfPaths) {
  struct row {
    const char* name;
    std::string path;
    bool expand;
    bool result;
    std::string expected;
  };
  const row rows[] = {
      {"dots and backslashes", "C:\\data\\.\\a\\..\\b.csv", false, true, "C:/data/b.csv"},
      {"no dot: only slashes turned", "dir\\\\file", false, true, "dir//file"},
      {"empty piece dropped", "dir//file.txt", false, true, "dir/file.txt"},
      {"absolute, last level dropped", "/a/b/..", false, true, "/a/"},
      {"pieces trimmed", "a / b.txt", false, true, "a/b.txt"},
      {"expanded first", "%QZT_ROOT%\\a\\.\\b.csv", true, true, "/cases/a/b.csv"},
      {"not expanded", "%QZT_ROOT%/b.csv", false, true, "%QZT_ROOT%/b.csv"},
      {"empty path", "", false, false, ""},
      // ".", an empty piece and ".." itself name no level, so they cancel no "..".
      {"dot before dot-dot", "a/./../b.txt", false, true, "a/../b.txt"},
      {"empty piece before dot-dot", "a//../b.txt", false, true, "a/../b.txt"},
      {"dot-dot after dot-dot", "../../x.txt", false, true, "../../x.txt"},
      {"name cancels one dot-dot only", "x/../../y.txt", false, true, "../y.txt"},
  };
  env_guard env;
  env.set("QZT_ROOT", "/cases");
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string path = r.path;
    EXPECT_EQ(normalize_path(path, r.expand), r.result);
    EXPECT_EQ(path, r.expected);
  }
}

TEST(LocaleFromEnv, TriesTheDefaultThenLcTimeThenLang) {
  struct row {
    const char* name;
    const char* lc_all;
    const char* lc_time;
    const char* lang;
    bool found;
    std::string expected;
  };
  const char* bogus = "qz_NO_SUCH.locale";
  const row rows[] = {
      {"environment default", nullptr, nullptr, "C", true, ""},
      {"default invalid, LC_TIME", bogus, "C", nullptr, true, "C"},
      {"default invalid, LC_TIME unset, LANG", bogus, nullptr, "POSIX", true, "POSIX"},
      {"default and LC_TIME invalid, LANG", bogus, bogus, "POSIX", true, "POSIX"},
      {"nothing valid", bogus, bogus, bogus, false, ""},
      {"nothing set but an invalid default", bogus, nullptr, nullptr, false, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    env_guard env;
    env.clear_locale_categories();
    env.set("LC_ALL", r.lc_all);
    env.set("LC_TIME", r.lc_time);
    env.set("LANG", r.lang);
    std::string name = "stale";
    EXPECT_EQ(locale_from_env(name), r.found);
    EXPECT_EQ(name, r.expected);
  }
}

TEST(IsValidLocaleName, BuildsOrRefuses) {
  EXPECT_TRUE(is_valid_locale_name("C"));
  EXPECT_TRUE(is_valid_locale_name("POSIX"));
  EXPECT_FALSE(is_valid_locale_name("qz_NO_SUCH.locale"));
  EXPECT_FALSE(is_valid_locale_name("%LANG%"));
  EXPECT_FALSE(is_valid_locale_name(nullptr));
}

}  // namespace
