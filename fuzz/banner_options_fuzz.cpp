// The banner parser, the nested-cell parser and the option parser on any input: no crash, no
// hang, and what each promises of a refusal (a nested cell that does not parse gives nothing).
// The input is a banner, then after a NUL a cell, then NUL-separated arguments.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tool/csv_banner.h"
#include "tool/csv_driver.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_options.h"

namespace {

std::vector<std::string> pieces_of(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (const char c : text) {
    if (c == '\0') {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  return pieces;
}

// The options may create folders and files: they do so in a folder of this process's own,
// and a name that leaves it is not passed on.
void enter_work_folder() {
  static const bool entered = [] {
    std::string pattern = "/tmp/telvar_fuzz_options_XXXXXX";
    return mkdtemp(pattern.data()) != nullptr && chdir(pattern.c_str()) == 0;
  }();
  if (!entered) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  enter_work_folder();
  const std::vector<std::string> pieces = pieces_of(std::string(reinterpret_cast<const char*>(data), size));

  quazel_tool_metadata banner_ctx;
  parse_banner_lines(banner_ctx, std::vector<u8>(pieces[0].begin(), pieces[0].end()));

  if (pieces.size() > 1) {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    const bool found = parse_tagged_groups(header, rows, pieces[1], "rec", '|');
    fuzz::require(found || (header.empty() && rows.empty()), "a nested cell that does not parse leaves values");
    fuzz::require(!found || !rows.empty(), "a nested cell parsed without a row");
  }

  std::vector<std::string> args = {"telvar"};
  for (size_t i = 2; i < pieces.size() && args.size() < 24; ++i) {
    const std::string& arg = pieces[i];
    if (arg.find('/') != std::string::npos || arg.find("..") != std::string::npos) continue;
    args.push_back(arg);
  }
  // Standard input is never read here: names come from arguments only.
  std::vector<std::string> kept;
  for (const std::string& arg : args)
    if (arg != "-pipe") kept.push_back(arg);
  quazel_tool_metadata ctx;
  ctx.status_display = 0;
  bool banner_read = false;
  parse_tool_options(ctx, kept, "ver: 1", &banner_read);
  return 0;
}
