#include "framework/io/qz_file_search.h"

#include <algorithm>
#include <exception>

#include "framework/io/qz_file_info.h"
#include "framework/io/uni_fileio.h"
#include "framework/text/qz_search.h"
#include "framework/text/uni_unicode.h"

namespace {

constexpr u32 piece_bytes = 16384;
constexpr u32 block_bytes = 512;

bool holds(const std::vector<u8>& buffer, u32 length, const std::vector<u8>& pattern) {
  u64 found = 0;
  return find_bytes_first(buffer.data(), length, pattern, &found, 0, false);
}

bool range_holds(uni::fileio& file, const search_criterion& criterion, std::vector<u8>& buffer) {
  const u64 size = file.get_size();
  if (criterion.range_end == 0 || criterion.range_start >= size) return false;
  const u64 end = std::min<u64>(criterion.range_end, size);
  for (u64 offset = criterion.range_start; offset < end; offset += piece_bytes) {
    u32 length = static_cast<u32>(std::min<u64>(piece_bytes, end - offset));
    if (!file.read_at(buffer.data(), length, offset) || length == 0) return false;
    if (holds(buffer, length, criterion.range_pattern)) return true;
  }
  return false;
}

bool blocks_hold(uni::fileio& file, const search_criterion& criterion, std::vector<u8>& buffer) {
  if (criterion.block_length == 0 || criterion.block_length >= block_bytes) return false;
  for (u64 offset = 0; offset < file.get_size(); offset += block_bytes) {
    u32 length = criterion.block_length;
    if (!file.read_at(buffer.data(), length, offset) || length == 0) return false;
    if (holds(buffer, length, criterion.block_pattern)) return true;
  }
  return false;
}

bool tail_holds(uni::fileio& file, const search_criterion& criterion, std::vector<u8>& buffer) {
  if (criterion.tail_length == 0 || criterion.tail_length >= piece_bytes) return false;
  if (file.seek_end(criterion.tail_length) < 0) return false;
  u32 length = criterion.tail_length;
  return file.read_next(buffer.data(), length) && length > 0 && holds(buffer, length, criterion.tail_pattern);
}

bool meets(const std::string& path, const file_info& record, const std::wstring& ext,
           const search_criterion& criterion, std::vector<u8>& buffer) {
  if (!criterion.ext.empty() && criterion.ext != ext) return false;
  if (record.size < criterion.size_min || record.size > criterion.size_max) return false;
  if (criterion.time_min > record.created && criterion.time_min > record.altered) return false;
  if (criterion.range_pattern.empty() && criterion.block_pattern.empty() && criterion.tail_pattern.empty())
    return true;
  uni::fileio file(path, false, false, false);
  if (!file.is_open()) return false;
  if (!criterion.range_pattern.empty() && !range_holds(file, criterion, buffer)) return false;
  if (!criterion.block_pattern.empty() && !blocks_hold(file, criterion, buffer)) return false;
  if (!criterion.tail_pattern.empty() && !tail_holds(file, criterion, buffer)) return false;
  return true;
}

}  // namespace

bool search_files_by_criteria(std::vector<std::string>& paths, const std::vector<search_criterion>& criteria) {
  if (paths.empty()) return false;
  if (criteria.empty()) return true;
  std::vector<u8> buffer;
  try {
    buffer.resize(piece_bytes);
  } catch (const std::exception&) {
    return false;
  }
  std::vector<std::string> matches;
  // The narrow record: the wide one holds folders of at most 511 characters, and a longer
  // folder must not hide a file.
  file_info record;
  for (const std::string& path : paths) {
    if (!fill_file_info(path.c_str(), &record)) continue;
    const std::wstring ext = utf8_to_wstring(record.ext);
    const bool all = std::all_of(criteria.begin(), criteria.end(), [&](const search_criterion& criterion) {
      return meets(path, record, ext, criterion, buffer);
    });
    if (all) matches.push_back(path);
  }
  paths.swap(matches);
  return !paths.empty();
}
