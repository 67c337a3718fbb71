#include "tool/split_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/text/temp_folder.h"
#include "tests/tool/csv_source_fixture.h"

namespace {

constexpr char provenance_header[] = ",tool used,orig runtime,artifact type,csv src";

// A run under "-split_into_files" into the folder out/ of a fresh temporary folder.
class split_writer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ctx_.split = 1;
    ctx_.split_state = std::make_unique<csv_split::split_metadata>();
    ctx_.dst = dir_.file("out");
  }

  // Writes the source file `name` and sets ctx as the banner reader leaves it.
  void source(const std::string& name, const std::string& text, const std::string& separator,
              const std::vector<std::string>& columns, const banner_values* banner) {
    dir_.put(name, text);
    set_source(ctx_, dir_.file(name), separator, columns, banner);
  }
  void convert_source() { ASSERT_TRUE(convert(ctx_).ok); }
  // Converts a source with a banner whose "Artifact:" lines title its groups.
  void convert_titled(const std::string& name, const std::string& text,
                      const std::vector<std::string>& columns) {
    source(name, text, ",", columns, &banner_);
    ctx_.tags = {{"Artifact:", artifact_line, 0}};
    convert_source();
  }
  // Opens the one untitled group (columns a, b) of a source "in.csv" without banner, as the
  // dispatcher does, ready for rows.
  void start_plain_group() {
    source("in.csv", "a,b\n1,2\n", ",", {"a", "b"}, nullptr);
    csv_split_write_head(head_, ctx_);
    ctx_.columns = {"a", "b"};
    csv_split_end_group(head_, head_, ctx_.columns, ctx_);
  }
  void write_row(std::vector<std::string> cells) { csv_split_write_row(head_, cells, ctx_); }
  std::string out(const std::string& name) const { return dir_.get("out/" + name); }
  std::vector<std::string> out_files() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.file("out"), error))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  csv_split::split_metadata& state() { return *ctx_.split_state; }
  // The provenance values of a row from the banner values and the source at path.
  static std::string tail(const std::string& path, const std::string& type = "") {
    return ",dorvel v1.2,2015-06-01 10:00:00," + type + "," + path;
  }

  temp_folder dir_{"split_writer"};
  std::ostringstream head_;
  quazel_tool_metadata ctx_;
  banner_values banner_;
};

TEST_F(split_writer, GroupFilesAreNamedByTitleAndColumnDigest) {
  const std::string digest = "7dc51d9b4236e963a2fb7a428dfc1ed1";  // md5 of "kind|b|overflow"
  struct row {
    const char* name;
    bool banner;
    std::vector<tag_instr> tags;
    u8 grp_like_formats;
    u8 is_csvl2t;
    std::string text;
    std::string file;
  };
  const row rows[] = {
      {"untitled, no banner", false, {}, 0, 0, "kind,b\nx,2\n", "Group-1-" + digest},
      {"short tool name", true, {}, 0, 0, "kind,b\nx,2\n", "dorvel-" + digest},
      {"banner title field", true, {{"Artifact:", artifact_line, 0}}, 0, 0, "Artifact: Run keys\nkind,b\nx,2\n",
       "dorvel.Run_keys-" + digest},
      {"title fields of other writers only", true, {{"Hive:", 0x0E, 0}}, 0, 0, "Hive: H\nkind,b\nx,2\n",
       "dorvel-" + digest},
      {"column value joins the title", true, {{"kind", 0, 0x10}}, 0, 0, "kind,b\nx y/z,2\n",
       "dorvel.kind-x_y_z-" + digest},
      {"log2timeline layout", true, {}, 0, 1, "kind,b\nx,2\n", "dorvel.csvl2t-" + digest},
      {"like formats: log2timeline", true, {{"Artifact:", artifact_line, 0}}, 1, 1, "Artifact: A\nkind,b\nx,2\n",
       "csvl2t-" + digest},
      {"like formats: other source, untitled", true, {}, 1, 0, "kind,b\nx,2\n", "Group-1-" + digest},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::filesystem::remove_all(dir_.file("out"));
    ctx_.group_counter = 1;
    ctx_.grp_like_formats = r.grp_like_formats;
    source("in.csv", r.text, ",", {"kind", "b"}, r.banner ? &banner_ : nullptr);
    ctx_.tags = r.tags;
    ctx_.is_csvl2t = r.is_csvl2t;
    convert_source();
    ASSERT_TRUE(csv_split_close(ctx_));
    EXPECT_EQ(out_files(), std::vector<std::string>{r.file + ".csv"});
  }
}

