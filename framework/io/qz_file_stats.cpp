#include "framework/io/qz_file_stats.h"

#include <utility>

#include "framework/io/uni_file_utils.h"
#include "framework/time/qz_time.h"

namespace {

// Status fields are signed; the record keeps their bit patterns as u64.
u64 raw(i64 value) { return static_cast<u64>(value); }

// Unix seconds as the record keeps them: a time before 1970 is left out (0, as a time the file
// system does not keep), since its bit pattern would read as a time far in the future.
u64 seconds(i64 value) { return value > 0 ? static_cast<u64>(value) : 0; }

}  // namespace

// Every member has its empty value as initializer, so an empty record is a fresh one.
void file_stats::clear() { *this = file_stats(); }

bool file_stats::is_fifo() const { return (mode & qz_platform::mode_type_mask) == qz_platform::mode_fifo; }

bool file_stats::is_socket() const { return (mode & qz_platform::mode_type_mask) == qz_platform::mode_socket; }

bool get_file_stats(file_stats& out, const std::wstring& path) {
  out.clear();
  qz_platform::file_status status;
  if (path.empty() || !stat_file_w(&status, path)) return false;
  out.inode = status.inode;
  out.size = raw(status.size);
  out.modified = seconds(status.modify_seconds);
  out.created = seconds(status.birth_seconds);
  out.changed = seconds(status.change_seconds);
  out.accessed = seconds(status.access_seconds);
  out.mode = status.mode;
  // The whole file-type field decides: sockets and block devices share bit 0x4000.
  out.is_dir = status.is_directory() ? 1 : 0;
  // The status gives seconds whatever their size: a time after 2106 is still seconds.
  out.time_kind = time_kind_unix;
  return true;
}

log_record::log_record(const std::string& path_value, const qz_platform::file_status* status,
                       const std::string& text_value) {
  fill_log_record_from_status_utf8(*this, path_value, status, text_value);
}

void log_record::clear() { *this = log_record(); }

namespace {

// A copied record whose times have no kind takes FILETIME or unix seconds by its attributes.
void settle_time_kind(log_record& record) {
  if (record.time_kind == 0 && static_cast<i64>(record.modified) > 0)
    record.time_kind = (record.attributes & log_attr_filetime_mask) ? time_kind_filetime : time_kind_unix;
}

}  // namespace

void log_record::copy(const log_record& other) {
  if (this != &other) *this = other;
  settle_time_kind(*this);
}

void log_record::take(log_record& other) {
  if (this != &other) {
    *this = std::move(other);
    other.clear();
  }
  settle_time_kind(*this);
}

bool fill_log_record(log_record& record, const std::wstring& path, const std::string& text) {
  file_stats& stats = record;
  if (!get_file_stats(stats, path)) return false;
  if (!path_wide_to_utf8(record.path, path)) return false;
  if (record.is_dir) record.attributes += log_attr_folder;
  if (record.time_kind == time_kind_unix || record.time_kind == time_kind_unix_ms)
    record.attributes += log_attr_unix_times;
  else if (record.time_kind == time_kind_filetime)
    record.attributes += log_attr_filetime_times;
  if (!text.empty()) record.text = text;
  return true;
}

bool fill_log_record_utf8(log_record& record, const std::string& path, const std::string& text) {
  std::wstring wide;
  path_utf8_to_wide(wide, path);  // an unusable name stays empty and fails below
  return fill_log_record(record, wide, text);
}

bool fill_log_record_from_status(log_record& record, const std::wstring& path,
                                 const qz_platform::file_status* status, const std::string& text) {
  record.clear();
  if (path.empty()) return false;
  if (status == nullptr) return fill_log_record(record, path, text);
  if (!path_wide_to_utf8(record.path, path)) return false;
  record.inode = status->inode;
  record.size = raw(status->size);
  record.modified = seconds(status->modify_seconds);
  record.changed = seconds(status->change_seconds);
  record.accessed = seconds(status->access_seconds);
  record.time_kind = time_kind_unix;
  record.mode = status->mode;
  record.attributes += log_attr_unix_times;
  if (status->is_directory()) {
    record.attributes += log_attr_folder;
    record.is_dir = 1;
  }
  record.text = text;
  return true;
}

bool fill_log_record_from_status_utf8(log_record& record, const std::string& path,
                                      const qz_platform::file_status* status, const std::string& text) {
  std::wstring wide;
  path_utf8_to_wide(wide, path);
  return fill_log_record_from_status(record, wide, status, text);
}
