#include "framework/io/qz_writeback.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/io/folder_fixture.h"

namespace {

using writeback_test = folder_fixture;

// The write-out starts only on a file that opened; a failed open leaves nothing held, and a
// reopen lets go of the file before.
TEST_F(writeback_test, starts_only_on_an_open_file) {
  write(at("data"), std::string(100000, 'x'));
  file_writeback file;
  EXPECT_FALSE(file.start());
  EXPECT_FALSE(file.open(at("missing")));
  EXPECT_FALSE(file.is_open());
  EXPECT_FALSE(file.start());
  ASSERT_TRUE(file.open(at("data")));
  EXPECT_TRUE(file.start());
  // The file's pages are still there to read: starting their write-out changes nothing in them.
  EXPECT_EQ(read(at("data")), std::string(100000, 'x'));
  EXPECT_FALSE(file.open(at("missing")));
  EXPECT_FALSE(file.start());
  ASSERT_TRUE(file.open(at("data")));
  file.close();
  EXPECT_FALSE(file.is_open());
  EXPECT_FALSE(file.start());
}

}  // namespace