TEST_F(split_writer, ALongGroupNameIsShortenedBeforeItsDigest) {
  const std::string title(300, 'T');
  convert_titled("in.csv", "Artifact: " + title + "\nkind,b\nx,2\n", {"kind", "b"});
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::vector<std::string> files = out_files();
  ASSERT_EQ(files.size(), 1u);
  const std::string& name = files[0];
  EXPECT_EQ(name.size(), 255u);
  EXPECT_EQ(name.substr(0, 10), "dorvel.TTT");
  EXPECT_EQ(name.substr(name.size() - 37), "-7dc51d9b4236e963a2fb7a428dfc1ed1.csv");
  EXPECT_EQ(out(name),
            "kind,b" + std::string(provenance_header) + "\nx,2" + tail(dir_.file("in.csv"), title) + "\n");
}

// Like groups share one file, within a source and across the sources of a run, with one header
// line; untitled groups are numbered on across the sources.
TEST_F(split_writer, LikeGroupsShareAFileWithOneHeaderLine) {
  const std::string text =
      "Artifact: Run\n"
      "a,b\n"
      "1,2\n"
      "Artifact: Run\n"
      "a,b\n"
      "3,4\n"
      "Artifact: Other\n"
      "a,b\n"
      "5,6\n";
  convert_titled("one.csv", text, {"a", "b"});
  convert_titled("two.csv", text, {"a", "b"});
  source("three.csv", "a,b\n7,8\n", ",", {"a", "b"}, nullptr);
  convert_source();
  source("four.csv", "a,b\n9,0\n", ",", {"a", "b"}, nullptr);
  convert_source();
  ASSERT_TRUE(csv_split_close(ctx_));

  const std::string digest = "5f6c543717bb3731019c2dc1580566d6";  // md5 of "a|b|overflow"
  EXPECT_EQ(out_files(), (std::vector<std::string>{"Group-1-" + digest + ".csv", "Group-2-" + digest + ".csv",
                                                    "dorvel.Other-" + digest + ".csv",
                                                    "dorvel.Run-" + digest + ".csv"}));
  const std::string one = dir_.file("one.csv");
  const std::string two = dir_.file("two.csv");
  EXPECT_EQ(out("dorvel.Run-" + digest + ".csv"),
            std::string("a,b") + provenance_header + "\n" +
                "1,2" + tail(one, "Run") + "\n" + "3,4" + tail(one, "Run") + "\n" +
                "1,2" + tail(two, "Run") + "\n" + "3,4" + tail(two, "Run") + "\n");
  EXPECT_EQ(out("dorvel.Other-" + digest + ".csv"), std::string("a,b") + provenance_header + "\n" + "5,6" +
                                                        tail(one, "Other") + "\n" + "5,6" + tail(two, "Other") + "\n");
  EXPECT_EQ(out("Group-2-" + digest + ".csv"),
            std::string("a,b") + provenance_header + "\n9,0,,,," + dir_.file("four.csv") + "\n");
}

// A source without a banner gets none of an earlier source's provenance, and its own separator.
TEST_F(split_writer, EverySourceBringsItsOwnProvenanceAndSeparator) {
  source("banner.csv", "a,b\n1,2\n", ",", {"a", "b"}, &banner_);
  ctx_.artifact_type = "Reg";
  convert_source();
  source("plain.csv", "a|b\n3|4\n", "|", {"a", "b"}, nullptr);
  convert_source();
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::string digest = "5f6c543717bb3731019c2dc1580566d6";
  EXPECT_EQ(out("dorvel-" + digest + ".csv"),
            std::string("a,b") + provenance_header + "\n1,2" + tail(dir_.file("banner.csv"), "Reg") + "\n");
  EXPECT_EQ(out("Group-1-" + digest + ".csv"),
            "a|b|tool used|orig runtime|artifact type|csv src\n3|4||||" + dir_.file("plain.csv") + "\n");
}

