#include "framework/io/qz_libload.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <set>
#include <string>

#include "tests/text/temp_folder.h"

namespace {

const char* const math_library = "libm.so.6";

// Binds cos() from the library, or the symbol named in `symbol`. Without needs_library it
// binds from what the program has linked in when no library was opened.
class math_binding : public qz_libload_base {
 public:
  bool load_functions(void* library) override {
    ++load_calls;
    seen_handle = library;
    if (!library && needs_library) return false;
    cosine = reinterpret_cast<double (*)(double)>(find_symbol(library, symbol));
    return cosine != nullptr;
  }
  void unload_functions() override {
    ++unload_calls;
    cosine = nullptr;
  }

  std::string symbol = "cos";
  bool needs_library = true;
  double (*cosine)(double) = nullptr;
  void* seen_handle = reinterpret_cast<void*>(1);
  int load_calls = 0;
  int unload_calls = 0;
};

TEST(LibloadTest, LoadBindsOnceAndKeepsThePath) {
  math_binding math;
  EXPECT_FALSE(math.is_loaded());
  ASSERT_TRUE(math.load(math_library));
  EXPECT_TRUE(math.is_loaded());
  EXPECT_EQ(math.path, math_library);
  EXPECT_EQ(math.seen_handle, math.handle);
  ASSERT_NE(math.cosine, nullptr);
  EXPECT_EQ(math.cosine(0.0), 1.0);

  EXPECT_TRUE(math.load("libanything.so"));  // already loaded: nothing happens
  EXPECT_EQ(math.load_calls, 1);
  EXPECT_EQ(math.path, math_library);

  EXPECT_TRUE(math.unload());
  EXPECT_TRUE(math.is_loaded());  // the handle stays until reset
  EXPECT_FALSE(math.unload());    // a closed library is not closed twice
  math.reset();
  EXPECT_FALSE(math.is_loaded());
  EXPECT_EQ(math.path, "");
  EXPECT_FALSE(math.unload());
}

TEST(LibloadTest, FailedLoadsUndoEverything) {
  struct {
    const char* name;
    const char* path;
    const char* symbol;
    bool null_handle_seen;
  } cases[] = {
      {"empty path", "", "cos", true},
      {"missing library", "libqz_no_such_library.so.9", "cos", true},
      {"missing entry point", math_library, "qz_no_such_function", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    math_binding math;
    math.symbol = c.symbol;
    EXPECT_FALSE(math.load(c.path));
    EXPECT_EQ(math.load_calls, 1);
    EXPECT_EQ(math.seen_handle == nullptr, c.null_handle_seen);
    EXPECT_EQ(math.unload_calls, 1);
    EXPECT_FALSE(math.is_loaded());
    EXPECT_EQ(math.path, "");
  }

  math_binding linked;  // binds without a library and so succeeds with a null handle
  linked.needs_library = false;
  EXPECT_TRUE(linked.load(""));
  EXPECT_FALSE(linked.is_loaded());
  EXPECT_NE(linked.cosine, nullptr);
  EXPECT_EQ(linked.unload_calls, 0);
}

TEST(LibloadTest, FreeFunctions) {
  EXPECT_EQ(open_library(""), nullptr);
  EXPECT_EQ(open_library("libqz_no_such_library.so.9"), nullptr);
  EXPECT_FALSE(close_library(nullptr));
  void* library = open_library(math_library);
  ASSERT_NE(library, nullptr);
  EXPECT_NE(find_symbol(library, "sqrt"), nullptr);
  EXPECT_EQ(find_symbol(library, ""), nullptr);
  EXPECT_EQ(find_symbol(library, "qz_no_such_function"), nullptr);
  EXPECT_TRUE(close_library(library));
}

// The loader counts opens and closes; an extra close would unload a library another user still holds.
TEST(LibloadTest, UnloadThenDestroyClosesOnce) {
  const char* library_name = "libresolv.so.2";
  if (dlopen(library_name, RTLD_LAZY | RTLD_NOLOAD) != nullptr) GTEST_SKIP() << "already loaded in this process";
  void* own_reference = dlopen(library_name, RTLD_LAZY);
  if (!own_reference) GTEST_SKIP() << library_name << " is not installed";
  {
    math_binding other_user;
    other_user.symbol = "res_query";
    ASSERT_TRUE(other_user.load(library_name));
    EXPECT_TRUE(other_user.unload());
  }  // destroyed without reset
  void* still_there = dlopen(library_name, RTLD_LAZY | RTLD_NOLOAD);
  EXPECT_NE(still_there, nullptr) << "the library was closed once too often";
  if (still_there) dlclose(still_there);
  dlclose(own_reference);
}

class SymbolStringsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
  temp_folder folder_{"qz_libload"};
  const std::string file_ = folder_.file("lib.bin");
};

TEST_F(SymbolStringsTest, CollectsIdentifierLikeRuns) {
  const std::string image = std::string("\x7f" "ELF\x01\x02", 6) + std::string(1, '\0') + "sqlite3_open" +
                            std::string(1, '\0') + "libfoo.dylib\x01" "a b\x02" "_init\x03" "9lives\x04" "ab\x05" +
                            "x:y\x06" "dup_name\x07" "dup_name\x08" "   lead_blank";
  folder_.put("lib.bin", image);
  math_binding reader;
  reader.path = file_;
  struct {
    const char* name;
    bool letter_first;
    std::set<std::string> expected;
  } cases[] = {
      {"any first character", false, {"ELF", "sqlite3_open", "_init", "9lives", "dup_name", "lead_blank"}},
      {"letter first", true, {"ELF", "sqlite3_open", "dup_name", "lead_blank"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::set<std::string> found = {"stale"};
    EXPECT_TRUE(reader.collect_symbol_strings(found, 1 << 20, 3, c.letter_first));
    EXPECT_EQ(found, c.expected);
  }
}

TEST_F(SymbolStringsTest, RefusesUnreadableOrOversizedFiles) {
  folder_.put("lib.bin", "sqlite3_open and more text");
  math_binding reader;
  std::set<std::string> found = {"stale"};
  EXPECT_FALSE(reader.collect_symbol_strings(found, 1 << 20, 3, false));  // no library path
  EXPECT_TRUE(found.empty());

  reader.path = file_;
  found = {"stale"};
  EXPECT_FALSE(reader.collect_symbol_strings(found, 10, 3, false));
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(reader.collect_symbol_strings(found, -1, 3, false));
  EXPECT_FALSE(reader.collect_symbol_strings(found, 1 << 20, 100, false));  // no run that long

  // A 3 GiB file (sparse) reads as a negative size in 32 bits; it must still count as too large.
  int fd = open(file_.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
  close(fd);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(reader.collect_symbol_strings(found, INT_MAX, 3, false));
  EXPECT_TRUE(found.empty());
  // Refused from its size alone: reading it whole takes gigabytes of memory and many seconds.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
}

}  // namespace
