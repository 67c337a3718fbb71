// Runs the built telvar as a real process in a folder of its own and collects what it leaves:
// exit status, standard output, standard error; or starts it, for a test that acts on it while
// it runs (a signal, standard input held open), and collects the same when it ends. Expected files live in tests/e2e/fixtures/;
// with TELVAR_UPDATE_EXPECTED=1 in the environment a comparison writes the actual text into
// the expected file instead (to be read and checked by hand before it is committed).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/text/temp_folder.h"

namespace e2e {

inline const std::string fixtures_dir = std::string(TELVAR_SOURCE_DIR) + "/tests/e2e/fixtures";
inline const std::string samples_dir = std::string(TELVAR_SOURCE_DIR) + "/samples";

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string fixture(const std::string& name) { return read_file(fixtures_dir + "/" + name); }

// Where the process's standard output goes: captured, /dev/full, a pipe nobody reads,
// appended to the file run_options::stdout_file names (as ">>" does), or a pipe that the test
// reads at its own pace (start_telvar; what is left is captured when it waits).
enum class stdout_to { capture, dev_full, closed_pipe, append_to_file, pipe };

// Where the process's standard error goes, all of it captured: a file, a pipe or a
// pseudo-terminal (which turns every LF into CR LF).
enum class stderr_to { file, pipe, terminal };

struct run_options {
  std::string cwd;                  // the folder the process starts in; empty: the test's own
  std::string stdin_text;           // fed to standard input (through a file)
  bool stdin_given = false;         // false: standard input is /dev/null
  bool stdin_held_open = false;     // standard input is a pipe the test writes and closes
  stdout_to out = stdout_to::capture;
  stderr_to err = stderr_to::file;
  bool drop_root = false;           // run as user 65534 when started as root (file modes then apply),
                                    // from telvar_for_other_users()
  std::string stdout_file;          // for append_to_file, relative to cwd
  rlim_t address_space_limit = 0;   // bytes of address space the process may take; 0: no limit
  rlim_t file_size_limit = 0;       // bytes a file the process writes may grow to; 0: no limit
  std::vector<std::string> environment;  // "NAME=value" entries added to the process's environment
};

struct run_result {
  int status = -1;  // the exit status; 128 + the signal when one ended the process
  int signal = 0;   // the signal that ended the process; 0 when it exited
  long peak_kib = 0;  // the most memory the process held at once (resident KiB)
  std::string out;
  std::string err;
};

// The user a run with drop_root becomes.
constexpr uid_t other_user = 65534;

// A copy of telvar that other_user can run, in a folder of its own under /tmp that every user
// may enter: the build folder may sit where other users cannot reach (a checkout in a folder
// made by mktemp -d, or in root's home). Made once per test program and removed at its end;
// empty when it cannot be made or other_user still cannot run it (only a test run as root asks).
inline const std::string& telvar_for_other_users() {
  static const temp_folder folder("telvar_binary");
  static const std::string copy = [] {
    namespace fs = std::filesystem;
    const std::string path = folder.file("telvar");
    std::error_code failed;
    const fs::perms open_to_all = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec;
    if (folder.path().empty() || !fs::copy_file(TELVAR_BINARY, path, failed)) return std::string();
    fs::permissions(folder.path(), open_to_all, failed);
    if (!failed) fs::permissions(path, open_to_all, failed);
    if (failed) return std::string();
    // Every folder above must let other_user through too: asked of other_user itself.
    const pid_t child = fork();
    if (child == 0) _exit(setuid(other_user) == 0 && access(path.c_str(), X_OK) == 0 ? 0 : 1);
    int wait_status = 0;
    if (child < 0 || waitpid(child, &wait_status, 0) != child) return std::string();
    return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0 ? path : std::string();
  }();
  return copy;
}

// A telvar process started and not yet waited for.
struct started_telvar {
  pid_t pid = -1;
  int stdin_writer = -1;  // with stdin_held_open: the write end of its standard input
  int out_reader = -1;    // with stdout_to::pipe: the end of standard output the test reads
  int err_reader = -1;    // with a pipe or terminal for standard error: the end the test reads
  std::unique_ptr<temp_folder> io = std::make_unique<temp_folder>("telvar_io");
};

// Starts telvar with args (the program path is added in front); pid -1 when it cannot start.
inline started_telvar start_telvar(const std::vector<std::string>& args, const run_options& options = {}) {
  started_telvar run;
  const std::string in_path = run.io->file("stdin");
  const std::string out_path = run.io->file("stdout");
  const std::string err_path = run.io->file("stderr");
  write_file(in_path, options.stdin_text);

  int pipe_ends[2] = {-1, -1};
  if ((options.out == stdout_to::closed_pipe || options.out == stdout_to::pipe) && pipe(pipe_ends) != 0) return run;
  int input_ends[2] = {-1, -1};
  if (options.stdin_held_open && pipe(input_ends) != 0) return run;
  int err_ends[2] = {-1, -1};  // read, write
  if (options.err == stderr_to::pipe && pipe(err_ends) != 0) return run;
  if (options.err == stderr_to::terminal && openpty(&err_ends[0], &err_ends[1], nullptr, nullptr, nullptr) != 0)
    return run;

  const bool drop_root = options.drop_root && geteuid() == 0;
  std::vector<std::string> argv_text;
  argv_text.push_back(drop_root ? telvar_for_other_users() : std::string(TELVAR_BINARY));
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& entry : argv_text) argv.push_back(entry.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(120);
    int in = input_ends[0];
    if (!options.stdin_held_open) in = open(options.stdin_given ? in_path.c_str() : "/dev/null", O_RDONLY);
    int out = -1;
    if (options.out == stdout_to::capture) out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.out == stdout_to::dev_full) out = open("/dev/full", O_WRONLY);
    if (options.out == stdout_to::append_to_file) out = open(options.stdout_file.c_str(), O_WRONLY | O_APPEND);
    if (options.out == stdout_to::closed_pipe || options.out == stdout_to::pipe) {
      close(pipe_ends[0]);
      out = pipe_ends[1];
    }
    int err = err_ends[1];
    if (options.err == stderr_to::file) err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(121);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // Only the three standard descriptors go on into telvar.
    for (int end : {input_ends[1], err_ends[0]}) {
      if (end >= 0) close(end);
    }
    if (drop_root && setuid(other_user) != 0) _exit(123);
    for (const std::string& entry : options.environment) {
      const size_t equals = entry.find('=');
      if (equals == std::string::npos || setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1) != 0)
        _exit(125);
    }
    if (options.address_space_limit != 0) {
      const rlimit limit = {options.address_space_limit, options.address_space_limit};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(124);
    }
    if (options.file_size_limit != 0) {
      const rlimit limit = {options.file_size_limit, options.file_size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(122);
  }
  if (options.out == stdout_to::closed_pipe) {
    // Nobody reads: the first write of the child meets a broken pipe.
    close(pipe_ends[0]);
    close(pipe_ends[1]);
  }
  if (options.out == stdout_to::pipe) {
    close(pipe_ends[1]);
    run.out_reader = pipe_ends[0];
  }
  for (int end : {input_ends[0], err_ends[1]}) {
    if (end >= 0) close(end);
  }
  run.stdin_writer = input_ends[1];
  run.err_reader = err_ends[0];
  run.pid = child;
  return run;
}