// No field of a source is dropped: fields beyond the group's columns follow the row's other
// values, so that every named column keeps its own value.
TEST_F(split_writer, SurplusFieldsFollowTheNamedValues) {
  struct row {
    const char* name;
    const char* line;
    const char* written;  // before and after the provenance values
    const char* after;
  };
  const row rows[] = {
      {"no surplus", "1,2,3", "1,2,3,x", ""},
      {"one surplus field", "1,2,3,4", "1,2,3,x", ",4"},
      {"several surplus fields", "1,2,3,4,,5", "1,2,3,x", ",4,,5"},
      {"only empty surplus fields", "1,2,3,,", "1,2,3,x", ""},
      {"empty cells in place", ",,3", ",,3,x", ""},
  };
  std::string text = "file: x\na,b,c\n";
  for (const row& r : rows) text += std::string(r.line) + "\n";
  source("in.csv", text, ",", {"a", "b", "c"}, &banner_);
  ctx_.tags = {{"file:", tag_line_bit(tag_line_extra_column, tag_writer_split), 0}};
  convert_source();
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::string content = out("dorvel-a393114f7d83ab1f7961dad5eb1e6f5a.csv");  // "a|b|c|file|overflow"
  std::string expected = std::string("a,b,c,file") + provenance_header + "\n";
  for (const row& r : rows) expected += r.written + tail(dir_.file("in.csv")) + r.after + "\n";
  EXPECT_EQ(content, expected);
}

TEST_F(split_writer, BodyfileRowsAreWrittenWholeInTheirElevenColumns) {
  const std::vector<std::string> columns = {"md5",         "name",        "inode",    "mode as string",
                                            "uid",         "gid",         "size",     "access time",
                                            "modify time", "mft time",    "create time"};
  const std::string text =
      "fendral - 64 ver: 3.07; (c) Quazel LLC\n"
      "0|/a|1|r/r|0|0|10|1|2|3|4\n"
      "0|/b|2|r/r|0|0|20|1|2|3\n"
      "0|/c|3|r/r|0|0|30|1|2|3|4|extra\n";
  source("in.csv", text, "|", columns, &banner_);
  ctx_.is_bodyfile = 1;
  ctx_.min_columns = 10;
  convert_source();
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::string t = "|dorvel v1.2|2015-06-01 10:00:00||" + dir_.file("in.csv");
  EXPECT_EQ(out("dorvel.bodyfile-712cf93ffab438604bb7281d12b7ea09.csv"),
            "md5|name|inode|mode as string|uid|gid|size|access time|modify time|mft time|create time|tool "
            "used|orig runtime|artifact type|csv src\n"
            "0|/a|1|r/r|0|0|10|1|2|3|4" + t + "\n"
            "0|/b|2|r/r|0|0|20|1|2|3|" + t + "\n"
            "0|/c|3|r/r|0|0|30|1|2|3|4" + t + "|extra\n");
}

TEST_F(split_writer, SeparatorsOfTheSplitFiles) {
  struct row {
    const char* name;
    std::string separator;      // the source's
    std::string new_separator;  // the user's, or the single source's own
    std::string text;
    std::string written;
  };
  const row rows[] = {
      {"a TAB stays a TAB", "\t", "", "a\tb\n1\t2\n", "a\tb\n1\t2\n"},
      {"a TAB as the run's separator", "\t", "\t", "a\tb\n1\t2\n", "a\tb\n1\t2\n"},
      {"a TAB by name", ",", "tab", "a,b\n1,2\n", "a\tb\n1\t2\n"},
      {"a separator is written as given", ",", " | ", "a,b\n1,2\n", "a | b\n1 | 2\n"},
      {"the source's own separator inside quotes", ",", ",", "a,b\n\"p,q\",2\n", "a,b\n\"p q\",2\n"},
      {"quotes keep a separator under each source's own", ",", "", "a,b\n\"p,q\",2\n", "a,b\n\"p,q\",2\n"},
      {"the new separator inside a cell", "|", ",", "a|b\nx, y|2\n", "a,b\nx  y,2\n"},
      {"a bar inside a cell under a new bar", ",", "|", "a,b\n\"p|q\",2\n", "a|b\n\"p;q\"|2\n"},
  };
  ctx_.raw = 1;
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::filesystem::remove_all(dir_.file("out"));
    ctx_.group_counter = 1;
    ctx_.new_separator = r.new_separator;
    source("in.csv", r.text, r.separator, {"a", "b"}, nullptr);
    convert_source();
    ASSERT_TRUE(csv_split_close(ctx_));
    const std::vector<std::string> files = out_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(out(files[0]), r.written);
  }
}

