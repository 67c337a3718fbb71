// What the HTML, JSON and cleanup writers keep from one call to the next, one object per writer.
// The run context holds them with the rest of its per-source state and resets them before every
// source, so that nothing of one source, or of another run context, reaches the next. (The
// split and SQLite writers keep theirs in the split state and the SQLite member.)
#pragma once

#include <string>
#include <vector>

#include "tool/record_text.h"
#include "tool/unique_names.h"

// The parts of a nested cell (parse_tagged_groups), kept from one cell to the next so that
// their strings are reused.
struct nested_cell_parts {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

struct html_writer_state {
  record_text row;  // the text of the table row being built
  nested_cell_parts nested;
};

// The text of a member from its comma to its name's closing quote: the first size bytes of
// bytes, which holds zeros past them, so that a short start can be copied by a move of a fixed
// size that stays inside bytes.
struct member_start_text {
  std::string bytes;
  std::size_t size = 0;
};

struct json_writer_state {
  record_text record;  // the text of the record being built
  // The text of each member of the current group from its comma to its name's closing quote,
  // one per column, and the names they hold (each unique in a record); made when the group
  // opens, so that a name is escaped once per group instead of once per record.
  std::vector<member_start_text> member_starts;
  unique_names member_names;
  nested_cell_parts nested;
  bool doc_has_members = false;   // the document has a member: the next one follows a comma
  unique_names doc_member_names;  // the names of the document's members so far
};

struct cleanup_writer_state {
  std::string line;             // the output line being built
  bool header_written = false;  // the current group's header line is out (it waits for the
                                // group's first data row under "-align_cols")
};
