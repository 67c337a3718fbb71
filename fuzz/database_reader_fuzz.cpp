// The database readers on mutated databases (the corpus starts from databases the store
// wrote): listing the run records and the ref rows and exporting every data table never
// crash, hang or write outside the "-dst" folder they are given.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tool/quazel_tool_metadata.h"
#include "tool/tool_options.h"

namespace {

const std::string& work_folder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/telvar_fuzz_db_XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

// A reader run over db: parses "telvar -src db <action> -dst out" and runs what the action asks.
void read_back(const std::string& db, const std::vector<std::string>& action, const std::string& out) {
  std::vector<std::string> args = {"telvar", "-src", db, "-dst", out, "-quiet"};
  args.insert(args.end(), action.begin(), action.end());
  quazel_tool_metadata ctx;
  ctx.status_display = 0;
  bool banner_read = false;
  if (!parse_tool_options(ctx, args, "ver: 1", &banner_read)) return;
  if (ctx.artifact_tables) {
    ctx.sqlite_state.export_artifact_tables({}, ctx.dst, false, ctx);
  } else if (ctx.metadata_records) {
    std::map<u64, sqlite_metadata_row> records;
    ctx.sqlite_state.get_metadata_records(records);
  } else if (ctx.ref_records) {
    std::map<std::string, u64> records;
    ctx.sqlite_state.get_ref_records(records);
  } else if (ctx.to_csv) {
    ctx.sqlite_state.export_table(ctx.dst, ctx.export_table_name, ctx);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string folder = work_folder();
  const std::string db = folder + "/case.db";
  const std::string out = folder + "/out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::filesystem::remove(db + "-journal");
  std::ofstream(db, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

  read_back(db, {"-metadata_records"}, out);
  read_back(db, {"-ref_records"}, out);
  read_back(db, {"-artifact_tables"}, out);
  read_back(db, {"-sqlite_to_csv", "metadata"}, out + "/metadata.csv");

  // Nothing but files in the output folder, and nothing beside the database.
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    fuzz::require(name == "case.db" || name == "out" || name == "case.db-journal", "a reader wrote beside its output");
  }
  return 0;
}
