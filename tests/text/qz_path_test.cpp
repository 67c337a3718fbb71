#include "framework/text/qz_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The wide twin of an ASCII test text.
std::wstring W(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct SplitCase {
  const char* name;
  std::string path, dir, file;
};

TEST(SplitDirFile, NarrowWideAndCString) {
  const SplitCase cases[] = {
      {"windows path", "C:\\dir\\file.txt", "C:\\dir", "file.txt"},
      {"slashes", "a/b/c", "a/b", "c"},
      {"backslash wins over a later slash", "a\\b/c", "a", "b/c"},
      {"dot-dot after backslash", "dir\\..", "dir\\..", "."},
      {"dot-dot after slash", "a/..", "a//..", "."},
      {"no separator", "file.txt", ".", "file.txt"},
      {"dot-dot alone", "..", ".", ".."},
      {"only separator first, slash", "/name", ".", "/name"},
      {"only separator first, backslash", "\\name", ".", "\\name"},
      {"trailing separator", "dir/", "dir", ""},
      {"absolute unix path", "/usr/lib/x.so", "/usr/lib", "x.so"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string dir = "stale", file = "stale";
    EXPECT_TRUE(split_dir_file(c.path, dir, file));
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(file, c.file);

    dir = file = "stale";
    EXPECT_TRUE(split_dir_file_cstr(c.path.c_str(), dir, file));
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(file, c.file);

    std::wstring wdir = L"stale", wfile = L"stale";
    EXPECT_TRUE(split_dir_file_wide(W(c.path), wdir, wfile));
    EXPECT_EQ(wdir, W(c.dir));
    EXPECT_EQ(wfile, W(c.file));
  }
}

TEST(SplitDirFile, EmptyAndNullPaths) {
  std::string dir = "stale", file = "stale";
  EXPECT_FALSE(split_dir_file("", dir, file));
  EXPECT_EQ(dir, "");
  EXPECT_EQ(file, "");

  dir = file = "stale";
  EXPECT_FALSE(split_dir_file_cstr(nullptr, dir, file));
  EXPECT_EQ(dir, "");
  EXPECT_EQ(file, "");

  std::wstring wdir = L"kept", wfile = L"kept";
  EXPECT_FALSE(split_dir_file_wide(L"", wdir, wfile));
  EXPECT_EQ(wdir, L"kept");
  EXPECT_EQ(wfile, L"kept");
}

struct SplitPathCase {
  const char* name;
  std::string path, dir, base, ext;
};

TEST(SplitPath, NarrowAndWide) {
  const SplitPathCase cases[] = {
      {"last dot splits", "/x/archive.tar.gz", "/x", "archive.tar", "gz"},
      {"trailing dot", "/x/name.", "/x", "name", ""},
      {"leading dot", "/x/.profile", "/x", "", "profile"},
      {"no dot", "C:\\a\\README", "C:\\a", "README", ""},
      {"dot in the folder only", "a.b/c", "a.b", "c", ""},
      {"no folder", "file.txt", ".", "file", "txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string dir = "stale", base = "stale", ext = "stale";
    EXPECT_TRUE(split_path(c.path.c_str(), dir, base, ext));
    EXPECT_EQ(dir, c.dir);
    EXPECT_EQ(base, c.base);
    EXPECT_EQ(ext, c.ext);

    std::wstring wdir = L"stale", wbase = L"stale", wext = L"stale";
    EXPECT_TRUE(split_path_wide(W(c.path), wdir, wbase, wext));
    EXPECT_EQ(wdir, W(c.dir));
    EXPECT_EQ(wbase, W(c.base));
    EXPECT_EQ(wext, W(c.ext));
  }

  std::string dir = "stale", base = "stale", ext = "stale";
  EXPECT_FALSE(split_path(nullptr, dir, base, ext));
  EXPECT_EQ(dir + base + ext, "");
  dir = base = ext = "stale";
  EXPECT_FALSE(split_path("", dir, base, ext));
  EXPECT_EQ(dir + base + ext, "");
  std::wstring wdir = L"kept", wbase, wext;
  EXPECT_FALSE(split_path_wide(L"", wdir, wbase, wext));
  EXPECT_EQ(wdir, L"kept");
}

TEST(StripTrailingSlashes, NarrowAndWide) {
  struct {
    const char* name;
    std::string path, expected;
    bool left;
  } cases[] = {
      {"mixed separators", "C:\\dir\\/", "C:\\dir", true},
      {"only separators", "//", "", false},
      {"none to strip", "a/b", "a/b", true},
      {"empty", "", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.path;
    EXPECT_EQ(strip_trailing_slashes(narrow), c.left);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.path);
    EXPECT_EQ(strip_trailing_slashes_wide(wide), c.left);
    EXPECT_EQ(wide, W(c.expected));
  }
}

TEST(ShadowCopyPrefix, FourForms) {
  struct {
    bool lower, with_globalroot;
    std::string expected;
  } cases[] = {
      {false, true, "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy"},
      {true, true, "\\\\?\\globalroot\\device\\harddiskvolumeshadowcopy"},
      {false, false, "\\Device\\HarddiskVolumeShadowCopy"},
      {true, false, "\\device\\harddiskvolumeshadowcopy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    std::string out = "stale";
    EXPECT_EQ(shadow_copy_device_prefix(out, c.lower, c.with_globalroot), c.expected);
  }
  std::string full;
  EXPECT_EQ(shadow_copy_device_prefix(full, false, true).size(), shadow_copy_prefix_length());
  EXPECT_EQ(shadow_copy_prefix_length(), 46u);
}

TEST(NormalizeServiceImagePath, Cases) {
  struct {
    const char* name;
    const char* image;
    std::string expected;
  } cases[] = {
      {"\\SystemRoot", "\\SystemRoot\\System32\\drivers\\x.sys",
       "c:\\windows\\system32\\drivers\\x.sys"},
      {"relative system32 gets the root in its own case", "System32\\svchost.exe -k netsvcs",
       "C:\\Windows\\system32\\svchost.exe"},
      {"NT object prefix", "\\??\\C:\\dir\\x.sys", "c:\\dir\\x.sys"},
      {"%SystemRoot%", "%systemroot%\\system32\\lsass.exe", "c:\\windows\\system32\\lsass.exe"},
      {"bare SystemRoot", "SystemRoot\\x.exe", "c:\\windows\\x.exe"},
      {"switches cut", "\"C:\\Program Files\\x.exe\" /service", "\"c:\\program files\\x.exe\""},
      {"-k in any case", "C:\\x.exe -K LocalService", "c:\\x.exe"},
      {"long path prefix", "\\\\?\\C:\\x.exe", "\\c:\\x.exe"},
      {"shadow copy", "%VSS%1\\x.sys", "\\globalroot\\device\\harddiskvolumeshadowcopy1\\x.sys"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "stale";
    EXPECT_TRUE(normalize_service_image_path(c.image, out, "C:\\Windows"));
    EXPECT_EQ(out, c.expected);
  }
  std::string out = "stale";
  EXPECT_FALSE(normalize_service_image_path(nullptr, out, "C:\\Windows"));
  EXPECT_EQ(out, "");
  out = "stale";
  EXPECT_FALSE(normalize_service_image_path("x.sys", out, nullptr));
  EXPECT_EQ(out, "");
}

struct LongPrefixCase {
  const char* name;
  std::string path;
  bool keep_drive_paths, shadow_copies_only;
  std::string expected;
};

TEST(StripLongPathPrefix, NarrowAndWide) {
  const std::string shadow = "\\\\?\\GLOBALROOT\\Device\\HarddiskVolumeShadowCopy1\\x";
  const std::string unc = "\\\\?\\UNC\\server\\share\\a\\rather\\long\\folder\\name.txt";
  const LongPrefixCase cases[] = {
      {"drive path kept", "\\\\?\\C:\\x", true, false, "\\\\?\\C:\\x"},
      {"drive path shortened", "\\\\?\\C:\\x", false, false, "\\C:\\x"},
      {"keep flag, no drive", "\\\\?\\UNC\\srv\\x", true, false, "\\UNC\\srv\\x"},
      {"shadow copy shortened", shadow, false, true, shadow.substr(3)},
      {"long non-shadow path kept", unc, false, true, unc},
      {"short path with shadow flag", "\\\\?\\C:\\x", false, true, "\\C:\\x"},
      {"prefix inside the path", "x\\\\?\\C:\\y", false, false, "x\\C:\\y"},
      {"device drive kept", "\\\\.\\C:", true, false, "\\\\.\\C:"},
      {"device shortened", "\\\\.\\PhysicalDrive0", true, false, "\\PhysicalDrive0"},
      {"no prefix", "C:\\plain\\path", false, false, "C:\\plain\\path"},
      // Prefix at the very end: the drive-letter slot lies beyond the text.
      {"long prefix at the end", "abcd\\\\?\\", true, false, "abcd\\"},
      {"device prefix at the end", "abcd\\\\.\\", true, false, "abcd\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string narrow = c.path;
    strip_long_path_prefix(narrow, c.keep_drive_paths, c.shadow_copies_only);
    EXPECT_EQ(narrow, c.expected);
    std::wstring wide = W(c.path);
    strip_long_path_prefix_wide(wide, c.keep_drive_paths, c.shadow_copies_only);
    EXPECT_EQ(wide, W(c.expected));
  }
}

TEST(ParseDeviceId, InstancePathsAndPlainPaths) {
  struct Case {
    const char* path;
    std::string separator_in;
    bool ok;
    std::string id, serial, separator;
  };
  const Case cases[] = {
      {"USBSTOR#Disk&Ven_A&Prod_B&Rev_1.0#XY9876&0#{x}", "", true, "XY9876&0", "XY9876", "#"},
      {"USB#VID_1234&PID_5678#SER123#{x}", "/", true, "SER123", "SER123", "#"},
      {"USB#VID_1234&PID_5678#AB&12", "", true, "AB&12", "AB", "#"},
      {"USB#VID_1#X&Y&ZZZZ", "", false, "", "", "#"},
      {"USB#VID_1234&PID_5678#", "", false, "", "", "#"},
      {"/dev/disk2", "", true, "disk2", "disk2", "/"},
      {"C:\\dir\\sub\\", "", true, "sub", "sub", "\\"},
      {"a\\b/c", "", true, "c", "c", "/"},
      {"dev:disk3", ":", true, "disk3", "disk3", ":"},
      {"disk2/", "", false, "", "", "/"},
      {"/", "", false, "", "", "/"},
      {"plain", "", false, "", "", ""},
      {"", "", false, "", "", ""},
      {"x/y", "\\", false, "", "", "\\"},
  };
  for (const auto& c : cases) {
    std::string id = "stale", serial = "stale", separator = c.separator_in;
    EXPECT_EQ(parse_device_id(id, serial, separator, c.path), c.ok) << c.path;
    EXPECT_EQ(id, c.id) << c.path;
    EXPECT_EQ(serial, c.serial) << c.path;
    EXPECT_EQ(separator, c.separator) << c.path;
  }
}

}  // namespace

TEST(MacLibrarySubpath, LibrarySubpathFollowsTheFixedOrder) {
  struct {
    unsigned flags;
    const char* expected;
  } cases[] = {
      {0, ""},
      {3, "Library/Preferences/"},
      {40, "Calendars/Safari/"},
      {63, "Library/Preferences/SyncedPreferences/Calendars/Safari/SystemConfiguration/"},
      {64, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(mac_library_subpath(c.flags), c.expected);
  }
}
