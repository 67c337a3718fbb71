// telvar's process entry: builds every object of the run, lets the start-up and the option
// parsers fill them, opens the results stream, runs one action and reports its outcome by
// the exit status (0, or -1 seen as 255; 128 + the signal when SIGINT, SIGTERM or SIGHUP
// stopped a conversion). Results go to standard output or the named file; messages and
// progress go to standard error.
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_argv.h"
#include "framework/cmdline/qz_cmdline_ctx.h"
#include "framework/cmdline/qz_console.h"
#include "framework/cmdline/qz_filename_filter.h"
#include "framework/cmdline/qz_name_source.h"
#include "framework/cmdline/qz_option_lookup.h"
#include "framework/io/qz_file_stats.h"
#include "framework/io/qz_interrupt.h"
#include "framework/io/qz_platform.h"
#include "framework/io/qz_portable_dir.h"
#include "framework/io/uni_fileio.h"
#include "framework/io/uni_output.h"
#include "framework/io/uni_std_streams.h"
#include "framework/text/qz_env.h"
#include "framework/text/qz_path.h"
#include "framework/text/uni_unicode.h"
#include "sqlite_store/sqlite_wrapper.h"
#include "tool/csv_banner.h"
#include "tool/csv_driver.h"
#include "tool/csv_writers.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/split_writer.h"
#include "tool/startup.h"
#include "tool/tool_options.h"
#include "tool/tool_report.h"
#include "tool/unique_names.h"

// The run end's exit callback: there is nothing to signal on this platform.
int tool_exit_callback(std::string* text);
// Whether the real or the effective user of the process is root. The run never asks.
bool is_root_user();

namespace {

constexpr int status_failed = -1;
constexpr const char* stdout_name = "standard output";

// The results stream on standard output: one 256 KiB buffer written to descriptor 1 in large
// writes. Line ends and flushes write nothing; drain() does. A reader that went away (EPIPE)
// ends the run at once and quietly: nothing more can be delivered and nothing is wrong here.
class stdout_buffer : public uni::streambuf_generic_output<char> {
 public:
  explicit stdout_buffer(bool clear_status) : streambuf_generic_output(uni::fileio::output_buffer_bytes),
                                              out_(false), clear_status_(clear_status) {}
  unsigned generic_write(const char* data, unsigned count) override {
    if (out_.write(data, count)) return count;
    if (errno == EPIPE) {
      if (clear_status_) clear_status_line();
      std::fflush(stderr);
      std::_Exit(0);
    }
    return 0xFFFFFFFF;
  }

 protected:
  int sync() override { return 0; }

 private:
  uni::stdout_stream out_;
  bool clear_status_;
};

class stdout_results : public std::ostream {
 public:
  explicit stdout_results(bool clear_status) : std::ostream(nullptr), buffer_(clear_status) {
    if (buffer_.has_buffer()) rdbuf(&buffer_);
  }
  ~stdout_results() override { buffer_.flush(); }
  // Writes what is pending; true when every byte written through the stream arrived.
  bool drain() { return good() && buffer_.flush() == 0; }

 private:
  stdout_buffer buffer_;
};

// The results stream of the run: the "-out" file, or standard output.
struct results_stream {
  uni::fileio file;
  std::unique_ptr<stdout_results> console;
  std::ostream* stream = nullptr;
  std::string name;
  // The "-out" file was opened as it was and is emptied here at the end (a file loop's).
  bool empty_when_finished = false;

