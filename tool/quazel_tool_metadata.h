// The run context of telvar: the generic parameter set plus the tool's own settings, what the
// banner parser learned from the current source, and the state the writers keep while they
// convert it. main owns the one object of a run and passes it by reference to every part.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/io/uni_output.h"
#include "framework/text/qz_types.h"
#include "sqlite_store/sqlite_artifact.h"
#include "tool/csv_split_state.h"
#include "tool/writer_state.h"

// Both flag words of a tag hold four roles of five bits, one bit per writer inside a role.
// Bit 0 of the banner-line word stands alone (a banner line no writer stores), so that word
// is shifted up by one.
enum tag_writer : u32 {
  tag_writer_json = 0,
  tag_writer_sqlite = 1,
  tag_writer_html = 2,
  tag_writer_split = 4,
};
enum tag_line_role : u32 {
  tag_line_title = 0,          // the value titles the next group
  tag_line_extra_column = 1,   // the value becomes a column of the next group
  tag_line_artifact_type = 2,  // artifact type of the next rows
  tag_line_source = 3,         // source of the next rows
};
enum tag_column_role : u32 {
  tag_column_title = 0,          // the value in the group's first data row joins the title
  tag_column_artifact_type = 1,  // the value sets the artifact type of the group
  tag_column_source = 2,         // the value sets the source of the group
  tag_column_nested = 3,         // the column holds nested cells
};
// The bit of `writer` for `role` in a banner-line word.
constexpr u32 tag_line_bit(tag_line_role role, tag_writer writer) {
  return 1u << (1 + 5 * u32(role) + u32(writer));
}
// The bit of `writer` for `role` in a column word.
constexpr u32 tag_column_bit(tag_column_role role, tag_writer writer) {
  return 1u << (5 * u32(role) + u32(writer));
}
// One role for every writer that keeps it (JSON, SQLite, HTML, split files).
constexpr u32 tag_line_bits_all(tag_line_role role) {
  return tag_line_bit(role, tag_writer_json) | tag_line_bit(role, tag_writer_sqlite) |
         tag_line_bit(role, tag_writer_html) | tag_line_bit(role, tag_writer_split);
}
constexpr u32 tag_column_bits_all(tag_column_role role) {
  return tag_column_bit(role, tag_writer_json) | tag_column_bit(role, tag_writer_sqlite) |
         tag_column_bit(role, tag_writer_html) | tag_column_bit(role, tag_writer_split);
}
// A banner line that no writer stores.
constexpr u32 tag_line_unstored = 0x1;
// A banner line that only the cleanup writer copies (every bit from 4 up).
constexpr u32 tag_line_cleanup_copy = 0xFFFFFFF0;

// One banner tag: a line that begins with `tag` is a banner line when line_flags is not 0;
// a column whose name matches `tag` takes the roles of column_flags.
struct tag_instr {
  // column_index starts at -1.
  tag_instr(std::string tag, u32 line_flags, u32 column_flags);

  std::string tag;
  u32 line_flags = 0;
  u32 column_flags = 0;
  int column_index = -1;  // the matching column of the current group, -1 for none
};

// The cleanup writer's record for one column.
struct csv_formating {
  int column = -1;             // the 0-based column the record was made for
  bool trim = false;           // trimmed under the whitespace flag
  bool paired = false;         // takes part in a "-pair_fields" pair
  int partner = -1;            // the 0-based column that receives this column's text
  bool skip = false;           // left out of the output (its text went into its partner)
  bool aligned = false;        // padded to width ("-align_cols")
  int width = 0;               // field width of an aligned column
  bool right_justify = false;  // kept for the record; aligned columns are padded on the right
  std::string header_text;     // header name kept for the first data row under "-align_cols"
};

// What the banner parser and the writers learn from one source: every field goes back to its
// default before each source (quazel_tool_metadata::clear_find_signature_vars).
struct quazel_source_fields {
  u8 nested_flag = 0;
  std::set<int> nested_columns;
  std::vector<tag_instr> tags;
  int min_columns = 2;
  std::string short_tool_name;
  u8 is_bodyfile = 0;
  u8 is_csvl2t = 0;
  std::string first_column_name;
  u8 banner_found = 0;
  std::string tool_name;
  std::string tool_version;
  std::string licence_word;
  std::string licence_text;
  std::string run_time_text;
  std::string extra_info;
  std::string command_line;
  std::string separator;  // ",", "|" or TAB; empty when none was found
  std::string hostname;
  std::string username;
  std::string artifact_type;
  std::string tool_source;
  std::vector<std::string> columns;
  u8 utf16_bom = 0;
  u8 utf8_bom = 0;
  // The whole of a small source as its banner was read from it (at most the banner's prefix,
  // raw: its mark and line ends kept), so that its conversion need not read it again; empty
  // when the source is longer. source_bytes_path is the csv_source the bytes came from.
  std::vector<u8> source_bytes;
  std::string source_bytes_path;

  // The writers' group state.
  u8 group_has_rows = 0;
  u8 head_pending = 1;
  u8 first_header_pending = 1;
  std::map<std::string, std::string> title_fields;
  std::map<std::string, std::string> pending_columns;
  std::map<std::string, std::string> extra_columns;
  std::string group_title;
  // What each writer keeps from one call to the next.
  html_writer_state html_state;
  json_writer_state json_state;
  cleanup_writer_state cleanup_state;
};

// The tool's own settings, set once by the option parser, and what runs on across the sources
// of a run.
struct quazel_run_fields {
  std::string csv_source;  // set anew for every source
  std::string dst;
  std::string sqlite_source;
  u8 to_json = 0;
  u8 flat = 0;
  u8 slash_paths = 1;
  u8 to_sqlite = 0;
  u8 to_csv = 0;
  std::string export_table_name;
  u8 to_html = 0;
  u8 cleanup = 0;
  u8 split = 0;
  u8 raw = 0;
  u8 no_header_info = 0;
  u8 align_cols = 0;
  u8 change_separator = 0;
  std::string new_separator;
  std::map<int, csv_formating> pair_map;
  std::vector<csv_formating> formats;  // rebuilt at every header row by the cleanup writer
  u8 artifact_tables = 0;
  u8 metadata_records = 0;
  u8 ref_records = 0;
  u8 grp_like_formats = 0;

  u64 group_counter = 1;  // the next untitled group's number, across the sources of a run
  std::ostream* out = nullptr;  // the output of the conversion under way; not owned
  // The stream buffer of out when it is one of ours, whose free part a writer may build a
  // record in (set with out for a conversion); null otherwise.
  uni::streambuf_generic_output<char>* out_buffer = nullptr;
  std::ostringstream title_text;  // rebuilt at every header row
};

class quazel_tool_metadata : public cmd_params, public quazel_source_fields, public quazel_run_fields {
 public:
  // The parameter set with the current time as run time and a message stream; then clear().
  quazel_tool_metadata();
  // Destroys the split state (closing its files) first; the database closes with sqlite_state.
  ~quazel_tool_metadata() override;

  // Every field back to its default, the cmd_params base and the SQLite member included.
  // Meant for construction: a split state already held is dropped.
  void clear();
  // The per-source reset before a source's banner is read: the source fields go back to their
  // defaults (the room of source_bytes is kept for the next small source), as do the source
  // columns of the base and the SQLite member's run record and connection runtime; the run
  // fields, split_state and the open database stay.
  void clear_find_signature_vars();

  std::unique_ptr<csv_split::split_metadata> split_state;  // "-split_into_files" only
  sqlite_cmd_params sqlite_state;
};