TEST_F(split_writer, ProvenanceValuesNeverSplitARow) {
  source("a,b.csv", "a,b\n1,2\n", ",", {"a", "b"}, &banner_);
  ctx_.artifact_type = "x,y";
  convert_source();
  ASSERT_TRUE(csv_split_close(ctx_));
  EXPECT_EQ(out("dorvel-5f6c543717bb3731019c2dc1580566d6.csv"),
            std::string("a,b") + provenance_header + "\n1,2,dorvel v1.2,2015-06-01 10:00:00,x y," +
                dir_.file("a b.csv") + "\n");
}

// Banner lines and columns that set the artifact type and the source of the rows after them;
// the rows before a banner line keep the values they were read with.
TEST_F(split_writer, ArtifactTypeAndSourceOfTheRows) {
  const std::string text =
      "kind,b\n"
      "x,1\n"
      "Type: T2\n"
      "y,2\n"
      "Source: S2\n"
      "kind,b\n"
      "z,3\n";
  source("in.csv", text, ",", {"kind", "b"}, &banner_);
  ctx_.artifact_type = "Base";
  ctx_.tags = {{"Type:", tag_line_bit(tag_line_artifact_type, tag_writer_split), 0},
                {"Source:", tag_line_bit(tag_line_source, tag_writer_split), 0},
                {"kind", 0, tag_column_bit(tag_column_artifact_type, tag_writer_split) | tag_column_bit(tag_column_source, tag_writer_split)}};
  ASSERT_TRUE(convert(ctx_).ok);
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::string t = dir_.file("in.csv");
  EXPECT_EQ(out("dorvel-7dc51d9b4236e963a2fb7a428dfc1ed1.csv"),
            std::string("kind,b") + provenance_header + "\n" +
                "x,1" + tail(t, "Base-x") + "\n" +
                "y,2" + tail(t, "T2") + "\n" +
                "z,3" + tail(t, "Base-z") + "\n");
}

// More than 20000 rows, or more than 8 MiB of cells, waiting are written at once; the rest at
// the end of the source.
TEST_F(split_writer, RowsAreWrittenInBoundedBatches) {
  source("in.csv", "", ",", {"a", "b"}, nullptr);
  std::ostringstream head;
  std::ostream& out_stream = head;
  ASSERT_EQ(csv_split_write_head(head, ctx_), 0);  // no banner
  ctx_.columns = {"a", "b"};
  ASSERT_EQ(csv_split_end_group(out_stream, head, ctx_.columns, ctx_), 1);
  std::vector<std::string> cells;
  for (int i = 0; i < 20000; ++i) {
    cells = {"1", "2"};
    ASSERT_EQ(csv_split_write_row(out_stream, cells, ctx_), 1);
  }
  EXPECT_EQ(state().pending.size(), 20000u);
  EXPECT_TRUE(out_files().empty());
  cells = {"1", "2"};
  csv_split_write_row(out_stream, cells, ctx_);
  EXPECT_TRUE(state().pending.empty());
  const std::string file = "Group-1-5f6c543717bb3731019c2dc1580566d6.csv";
  ASSERT_EQ(out_files(), std::vector<std::string>{file});
  cells = {"3", "4"};
  csv_split_write_row(out_stream, cells, ctx_);
  EXPECT_EQ(state().pending.size(), 1u);
  EXPECT_EQ(csv_split_flush_files(ctx_), 1);
  ASSERT_TRUE(csv_split_close(ctx_));
  const std::string written = out(file);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 20003);

  // Long rows: the byte bound writes them long before the row count would.
  const std::string long_cell(100000, 'x');
  for (int i = 0; i < 100; ++i) {
    cells = {long_cell, "2"};
    csv_split_write_row(out_stream, cells, ctx_);
  }
  EXPECT_LT(state().pending.size(), 20u);
  EXPECT_EQ(csv_split_flush_files(ctx_), 1);
  ASSERT_TRUE(csv_split_close(ctx_));
  EXPECT_EQ(out(file).size(), written.size() + 100 * (long_cell.size() + 7 + dir_.file("in.csv").size()));
}

