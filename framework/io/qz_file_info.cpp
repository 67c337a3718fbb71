#include "framework/io/qz_file_info.h"

#include <cstdio>
#include <cwchar>
#include <sstream>
#include <type_traits>

#include "framework/io/qz_platform.h"
#include "framework/io/uni_file_utils.h"
#include "framework/text/uni_unicode.h"
#include "framework/text/qz_path.h"
#include "framework/text/qz_string.h"
#include "framework/time/qz_time.h"
#include "framework/time/qz_time_text.h"

namespace {

constexpr u32 attribute_flags_limit = 9;
constexpr u32 attribute_folder = 2;

bool mode_is_dir(u32 flags, u8 using_mode) {
  if (flags < attribute_flags_limit || !using_mode) return (flags & attribute_folder) != 0;
  return (flags & qz_platform::mode_type_mask) == qz_platform::mode_directory;
}

// Copies the text into a wide buffer with its terminating zero; false (buffer untouched) when
// it does not fit.
bool copy_to_buffer(wchar_t (&buffer)[file_info_utf16::text_chars], const std::wstring& text) {
  if (text.size() >= file_info_utf16::text_chars) return false;
  std::wmemcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

std::string lower_copy(const std::string& text) {
  std::string lower = text;
  return to_lower(lower);
}

// Splits a path into folder, name and extension; a folder's name keeps its extension. False
// when the path does not split, with folder "." and the path as name.
template <typename Text>
void split_for_record(const Text& path, bool folder_rule, bool is_folder, Text& folder, Text& name, Text& ext) {
  bool split = false;
  if constexpr (std::is_same_v<Text, std::string>)
    split = split_path(path.c_str(), folder, name, ext);
  else
    split = split_path_wide(path, folder, name, ext);
  if (!split) {
    folder = Text(1, '.');
    name = path;
    ext.clear();
    return;
  }
  if (folder_rule && is_folder) {
    name += static_cast<typename Text::value_type>('.');
    name += ext;
    ext.clear();
  }
}

void append_hex(std::ostringstream& out, const char* label, u64 value, int width) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*llx", width, static_cast<unsigned long long>(value));
  out << label << digits;
}

void append_time(std::ostringstream& out, const char* label, u64 seconds) {
  append_hex(out, label, seconds, 16);
  out << " [";
  write_time_short(out, qz::time(seconds, static_cast<u32>(time_kind_unix)));
  out << "]\n";
}

u64 to_filetime(u64 seconds) { return qz::time(seconds, static_cast<u32>(time_kind_unix)).filetime; }

bool fill_wide_record(const std::wstring& path, bool folder_rule, file_info_utf16* out) {
  if (out == nullptr) return false;
  out->clear();
  u64 size = 0;
  u32 mode = 0;
  u64 changed = 0;
  u64 modified = 0;
  u64 accessed = 0;
  if (!get_file_stat_times_w(path, size, mode, changed, modified, accessed)) return false;
  out->size = size;
  out->flags = mode;
  out->created = changed;
  out->altered = modified;
  out->accessed = accessed;
  std::wstring folder;
  std::wstring name;
  split_for_record(path, folder_rule, is_dir(*out), folder, name, out->ext);
  if (copy_to_buffer(out->folder, folder) && copy_to_buffer(out->name, name)) return true;
  out->clear();
  return false;
}

}  // namespace

file_info::file_info(const char* path, u64 size_, u64 number64_, u16 number16_, u32 flags_, u64 created_,
                     u64 altered_, u64 mft_changed_, u64 accessed_, u32 permissions_) {
  const std::wstring wide = path == nullptr ? std::wstring() : utf8_to_wstring(path);
  set_values(wide.c_str(), size_, number64_, number16_, flags_, created_, altered_, mft_changed_, accessed_,
             permissions_);
}