// Closes standard input when the test still holds it, reads the standard output and error
// the test holds to their ends and waits for the process.
inline run_result wait_telvar(started_telvar& run) {
  run_result result;
  if (run.stdin_writer >= 0) {
    close(run.stdin_writer);
    run.stdin_writer = -1;
  }
  // Both are read while the process runs, so that it never waits on a full pipe; a terminal
  // whose other side has gone reports EIO instead of the end.
  struct reader {
    int& fd;
    std::string& text;
  };
  reader readers[] = {{run.out_reader, result.out}, {run.err_reader, result.err}};
  for (bool open_left = true; open_left;) {
    open_left = false;
    for (reader& r : readers) {
      if (r.fd < 0) continue;
      pollfd ready{r.fd, POLLIN, 0};
      if (poll(&ready, 1, 10) <= 0) {
        open_left = true;
        continue;
      }
      char buffer[65536];
      const ssize_t got = read(r.fd, buffer, sizeof buffer);
      if (got > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) r.text.append(buffer, static_cast<size_t>(got));
        open_left = true;
        continue;
      }
      close(r.fd);
      r.fd = -1;
    }
  }
  int wait_status = 0;
  rusage usage{};
  if (run.pid < 0 || wait4(run.pid, &wait_status, 0, &usage) != run.pid) return result;
  result.peak_kib = usage.ru_maxrss;
  if (WIFEXITED(wait_status)) {
    result.status = WEXITSTATUS(wait_status);
  } else {
    result.signal = WTERMSIG(wait_status);
    result.status = 128 + result.signal;
  }
  if (result.out.empty()) result.out = read_file(run.io->file("stdout"));
  if (result.err.empty()) result.err = read_file(run.io->file("stderr"));
  return result;
}

// Runs telvar with args (the program path is added in front) and waits for it.
inline run_result run_telvar(const std::vector<std::string>& args, const run_options& options = {}) {
  started_telvar run = start_telvar(args, options);
  return wait_telvar(run);
}

// The environment entries that preload the test library of disk faults (shim/fault_shim.c)
// into telvar, acting on files under dir, with its TELVAR_FAULT_* settings.
inline std::vector<std::string> fault_shim_environment(const std::string& dir, std::vector<std::string> settings) {
  settings.push_back(std::string("LD_PRELOAD=") + TELVAR_FAULT_SHIM);
  settings.push_back("TELVAR_FAULT_DIR=" + dir);
  // A sanitizer build wants its runtime first among the libraries; the shim comes first here.
  const char* asan = std::getenv("ASAN_OPTIONS");
  settings.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
  return settings;
}

// Compares actual with the expected file fixtures/expected/<name>; under
// TELVAR_UPDATE_EXPECTED=1 writes actual there instead.
inline void expect_matches_file(const std::string& actual, const std::string& name) {
  const std::string path = fixtures_dir + "/expected/" + name;
  const char* update = std::getenv("TELVAR_UPDATE_EXPECTED");
  if (update && std::string(update) == "1") {
    write_file(path, actual);
    return;
  }
  EXPECT_EQ(actual, read_file(path)) << "expected file " << path;
}

// The start-up record that a refused run prints, with the run line (time, host) masked.
inline std::string mask_run_line(const std::string& text) {
  return std::regex_replace(text, std::regex("\nrun start: [^\n]*\n"), "\nrun start: <masked>\n");
}

}  // namespace e2e
