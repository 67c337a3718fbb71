#include "tool/csv_split_state.h"

#include "framework/time/qz_clock.h"

namespace csv_split {

split_metadata::split_metadata() { clear(); }

split_metadata::~split_metadata() {
  // A batch that failed in the writer thread is not thrown from here: the run ends on its
  // own failure, or ended on another one already.
  writer.settle();
  close_output_files();
}

void split_metadata::clear() {
  tool_label.clear();
  artifact_type.clear();
  run_time.clear();
  csv_source.clear();
  group_file.clear();
  separator.clear();
  run_stamp = current_time().filetime;
  column_text.clear();
  column_list.clear();
  close_output_files();
  row.clear();
  pending.clear();
  packed_cells.clear();
  pending_bytes = 0;
  failed_files.clear();
  writing_rows.clear();
  writing_cells.clear();
  unwritten_path.clear();
}

bool split_metadata::close_output_files() {
  writer.wait();
  bool all_closed = true;
  for (auto& file : files) {
    if (file && file->is_open() && !file->close()) all_closed = false;
  }
  files.clear();
  file_index.clear();
  return all_closed;
}

}  // namespace csv_split
