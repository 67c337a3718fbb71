#include "framework/io/qz_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "framework/io/qz_platform.h"
#include "tests/text/temp_folder.h"

namespace {

TEST(OsReleaseTest, VersionIdIsReadFromTheFile) {
  temp_folder folder("qz_host");
  ASSERT_FALSE(folder.path().empty());
  struct {
    const char* name;
    const char* content;
    const char* expected;
  } cases[] = {
      {"double quotes", "NAME=\"Some Linux\"\nVERSION_ID=\"22.04\"\nID=some\n", "22.04"},
      {"single quotes", "VERSION_ID='12'\n", "12"},
      {"no quotes, last line without LF", "ID=x\nVERSION_ID=3.19.1", "3.19.1"},
      {"CR LF endings and blanks", "  VERSION_ID=\"9.3\"  \r\nID=x\r\n", "9.3"},
      {"escape inside double quotes", "VERSION_ID=\"a\\\"b\"\n", "a\"b"},
      {"last assignment wins", "VERSION_ID=1\nVERSION_ID=2\n", "2"},
      {"comment and longer key ignored", "#VERSION_ID=7\nVERSION_ID_FULL=8\nVERSION=9\n", ""},
      {"empty value", "VERSION_ID=\n", ""},
      {"empty file", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    folder.put("os-release", c.content);
    EXPECT_EQ(qz_platform::os_release_version(folder.file("os-release")), c.expected);
  }
  EXPECT_EQ(qz_platform::os_release_version(folder.file("missing")), "");
}

TEST(OsVersionInfoTest, GetFillsFromTheKernelAndNamesTheTool) {
  qz_platform::system_identity identity;
  ASSERT_TRUE(qz_platform::read_system_identity(identity));
  EXPECT_FALSE(identity.sysname.empty());
  EXPECT_FALSE(identity.release.empty());

  struct {
    const char* path;
    const char* tool;
  } cases[] = {
      {"/opt/x/conv_tool", "conv"},
      {"/opt/x/tool", ""},
      {"tool_a", ""},  // no folder
      {"/opt/a_b/tool", ""},  // the '_' is in the folder
      {"/opt/x/_lead", ""},
      {"", ""},
  };
  os_version_info info;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    info.user_name = "left over";
    info.short_build = 1;
    ASSERT_TRUE(info.get(c.path));
    EXPECT_EQ(info.valid, 1);
    EXPECT_EQ(info.tool_name, c.tool);
    EXPECT_EQ(info.exe_path, c.path);
    EXPECT_EQ(info.os, identity.sysname);
    EXPECT_EQ(info.build, identity.release);
    EXPECT_EQ(info.nodename, identity.nodename);
    EXPECT_EQ(info.is_64bit, identity.machine.find("64") != std::string::npos);
    EXPECT_EQ(info.user_name, "");  // get starts from a cleared record
    EXPECT_EQ(info.short_build, 0);
  }
}

os_version_info sample_info() {
  os_version_info info;
  info.valid = 1;
  info.is_64bit = 1;
  info.os = "Linux";
  info.nodename = "box;1";
  info.version = "#1 SMP; PREEMPT";
  info.build = "20.1.10";
  info.exe_path = "/Opt/X;Y/Conv_Tool";
  return info;
}

TEST(OsVersionInfoTest, WriteFieldsJoinsReplacesAndShortens) {
  struct {
    const char* name;
    const char* build;
    bool short_build;
    bool is_64bit;
    bool with_nodename;
    bool with_exe_path;
    const char* expected;
  } cases[] = {
      {"start-up form", "20.1.10", false, true, false, false, "Linux;#1 SMP  PREEMPT;20.1.10;64"},
      {"32-bit", "6.1.0-9", false, false, false, false, "Linux;#1 SMP  PREEMPT;6.1.0-9;32"},
      {"node name and path", "20.1.10", false, true, true, true,
       "Linux;box 1;#1 SMP  PREEMPT;20.1.10;64;/opt/x y/conv_tool"},
      {"short build cut", "20.1.10", true, true, false, false, "Linux;#1 SMP  PREEMPT;20.1.1;64"},
      {"short build, one digit after the dot", "20.1.0", true, true, false, false,
       "Linux;#1 SMP  PREEMPT;20.1.0;64"},
      {"short build without a dot", "20", true, true, false, false, "Linux;#1 SMP  PREEMPT;20;64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    os_version_info info = sample_info();
    info.build = c.build;
    info.short_build = c.short_build;
    info.is_64bit = c.is_64bit;
    std::ostringstream out;
    out << "previous text";
    info.write_fields(out, ";", " ", c.with_nodename, c.with_exe_path);
    EXPECT_EQ(out.str(), c.expected);
  }
  os_version_info no_path = sample_info();
  no_path.exe_path.clear();
  std::ostringstream out;
  no_path.write_fields(out, ";", " ", false, true);
  EXPECT_EQ(out.str(), "Linux;#1 SMP  PREEMPT;20.1.10;64");
}

TEST(OsVersionInfoTest, PrintLeavesOutAnEmptyNodeName) {
  os_version_info info = sample_info();
  std::ostringstream with_node;
  info.print(with_node);
  EXPECT_EQ(with_node.str(),
            "os       : Linux\nnodename : box;1\nversion  : #1 SMP; PREEMPT\nbuild    : 20.1.10\n"
            "machine  : 64 bit\n");
  info.nodename.clear();
  info.is_64bit = 0;
  std::ostringstream without_node;
  info.print(without_node);
  EXPECT_EQ(without_node.str(), "os       : Linux\nversion  : #1 SMP; PREEMPT\nbuild    : 20.1.10\nmachine  : 32 bit\n");
}

TEST(HostQueriesTest, ExecutablePathAndHostName) {
  std::string exe = get_exe_path();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.substr(exe.rfind('/') + 1), "io_qz_host_test");
  EXPECT_EQ(get_exe_path_wide(), std::wstring(exe.begin(), exe.end()));  // the build path is ASCII

  std::string dir = exe.substr(0, exe.rfind('/'));
  std::string out = "stale";
  ASSERT_TRUE(get_path_in_exe_dir(out, "x.txt"));
  EXPECT_EQ(out, dir + "/x.txt");
  ASSERT_TRUE(get_path_in_exe_dir(out, dir + "/sub/y.txt"));
  EXPECT_EQ(out, dir + "/sub/y.txt");

  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(get_host_name(), name);
}

TEST(WindowsVersionTest, BuildNumbers) {
  struct {
    u32 build;
    u32 code;
    const char* name;
  } cases[] = {
      {1000, 1, "post Win10"},   {2599, 1, "post Win10"},  {2600, 256, "WinXP"},
      {2601, 260, "Win03"},      {3790, 260, "Win03"},     {3791, 4096, "Vista"},
      {6002, 4096, "Vista"},     {6003, 4112, "Win7"},     {7601, 4112, "Win7"},
      {7602, 4128, "Win8"},      {9600, 4128, "Win8"},     {9601, 4144, "Win10"},
      {19044, 4144, "Win10"},    {19045, 1, "Win10"},      {19046, 1, "post Win10"},
      {21999, 1, "post Win10"},  {22000, 22000, "post Win10"}, {65535, 22000, "post Win10"},
      {65536 + 2600, 256, "WinXP"},  // only the low 16 bits count
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.build);
    EXPECT_EQ(windows_build_to_code(c.build), c.code);
    EXPECT_EQ(windows_build_to_name(c.build), c.name);
  }
}

