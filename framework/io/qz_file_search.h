// Narrowing a list of files to those that meet every one of a list of criteria: extension,
// size range, a time threshold and up to three byte patterns, each looked for in its own
// window of the file. Every non-empty pattern of a criterion must be found, and every
// criterion must hold. The range window is read and searched in pieces of 16384 bytes, each on
// its own, so an occurrence that spans two pieces is not found.
#pragma once

#include <string>
#include <vector>

#include "framework/text/qz_types.h"

struct search_criterion {
  u64 time_min = 0;   // the created (status change) or altered time must be at least this
  u64 size_min = 0;   // accepted sizes: size_min..size_max, both included
  u64 size_max = 0;
  std::wstring ext;   // required extension, compared exactly; empty: any
  u32 range_start = 0;  // range window [range_start, range_end), cut at the end of the file
  u32 range_end = 0;
  std::vector<u8> range_pattern;
  u32 tail_length = 0;  // the last tail_length bytes (1..16383)
  std::vector<u8> tail_pattern;
  u32 block_length = 0;  // the first block_length bytes (1..511) of every 512-byte block
  std::vector<u8> block_pattern;
};

// paths = those of paths whose files meet every criterion, in their order; true when one
// does. A file whose status cannot be read, or that a pattern needs and does not open, does
// not match; neither does a pattern whose window lies outside its limits. An empty path list is false; an empty criteria list is true with paths unchanged.
bool search_files_by_criteria(std::vector<std::string>& paths, const std::vector<search_criterion>& criteria);
