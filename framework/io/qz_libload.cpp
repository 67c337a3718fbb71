#include "framework/io/qz_libload.h"

#include <dlfcn.h>

#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_search.h"

void* open_library(const std::string& path) {
  if (path.empty()) return nullptr;
  return dlopen(path.c_str(), RTLD_LAZY);
}

bool close_library(void* handle) { return handle != nullptr && dlclose(handle) == 0; }

void* find_symbol(void* handle, const std::string& name) {
  if (name.empty()) return nullptr;
  return dlsym(handle, name.c_str());
}

qz_libload_base::qz_libload_base() : handle(nullptr) {}

qz_libload_base::~qz_libload_base() {
  if (handle && !handle_closed_) dlclose(handle);
}

bool qz_libload_base::is_loaded() const { return handle != nullptr; }

void qz_libload_base::reset() {
  handle = nullptr;
  handle_closed_ = false;
  path.clear();
}

bool qz_libload_base::unload() {
  if (!handle) return false;
  // A second unload must not close the library again: the loader counts every close.
  if (handle_closed_) return false;
  if (dlclose(handle) != 0) return false;
  handle_closed_ = true;
  return true;
}

bool qz_libload_base::load(const std::string& library_path) {
  if (handle) return true;
  handle = open_library(library_path);
  handle_closed_ = false;
  if (load_functions(handle)) {
    path = library_path;
    return true;
  }
  if (handle) dlclose(handle);
  handle = nullptr;
  unload_functions();
  return false;
}

namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool qz_libload_base::collect_symbol_strings(std::set<std::string>& out, int max_size, u32 min_len,
                                             bool letter_first) const {
  out.clear();
  uni::fileio library_file;
  if (!library_file.open_utf8(path, false, false, false)) return false;
  // The size is compared in 64 bits: a file of 2 to 4 GiB must not pass as a negative 32-bit size.
  u64 file_size = library_file.get_size();
  if (max_size < 0 || file_size > static_cast<u64>(max_size)) return false;
  std::vector<u8> bytes;
  if (!library_file.read_into_vector(bytes, file_size, 0) || bytes.size() != file_size) return false;
  std::vector<std::string> runs;
  std::vector<u64> offsets;
  if (!extract_printable_strings(bytes.data(), static_cast<int>(bytes.size()), min_len, &runs, &offsets, false,
                                 false)) {
    return false;
  }
  for (const std::string& run : runs) {
    if (run.empty() || (letter_first && !is_ascii_letter(run[0]))) continue;
    if (run.find_first_of(" :/\"')([]<>*#.~$|") != std::string::npos) continue;
    out.insert(run);
  }
  return !out.empty();
}
