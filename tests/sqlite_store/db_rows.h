// Reads a database the way an outside user would: a separate read-only connection through the
// library itself, not through the store's code.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

// Every row of sql as its values joined by "," (NULL as "NULL"); a failed open or query gives
// the one line "error: <library text>". Read-only unless open_flags say otherwise (a
// read-write connection rolls back a journal a killed writer left).
inline std::vector<std::string> db_rows(const std::string& path, const std::string& sql,
                                        int open_flags = SQLITE_OPEN_READONLY) {
  sqlite3* db = nullptr;
  std::vector<std::string> lines;
  if (sqlite3_open_v2(path.c_str(), &db, open_flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return {"error: open"};
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(
      db, sql.c_str(),
      [](void* context, int count, char** values, char**) {
        std::string line;
        for (int i = 0; i < count; ++i) {
          if (i > 0) line += ',';
          line += values[i] ? values[i] : "NULL";
        }
        static_cast<std::vector<std::string>*>(context)->push_back(line);
        return 0;
      },
      &lines, &error);
  if (rc != SQLITE_OK) lines = {std::string("error: ") + (error != nullptr ? error : "")};
  sqlite3_free(error);
  sqlite3_close(db);
  return lines;
}

// Runs sql through a connection of its own; the library's error text, empty on success.
inline std::string exec_outside(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  std::string text = rc == SQLITE_OK ? "" : (error != nullptr ? error : "failed");
  sqlite3_free(error);
  sqlite3_close(db);
  return text;
}
