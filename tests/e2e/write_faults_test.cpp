// A disk that fills up, fails to sync or fails to read part-way, under every writer: telvar
// ends with a message and status 255, never with a shorter output reported as a
// success; the source is left as it was and a database still passes the integrity check.
// The failing disk is a small library preloaded into telvar (shim/fault_shim.c).
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/telvar_process.h"
#include "tests/sqlite_store/db_rows.h"

namespace {

struct writer {
  const char* name;
  std::vector<std::string> args;
  const char* output;  // the file or folder written under the failing disk
};

const writer writers[] = {
    {"html", {"-csv_to_html"}, "out.html"},
    {"json", {"-csv_to_json"}, "out.json"},
    {"json -flat", {"-csv_to_json", "-flat"}, "out.json"},
    {"cleanup", {"-change_csv_separator", ";"}, "out.csv"},
    {"split", {"-split_into_files"}, "out"},
    {"sqlite", {"-csv_to_sqlite"}, "out.db"},
};

class write_faults : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(TELVAR_BINARY).empty()) GTEST_SKIP() << "telvar is not built";
    ASSERT_FALSE(folder.path().empty());
    std::filesystem::create_directories(disk());
    std::string text = "host,user,event,detail\n";
    for (int row = 0; row < 20000; ++row)
      text += "WS-" + std::to_string(row % 40) + ",user" + std::to_string(row) + ",4624,\"a, \"\"quoted\"\" detail\"\n";
    source_text = text;
  }

  std::string disk() const { return folder.file("disk"); }

  // telvar converting source into disk/<output>, with options (its folder set here).
  e2e::run_result run_writer(const writer& w, const std::string& source, e2e::run_options options) const {
    std::vector<std::string> args = {"-src", source, "-dst", disk() + "/" + w.output};
    args.insert(args.end(), w.args.begin(), w.args.end());
    args.push_back("-quiet");
    options.cwd = folder.path();
    return e2e::run_telvar(args, options);
  }

  // telvar converting source into disk/<output> with the failing disk set by faults.
  // faults touch only files under fault_dir (the outputs' disk unless told otherwise).
  e2e::run_result convert(const writer& w, const std::string& source, std::vector<std::string> faults,
                          const std::string& fault_dir = "") const {
    e2e::run_options options;
    options.environment = e2e::fault_shim_environment((fault_dir.empty() ? disk() : fault_dir) + "/", std::move(faults));
    return run_writer(w, source, options);
  }

  temp_folder folder{"e2e_faults"};
  std::string source_text;
};

TEST_F(write_faults, a_full_disk_fails_every_writer) {
  const std::string source = folder.file("events.csv");
  e2e::write_file(source, source_text);
  for (const writer& w : writers) {
    for (const char* bytes : {"0", "4096", "200000"}) {
      SCOPED_TRACE(std::string(w.name) + " after " + bytes + " bytes");
      std::filesystem::remove_all(disk() + "/" + w.output);
      const e2e::run_result run = convert(w, source, {std::string("TELVAR_FAULT_WRITE_BYTES=") + bytes});
      EXPECT_EQ(run.status, 255) << run.err;
      EXPECT_NE(run.err, "");
      EXPECT_EQ(e2e::read_file(source), source_text);
      if (std::string(w.name) == "sqlite" && std::filesystem::exists(disk() + "/out.db")) {
        // Read without the shim, as the next user of the file would (a journal left behind is
        // rolled back on the way).
        EXPECT_EQ(db_rows(disk() + "/out.db", "pragma integrity_check;"), std::vector<std::string>{"ok"});
      }
    }
  }
}

// A file that reaches the size limit of the process (ulimit -f) is a failed write like any
// other: the run reports it and ends with 255, rather than being killed mid-row by the signal
// the limit raises.
TEST_F(write_faults, a_file_size_limit_is_a_failed_write) {
  const std::string source = folder.file("events.csv");
  e2e::write_file(source, source_text);
  for (const writer& w : writers) {
    SCOPED_TRACE(w.name);
    std::filesystem::remove_all(disk() + "/" + w.output);
    e2e::run_options options;
    options.file_size_limit = 64 << 10;
    const e2e::run_result run = run_writer(w, source, options);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 255);
    EXPECT_NE(run.err.find("prob writing"), std::string::npos) << run.err;
    EXPECT_EQ(e2e::read_file(source), source_text);
  }
}

