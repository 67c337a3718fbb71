#include "framework/cmdline/qz_diag.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/time/qz_clock.h"
#include "tests/text/temp_folder.h"

namespace {

// A parameter set with an open log whose header line is left out of log().
class DiagLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    ASSERT_TRUE(params_.open_debug_file(dir_.file("diags.txt")));
    header_ = dir_.get("diags.txt").size();
  }
  std::string log() { return dir_.get("diags.txt").substr(header_); }

  temp_folder dir_{"qz_diag"};
  cmd_params params_{0, false};
  std::size_t header_ = 0;
};

TEST_F(DiagLog, RecordForms) {
  cmd_params* p = &params_;
  const std::string long_arg(1000, 'x');
  struct row {
    const char* name;
    std::function<void()> write;
    std::string record;
  } rows[] = {
      {"trace", [&] { p->debug_trace("abc"); }, "->abc\n"},
      {"stream", [&] { p->debug_trace_stream(std::ostringstream("s 1")); }, "->s 1\n"},
      {"list keeps empty items", [&] { p->debug_trace_list({"a", "", "b"}); }, "->a; ; b\n"},
      {"replaced", [&] { p->debug_trace_replaced("a-b-c", "-", "+"); }, "->a+b+c\n"},
      {"replaced, empty search", [&] { p->debug_trace_replaced("a-b", "", "+"); }, "->a-b\n"},
      {"replaced, search absent", [&] { p->debug_trace_replaced("a-b", "x", "+"); }, "->a-b\n"},
      {"printf", [&] { cmd_params::diag_printf(p, "%d-%s", 5, "x"); }, "->5-x\n"},
      {"printf cut to strlen(format) + 254", [&] { cmd_params::diag_printf(p, "%s", long_arg.c_str()); },
       "->" + std::string(256, 'x') + "\n"},
      {"message", [&] { cmd_params::diag_message(p, "ok %d", 1); }, "->ok 1\n"},
      {"named with trailer", [&] { cmd_params::diag_message_named(p, "scan", "done", "ok"); }, "->scan : ok: done\n"},
      {"named without trailer", [&] { cmd_params::diag_message_named(p, "scan", nullptr, "ok"); }, "->scan : ok\n"},
      {"trailer without name", [&] { cmd_params::diag_message_named(p, nullptr, "done", "ok"); }, "->ok: done\n"},
      {"list message", [&] { cmd_params::diag_message_list(p, {"a", "b"}, "files %d", 2); }, "->files 2: a;b\n"},
      {"list message, empty list", [&] { cmd_params::diag_message_list(p, {}, "files"); }, "->files: \n"},
      {"if enabled", [&] { debug_trace_if_enabled(p, "t"); }, "->t\n"},
      {"if enabled, empty text", [&] { debug_trace_if_enabled(p, ""); }, ""},
      {"stream if enabled", [&] { debug_trace_stream_if_enabled(p, std::ostringstream("u")); }, "->u\n"},
      {"hex value alone", [&] { trace_hex_value(p, "off", 0x1f, 0, 0); }, "->off: 0x1f\n"},
      {"hex value, second and count",
       [&] { trace_hex_value(p, "run", 0x100, 0x12345, 7); }, "->run: 0x100/0x12345 [7]\n"},
      {"hex value, count without second", [&] { trace_hex_value(p, "n", 5, 0, 12); }, "->n: 0x05 [12]\n"},
      {"hex value, no label", [&] { trace_hex_value(p, nullptr, 5, 6, 7); }, ""},
      {"command line quotes values",
       [&] { debug_trace_command_line(p, {"telvar", "-src", "a b.csv", "-quiet"}); },
       "->telvar -src \"a b.csv\" -quiet\n"},
      {"command line, empty list", [&] { debug_trace_command_line(p, {}); }, ""},
      {"command line, only empty arguments", [&] { debug_trace_command_line(p, {"", ""}); }, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::size_t before = log().size();
    r.write();
    EXPECT_EQ(log().substr(before), r.record);
  }
}

TEST_F(DiagLog, LevelsCompareSigned) {
  struct row {
    u32 diags_level;
    i32 level;
    bool writes;
  } rows[] = {{0, -1, true}, {0, 0, true},  {0, 1, false}, {0, 2, false}, {2, 2, true},
              {2, 3, false}, {3, 3, true},  {3, 4, false}, {3, -5, true}, {0xFFFFFFFF, 0, false}};
  const u8 byte = 0x41;
  for (const row& r : rows) {
    SCOPED_TRACE("diags_level " + std::to_string(r.diags_level) + ", level " + std::to_string(r.level));
    params_.diags_level = r.diags_level;
    const std::size_t before = log().size();
    params_.debug_trace_level(r.level, "t");
    params_.debug_trace_stream_level(r.level, std::ostringstream("s"));
    cmd_params::diag_message_level(&params_, r.level, "m");
    params_.debug_hex_dump_level(r.level, &byte, 1, 0);
    const std::string written = log().substr(before);
    if (r.writes)
      EXPECT_EQ(written, "->t\n->s\n->m\n->[0x1]\n0x00000000 : 41 " + std::string(45, ' ') + "  A\n\n");
    else
      EXPECT_EQ(written, "");
  }
}

TEST_F(DiagLog, NothingWhileOffOrWithoutAnObject) {
  params_.close_debug_file();
  const std::string before = dir_.get("diags.txt");
  cmd_params* p = &params_;
  const u8 bytes[] = {1, 2};
  p->debug_trace("t");
  p->debug_trace_list({"a"});
  p->debug_trace_replaced("a", "a", "b");
  p->debug_hex_dump(bytes, 2, 0);
  p->debug_flush();
  p->debug_clear_state();
  cmd_params::diag_printf(p, "x");
  cmd_params::diag_message_named(p, "n", "t", "x");
  debug_trace_if_enabled(p, "t");
  debug_trace_command_line(p, {"a"});
  // The null forms: no object, no record, no crash.
  debug_trace_if_enabled(nullptr, "t");
  debug_trace_stream_if_enabled(nullptr, std::ostringstream("t"));
  debug_trace_command_line(nullptr, {"a"});
  trace_hex_value(p, "off", 1, 2, 3);
  trace_hex_value(nullptr, "off", 1, 2, 3);
  cmd_params::diag_printf(nullptr, "x");
  cmd_params::diag_message(nullptr, "x");
  cmd_params::diag_message_level(nullptr, 0, "x");
  cmd_params::diag_message_named(nullptr, "n", "t", "x");
  cmd_params::diag_message_list(nullptr, {"a"}, "x");
  EXPECT_EQ(dir_.get("diags.txt"), before);
}

TEST_F(DiagLog, ClearStateMakesTheLogWritableAgain) {
  params_.diags_stream->setstate(std::ios::badbit);
  params_.debug_trace("lost");
  params_.debug_clear_state();
  params_.debug_trace("kept");
  EXPECT_EQ(log(), "->kept\n");
}

TEST_F(DiagLog, HexDumpLayout) {
  std::vector<u8> sixteen(16), seventeen(17, 'Q');
  for (size_t i = 0; i < 16; ++i) {
    sixteen[i] = static_cast<u8>('A' + i);
    seventeen[i] = static_cast<u8>(i);
  }
  const u8 three[] = {0x41, 0x00, 0x7F};
  const std::string full_row = "41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50   ABCDEFGHIJKLMNOP\n";
  struct row {
    const char* name;
    const u8* bytes;
    i32 size;
    u64 offset;
    std::string record;
  } rows[] = {
      {"three bytes padded", three, 3, 0, "->[0x3]\n0x00000000 : 41 00 7f " + std::string(39, ' ') + "  A..\n\n"},
      {"sixteen bytes end on a bare label", sixteen.data(), 16, 0x100,
       "->[0x10]\n0x00000100 : " + full_row + "0x00000110 : \n"},
      {"seventeen bytes", seventeen.data(), 17, 0,
       "->[0x11]\n0x00000000 : 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f   ................\n"
       "0x00000010 : 51 " +
           std::string(45, ' ') + "  Q\n\n"},
      {"offset wider than 8 digits", three, 1, 0x123456789ull,
       "->[0x1]\n0x123456789 : 41 " + std::string(45, ' ') + "  A\n\n"},
      {"size 0", three, 0, 0, ""},
      {"negative size", three, -3, 0, ""},
      {"null bytes", nullptr, 3, 0, ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::size_t before = log().size();
    params_.debug_hex_dump(r.bytes, r.size, r.offset);
    EXPECT_EQ(log().substr(before), r.record);
  }
  params_.diags_level = 3;
  params_.debug_hex_dump_level(0, three, 0x80000000u, 0);
  EXPECT_EQ(log().find("[0x80000000]"), std::string::npos) << "a size past the signed range is refused";
}

// The profile line carries the whole seconds since the start; a report is retried when the
// clock's second turns over during it.
TEST_F(DiagLog, ProfileLine) {
  auto report_after = [&](u32 seconds, const std::string& name) -> std::string {
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::size_t before = log().size();
      const u64 now = current_ntp_time();
      profile_report(ntp_subtract_seconds(now, seconds), params_, name);
      if (current_ntp_time() == now) return log().substr(before);
    }
    return "clock kept moving";
  };
  EXPECT_EQ(report_after(3, ""), "->Profile: 3 secs\n");
  EXPECT_EQ(report_after(3, "load"), "->[load] Profile: 3 secs\n");
  const std::size_t before = log().size();
  profile_report(0, params_, "x");
  EXPECT_EQ(log().size(), before) << "no start, no line";
  params_.diags_on = 0;
  EXPECT_EQ(report_after(3, "load"), "");
}

// The records of the lower layers (qz_diag_sink.h) reach the log only while diagnostics are on.
TEST_F(DiagLog, SinkOfTheLowerLayers) {
  qz_diag_sink* sink = &params_;
  diag_sink_printf(sink, "skipped %s", "x");
  EXPECT_EQ(log(), "->skipped x\n");
  params_.diags_on = 0;
  diag_sink_printf(sink, "skipped %s", "y");
  EXPECT_EQ(log(), "->skipped x\n");
}

TEST(ResolveAlias, PathAndFolderAliases) {
  struct row {
    const char* name;
    std::map<std::string, std::string> aliases, folders;
    std::string path, result, out;
  } rows[] = {
      {"no aliases", {}, {}, "C:/A.txt", "C:/A.txt", ""},
      {"path alias, case folded", {{"c:/a.txt", "/x/a.txt"}}, {}, "C:/A.TXT", "/x/a.txt", "/x/a.txt"},
      {"folder key inside the path", {}, {{"c:/case", "/mnt/e"}}, "D:/x/C:/Case/a.txt", "/mnt/e/a.txt",
       "/mnt/e/a.txt"},
      {"remainder keeps its case", {}, {{"c:/case", "/mnt/e"}}, "C:/CASE/File.TXT", "/mnt/e/File.TXT",
       "/mnt/e/File.TXT"},
      {"the key itself is not longer", {}, {{"c:/case", "/mnt/e"}}, "c:/case", "c:/case", ""},
      {"no folder matches", {}, {{"c:/case", "/mnt/e"}}, "C:/Other/b", "C:/Other/b", ""},
      {"last key tried first", {}, {{"c:/case", "/mnt/e"}, {"c:/case/sub", "/mnt/s"}}, "c:/case/sub/f",
       "/mnt/s/f", "/mnt/s/f"},
      {"path alias before folders", {{"c:/case/f", "/p"}}, {{"c:/case", "/mnt/e"}}, "c:/case/f", "/p", "/p"},
      {"empty path", {}, {{"c:/case", "/mnt/e"}}, "", "", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cmd_params params(0, false);
    params.alias_map = r.aliases;
    params.alias_path_map = r.folders;
    std::string out = "stale";
    EXPECT_EQ(params.resolve_alias(out, r.path), r.result);
    EXPECT_EQ(out, r.out);
  }
}

// What the recording hook saw on its last call.
struct hook_call {
  int calls = 0;
  bool has_name = false;
  std::string name;
  u64 word = 0;
  bool has_value = false;
  u64 value = 0;
  log_record* record = nullptr;
  bool has_code = false;
  u32 code = 0;
  std::string word_text;  // the text the word points to, for the wide hook
};

i32 recording_hook(void* context, const std::string* name, u64 word, u64* value, log_record* record, u32* code) {
  hook_call& call = *static_cast<hook_call*>(context);
  ++call.calls;
  call.has_name = name != nullptr;
  call.name = name ? *name : "";
  call.word = word;
  call.has_value = value != nullptr;
  call.value = value ? *value : 0;
  call.record = record;
  call.has_code = code != nullptr;
  call.code = code ? *code : 0;
  if (!code && call.name == "wide") call.word_text = *reinterpret_cast<const std::string*>(word);
  return 7;
}

TEST(Hooks, ArgumentsPerEvent) {
  cmd_params params(0, false);
  hook_call call;
  params.hooks_on = 1;
  params.hook_fn = recording_hook;
  params.hook_context = &call;

  EXPECT_EQ(params.run_hook_code4(), 7);
  EXPECT_FALSE(call.has_name);
  EXPECT_EQ(call.word, 0u);
  EXPECT_FALSE(call.has_value);
  EXPECT_EQ(call.code, 4u);

  struct row {
    const char* name;
    std::function<i32()> run;
    u32 code;
  } coded[] = {{"code 1", [&] { return params.run_hook_code1("n1", 11); }, 1},
               {"code 2", [&] { return params.run_hook_code2("n1", 11); }, 2}};
  for (const row& r : coded) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(r.run(), 7);
    EXPECT_EQ(call.name, "n1");
    EXPECT_EQ(call.word, 11u);
    EXPECT_FALSE(call.has_value);
    EXPECT_EQ(call.record, nullptr);
    EXPECT_TRUE(call.has_code);
    EXPECT_EQ(call.code, r.code);
  }

  EXPECT_EQ(params.run_hook_file("file", 3, 99), 7);
  EXPECT_EQ(call.word, 3u);
  EXPECT_TRUE(call.has_value);
  EXPECT_EQ(call.value, 99u);
  EXPECT_EQ(call.record, nullptr) << "a cleared record is not handed on";
  EXPECT_FALSE(call.has_code);

  params.file_record.size = 5;
  EXPECT_EQ(params.run_hook_file_wide("wide", L"\u00e4 text", 8), 7);
  EXPECT_EQ(call.word_text, "\xc3\xa4 text");
  EXPECT_EQ(call.value, 8u);
  EXPECT_EQ(call.record, &params.file_record);
  EXPECT_FALSE(call.has_code);
}

TEST(Hooks, NotCalledWhenOffOrNameless) {
  cmd_params params(0, false);
  hook_call call;
  params.hook_fn = recording_hook;
  params.hook_context = &call;
  auto run_all = [&] {
    return std::vector<i32>{params.run_hook_code4(), params.run_hook_code1("n", 1), params.run_hook_code2("n", 1),
                            params.run_hook_file("n", 1, 1), params.run_hook_file_wide("n", L"t", 1)};
  };
  EXPECT_EQ(run_all(), std::vector<i32>(5, -1)) << "hooks_on clear";
  params.hooks_on = 1;
  params.hook_fn = nullptr;
  EXPECT_EQ(run_all(), std::vector<i32>(5, -1)) << "no hook function";
  params.hook_fn = recording_hook;
  EXPECT_EQ(params.run_hook_code1("", 1), -1);
  EXPECT_EQ(params.run_hook_code2("", 1), -1);
  EXPECT_EQ(params.run_hook_file("", 1, 1), -1);
  EXPECT_EQ(params.run_hook_file_wide("", L"t", 1), -1);
  EXPECT_EQ(call.calls, 0);
  EXPECT_EQ(vmdk_hook_stub(nullptr, {L"a", L"\u00e4"}), 0);
}

}  // namespace
