#include "framework/io/qz_writeback.h"

#include <fcntl.h>
#include <unistd.h>

file_writeback::~file_writeback() { close(); }

bool file_writeback::open(const std::string& path) {
  close();
  descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return descriptor_ >= 0;
}

bool file_writeback::start() const {
  if (descriptor_ < 0) return false;
  // Offset 0 and length 0: the whole file, however far it has grown.
  return sync_file_range(descriptor_, 0, 0, SYNC_FILE_RANGE_WRITE) == 0;
}

void file_writeback::close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}