file_info::file_info(const wchar_t* path, u64 size_, u64 number64_, u16 number16_, u32 flags_, u64 created_,
                     u64 altered_, u64 mft_changed_, u64 accessed_, u32 permissions_) {
  set_values(path, size_, number64_, number16_, flags_, created_, altered_, mft_changed_, accessed_, permissions_);
}

file_info::file_info(const file_info_utf16& wide) { *this = wide; }

file_info& file_info::operator=(const file_info_utf16& wide) {
  clear();
  folder = wstring_to_utf8(wide.folder);
  name = wstring_to_utf8(wide.name);
  ext = wstring_to_utf8(wide.ext);
  full_path = folder + "\\" + name + "." + ext;
  full_path_lower = lower_copy(full_path);
  number64 = wide.number64;
  size = wide.size;
  flags = wide.flags;
  created = wide.created;
  altered = wide.altered;
  mft_changed = wide.mft_changed;
  accessed = wide.accessed;
  permissions = wide.permissions;
  return *this;
}

void file_info::clear() { *this = file_info(); }

void file_info::set_values(const wchar_t* path, u64 size_, u64 number64_, u16 number16_, u32 flags_, u64 created_,
                           u64 altered_, u64 mft_changed_, u64 accessed_, u32 permissions_) {
  clear();
  const std::wstring wide = path == nullptr ? std::wstring() : std::wstring(path);
  full_path = wstring_to_utf8(wide);
  full_path_lower = lower_copy(full_path);
  std::wstring wide_folder;
  std::wstring wide_base;
  std::wstring wide_ext;
  std::wstring whole_name;
  if (split_path_wide(wide, wide_folder, wide_base, wide_ext) && split_dir_file_wide(wide, wide_folder, whole_name)) {
    folder = wstring_to_utf8(wide_folder);
    name = wstring_to_utf8(whole_name);
    ext = wstring_to_utf8(wide_ext);
  }
  size = size_;
  number64 = number64_;
  number16 = number16_;
  flags = flags_;
  created = created_;
  altered = altered_;
  mft_changed = mft_changed_;
  accessed = accessed_;
  permissions = permissions_;
}

void file_info::set_values_no_number(const wchar_t* path, u64, u64 size_, u32 flags_, u64 created_, u64 altered_,
                                     u64 mft_changed_, u64 accessed_, u32 permissions_) {
  set_values(path, size_, 0, 0, flags_, created_, altered_, mft_changed_, accessed_, permissions_);
}

file_info_utf16::file_info_utf16(const wchar_t* name_, u64 number64_, u64 size_, u32 flags_, u64 created_,
                                 u64 altered_, u64 mft_changed_, u64 accessed_, u32 permissions_)
    : number64(number64_),
      flags(flags_),
      size(size_),
      created(created_),
      altered(altered_),
      mft_changed(mft_changed_),
      accessed(accessed_),
      permissions(permissions_) {
  if (name_ == nullptr) return;
  const std::wstring text(name_);
  copy_to_buffer(name, text);
  const std::size_t dot = text.rfind(L'.');
  if (dot != std::wstring::npos) ext = text.substr(dot + 1);
}

file_info_utf16::file_info_utf16(const wchar_t* name_, u64 size_, u32 flags_, u64 created_, u64 altered_,
                                 u64 mft_changed_, u64 accessed_, u32 permissions_)
    : file_info_utf16(name_, 0, size_, flags_, created_, altered_, mft_changed_, accessed_, permissions_) {}

void file_info_utf16::clear() { *this = file_info_utf16(); }

bool is_dir(const file_info& record) { return mode_is_dir(record.flags, record.m_using_st_mode_flags); }

bool is_dir(const file_info_utf16& record) { return mode_is_dir(record.flags, record.m_using_st_mode_flags); }

bool fill_file_info(const char* path, file_info* out) {
  if (out == nullptr) return false;
  out->clear();
  if (path == nullptr) return false;
  u32 mode = 0;
  if (!get_file_stat_times(path, out->size, mode, out->created, out->altered, out->accessed)) {
    out->clear();
    return false;
  }
  out->flags = mode;
  out->full_path = path;
  out->full_path_lower = lower_copy(out->full_path);
  split_for_record(out->full_path, true, is_dir(*out), out->folder, out->name, out->ext);
  return true;
}