TEST_F(write_faults, a_failed_sync_is_never_a_success_with_data_missing) {
  const std::string source = folder.file("events.csv");
  e2e::write_file(source, source_text);
  for (const writer& w : writers) {
    SCOPED_TRACE(w.name);
    std::filesystem::remove_all(disk() + "/" + w.output);
    const e2e::run_result run = convert(w, source, {"TELVAR_FAULT_FSYNC=1"});
    // A writer that does not sync is not touched; one that does reports the failure.
    if (run.status == 0) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.status, 255);
      EXPECT_NE(run.err, "");
    }
  }
  // The store promises a database on disk after a run that ends 0: it syncs, so it must fail.
  const e2e::run_result sqlite = convert(writers[5], source, {"TELVAR_FAULT_FSYNC=1"});
  EXPECT_EQ(sqlite.status, 255) << sqlite.err;
}

TEST_F(write_faults, a_source_that_fails_to_read_part_way_fails_the_run) {
  std::filesystem::create_directories(folder.file("evidence"));
  const std::string source = folder.file("evidence/events.csv");
  e2e::write_file(source, source_text);
  for (const writer& w : writers) {
    for (const char* bytes : {"0", "5000", "300000"}) {
      SCOPED_TRACE(std::string(w.name) + " after " + bytes + " bytes");
      std::filesystem::remove_all(disk() + "/" + w.output);
      const e2e::run_result run = convert(w, source, {std::string("TELVAR_FAULT_READ_BYTES=") + bytes}, folder.file("evidence"));
      EXPECT_EQ(run.status, 255) << run.err;
      EXPECT_NE(run.err, "");
      EXPECT_EQ(e2e::read_file(source), source_text);
    }
  }
}

// The database readers that write files say which one the full disk cut short.
TEST_F(write_faults, a_reader_names_the_file_it_could_not_write) {
  const std::string source = folder.file("events.csv");
  e2e::write_file(source, source_text);
  const std::string db = folder.file("case.db");
  ASSERT_EQ(e2e::run_telvar({"-src", source, "-dst", db, "-csv_to_sqlite", "-quiet"}).status, 0);
  e2e::run_options options;
  options.environment = e2e::fault_shim_environment(disk() + "/", {"TELVAR_FAULT_WRITE_BYTES=0"});
  struct reader {
    const char* name;
    std::vector<std::string> args;
    std::string written;  // what the message names: the file, or the start of its path
  };
  const reader readers[] = {
      {"one table", {"-sqlite_to_csv", "metadata", "-dst", disk() + "/metadata.csv"}, disk() + "/metadata.csv\n"},
      {"every table", {"-artifact_tables", "-dst", disk() + "/tables"}, disk() + "/tables/"},
  };
  for (const reader& r : readers) {
    SCOPED_TRACE(r.name);
    std::vector<std::string> args = {"-src", db, "-quiet"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    const e2e::run_result run = e2e::run_telvar(args, options);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err.rfind("prob writing " + r.written, 0), 0u) << run.err;
  }
}

// A conversion whose output failed reads no more of its source: a source of many megabytes is
// left after the first chunks once the disk is full, and the run ends with "prob writing ...".
TEST_F(write_faults, a_failed_output_stops_reading_the_source) {
  std::filesystem::create_directories(folder.file("evidence"));
  const std::string source = folder.file("evidence/events.csv");
  std::string text = "host,user,event,detail\n";
  for (int row = 0; row < 400000; ++row)
    text += "WS-" + std::to_string(row % 40) + ",user" + std::to_string(row) + ",4624,logon of the day\n";
  e2e::write_file(source, text);
  const std::string tally = folder.file("tally");
  for (const writer& w : writers) {
    SCOPED_TRACE(w.name);
    std::filesystem::remove_all(disk() + "/" + w.output);
    std::filesystem::remove(tally);
    // The failing disk holds the source too, so that the reads of it are counted.
    const e2e::run_result run = convert(
        w, source, {"TELVAR_FAULT_WRITE_BYTES=200000", "TELVAR_FAULT_READ_TALLY=" + tally}, folder.path());
    EXPECT_EQ(run.status, 255) << run.err;
    EXPECT_EQ(run.err.rfind("prob writing ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find("prob analyzing"), std::string::npos) << run.err;
    const std::string read_bytes = e2e::read_file(tally);
    ASSERT_FALSE(read_bytes.empty());
    EXPECT_LT(std::stoull(read_bytes), text.size() / 4) << "of " << text.size();
  }
}

}  // namespace
