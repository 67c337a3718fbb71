#include "framework/cmdline/qz_cmd_params.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/time/qz_time_zone.h"
#include "tests/text/temp_folder.h"

namespace {

TEST(CmdParamsDefaults, NewObjectAndClear) {
  cmd_params fresh(0x01d0000000000000ull, true);
  cmd_params changed(0x01d0000000000000ull, false);
  // Touch a field of every kind, then clear: all must come back.
  changed.separator_char = ',';
  changed.separator_text = ",";
  changed.hex_numbers = 0;
  changed.cpu_instance = 3;
  changed.status_display = 0;
  changed.alias_map["a"] = "b";
  changed.file_record.inode = 9;
  changed.stop_unix = 5;
  changed.date_format = "dd/mm/yyyy";
  changed.source_columns.emplace_back("name", 12);
  changed.time_spec.flags = 0x405;
  changed.time_spec.min_year = 1970;
  changed.include_filters.emplace_back();
  changed.clear();

  for (cmd_params* p : {&fresh, &changed}) {
    SCOPED_TRACE(p == &fresh ? "new" : "cleared");
    EXPECT_EQ(p->run_time, 0x01d0000000000000ull);
    EXPECT_EQ(p->separator_char, '|');
    EXPECT_EQ(p->separator_replacement, ';');
    EXPECT_EQ(p->separator_text, " | ");
    EXPECT_EQ(p->date_format, "yyyy-mm-dd");
    EXPECT_EQ(p->time_format, "hh:mm:ss.xxx");
    EXPECT_EQ(p->hex_numbers, 1);
    EXPECT_EQ(p->spaced_separator, 1);
    EXPECT_EQ(p->status_display, 1);
    EXPECT_EQ(p->verbose, 1);
    EXPECT_EQ(p->sqlite_off, 1);
    EXPECT_EQ(p->non_xml_output, 1);
    EXPECT_EQ(p->cpu_instance, 0xFFFFFFFFu);
    EXPECT_EQ(p->trim_fields, 0);
    EXPECT_EQ(p->diags_on, 0);
    EXPECT_EQ(p->diags_level, 0u);
    EXPECT_EQ(p->diags_stream, nullptr);
    EXPECT_EQ(p->sqlite_params, nullptr);
    EXPECT_EQ(p->hook_fn, nullptr);
    EXPECT_TRUE(p->alias_map.empty());
    EXPECT_EQ(p->file_record.inode, 0u);
    EXPECT_EQ(p->stop_unix, 0u);
    EXPECT_TRUE(p->source_columns.empty());
    EXPECT_EQ(p->time_spec.flags, 0u);
    EXPECT_EQ(p->time_spec.min_year, 1900);
    EXPECT_EQ(p->time_spec.max_year, 2600);
    EXPECT_EQ(p->time_spec.reserved, 0u);
    EXPECT_TRUE(p->include_filters.empty());
  }
  ASSERT_NE(fresh.message_stream, nullptr);
  EXPECT_EQ(fresh.message_stream->str(), "");
  EXPECT_EQ(changed.message_stream, nullptr);
}

TEST(CmdParamsSeparator, OneTextSetsAllThree) {
  struct row {
    const char* name;
    std::string text;
    bool quoted;
    bool semicolon;
    std::string separator_text;
    char separator_char;
    char replacement;
    std::string caller_after;
  } rows[] = {
      {"comma, blank replaces", ",", false, false, ",", ',', ' ', ","},
      {"comma, semicolon replaces", ",", false, true, ",", ',', ';', ","},
      {"bar", "|", false, false, "|", '|', ';', "|"},
      {"bar with blanks kept", " | ", false, false, " | ", '|', ';', " | "},
      {"bar wins over comma, case kept", "X,|Y", false, false, "X,|Y", '|', ';', "x,|y"},
      {"tab in capitals", "TAB", false, false, "\t", 0, 0, "tab"},
      {"backslash capital T", "\\T", false, false, "\t", 0, 0, "\\t"},
      {"semicolon", ";", false, false, ";", 0, 0, ";"},
      {"empty", "", false, false, "", 0, 0, ""},
      {"tabby is no tab", "Tabby", false, false, "Tabby", 0, 0, "tabby"},
      {"quoted comma", ",", true, true, ",", 0, 0, ","},
      {"quoted text untouched", "X,|Y", true, false, "X,|Y", 0, 0, "X,|Y"},
      {"quoted tab in capitals is a TAB", "TAB", true, false, "\t", 0, 0, "TAB"},
      {"quoted backslash t is a TAB", "\\t", true, false, "\t", 0, 0, "\\t"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cmd_params params(0, false);
    params.quoted_fields = r.quoted;
    std::string text = r.text;
    params.set_csv_separator(text, r.semicolon);
    EXPECT_EQ(params.separator_text, r.separator_text);
    EXPECT_EQ(params.separator_char, r.separator_char);
    EXPECT_EQ(params.separator_replacement, r.replacement);
    EXPECT_EQ(text, r.caller_after);
  }
}

TEST(CmdParamsStreams, MessageStreamFallbacks) {
  cmd_params without(0, false);
  without.msg_stream() << "dropped" << 12;
  EXPECT_TRUE(without.msg_stream().good());

  std::ostringstream& scratch = without.message_stream_or_scratch();
  scratch << "left over";
  EXPECT_EQ(&without.message_stream_or_scratch(), &scratch) << "one process-wide stream";
  EXPECT_EQ(scratch.str(), "") << "emptied for every call";

  cmd_params with(0, true);
  with.msg_stream() << "kept";
  EXPECT_EQ(&with.message_stream_or_scratch(), with.message_stream);
  EXPECT_EQ(with.message_stream->str(), "kept");
  with.message_stream->setstate(std::ios::failbit);
  with.file_record.inode = 7;
  with.file_record.path = "/x";
  with.reset_file_state();
  EXPECT_TRUE(with.message_stream->good());
  EXPECT_EQ(with.message_stream->str(), "");
  EXPECT_EQ(with.file_record.inode, 0u);
  EXPECT_EQ(with.file_record.path, "");
}

// The daylight transitions print by the set's formats: the packed spec when it is built, else
// the format texts and the one-column flag; never with a fraction.
TEST(CmdParamsTimeZone, TransitionsByTheSetsFormats) {
  const time_zone_rule rule{{0, 3, 5, 1, 0, 0, 0, 0}, {0, 10, 5, 1, 30, 15, 0, 0}, 3600, 3600, 0};
  const u64 in_2026 = 134168832000000000ull;  // 2026-03-02
  cmd_params params(0, false);
  params.date_format = "mm/dd/yyyy";
  params.time_format = "hh:mm:ss.xxx";
  std::ostringstream out;
  write_dst_start(rule, out, params, in_2026);
  EXPECT_EQ(out.str(), "03/29/2026 01:00:00");
  out.str("");
  ASSERT_TRUE(parse_date_time_format(params.time_spec, "dd-mmm-yyyy", "hh:mm:ss.xxxxxx", false));
  write_dst_end(rule, out, params, in_2026);
  EXPECT_EQ(out.str(), "25-Oct-2026 01:30:15");
  out.str("");
  write_dst_end(time_zone_rule{}, out, params, in_2026);
  EXPECT_EQ(out.str(), "");
}

class CmdParamsLog : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
  temp_folder dir_{"qz_cmd_params"};
};

TEST_F(CmdParamsLog, OpenWritesTheHeaderAndCloses) {
  cmd_params params(0, false);
  params.arg_line = "telvar -src \"a b.csv\"";
  params.diags_level = 3;
  ASSERT_TRUE(params.open_debug_file(dir_.file("log.txt")));
  EXPECT_EQ(params.diags_on, 1);
  EXPECT_EQ(params.diags_path, dir_.file("log.txt"));
  EXPECT_EQ(params.diags_level, 3u);
  EXPECT_EQ(dir_.get("log.txt"), "->telvar -src \"a b.csv\"\n");

  // A second open closes the first log, which keeps what it had.
  params.debug_trace("one");
  ASSERT_TRUE(params.open_debug_file(dir_.file("second.txt")));
  params.debug_trace("two");
  EXPECT_EQ(dir_.get("log.txt"), "->telvar -src \"a b.csv\"\n->one\n");
  EXPECT_EQ(dir_.get("second.txt"), "->telvar -src \"a b.csv\"\n->two\n");

  EXPECT_TRUE(params.close_debug_file());
  EXPECT_EQ(params.diags_on, 0);
  EXPECT_EQ(params.diags_stream, nullptr);
  params.debug_trace("after close");
  EXPECT_EQ(dir_.get("second.txt"), "->telvar -src \"a b.csv\"\n->two\n");
  EXPECT_TRUE(params.close_debug_file());
}

TEST_F(CmdParamsLog, PathInAMissingFolderFails) {
  cmd_params params(0, false);
  EXPECT_FALSE(params.open_debug_file(dir_.file("missing/log.txt")));
  EXPECT_FALSE(params.open_debug_file(""));
  EXPECT_EQ(params.diags_on, 0);
  EXPECT_EQ(params.diags_path, "");
  EXPECT_EQ(params.diags_stream, nullptr);
}

TEST_F(CmdParamsLog, DestroyingFlushesAndCloses) {
  {
    cmd_params params(0, true);
    ASSERT_TRUE(params.open_debug_file(dir_.file("log.txt")));
    *params.diags_stream << "unflushed tail";
  }
  EXPECT_EQ(dir_.get("log.txt"), "->\nunflushed tail");
  // A stream whose flag was cleared by hand is still released (the leak checker sees it).
  cmd_params params(0, false);
  ASSERT_TRUE(params.open_debug_file(dir_.file("other.txt")));
  params.diags_on = 0;
}

TEST_F(CmdParamsLog, ACopyTakesTheSettingsButLeavesTheSourceLogAlone) {
  cmd_params source(77, true);
  source.arg_line = "telvar -diags log";
  ASSERT_TRUE(source.open_debug_file(dir_.file("log.txt")));
  source.diags_level = 3;
  source.debug_trace("before copy");
  source.out_path = "/out/r.txt";
  source.alias_path_map["c:/case"] = "/mnt/e";
  source.quoted_fields = 1;
  source.thread_count = 4;
  source.separator_char = ',';
  source.profile = 1;
  source.stop_filetime = ~0ull;
  source.file_record.inode = 42;
  source.source_columns.emplace_back("when", 20);
  source.time_spec.flags = 0x405;
  source.exclude_filters.emplace_back();
  source.exclude_filters.back().item = L"*.tmp";
  source.sqlite_params = reinterpret_cast<sqlite_cmd_params*>(&source);
  *source.message_stream << "source text";

  cmd_params copy(source);
  source.debug_trace("after copy");

  EXPECT_EQ(dir_.get("log.txt"), "->telvar -diags log\n->before copy\n->after copy\n");
  EXPECT_EQ(source.diags_on, 1);
  EXPECT_EQ(source.message_stream->str(), "source text");

  EXPECT_EQ(copy.run_time, 77u);
  EXPECT_EQ(copy.arg_line, "telvar -diags log");
  EXPECT_EQ(copy.out_path, "/out/r.txt");
  EXPECT_EQ(copy.alias_path_map, source.alias_path_map);
  EXPECT_EQ(copy.quoted_fields, 1) << "a copy keeps how its values are quoted";
  EXPECT_EQ(copy.thread_count, 4u);
  EXPECT_EQ(copy.separator_char, ',');
  EXPECT_EQ(copy.profile, 1);
  EXPECT_EQ(copy.stop_filetime, ~0ull);
  ASSERT_EQ(copy.source_columns.size(), 1u);
  EXPECT_EQ(copy.source_columns[0].text, "when");
  EXPECT_EQ(copy.time_spec.flags, 0x405u);
  ASSERT_EQ(copy.exclude_filters.size(), 1u);
  EXPECT_EQ(copy.exclude_filters[0].item, L"*.tmp");
  EXPECT_EQ(copy.file_record.inode, 0u);
  EXPECT_EQ(copy.sqlite_params, nullptr);
  EXPECT_EQ(copy.diags_on, 0);
  EXPECT_EQ(copy.diags_level, 0u);
  EXPECT_EQ(copy.diags_path, "");
  EXPECT_EQ(copy.diags_stream, nullptr);
  ASSERT_NE(copy.message_stream, nullptr);
  EXPECT_NE(copy.message_stream, source.message_stream);
  EXPECT_EQ(copy.message_stream->str(), "");

  cmd_params plain(0, false);
  cmd_params plain_copy(plain);
  EXPECT_EQ(plain_copy.message_stream, nullptr);
}

TEST_F(CmdParamsLog, AssignmentReleasesTheTargetsOwnStreams) {
  cmd_params target(1, true);
  ASSERT_TRUE(target.open_debug_file(dir_.file("target.txt")));
  *target.diags_stream << "pending";
  cmd_params source(2, false);
  source.out_path = "/o";

  target = source;
  EXPECT_EQ(dir_.get("target.txt"), "->\npending") << "closed, so its last text reached the file";
  EXPECT_EQ(target.diags_on, 0);
  EXPECT_EQ(target.diags_stream, nullptr);
  EXPECT_EQ(target.message_stream, nullptr) << "the source has none";
  EXPECT_EQ(target.run_time, 2u);
  EXPECT_EQ(target.out_path, "/o");

  cmd_params& same = target;
  ASSERT_TRUE(target.open_debug_file(dir_.file("self.txt")));
  target = same;
  EXPECT_EQ(target.diags_on, 1) << "self-assignment changes nothing";
  target.debug_trace("still open");
  EXPECT_EQ(dir_.get("self.txt"), "->\n->still open\n");

  // copy_from on its own releases the streams it replaces (the leak checker sees them).
  cmd_params holder(0, true);
  ASSERT_TRUE(holder.open_debug_file(dir_.file("holder.txt")));
  holder.copy_from(source);
  EXPECT_EQ(holder.message_stream, nullptr);
  EXPECT_EQ(holder.diags_stream, nullptr);
}

TEST(CmdParamsTimeSpec, StartsUnbuilt) {
  cmd_params params(0, false);
  EXPECT_EQ(params.time_spec.flags, 0u);
  EXPECT_EQ(params.time_spec.min_year, 1900);
  EXPECT_EQ(params.time_spec.max_year, 2600);
  EXPECT_EQ(params.time_spec.reserved, 0u);
}

TEST(CmdParamsFileRecord, ClearedByTheHelper) {
  cmd_params params(0, false);
  params.file_record.path = "/x";
  params.file_record.attributes = 6;
  params.file_record.attr_names = {"n"};
  clear_params_log_record(params);
  EXPECT_TRUE(params.file_record.path.empty());
  EXPECT_EQ(params.file_record.attributes, 0u);
  EXPECT_TRUE(params.file_record.attr_names.empty());
}

}  // namespace
