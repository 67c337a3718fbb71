// Loading shared libraries and binding their entry points. A class that binds functions derives
// from qz_libload_base and supplies load_functions / unload_functions; the free functions wrap
// the dynamic loader and report failure by a null handle or false, printing nothing.
#pragma once

#include <set>
#include <string>

#include "framework/text/qz_types.h"

class qz_libload_base {
 public:
  qz_libload_base();
  // Closes the library unless unload already closed it.
  virtual ~qz_libload_base();
  qz_libload_base(const qz_libload_base&) = delete;
  qz_libload_base& operator=(const qz_libload_base&) = delete;

  // Binds the derived class's entry points from handle (which may be null); true when bound.
  virtual bool load_functions(void* handle) = 0;
  // Forgets every bound entry point.
  virtual void unload_functions() = 0;

  // True while a handle is held (also after unload, until reset).
  bool is_loaded() const;
  // Forgets handle and path without closing the library.
  void reset();
  // Closes the library; false without a handle or when the loader refuses. The handle stays
  // set until reset.
  bool unload();
  // True at once when a handle is held. Else opens the library at path (an empty path gives a
  // null handle) and calls load_functions with the handle; on success keeps path and returns
  // true, otherwise closes the library, calls unload_functions and returns false.
  bool load(const std::string& path);
  // out = the identifier-like runs of at least min_len printable bytes in the loaded library's
  // file: no blank nor any of :/"')([]<>*#.~$| in them, and with letter_first a letter first.
  // False when the file cannot be read, is larger than max_size bytes, or yields no run.
  bool collect_symbol_strings(std::set<std::string>& out, int max_size, u32 min_len, bool letter_first) const;

  void* handle;
  std::string path;

 private:
  bool handle_closed_ = false;  // unload closed `handle`; the destructor must not close it again
};

// dlopen(path, RTLD_LAZY); null for an empty path or when the library cannot be loaded.
void* open_library(const std::string& path);
// dlclose(handle); false for a null handle or when it fails.
bool close_library(void* handle);
// dlsym(handle, name); null for an empty name or a missing symbol.
void* find_symbol(void* handle, const std::string& name);
