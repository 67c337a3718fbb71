#include "sqlite_store/bodyfile_columns.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/text/qz_split.h"

namespace {

TEST(bodyfile_columns, column_line_holds_the_eleven_names_without_a_line_end) {
  std::ostringstream out;
  write_bodyfile_header(out);
  EXPECT_EQ(out.str(), "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time");
  std::vector<std::string> names;
  split_string(out.str(), '|', names, true, true, false);
  EXPECT_EQ(names, (std::vector<std::string>{"md5", "name", "inode", "mode as string", "uid", "gid", "size",
                                             "access time", "modify time", "mft time", "create time"}));
}

}  // namespace