bool fill_file_info_utf16(const char* path, file_info_utf16* out) {
  if (out != nullptr) out->clear();
  std::wstring wide;
  if (path == nullptr || !path_utf8_to_wide(wide, path)) return false;
  return fill_wide_record(wide, true, out);
}

bool fill_file_info_w(const wchar_t* path, file_info_utf16* out) {
  if (out != nullptr) out->clear();
  if (path == nullptr) return false;
  return fill_wide_record(path, false, out);
}

bool file_info_created_less(const file_info_utf16& a, const file_info_utf16& b) { return a.created < b.created; }

bool file_info_name_equal(const file_info_utf16& a, const file_info_utf16& b) {
  return wcs_compare(a.name, b.name, true) == 0;
}

bool file_info_name_less(const file_info_utf16& a, const file_info_utf16& b) {
  return wcs_compare(a.name, b.name, true) < 0;
}

void file_info_dump(const file_info& record, std::string& out) {
  std::ostringstream text;
  text << "path:         " << record.folder << "\n";
  text << "filename:     " << record.name << "\n";
  text << "ext:          " << record.ext << "\n";
  append_hex(text, "file size     ", record.size, 8);
  text << "\n";
  append_hex(text, "flags:        ", record.flags, 4);
  text << " [";
  switch (record.flags & qz_platform::mode_type_mask) {
    case qz_platform::mode_char_device: text << "char special"; break;
    case qz_platform::mode_regular: text << "regular"; break;
    case qz_platform::mode_directory: text << "directory"; break;
    default: break;
  }
  text << "]\n";
  append_time(text, "created:      ", record.created);
  append_time(text, "altered:      ", record.altered);
  append_time(text, "mft changed:  ", record.mft_changed);
  append_time(text, "accessed:     ", record.accessed);
  append_hex(text, "permissions:  ", record.permissions, 8);
  text << "\n";
  out += text.str();
}

bool get_file_stat_times_w(const std::wstring& path, u64& size, u32& mode, u64& changed, u64& modified,
                           u64& accessed) {
  size = 0;
  mode = 0;
  changed = 0;
  modified = 0;
  accessed = 0;
  qz_platform::file_status status;
  if (path.empty() || !stat_file_w(&status, path)) return false;
  size = static_cast<u64>(status.size);
  mode = status.mode;
  changed = static_cast<u64>(status.change_seconds);
  modified = static_cast<u64>(status.modify_seconds);
  accessed = static_cast<u64>(status.access_seconds);
  return true;
}

bool get_file_stat_times(const std::string& path, u64& size, u32& mode, u64& changed, u64& modified,
                         u64& accessed) {
  std::wstring wide;
  if (!path_utf8_to_wide(wide, path)) wide.clear();
  return get_file_stat_times_w(wide, size, mode, changed, modified, accessed);
}

bool get_file_stat_times(const char* path, u64& size, u32& mode, u64& changed, u64& modified, u64& accessed) {
  if (path == nullptr) {
    size = mode = 0;
    changed = modified = accessed = 0;
    return false;
  }
  return get_file_stat_times(std::string(path), size, mode, changed, modified, accessed);
}

bool get_file_times_w(const std::wstring& path, u64& size, u32& mode, u64& changed, u64& modified,
                      u64& accessed) {
  if (!get_file_stat_times_w(path, size, mode, changed, modified, accessed)) return false;
  changed = to_filetime(changed);
  modified = to_filetime(modified);
  accessed = to_filetime(accessed);
  return true;
}

bool get_file_times(const std::string& path, u64& size, u32& mode, u64& changed, u64& modified, u64& accessed) {
  std::wstring wide;
  if (!path_utf8_to_wide(wide, path)) wide.clear();
  return get_file_times_w(wide, size, mode, changed, modified, accessed);
}