TEST_F(split_writer, AFileOfAnEarlierRunIsAppendedTo) {
  const std::string file = "Group-1-5f6c543717bb3731019c2dc1580566d6.csv";
  const std::string header = std::string("a,b") + provenance_header + "\n";
  struct row {
    const char* name;
    const char* before;
    std::string after;
  };
  const row rows[] = {
      {"rows appended, no second header", "a,b,...\nold\n", "a,b,...\nold\n"},
      {"an empty file gets its header", "", header},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    std::filesystem::create_directories(dir_.file("out"));
    dir_.put("out/" + file, r.before);
    ctx_.group_counter = 1;
    source("in.csv", "a,b\n1,2\n", ",", {"a", "b"}, nullptr);
    convert_source();
    ASSERT_TRUE(csv_split_close(ctx_));
    EXPECT_EQ(out(file), r.after + "1,2,,,," + dir_.file("in.csv") + "\n");
  }
}

// A file that cannot be created or written is entered once as failed. The other groups are
// written all the same after a file that cannot be created; a write that fails stops the source.
TEST_F(split_writer, FilesThatCannotBeWrittenAreRecorded) {
  const std::string digest = "5f6c543717bb3731019c2dc1580566d6";
  const std::string blocked = "dorvel.Blocked-" + digest + ".csv";
  const std::string full = "dorvel.Full-" + digest + ".csv";
  std::filesystem::create_directories(dir_.file("out/" + blocked));
  ASSERT_EQ(symlink("/dev/full", dir_.file("out/" + full).c_str()), 0);
  const std::string text =
      "Artifact: Blocked\na,b\n1,2\n"
      "Artifact: Good\na,b\n3,4\n"
      "Artifact: Blocked\na,b\n5,6\n"
      "Artifact: Full\na,b\n7,8\n"
      "Artifact: Late\na,b\n9,10\n";
  source("in.csv", text, ",", {"a", "b"}, &banner_);
  ctx_.tags = {{"Artifact:", artifact_line, 0}};
  EXPECT_EQ(convert(ctx_).result, csv_conversion::output_failed);
  EXPECT_FALSE(csv_split_close(ctx_));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out/dorvel.Late-" + digest + ".csv")));
  EXPECT_EQ(state().failed_files,
            (std::vector<std::string>{dir_.file("out/" + blocked), dir_.file("out/" + full)}));
  EXPECT_TRUE(state().files.empty());
  EXPECT_EQ(out("dorvel.Good-" + digest + ".csv"),
            std::string("a,b") + provenance_header + "\n3,4" + tail(dir_.file("in.csv"), "Good") + "\n");

  // A destination that is no folder.
  ctx_.split_state = std::make_unique<csv_split::split_metadata>();
  csv_split::split_metadata& fresh = state();
  dir_.put("plain", "x");
  ctx_.dst = dir_.file("plain");
  source("in.csv", "a,b\n1,2\n", ",", {"a", "b"}, nullptr);
  convert_source();
  csv_split_close(ctx_);
  ASSERT_EQ(fresh.failed_files.size(), 1u);
  EXPECT_EQ(fresh.failed_files[0].substr(0, dir_.file("plain/Group-").size()), dir_.file("plain/Group-"));
}

