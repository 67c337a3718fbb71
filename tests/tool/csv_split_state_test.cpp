#include "tool/csv_split_state.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/io/uni_output.h"
#include "framework/time/qz_clock.h"
#include "tests/text/temp_folder.h"

namespace {

// Opens path for writing and leaves `text` in the file's output buffer, not yet on disk.
bool add_buffered_file(csv_split::split_metadata& state, const std::string& name,
                       const std::string& path, const std::string& text) {
  auto file = std::make_unique<uni::fileio>(path, true, true, false);
  if (!file->is_open() || file->get_output_stream() == nullptr) return false;
  *file->get_output_stream() << text;
  state.file_index[name] = state.files.size();
  state.files.push_back(std::move(file));
  return true;
}

TEST(split_metadata, new_record_is_empty_and_stamped_now) {
  const u64 before = current_time().filetime;
  csv_split::split_metadata state;
  const u64 after = current_time().filetime;
  EXPECT_TRUE(state.tool_label.empty());
  EXPECT_TRUE(state.group_file.empty());
  EXPECT_TRUE(state.column_list.empty());
  EXPECT_TRUE(state.files.empty());
  EXPECT_TRUE(state.file_index.empty());
  EXPECT_TRUE(state.pending.empty());
  EXPECT_GE(state.run_stamp, before);
  EXPECT_LE(state.run_stamp, after);
}

TEST(split_metadata, closing_writes_buffered_rows_and_empties_the_lists) {
  temp_folder folder("split_state");
  ASSERT_FALSE(folder.path().empty());

  csv_split::split_metadata state;
  EXPECT_TRUE(state.close_output_files());  // nothing open: nothing changes
  EXPECT_TRUE(state.files.empty());

  ASSERT_TRUE(add_buffered_file(state, "Group-1", folder.file("Group-1.csv"), "a|b\n1|2\n"));
  ASSERT_TRUE(add_buffered_file(state, "Group-2", folder.file("Group-2.csv"), "c|d\n"));
  EXPECT_TRUE(state.close_output_files());
  EXPECT_TRUE(state.files.empty());
  EXPECT_TRUE(state.file_index.empty());
  EXPECT_EQ(folder.get("Group-1.csv"), "a|b\n1|2\n");
  EXPECT_EQ(folder.get("Group-2.csv"), "c|d\n");
}

TEST(split_metadata, destruction_and_clear_close_the_files) {
  temp_folder folder("split_state");
  ASSERT_FALSE(folder.path().empty());
  {
    csv_split::split_metadata state;
    ASSERT_TRUE(add_buffered_file(state, "g", folder.file("kept.csv"), "x,y\n"));
    state.pending.emplace_back();  // dropped, never written
  }
  EXPECT_EQ(folder.get("kept.csv"), "x,y\n");

  // clear empties the file map, so it must not leave files open behind it: a later batch
  // would open the same file a second time.
  csv_split::split_metadata state;
  ASSERT_TRUE(add_buffered_file(state, "g", folder.file("cleared.csv"), "p,q\n"));
  state.tool_label = "tool v1";
  state.column_text = "p|q";
  state.clear();
  EXPECT_TRUE(state.files.empty());
  EXPECT_TRUE(state.file_index.empty());
  EXPECT_TRUE(state.column_text.empty());
  EXPECT_TRUE(state.tool_label.empty());
  EXPECT_EQ(folder.get("cleared.csv"), "p,q\n");
}

TEST(split_metadata, a_file_whose_rows_cannot_be_written_is_reported) {
  csv_split::split_metadata state;
  if (!add_buffered_file(state, "full", "/dev/full", "rows that cannot land\n")) {
    GTEST_SKIP() << "/dev/full is not available";
  }
  EXPECT_FALSE(state.close_output_files());
  EXPECT_TRUE(state.files.empty());
  EXPECT_TRUE(state.file_index.empty());
}

}  // namespace
