// How many entries of the process's SQLite function table hold a function: 0 when no
// connection has bound the library, sqlite_function_table::entry_count when one has.
#pragma once

#include <cstddef>

#include "sqlite_store/sqlite_wrapper.h"

inline size_t bound_sqlite_functions() {
  const sqlite_function_table& f = sqlite_functions;
  const void* entries[] = {
      reinterpret_cast<const void*>(f.exec),         reinterpret_cast<const void*>(f.open),
      reinterpret_cast<const void*>(f.open_v2),      reinterpret_cast<const void*>(f.close),
      reinterpret_cast<const void*>(f.prepare_v2),   reinterpret_cast<const void*>(f.bind_blob),
      reinterpret_cast<const void*>(f.bind_double),  reinterpret_cast<const void*>(f.bind_int),
      reinterpret_cast<const void*>(f.bind_int64),   reinterpret_cast<const void*>(f.bind_text),
      reinterpret_cast<const void*>(f.step),         reinterpret_cast<const void*>(f.finalize),
      reinterpret_cast<const void*>(f.column_count), reinterpret_cast<const void*>(f.column_name),
      reinterpret_cast<const void*>(f.column_type),  reinterpret_cast<const void*>(f.column_bytes),
      reinterpret_cast<const void*>(f.column_int64), reinterpret_cast<const void*>(f.column_double),
      reinterpret_cast<const void*>(f.column_text),  reinterpret_cast<const void*>(f.column_blob),
      reinterpret_cast<const void*>(f.last_insert_rowid), reinterpret_cast<const void*>(f.errmsg),
      reinterpret_cast<const void*>(f.reset),        reinterpret_cast<const void*>(f.clear_bindings)};
  static_assert(sizeof entries / sizeof entries[0] == sqlite_function_table::entry_count);
  size_t count = 0;
  for (const void* entry : entries) count += entry != nullptr;
  return count;
}
