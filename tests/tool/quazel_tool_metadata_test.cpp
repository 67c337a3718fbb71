#include "tool/quazel_tool_metadata.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/io/uni_output.h"
#include "tool/csv_banner.h"
#include "framework/time/qz_clock.h"
#include "tests/text/temp_folder.h"

namespace {

TEST(quazel_tool_metadata, tag_bits_follow_the_role_and_writer_layout) {
  struct bit_case {
    const char* name;
    u32 got;
    u32 expected;
  };
  const bit_case cases[] = {
      {"line title json", tag_line_bit(tag_line_title, tag_writer_json), 0x2},
      {"line title split", tag_line_bit(tag_line_title, tag_writer_split), 0x20},
      {"line extra column html", tag_line_bit(tag_line_extra_column, tag_writer_html), 0x100},
      {"line extra column split", tag_line_bit(tag_line_extra_column, tag_writer_split), 0x400},
      {"line artifact type sqlite", tag_line_bit(tag_line_artifact_type, tag_writer_sqlite),
       0x1000},
      {"line source split", tag_line_bit(tag_line_source, tag_writer_split), 0x100000},
      {"column title split", tag_column_bit(tag_column_title, tag_writer_split), 0x10},
      {"column artifact type html", tag_column_bit(tag_column_artifact_type, tag_writer_html),
       0x80},
      {"column source split", tag_column_bit(tag_column_source, tag_writer_split), 0x4000},
      {"column nested html", tag_column_bit(tag_column_nested, tag_writer_html), 0x20000},
  };
  for (const bit_case& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
  // The cleanup-only value leaves bit 0 clear and sets no bit below 4.
  EXPECT_EQ(tag_line_cleanup_copy & 0xF, 0u);
}

TEST(quazel_tool_metadata, per_source_reset_clears_what_the_source_taught_and_keeps_the_run) {
  quazel_tool_metadata ctx;
  // What a previous source and its conversion left behind.
  ctx.banner_found = 1;
  ctx.is_bodyfile = 1;
  ctx.is_csvl2t = 1;
  ctx.group_has_rows = 1;
  ctx.head_pending = 0;
  ctx.first_header_pending = 0;
  ctx.min_columns = 20;
  ctx.tool_name = "ulfen";
  ctx.tool_version = "1.0";
  ctx.licence_word = "Lab";
  ctx.licence_text = "lab";
  ctx.run_time_text = "2020";
  ctx.extra_info = "local";
  ctx.command_line = "ulfen -csv";
  ctx.separator = ",";
  ctx.hostname = "h";
  ctx.username = "u";
  ctx.artifact_type = "Lnk";
  ctx.tool_source = "/x";
  ctx.short_tool_name = "ulfen";
  ctx.first_column_name = "a";
  ctx.columns = {"a", "b"};
  ctx.tags.emplace_back("IDList segments", 0, nested_column);
  ctx.nested_flag = 1;
  ctx.nested_columns.insert(3);
  ctx.extra_columns["file"] = "x";
  ctx.pending_columns["file"] = "y";
  ctx.title_fields["Artifact:"] = "z";
  ctx.group_title = "t";
  ctx.utf16_bom = 1;
  ctx.utf8_bom = 1;
  ctx.source_columns.emplace_back("a", 0);
  ctx.sqlite_state.meta_row.notes = "Runtime: 2020";
  ctx.sqlite_state.meta_row.runtime = 5;
  ctx.sqlite_state.runtime = 5;
  ctx.source_bytes.assign(64, 'x');
  ctx.source_bytes_path = "/cases/a.csv";
  ctx.json_state.doc_has_members = true;
  ctx.json_state.doc_member_names.insert("tool");
  ctx.json_state.member_starts.push_back({",\n         \"a\": \"", 16});
  ctx.cleanup_state.header_written = true;
  // What the run keeps.
  ctx.csv_source = "/cases/a.csv";
  ctx.dst = "/out";
  ctx.to_html = 1;
  ctx.group_counter = 7;
  ctx.pair_map[1] = csv_formating();
  ctx.new_separator = ";";
  ctx.split_state = std::make_unique<csv_split::split_metadata>();
  csv_split::split_metadata* split_state = ctx.split_state.get();

  const u64 before = current_time().filetime;
  ctx.clear_find_signature_vars();

  EXPECT_EQ(ctx.banner_found, 0);
  EXPECT_EQ(ctx.is_bodyfile, 0);
  EXPECT_EQ(ctx.is_csvl2t, 0);
  EXPECT_EQ(ctx.group_has_rows, 0);
  EXPECT_EQ(ctx.head_pending, 1);
  EXPECT_EQ(ctx.first_header_pending, 1);
  EXPECT_EQ(ctx.min_columns, 2);
  for (const std::string* text :
       {&ctx.tool_name, &ctx.tool_version, &ctx.licence_word, &ctx.licence_text,
        &ctx.run_time_text, &ctx.extra_info, &ctx.command_line, &ctx.separator, &ctx.hostname,
        &ctx.username, &ctx.artifact_type, &ctx.tool_source, &ctx.short_tool_name,
        &ctx.first_column_name, &ctx.group_title}) {
    EXPECT_TRUE(text->empty()) << *text;
  }
  EXPECT_TRUE(ctx.columns.empty());
  EXPECT_TRUE(ctx.tags.empty());
  EXPECT_EQ(ctx.nested_flag, 0);
  EXPECT_TRUE(ctx.nested_columns.empty());
  EXPECT_TRUE(ctx.extra_columns.empty());
  EXPECT_TRUE(ctx.pending_columns.empty());
  EXPECT_TRUE(ctx.title_fields.empty());
  // A source without a mark must not inherit the previous one's, nor its column names.
  EXPECT_EQ(ctx.utf16_bom, 0);
  EXPECT_EQ(ctx.utf8_bom, 0);
  EXPECT_TRUE(ctx.source_columns.empty());
  // The run record starts afresh for the source's rows.
  EXPECT_TRUE(ctx.sqlite_state.meta_row.notes.empty());
  EXPECT_GE(ctx.sqlite_state.meta_row.runtime, before);
  EXPECT_EQ(ctx.sqlite_state.runtime, 0u);
  EXPECT_TRUE(ctx.source_bytes.empty());
  EXPECT_TRUE(ctx.source_bytes_path.empty());
  // No writer carries anything of the source into the next.
  EXPECT_FALSE(ctx.json_state.doc_has_members);
  EXPECT_TRUE(ctx.json_state.doc_member_names.insert("tool"));
  EXPECT_TRUE(ctx.json_state.member_starts.empty());
  EXPECT_FALSE(ctx.cleanup_state.header_written);

  EXPECT_EQ(ctx.csv_source, "/cases/a.csv");
  EXPECT_EQ(ctx.dst, "/out");
  EXPECT_EQ(ctx.to_html, 1);
  EXPECT_EQ(ctx.group_counter, 7u);
  EXPECT_EQ(ctx.pair_map.size(), 1u);
  EXPECT_EQ(ctx.new_separator, ";");
  EXPECT_EQ(ctx.split_state.get(), split_state);
}

TEST(quazel_tool_metadata, destruction_closes_the_split_files) {
  temp_folder folder("run_context");
  ASSERT_FALSE(folder.path().empty());
  {
    quazel_tool_metadata ctx;
    ctx.split_state = std::make_unique<csv_split::split_metadata>();
    auto file = std::make_unique<uni::fileio>(folder.file("Group-1.csv"), true, true, false);
    ASSERT_TRUE(file->is_open());
    ASSERT_NE(file->get_output_stream(), nullptr);
    *file->get_output_stream() << "a|b\n";
    ctx.split_state->file_index["Group-1"] = 0;
    ctx.split_state->files.push_back(std::move(file));
  }
  EXPECT_EQ(folder.get("Group-1.csv"), "a|b\n");
}

}  // namespace
