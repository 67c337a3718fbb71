#include "framework/io/qz_host.h"

#include <unistd.h>

#include <vector>

#include "framework/io/qz_platform.h"
#include "framework/text/qz_replace.h"
#include "framework/text/qz_string.h"
#include "framework/text/uni_unicode.h"

namespace {

// The name a failed uname leaves in the record.
const char* const default_os_name = "Linux";

}  // namespace

os_version_info::os_version_info() { clear(); }

os_version_info::~os_version_info() = default;

void os_version_info::clear() {
  valid = 0;
  is_64bit = 0;
  short_build = 0;
  os.clear();
  version.clear();
  build.clear();
  nodename.clear();
  exe_path.clear();
  tool_name.clear();
  user_name.clear();
}

bool os_version_info::get(const std::string& executable_path) {
  clear();
  os = default_os_name;
  qz_platform::system_identity identity;
  if (!qz_platform::read_system_identity(identity)) return false;
  os = identity.sysname;
  version = identity.version;
  build = identity.release;
  nodename = identity.nodename;
  is_64bit = to_lower(identity.machine).find("64") != std::string::npos;
  exe_path = executable_path;
  std::size_t slash = executable_path.rfind('/');
  if (slash != std::string::npos) {
    std::size_t underscore = executable_path.find('_', slash + 1);
    if (underscore != std::string::npos) tool_name = executable_path.substr(slash + 1, underscore - slash - 1);
  }
  valid = 1;
  return true;
}

void os_version_info::write_fields(std::ostringstream& out, const std::string& sep, const std::string& repl,
                                   bool with_nodename, bool with_exe_path) const {
  out.str("");
  out.clear();
  std::string field;
  auto put = [&](const std::string& text) {
    replace_all_copy(field, text, sep, repl);
    out << field << sep;
  };
  put(os);
  if (with_nodename) put(nodename);
  put(version);
  std::string shown_build = build;
  std::size_t dot = shown_build.rfind('.');
  if (short_build && dot != std::string::npos && dot + 2 < shown_build.size()) shown_build.resize(dot + 2);
  put(shown_build);
  out << (is_64bit ? "64" : "32");
  if (with_exe_path && !exe_path.empty()) {
    // A separator inside the path would add a field to the record, so it is replaced like the others.
    std::string lowered = exe_path;
    replace_all_copy(field, to_lower(lowered), sep, repl);
    out << sep << field;
  }
}

std::ostream& os_version_info::print(std::ostream& out) const {
  out << "os       : " << os << std::endl;
  if (!nodename.empty()) out << "nodename : " << nodename << std::endl;
  out << "version  : " << version << std::endl;
  out << "build    : " << build << std::endl;
  out << "machine  : " << (is_64bit ? "64 bit" : "32 bit") << std::endl;
  return out;
}

std::string get_exe_path() { return qz_platform::executable_path(2047); }

std::wstring get_exe_path_wide() {
  std::string path = qz_platform::executable_path(1023);
  std::wstring wide;
  if (!path.empty()) utf8_to_wide(wide, path);
  return wide;
}

std::string get_host_name() {
  // One byte is kept back so that a name cut at the buffer's end still has its terminator.
  std::vector<char> name(4096, '\0');
  if (gethostname(name.data(), name.size() - 1) != 0) return "<unk>";
  return std::string(name.data());
}

bool get_path_in_exe_dir(std::string& out, const std::string& name) {
  out.clear();
  std::string path = get_exe_path();
  if (path.empty()) return false;
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? path : path.substr(0, slash);
  out = name.find(dir) != std::string::npos ? name : dir + "/" + name;
  return true;
}