// Large batches are written on the writer thread: a write that fails there is entered as
// failed all the same and stops the source at the next batch, as a failed write in place does;
// the rows of the group before all reach their file.
TEST_F(split_writer, AFailedWriteOfALargeBatchIsRecorded) {
  const std::string digest = "5f6c543717bb3731019c2dc1580566d6";
  const std::string full = "dorvel.Full-" + digest + ".csv";
  std::filesystem::create_directories(dir_.file("out"));
  ASSERT_EQ(symlink("/dev/full", dir_.file("out/" + full).c_str()), 0);
  std::string text;
  for (const char* group : {"Before", "Full", "After"}) {
    text += std::string("Artifact: ") + group + "\na,b\n";
    for (int i = 0; i < 30000; ++i) text += std::to_string(i) + ",x\n";
  }
  source("in.csv", text, ",", {"a", "b"}, &banner_);
  ctx_.tags = {{"Artifact:", artifact_line, 0}};
  EXPECT_EQ(convert(ctx_).result, csv_conversion::output_failed);
  EXPECT_FALSE(csv_split_close(ctx_));
  EXPECT_EQ(state().failed_files, std::vector<std::string>{dir_.file("out/" + full)});
  const std::string written = out("dorvel.Before-" + digest + ".csv");
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 30001);
  EXPECT_NE(written.find("\n29999,x" + tail(dir_.file("in.csv"), "Before") + "\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("out/dorvel.After-" + digest + ".csv")));
}

// Closing writes the rows still waiting, so that none is lost with the run's end.
TEST_F(split_writer, ClosingWritesTheRowsStillWaiting) {
  start_plain_group();
  write_row({"1", "2"});
  ASSERT_EQ(state().pending.size(), 1u);
  EXPECT_TRUE(csv_split_close(ctx_));
  EXPECT_TRUE(state().pending.empty());
  EXPECT_TRUE(state().files.empty());
  EXPECT_EQ(out("Group-1-5f6c543717bb3731019c2dc1580566d6.csv"),
            std::string("a,b") + provenance_header + "\n1,2,,,," + dir_.file("in.csv") + "\n");
}

// Waiting rows keep their cells in one packed text. A row whose packed cells were emptied from
// under it is never written with another row's cells: its file is entered as failed.
TEST_F(split_writer, RowWithoutItsPackedCellsFailsItsFile) {
  start_plain_group();
  write_row({"1", "2"});
  write_row({"3", "4"});
  state().packed_cells.clear();
  write_row({"5", "6"});  // the first row packed now, as "1,2" was
  EXPECT_EQ(csv_split_flush_files(ctx_), 0);
  csv_split_close(ctx_);
  const std::string file = "Group-1-5f6c543717bb3731019c2dc1580566d6.csv";
  EXPECT_EQ(state().failed_files, std::vector<std::string>{dir_.file("out/" + file)});
  EXPECT_EQ(out(file), std::string("a,b") + provenance_header + "\n5,6,,,," + dir_.file("in.csv") + "\n");
}

// Beyond the open-file bound the files are closed; a group that comes back appends to its file.
TEST_F(split_writer, ManyGroupsInOneSource) {
  std::string text;
  for (int i = 0; i < 70; ++i) text += "Artifact: g" + std::to_string(i) + "\na,b\n" + std::to_string(i) + ",x\n";
  text += "Artifact: g0\na,b\n9,again\n";
  convert_titled("in.csv", text, {"a", "b"});
  EXPECT_LE(state().files.size(), 64u);
  ASSERT_TRUE(csv_split_close(ctx_));
  EXPECT_EQ(out_files().size(), 70u);
  const std::string t = tail(dir_.file("in.csv"), "g0");
  EXPECT_EQ(out("dorvel.g0-5f6c543717bb3731019c2dc1580566d6.csv"),
            std::string("a,b") + provenance_header + "\n0,x" + t + "\n9,again" + t + "\n");
}

TEST_F(split_writer, WithoutSplitStateNothingIsDone) {
  ctx_.split_state.reset();
  std::ostringstream head;
  std::ostream& out_stream = head;
  std::vector<std::string> cells = {"1", "2"};
  const tag_instr tag("Artifact:", artifact_line, 0);
  EXPECT_EQ(csv_split_write_head(head, ctx_), 0);
  EXPECT_EQ(ctx_.head_pending, 1);
  EXPECT_EQ(csv_split_flush_files(ctx_), 0);
  EXPECT_EQ(csv_split_parse_banner_line("Artifact: x", tag, ctx_), 0);
  EXPECT_EQ(csv_split_end_group(out_stream, head, cells, ctx_), 0);
  EXPECT_EQ(csv_split_short_row("x", ctx_), 0);
  EXPECT_EQ(csv_split_write_row(out_stream, cells, ctx_), 0);
  EXPECT_EQ(csv_split_buffer_row(1, cells, ctx_), 0);
  EXPECT_TRUE(csv_split_close(ctx_));
  EXPECT_EQ(csv_split_get_metadata(ctx_), nullptr);
  EXPECT_TRUE(ctx_.title_fields.empty());
}

TEST_F(split_writer, HeadTakesTheBannerValues) {
  source("in.csv", "", ",", {"a", "b"}, &banner_);
  std::ostringstream head;
  EXPECT_EQ(csv_split_write_head(head, ctx_), 1);
  EXPECT_EQ(ctx_.head_pending, 0);
  EXPECT_TRUE(ctx_.columns.empty());
  EXPECT_EQ(csv_split_write_head(head, ctx_), 0);  // once per source
  EXPECT_EQ(state().tool_label, "dorvel v1.2");
  EXPECT_EQ(state().run_time, "Runtime: 2015-06-01 10:00:00");
  EXPECT_EQ(state().csv_source, dir_.file("in.csv"));
  EXPECT_EQ(state().separator, ",");
  EXPECT_EQ(csv_split_short_row("a line", ctx_), 1);
}

}  // namespace
