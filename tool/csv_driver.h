// Conversion of one source CSV: the driver reads the source in chunks of complete lines and the
// dispatcher sorts every line into banner line, header row, data row or short row and calls the
// hooks of the writer the caller hands in (csv_writer_rules.h). Everything reports by its
// result; the one message printed is the dispatcher's note of a quote that does not close.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "framework/io/uni_fileio.h"
#include "framework/text/qz_types.h"
#include "tool/csv_quoted_rows.h"
#include "tool/csv_writer_rules.h"
#include "tool/quazel_tool_metadata.h"

// The state of one conversion that lives across chunks: the writer, the head buffer a writer
// keeps its document head in until the first accepted header row, whether the last line taken
// was a banner line, and the cell vectors every data row reuses with the strings they keep.
struct csv_dispatch {
  // writer null: lines are classified, nothing is called.
  csv_dispatch(quazel_tool_metadata& ctx, const csv_writer_hooks* writer);

  quazel_tool_metadata& ctx;
  const csv_writer_hooks* writer;
  std::ostringstream head;
  std::vector<std::string> cells;
  std::vector<std::string> spare_cells;
  std::vector<std::string> joined_fields;  // the fields of a row joined over several lines
  size_t fields_cut = 0;  // fields the last data row was cut into
  size_t first_name_index = 0;  // the place of the first named column in the source's header
  quoted_row_joiner joiner;     // the lines of a row whose quoted field holds line ends
  std::string line_tail;        // what followed the text of the line last taken (its line end)
  u64 line_number = 0;          // of the line last handed over, from 1
  u64 quote_line = 0;           // where the row the joiner holds begins
  u64 lines_taken = 0;      // lines looked at for the first header row (not blank, dropped or banner)
  bool after_banner = false;
  bool header_given_up = false;  // no header row came within the first lines of the source
  bool header_accepted = false;   // a header row opened a group
  bool header_too_short = false;  // a header row had fewer names than ctx.min_columns
  bool output_failed = false;     // a hook returned hook_output_failed: no line more is taken
};

// How a conversion ended.
enum class csv_conversion : u8 {
  converted,
  failed,            // nothing, or not all, of the source converted, for a cause not below
  header_too_short,  // every header row met had fewer names than ctx.min_columns
  output_failed,     // a writer's file or database failed; the rest of the source was not read
};

// Converts ctx.csv_source (its banner already read into ctx) into out through writer (null: the
// lines are only read): the writer's opening text, every line through the dispatcher, its
// closing text. ctx.out points at out while the conversion runs and is null afterwards.
// output_failed when a hook's output failed (the writer reported it); else header_too_short
// when every header row met had fewer names than ctx.min_columns (the writer's closing text is
// written all the same); else failed when the path or the banner's columns are empty,
// "-pair_fields" names more columns than the source has, the source cannot be opened or read
// to its end, or out is not good after the last write (the final drain of out is the caller's).
// A source without any header row (banner lines alone) is converted into outputs without
// groups.
// An interruption (interrupt_signal) stops the source at a row boundary and gives failed: the
// rows taken are stored (SQLite batches with their run record, split files), the HTML, JSON
// or cleanup text gets no closing part.
// chunk_bytes sizes the reader's chunks; the output does not depend on it.
csv_conversion convert_csv_file(std::ostream& out, quazel_tool_metadata& ctx, const csv_writer_hooks* writer,
                                u32 chunk_bytes = uni::fileio::default_chunk_bytes);

// Takes `count` lines of one chunk, in order, for the conversion `dispatch`. Each line is as it
// stands in the source, with its line end (the reader's keep_line_ends): the dispatcher takes
// the line end off, and the blanks around the line where the writer trims lines (not in TAB
// sources). A header row is a
// line whose cell at the first named column's place equals its name (blanks and enclosing
// quotes aside) with only empty cells before it, or, right after a banner line, a line of
// enough separators without the name; before the source's first header row no line is a
// record, and a UTF-8 mark that opens a line is dropped. A data row whose last field opens a
// quote that it does not close is held and joined with the next lines (their line ends kept
// byte for byte) until the quote closes, at most quoted_row_joiner's bounds; a row that does
// not close within them, or that has fewer fields than the group, is taken line by line, and
// each of its lines (with the line that ended the bounds) is a row of its own even when it
// lacks fields: none of them is dropped. A quote that does not close within the bounds is
// reported on standard error with the source and the line it opened on. Returns count when
// the chunk was handled; 0 at once, touching nothing, when there is nothing to take, ctx.out is
// null or not good, a hook's output failed, or the source's first header row was given up on;
// 0 at the first line met after an interruption (interrupt_signal), after ctx.out went bad or
// after a hook returned hook_output_failed.
u32 dispatch_csv_lines(csv_dispatch& dispatch, std::vector<std::string>& lines, u32 count);
// After the source's last chunk: the lines of a row whose quoted field never closed are taken
// one by one, each a row of its own, and standard error names the source and the line the
// quote opened on. Nothing when no row is held, ctx.out is null or not good, or a hook's
// output failed.
void finish_csv_lines(csv_dispatch& dispatch);
// The line reader's callback: `context` is a csv_dispatch*; dispatch_csv_lines on the chunk.
// Its 0 ends the reading of the source.
u64 process_csv_lines(uni::fileio& file, u64 context, std::vector<std::string>& lines, u32 count,
                      u64 offset);