namespace {

struct build_range {
  u32 first;  // lowest build of the range; a range ends where the next one begins
  u32 code;
  const char* name;
};

const build_range build_ranges[] = {
    {0, 1, "post Win10"},      {2600, 256, "WinXP"},  {2601, 260, "Win03"},
    {3791, 4096, "Vista"},     {6003, 4112, "Win7"},  {7602, 4128, "Win8"},
    {9601, 4144, "Win10"},     {19045, 1, "Win10"},   {19046, 1, "post Win10"},
    {22000, 22000, "post Win10"},
};

const build_range& find_build_range(u32 build) {
  u32 number = static_cast<u16>(build);
  const build_range* found = &build_ranges[0];
  for (const auto& range : build_ranges) {
    if (number >= range.first) found = &range;
  }
  return *found;
}

// Codes by kind of installation: workstation, server only, either.
struct version_codes {
  u32 workstation;
  u32 server_only;
  u32 either;
};

struct nt_version {
  u32 major;
  int minor;  // -1: any minor version not named by an earlier row
  const char* name;
  const char* alternative;
  version_codes codes;
  // Versions whose codes also depend on the build: the codes for build 0 are above, these for
  // any other build and for the one build named.
  u32 special_build;
  version_codes other_build_codes;
  version_codes special_build_codes;
};

const nt_version nt_versions[] = {
    {4, -1, "NT4", "", {16, 16, 16}, 0, {}, {}},
    {5, 0, "Win2k", "", {17, 17, 17}, 0, {}, {}},
    {5, 1, "WinXP", "", {256, 257, 258}, 0, {}, {}},
    {5, 2, "Win03", " or WinXP64", {260, 261, 262}, 0, {}, {}},
    {6, 0, "Vista", " or Win2008", {4096, 4097, 4098}, 6001, {4099, 4101, 4102}, {4100, 4103, 4104}},
    {6, 1, "Win7", " or Win2008/R2", {4112, 4113, 4114}, 7601, {4115, 4117, 4118}, {4116, 4119, 4120}},
    {6, 2, "Win8", " or Win2012/R1", {4128, 4129, 4130}, 0, {}, {}},
    {6, 3, "Win8.1", " or Win2012/R2", {4136, 4137, 4138}, 0, {}, {}},
    {10, 0, "Win10", " or Win2016", {4144, 4145, 4146}, 0, {}, {}},
    {10, -1, "Post Win10", "", {22000, 22000, 22000}, 0, {}, {}},
};

}  // namespace

u32 windows_build_to_code(u32 build) { return find_build_range(build).code; }

std::string windows_build_to_name(u32 build) { return find_build_range(build).name; }

u32 windows_version_name(std::string& out, u32 platform_id, u32 major, u32 minor, bool server, bool alt_a,
                         bool alt_b, u32 build) {
  out = "<unk>";
  if (platform_id != 2) {
    out = "Win9x";
    return 2;
  }
  for (const auto& row : nt_versions) {
    if (row.major != major || (row.minor >= 0 && static_cast<u32>(row.minor) != minor)) continue;
    bool either = server && (alt_a || alt_b);
    out = row.name;
    if (either) out += row.alternative;
    const version_codes* codes = &row.codes;
    if (row.special_build != 0 && build != 0) {
      codes = build == row.special_build ? &row.special_build_codes : &row.other_build_codes;
    }
    return !server ? codes->workstation : either ? codes->either : codes->server_only;
  }
  return 1;
}

u32 windows_version_name_short(std::string& out, u32 platform_id, u32 major, u32 minor, bool server) {
  return windows_version_name(out, platform_id, major, minor, server, false, true, 0);
}

u32 os_name_to_code(std::string& text) {
  static const struct {
    const char* key;
    u32 code;
  } keys[] = {{"win10", 4144}, {"win8.1", 4136}, {"win8", 4128}, {"win7", 4112}, {"vista", 4096},
              {"win03", 260},  {"winxp", 256},   {"win2k", 17},  {"nt4", 16}};
  to_lower(text);
  for (const auto& entry : keys) {
    if (text.find(entry.key) != std::string::npos) return entry.code;
  }
  return 1;
}
