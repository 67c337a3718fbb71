#include "sqlite_store/bodyfile_columns.h"

void write_bodyfile_header(std::ostream& out) {
  // The access time comes before the modify time in this layout.
  out << "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time";
}
