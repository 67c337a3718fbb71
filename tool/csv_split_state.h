// The state of "-split_into_files": the banner values that fill the extra columns, the split
// files open during the current source with their index by file name, and the rows waiting
// to be written. The run context owns one; the split writer fills and empties it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_packed_cell_rows.h"
#include "framework/text/qz_types.h"
#include "sqlite_store/sqlite_generic_data_row.h"
#include "tool/job_thread.h"

namespace csv_split {

class split_metadata {
 public:
  // Empty state, stamped with the current time.
  split_metadata();
  split_metadata(const split_metadata&) = delete;
  split_metadata& operator=(const split_metadata&) = delete;
  // Closes the split files; rows still pending, and a failure of the batch being written, are
  // dropped.
  ~split_metadata();

  // Empties every text and list, closing the split files (a file map emptied under open files
  // would let a later batch open the same file twice); run_stamp = now.
  void clear();
  // Waits for the batch being written (an exception it ended in is thrown here, before any file
  // closes), then closes and releases every split file and empties
  // files and file_index; false when some file could not be closed cleanly (its last writes
  // may not have reached the disk).
  bool close_output_files();

  std::string tool_label;     // "<tool> v<version>": the "tool used" value
  std::string artifact_type;  // the "artifact type" value of the current rows
  std::string run_time;       // "Runtime: " + the banner's run time
  std::string csv_source;     // the "csv src" value
  std::string group_file;     // base name of the current group's file; empty before its first row
  std::string separator;
  u64 run_stamp = 0;          // FILETIME of the last clear; metaref of every buffered row
  std::string column_text;    // the current group's column names joined by "|"
  std::vector<std::string> column_list;
  std::vector<std::unique_ptr<uni::fileio>> files;
  std::map<std::string, u64> file_index;  // group file name -> index in files
  sqlite_generic_data_row row;
  std::vector<sqlite_generic_data_row> pending;
  packed_cell_rows packed_cells;          // cells of the rows csv_split_buffer_row put in pending
  u64 pending_bytes = 0;                  // cell bytes of the rows in pending
  std::vector<std::string> failed_files;  // split files some rows did not reach, each once

  // The batch being written on the writer thread: its rows and their cells (taken over from
  // pending and packed_cells, which get the room of the batch before), and its lines. Only the
  // writer thread touches them while it writes; unwritten_path names the batch's file when
  // some of its rows did not reach it, to be entered as failed once the writing is over.
  std::vector<sqlite_generic_data_row> writing_rows;
  packed_cell_rows writing_cells;
  std::string batch_text;  // kept, so its pages are not mapped anew
  std::string unwritten_path;
  job_thread writer;  // declared last: it ends, and lets go of the files, before they close
};

}  // namespace csv_split
