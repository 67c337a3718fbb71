// The MFT record CSV writer: one NTFS file record printed as rows of typed cells, one row per
// instant of the record and per file name carrying times on it (identity, type, extension,
// reference count, size, the instant as date and time, the si/fn/fn8.3 MACB summary, texts,
// optional hashes, name, path and a data column). The first call of an output puts the column
// template into the parameter set and writes (or registers) the header; each row goes through
// the row writer (variant_render.h) to the stream or, with SQLite on, into generic_data.
#pragma once

#include <ostream>

#include "timeline/l2t_csv_writer.h"
#include "timeline/macb_context.h"

// The column description registered with generic_data for these rows.
inline constexpr const char* mft_generic_headers = "date|null|size data|null|null|MACB|path|output";

// Where each column of one output's template lies; -1 for a column it does not hold. One
// object per output, kept by the caller with its first-call flag: two outputs never share it.
struct mft_record_columns {
  i32 entry = -1;
  i32 seqnum = -1;
  i32 parent = -1;
  i32 parent_seqnum = -1;
  i32 type = -1;
  i32 extension = -1;
  i32 ref_count = -1;
  i32 size = -1;
  i32 date = -1;  // the date, or the one date/time column
  i32 macb = -1;
  i32 data_type = -1;
  i32 other_info = -1;
  i32 md5 = -1;
  i32 sha1 = -1;
  i32 sha1_second = -1;
  i32 name = -1;
  i32 path = -1;
  i32 clusters = -1;
  i32 last = -1;  // "extracted path/file" or "header info"
};

// Writes the header on the first call of an output (it sets *first to false, and fills columns
// when ctx has a parameter set), then one row per entry of entries inside the window (both
// bounds included) and per non-empty name and path text. Nothing without a parameter set. 1;
// 0 when a stream write fails or there is no stream to write to.
int write_mft_record_csv(bool* first, std::ostream* out, macb_context_map& entries, l2t_output_context& ctx,
                         mft_record_columns& columns);