TEST(WindowsVersionTest, VersionNames) {
  struct {
    const char* name;
    u32 platform, major, minor;
    bool server, alt_a, alt_b;
    u32 build;
    const char* text;
    u32 code;
  } cases[] = {
      {"other platform", 1, 6, 1, false, false, false, 0, "Win9x", 2},
      {"NT4 any minor", 2, 4, 9, true, true, false, 0, "NT4", 16},
      {"2000", 2, 5, 0, false, false, false, 0, "Win2k", 17},
      {"XP either", 2, 5, 1, true, false, true, 0, "WinXP", 258},
      {"2003 server only", 2, 5, 2, true, false, false, 0, "Win03", 261},
      {"2003 either", 2, 5, 2, true, true, false, 0, "Win03 or WinXP64", 262},
      {"alt flag on a workstation", 2, 5, 2, false, true, true, 0, "Win03", 260},
      {"Vista build 0", 2, 6, 0, false, false, false, 0, "Vista", 4096},
      {"Vista other build", 2, 6, 0, false, false, false, 6000, "Vista", 4099},
      {"Vista 6001", 2, 6, 0, false, false, false, 6001, "Vista", 4100},
      {"Vista server 6001", 2, 6, 0, true, false, false, 6001, "Vista", 4103},
      {"Vista either other build", 2, 6, 0, true, true, false, 6002, "Vista or Win2008", 4102},
      {"Win7 server other build", 2, 6, 1, true, false, false, 7600, "Win7", 4117},
      {"Win7 either 7601", 2, 6, 1, true, false, true, 7601, "Win7 or Win2008/R2", 4120},
      {"Win8 server", 2, 6, 2, true, false, false, 9200, "Win8", 4129},
      {"Win8.1", 2, 6, 3, false, false, false, 0, "Win8.1", 4136},
      {"Win10 either", 2, 10, 0, true, true, true, 0, "Win10 or Win2016", 4146},
      {"after Win10", 2, 10, 5, true, true, false, 0, "Post Win10", 22000},
      {"6.4 unknown", 2, 6, 4, false, false, false, 0, "<unk>", 1},
      {"3.51 unknown", 2, 3, 51, false, false, false, 0, "<unk>", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "stale";
    EXPECT_EQ(windows_version_name(text, c.platform, c.major, c.minor, c.server, c.alt_a, c.alt_b, c.build), c.code);
    EXPECT_EQ(text, c.text);
  }
  std::string text;
  EXPECT_EQ(windows_version_name_short(text, 2, 6, 1, true), 4114u);
  EXPECT_EQ(text, "Win7 or Win2008/R2");
  EXPECT_EQ(windows_version_name_short(text, 2, 6, 1, false), 4112u);
  EXPECT_EQ(text, "Win7");
}

TEST(WindowsVersionTest, OsNameToCodeFoldsTheCallersText) {
  struct {
    const char* text;
    u32 code;
    const char* folded;
  } cases[] = {
      {"Win8.1 Pro", 4136, "win8.1 pro"},  // "win8.1" is tried before "win8"
      {"WIN10", 4144, "win10"},
      {"Windows 10", 1, "windows 10"},
      {"WinXP SP3", 256, "winxp sp3"},
      {"Vista Home", 4096, "vista home"},
      {"NT4 server", 16, "nt4 server"},
      {"", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    EXPECT_EQ(os_name_to_code(text), c.code);
    EXPECT_EQ(text, c.folded);
  }
}

}  // namespace
