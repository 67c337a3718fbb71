// The log2timeline-layout CSV writer: one record's MACB times merged into one row per instant
// (merge_macb_times), each printed in seventeen columns (date and time, or one date/time
// column, then timezone, MACB, source, sourcetype, type, user, host, short, desc, version,
// filename, inode, notes, format, extra), optionally followed by eight NTFS columns; to a
// stream, or with a database open as generic_data rows of the store. Every text column is
// cleaned before it is printed: the separator character becomes its stand-in, line ends are
// made visible, and a text that would still break the row (one that begins with a double
// quote or still holds the separator text) is written quoted, its quotes doubled. The first
// call of an output writes (or registers) the column line; the caller keeps the flag.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/time/qz_time_format.h"
#include "timeline/macb_times.h"

class sqlite3_artifact;

// The column description registered with generic_data for these rows.
inline constexpr const char* l2t_generic_headers = "date|null|null|null|null|MACB|artifact|output";

// One timeline record: its times, the fixed column texts, the extended NTFS values, the output
// settings and the destination. The MFT record writer reads it too.
class l2t_output_context {
 public:
  l2t_output_context();

  // Every field to its default (timezone "UTC", version 2, format "-csvl2t", separator ","
  // with stand-in blank, formats yyyy-mm-dd and hh:mm:ss.xxx packed into time_spec); times
  // cleared.
  void clear();
  // Takes the run's settings from params (separator, formats, user, host, artifact type as
  // sourcetype, "<program> (quazel)" as format, the store); nothing for a null params.
  void init_from_params(cmd_params* params);
  // extended = 1 and the NTFS values; a null text leaves its field. A parent inode of
  // 0xffffffffffff (the root's own parent) is stored as 5 with parent seqnum 0.
  void set_ntfs_columns(u32 ref_count_value, u64 parent_inode_value, u32 parent_seqnum_value,
                        u32 inode_seqnum_value, u64 size_data_value, const char* extension_text,
                        const char* clusters_text);
  // inode = the number in decimal, or with hex_numbers "0x" and at least 8 lower-case digits.
  void set_inode_text(u64 inode_value);

  macb_input times;
  std::string timezone;
  std::string source;
  std::string sourcetype;
  std::string type;
  std::string user;
  std::string host;
  std::string short_text;  // the "short" column
  std::string desc;
  u32 version;
  std::string filename;
  std::string inode;
  std::string notes;
  std::string format;
  std::string extra;
  std::string date_format;
  std::string time_format;
  time_format_spec time_spec;
  std::string separator_text;
  char separator_char;
  char separator_replacement;
  u8 lower_macb;
  u8 blank_before_time;
  u8 no_whitespace;
  u8 hex_numbers;
  u8 mft_option_compact;
  u8 mft_option_clusters;
  u8 mft_option_header_info;
  u8 mft_option_extracted_path;
  u8 one_datetime_column;
  u8 hash_md5;
  u8 hash_sha1;
  u8 hash_sha1_second;
  std::string md5_text;
  std::string sha1_text;
  std::string sha1_second_text;
  u8 extended;
  u32 ref_count;
  std::string extension;
  u64 size_data;
  u32 inode_seqnum;
  u64 parent_inode;
  u32 parent_seqnum;
  std::string clusters;
  std::vector<u8> header_info;
  u8 header_info_as_strings;
  std::string extracted_path;
  u64 window_start;  // 0: no window; both bounds belong to it, in the unit of the times' kind
  u64 window_end;
  sqlite3_artifact* store;  // not owned
  cmd_params* params;       // not owned
};

// A context with rows the caller prepared; only rows with use_row set are printed.
class l2t_grouped_context : public l2t_output_context {
 public:
  macb_rows rows;
};

// Writes the column line joined by separator, without a line end.
void write_l2t_csv_header(std::ostream& out, const std::string& separator, bool extended, bool one_datetime_column);
// Writes the rows of ctx's record (its further times are consumed). 1; 0 when a stream write
// fails or there is no stream to write to.
int write_l2t_csv_records(bool* first, std::ostream* out, l2t_output_context& ctx);
// Writes the prepared rows of grouped. 1; 0 when a stream write fails or there is no stream.
int write_l2t_csv_grouped_records(bool* first, std::ostream* out, l2t_grouped_context& grouped);