  // Writes everything pending (closing the "-out" file, emptied first when that was left to
  // the end); true when all of it arrived.
  bool finish() {
    if (console) return console->drain();
    if (!file.is_open()) return true;
    const bool emptied = !empty_when_finished || file.truncate(0);
    const bool good = stream->good();
    const bool closed = file.close();
    return emptied && good && closed;
  }
};

// Whether standard output is the file at path: a conversion would then read what it writes.
bool stdout_is_file(const std::string& path) {
  qz_platform::file_status out;
  qz_platform::file_status file;
  return qz_platform::descriptor_status(1, out) && qz_platform::path_status(path, file) &&
         out.device == file.device && out.inode == file.inode;
}

// Whether the run converts one "-src" CSV (no file loop).
bool single_csv_source(const quazel_tool_metadata& ctx) {
  return !ctx.pipe && !ctx.enumdir_given && !ctx.csv_source.empty();
}

// The exit status of a run that a signal ended: 128 + the signal, as a shell shows it.
int interrupted_status() { return 128 + interrupt_signal(); }

// An output that an interruption left with only part of its rows.
void report_incomplete(const cmd_params& params, const std::string& output) {
  report(params, "interrupted: %s is incomplete\n", escape_invalid_utf8(output).c_str());
}

// What the SQLite and split writers write into: the database, or the "-dst" folder.
std::string shared_output_name(const quazel_tool_metadata& ctx) {
  return ctx.to_sqlite ? ctx.sqlite_path : ctx.dst;
}

// A source the conversion could not take; shown is the source as messages show it. Header
// rows that all fell short of the producing tool's minimum are named as the cause; a file or
// database that failed was reported by its writer, or is at the run's end.
void report_not_converted(const quazel_tool_metadata& ctx, const std::string& shown, csv_conversion result) {
  if (result == csv_conversion::output_failed) return;
  if (result == csv_conversion::header_too_short)
    report(ctx, "prob analyzing %s: no header row with enough columns\n", shown.c_str());
  else
    report(ctx, "prob analyzing %s\n", shown.c_str());
}

enum class file_outcome { written, is_source, busy, not_opened, not_converted, not_written, interrupted };

// What a run says of an output file that another run is writing.
constexpr const char* busy_message = "prob opening %s for writing, another run is writing it\n";

// The conversion of the current source into out through the writer the action flags choose.
csv_conversion convert_source(std::ostream& out, quazel_tool_metadata& ctx) {
  return convert_csv_file(out, ctx, active_csv_writer(ctx));
}

// One conversion of the current source into a file of its own, created or emptied. The source
// itself is never opened for writing, and a file another run is writing is left alone (busy).
// result is how the conversion ended, when it ran.
file_outcome convert_into_file(quazel_tool_metadata& ctx, const std::string& path, csv_conversion& result) {
  uni::fileio file;
  bool busy = false;
  // A name where nothing stands yet cannot be the source: it is created without a look first.
  // Either way the file is locked before anything is written, so that two runs at once never
  // write one file.
  if (file.create_new_utf8(path, false)) {
    busy = !file.lock_exclusive();
  } else {
    if (qz_platform::same_file(path, ctx.csv_source)) return file_outcome::is_source;
    if (!file.open_exclusive_utf8(path, false, true, &busy) && !busy) return file_outcome::not_opened;
  }
  if (busy) return file_outcome::busy;
  uni::fileio_output* stream = file.get_output_stream();
  if (stream == nullptr) {
    file.close();
    return file_outcome::not_opened;
  }
  result = convert_source(*stream, ctx);
  const bool converted = result == csv_conversion::converted;
  const bool good = stream->good();
  const bool closed = file.close();
  if (!converted && interrupt_signal() != 0) return file_outcome::interrupted;
  // A conversion that stopped at a failed write is a write failure.
  if (!good) return file_outcome::not_written;
  if (!converted) return file_outcome::not_converted;
  return closed ? file_outcome::written : file_outcome::not_written;
}

// The extension of a loop's output files: that of what the writer the dispatcher picks puts
// into them ("-csv_to_html" with "-change_csv_separator" also sets the cleanup flag, and
// still writes HTML).
const char* output_extension(const quazel_tool_metadata& ctx) {
  switch (select_csv_writer(ctx)) {
    case csv_writer_kind::html:
      return "html";
    case csv_writer_kind::json:
      return "json";
    case csv_writer_kind::cleanup:
      return "csv";
    default:
      return "bin";
  }
}

// The output file of one source of a file loop: dst, "/", the source's base name and the
// extension of what is written. A name already used in this run gets "-2", "-3", ... before
// the extension, so that sources of one base name from different folders do not replace
// each other's output.
std::string loop_output_path(const quazel_tool_metadata& ctx, const std::string& name,
                             unique_names& used) {
  std::string dir;
  std::string base;
  std::string ext;
  split_path(name.c_str(), dir, base, ext);
  const char* extension = output_extension(ctx);
  return used.take(ctx.dst + "/" + base, std::string(".") + extension);
}

enum class source_outcome { skipped, converted, failed, interrupted };

// The state a file loop keeps from one name to the next.
struct file_loop_state {
  unique_names used_outputs;
  file_stats stats;
  bool results_file_met = false;  // a source was the "-out" file, which is then left as it was
};

// Whether a name the walk found is passed over without a word: a link to a folder (the walk
// hands links out as files and never follows them), or the database this run writes and the
// files the library keeps beside it.
bool walk_passes_over(const quazel_tool_metadata& ctx, const std::string& name) {
  qz_platform::file_status status;
  if (qz_platform::path_status(name, status) && status.is_directory()) return true;
  return ctx.to_sqlite && is_database_file(name, ctx.dst);
}

// One name of a file loop. A name that passes the "-filter" list and no element of the
// "-filter_skip" list has its banner read and is converted on its own, or into the shared
// database or split folder; a failure is reported. A name that is not valid UTF-8 is tested
// against the lists with U+FFFD for its stray bytes (a folder the walk could not enter is not
// tested) and then fails at its banner, reported with its bytes escaped.
source_outcome convert_loop_source(quazel_tool_metadata& ctx, std::string name, std::ostream& results,
                                   file_loop_state& loop) {
  const bool valid_name = is_valid_utf8(name);
  const bool folder = !valid_name && !name.empty() && (name.back() == '/' || name.back() == '\\');
  if (!folder) {
    const std::string tested = valid_name ? name : replace_invalid_utf8(name);
    loop.stats.modified = 0;
    bool open_failed = false;
    // The time window needs the file's times, which a name the file layer cannot hold does
    // not give.
    if (!filename_passes_filters_narrow(&ctx, &open_failed, tested, ctx.include_filters,
                                        valid_name ? &loop.stats : nullptr, false)) {
      return source_outcome::skipped;
    }
    // A name that an element of the exclusion list passes is skipped; the time window is the
    // inclusion list's alone.
    if (!ctx.exclude_filters.empty() &&
        filename_passes_filters_narrow(&ctx, &open_failed, tested, ctx.exclude_filters, nullptr, false)) {
      return source_outcome::skipped;
    }
  }
  // Names typed for "-pipe" may hold environment names; names found on disk are taken as they
  // are.
  if (valid_name && ctx.pipe) expand_env_vars(name, true);
  const std::string shown = escape_invalid_utf8(name);
  if (valid_name && !ctx.pipe && walk_passes_over(ctx, name)) return source_outcome::skipped;
  // An output of this run is never read as a source: the results file stays as it was, the
  // "-diags" log holds this run's lines.
  if (valid_name && !ctx.out_path.empty() && qz_platform::same_file(name, ctx.out_path)) {
    report(ctx, "prob analyzing %s, it is the results file of this run\n", shown.c_str());
    loop.results_file_met = true;
    return source_outcome::failed;
  }
  if (valid_name && ctx.diags_on && qz_platform::same_file(name, ctx.diags_path)) {
    report(ctx, "prob analyzing %s, it is the -diags log of this run\n", shown.c_str());
    return source_outcome::failed;
  }
  if (!read_csv_banner(ctx, name)) {
    report(ctx, "prob analyzing %s\n", shown.c_str());
    return source_outcome::failed;
  }
  report(ctx, "analyzing %s\n", shown.c_str());

  bool ok;
  csv_conversion result = csv_conversion::failed;
  std::string output;
  if (ctx.sqlite_on || ctx.split) {
    output = shared_output_name(ctx);
    result = convert_source(results, ctx);
    ok = result == csv_conversion::converted;
  } else {
    output = loop_output_path(ctx, name, loop.used_outputs);
    const file_outcome outcome = convert_into_file(ctx, output, result);
    if (outcome == file_outcome::busy) {
      report(ctx, busy_message, escape_invalid_utf8(output).c_str());
      return source_outcome::failed;
    }
    ok = outcome == file_outcome::written;
  }
  if (!ok && interrupt_signal() != 0) {
    report_incomplete(ctx, output);
    return source_outcome::interrupted;
  }
  if (!ok) {
    report_not_converted(ctx, shown, result);
    return source_outcome::failed;
  }
  return source_outcome::converted;
}

// "-pipe" and "-enumdir": every name is converted on its own (convert_loop_source); a name
// that fails is reported and the loop goes on. The run fails when any source failed, so that
// a script sees it; names the filters skip are no failure, names that are not valid UTF-8 are.
// An interruption ends the loop at once, also while it waits for names on standard input. The
// walk never enters the "-dst" folder, nor reads the database it writes.
int run_file_loop(quazel_tool_metadata& ctx, results_stream& results) {
  std::string root = ctx.enumdir_path;
  if (!ctx.pipe) {
    // The walk takes a root without any '/' for a Windows path and would find nothing in it;
    // a root that names no folder would end the run as if the folder were empty.
    if (root.find_first_of("/\\") == std::string::npos) root += '/';
    qz_platform::file_status folder;
    if (root.find_first_of("*?") == std::string::npos &&
        !(qz_platform::path_status(root, folder) && folder.is_directory())) {
      report(ctx, "prob reading folder %s\n", escape_invalid_utf8(ctx.enumdir_path).c_str());
      return status_failed;
    }
  }
  qzportdir::stdin_stream_ex names(&ctx);
  const bool ready = ctx.pipe ? names.init_to_stdin(true)
                              : names.init_to_enumdir(root, ctx.enumdir_depth, ctx.include_filters);
  if (!ready) return status_failed;
  // Under "-csv_to_sqlite" the destination is the database file, not a folder.
  if (!make_destination_folder(ctx)) return status_failed;
  if (!ctx.to_sqlite) names.skip_folder(ctx.dst);

  file_loop_state loop;
  std::string name;
  u64 failed_sources = 0;
  auto take = [&](const std::string& source) {
    const source_outcome outcome = convert_loop_source(ctx, source, *results.stream, loop);
    if (outcome == source_outcome::failed) ++failed_sources;
  };
  // A signal that comes while standard input is read cuts the read short: it ends the names.
  while (interrupt_signal() == 0) {
    const bool more = names.read(name, true);
    // The names the reading left out came before the one it gives.
    for (size_t i = 0; i < names.refused_names.size() && interrupt_signal() == 0; ++i) take(names.refused_names[i]);
    names.refused_names.clear();
    if (!more) break;
    if (!name.empty() && interrupt_signal() == 0) take(name);
  }
  if (loop.results_file_met) results.empty_when_finished = false;
  if (interrupt_signal() != 0) return interrupted_status();
  return failed_sources == 0 ? 0 : status_failed;
}

// One CSV source into the "-dst" file or the results stream.
int run_single_conversion(quazel_tool_metadata& ctx, results_stream& results, bool banner_read) {
  // The source as messages show it.
  const std::string source = escape_invalid_utf8(ctx.csv_source);
  if (!banner_read) {
    report(ctx, "prob analyzing %s\n", source.c_str());
    return status_failed;
  }
  csv_conversion result = csv_conversion::failed;
  if (!ctx.to_sqlite && !ctx.split && !ctx.dst.empty()) {
    switch (convert_into_file(ctx, ctx.dst, result)) {
      case file_outcome::written:
        return 0;
      case file_outcome::not_opened:
        report(ctx, "prob opening %s for writing\n", escape_invalid_utf8(ctx.dst).c_str());
        return status_failed;
      case file_outcome::busy:
        report(ctx, busy_message, escape_invalid_utf8(ctx.dst).c_str());
        return status_failed;
      case file_outcome::not_written:
        report(ctx, "prob writing %s\n", escape_invalid_utf8(ctx.dst).c_str());
        return status_failed;
      case file_outcome::interrupted:
        report_incomplete(ctx, ctx.dst);
        return interrupted_status();
      case file_outcome::is_source:
      case file_outcome::not_converted:
        report_not_converted(ctx, source, result);
        return status_failed;
    }
  }
  // The SQLite and split writers put their rows elsewhere; the others write the results stream.
  result = convert_source(*results.stream, ctx);
  if (result == csv_conversion::converted) return 0;
  if (interrupt_signal() != 0) {
    report_incomplete(ctx, ctx.to_sqlite || ctx.split ? shared_output_name(ctx) : results.name);
    return interrupted_status();
  }
  // A results stream that failed is reported when it is closed.
  if (results.stream->good()) report_not_converted(ctx, source, result);
  return status_failed;
}

void write_metadata_listing(std::ostream& out, const std::map<u64, sqlite_metadata_row>& records) {
  for (const auto& entry : records) {
    const sqlite_metadata_row& row = entry.second;
    out << std::right << std::setw(6) << row.row_data_start << " : " << std::setw(6) << row.row_data_end << " : "
        << row.data_tbl_name << '\n';
  }
}

void write_ref_listing(std::ostream& out, const std::map<std::string, u64>& records) {
  out << std::right << std::setw(7) << "count" << " : table name\n";
  for (const auto& entry : records)
    out << std::right << std::setw(7) << entry.second << " : " << std::left << std::setw(30) << entry.first
        << '\n';
}

// The database readers; the first flag set chooses.
int run_database_reader(quazel_tool_metadata& ctx, std::ostream& results) {
  bool found = false;
  if (ctx.artifact_tables) {
    found = ctx.sqlite_state.export_artifact_tables({}, ctx.dst, ctx.change_separator != 0, ctx);
  } else if (ctx.metadata_records) {
    std::map<u64, sqlite_metadata_row> records;
    found = ctx.sqlite_state.get_metadata_records(records) && !records.empty();
    if (found) write_metadata_listing(results, records);
  } else if (ctx.ref_records) {
    std::map<std::string, u64> records;
    found = ctx.sqlite_state.get_ref_records(records) && !records.empty();
    if (found) write_ref_listing(results, records);
  } else if (ctx.to_csv) {
    found = ctx.sqlite_state.export_table(ctx.dst, ctx.export_table_name, ctx);
  }
  if (!found) {
    report(ctx, "no results\n");
    return status_failed;
  }
  // Tables that could not be written completely were reported as they failed.
  return ctx.sqlite_state.failed_exports == 0 ? 0 : status_failed;
}

// Opens the results stream: the "-out" file (emptied unless "-append"), else standard output.
// False after a message when the file cannot be opened or is an input of the run. A file loop
// meets its sources one by one and writes nothing into the results stream: it empties an
// existing file only at its end, and not at all when one of its sources is that file.
bool open_results(quazel_tool_metadata& ctx, std::vector<std::string>& args, results_stream& results) {
  if (ctx.out_path.empty()) {
    results.console = std::make_unique<stdout_results>(ctx.status_display != 0);
    results.stream = results.console.get();
    results.name = stdout_name;
    return true;
  }
  results.name = ctx.out_path;
  if (single_csv_source(ctx) && qz_platform::same_file(ctx.out_path, ctx.csv_source)) {
    report(ctx, "prob analyzing %s\n", escape_invalid_utf8(ctx.csv_source).c_str());
    return false;
  }
  if (const char* input = input_named_by(ctx, ctx.csv_source, ctx.out_path)) {
    report(ctx, "prob opening results file: %s for writing, it is %s\n", escape_invalid_utf8(ctx.out_path).c_str(),
           input);
    return false;
  }
  const bool append = find_option_flag("-append", args, false);
  const bool loop = ctx.pipe || ctx.enumdir_given;
  bool busy = false;
  if (results.file.open_exclusive_utf8(ctx.out_path, false, !append && !loop, &busy))
    results.stream = results.file.get_output_stream();
  // A device or a pipe is written as it is.
  qz_platform::file_status opened;
  results.empty_when_finished = !append && loop && results.file.stat(opened) && opened.is_regular();
  if (busy) {
    report(ctx, "prob opening results file: %s for writing, another run is writing it\n",
           escape_invalid_utf8(ctx.out_path).c_str());
    return false;
  }
  if (results.stream == nullptr) {
    results.file.close();
    report(ctx, "prob opening results file: %s for writing\n", escape_invalid_utf8(ctx.out_path).c_str());
    return false;
  }
  return true;
}

int run(std::vector<std::string>& args) {
  cmdline_ctx run_end;
  std::ostringstream startup_record;
  if (const std::optional<int> ended = process_startup_args(args, startup_record)) return *ended;

  quazel_tool_metadata ctx;
  // The status line rewrites itself with terminal control sequences, which would only litter
  // a file or a pipe: it is shown on a terminal alone. Messages are written either way.
  if (!isatty(STDERR_FILENO)) ctx.status_display = 0;
  // The options create outputs (the database, the "-pipe" folder) and the results file follows:
  // a signal from the first of them on is noted and stops the conversion at its first row.
  catch_interrupt_signals();
  bool banner_read = false;
  if (!parse_tool_options(ctx, args, tool_version_text, &banner_read)) {
    const std::string record = startup_record.str() + "\n";
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::fflush(stdout);
    return status_failed;
  }
  run_end.init_from_params(ctx, tool_exit_callback);

  // Standard output appended to the source would feed the conversion its own output.
  if (single_csv_source(ctx) && !ctx.to_sqlite && !ctx.split && ctx.dst.empty() && ctx.out_path.empty() &&
      stdout_is_file(ctx.csv_source)) {
    report(ctx, "prob analyzing %s\n", escape_invalid_utf8(ctx.csv_source).c_str());
    return status_failed;
  }

  // Readers and the usage text never look for a signal: it ends them as it would have.
  const bool converts = ctx.pipe || ctx.enumdir_given || !ctx.csv_source.empty();
  if (!converts) release_interrupt_signals();

  results_stream results;
  if (!open_results(ctx, args, results)) return status_failed;

  // A conversion into a database writes batch after batch: they commit together, at most once
  // a second, and the last ones when the run ends. Each batch is written by a thread of its own
  // while the next one is collected.
  if (ctx.to_sqlite) ctx.sqlite_state.begin_bulk_writes(true);
  int status;
  if (ctx.pipe || ctx.enumdir_given) {
    status = run_file_loop(ctx, results);
  } else if (!ctx.csv_source.empty()) {
    status = run_single_conversion(ctx, results, banner_read);
  } else if (!ctx.sqlite_source.empty()) {
    status = run_database_reader(ctx, *results.stream);
  } else {
    display_usage(args.empty() ? "" : args[0].c_str());
    status = status_failed;
  }

  // The batches not yet committed are committed (and synced) before the status is known.
  ctx.sqlite_state.finish_bulk_writes();
  // Every batch that could not be written was reported when it failed; the rows after it were
  // still tried.
  if (ctx.sqlite_state.failed_batches != 0) status = status_failed;

  // The split files close here rather than with the run context, so that a file whose rows did
  // not all reach the disk is reported.
  if (ctx.split_state) {
    csv_split_close(ctx);
    for (const std::string& path : ctx.split_state->failed_files) report(ctx, "prob writing %s\n", escape_invalid_utf8(path).c_str());
    if (!ctx.split_state->failed_files.empty()) status = status_failed;
  }

  if (!results.finish()) {
    report(ctx, "prob writing %s\n", escape_invalid_utf8(results.name).c_str());
    status = status_failed;
  }
  // A signal that came after the last row still ends the run as interrupted.
  if (interrupt_signal() != 0) status = interrupted_status();
  return status;
}

}  // namespace

int tool_exit_callback(std::string* /*text*/) { return 0; }

bool is_root_user() { return getuid() == 0 || geteuid() == 0; }

int main(int argc, char** argv) {
  // A reader that goes away must not kill the run before it can end in order.
  std::signal(SIGPIPE, SIG_IGN);
  // Nor may a file grown to the size limit (ulimit -f): the write fails instead, and the run
  // reports it.
  std::signal(SIGXFSZ, SIG_IGN);
  // The line reader shows its progress on the console's status line.
  uni::fileio::set_status_line({[](const char* text) { status_printf("%s", text); }, clear_status_line});
  std::vector<std::string> args;
  // Out of memory anywhere in the run ends it here, with a word rather than an abort.
  try {
    args_to_vector(args, argc, argv);
    return run(args);
  } catch (const std::bad_alloc&) {
    report_text("prob out of memory\n");
    return 255;
  }
}
