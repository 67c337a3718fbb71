// Secure deletion: a file is overwritten with zeros, cut down to one byte, given a random
// name, moved into the temporary folder ("%TEMP%") and removed; a tree's folders are then
// removed, deepest first. Nothing outside what was asked is ever touched: the root is taken as
// written (a '*' in it is a name), and the tree is walked and changed through folders held
// open, one entry name at a time, never following a link, so that a folder swapped for a link
// while the deletion runs leads nowhere outside. A symbolic link, a special file or a file that
// has other names (hard links) loses only its own name, and names change only by rename within
// one file system, never over an existing entry. A file that cannot be overwritten stays where
// it is, whole.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

class cmd_params;
class filename_filter;
class io_report;

// Status of one path in a tree deletion: one of the first three values, with flags or-ed in.
constexpr u64 secure_status_folder = 1;
constexpr u64 secure_status_not_wiped = 2;  // nothing was overwritten (empty, failed or name only)
constexpr u64 secure_status_wiped = 6;      // overwritten with zeros
constexpr u64 secure_flag_cut = 8;          // cut down to one byte
constexpr u64 secure_flag_renamed = 16;     // given a random name
constexpr u64 secure_flag_moved = 32;       // moved into the temporary folder
constexpr u64 secure_flag_remove_tried = 64;
constexpr u64 secure_flag_removed = 128;    // the removal succeeded
constexpr u64 secure_flag_kept = 256;       // could not be overwritten: left in place, whole
constexpr u64 secure_flag_name_only = 512;  // link, special file or file with other names

// Path (as the walk reported it) to status; the first status of a path is kept.
using secure_delete_map = std::map<std::wstring, u64>;

// What the walk's callback fills and the deletion passes read.
struct secure_delete_state {
  secure_delete_map statuses;
  io_report* report = nullptr;  // null: nothing shown
};

// The path walk's callback (qz_filtered_walk.h): `context` is a secure_delete_state. A folder
// other than "." and ".." is recorded; a file, reached through its folder's path and then by its
// name without following a link, is overwritten with zeros when it is a regular file with one
// name ("wipe: ..." to the log and "wiped: ...\n" as a message, or "not wiped: ..." when it was
// empty or could not be overwritten, the latter kept); anything else is recorded as name only.
// Returns 0.
int wipe_entry(std::wstring& path, bool is_dir, void* context, cmd_params* params);

// Destroys the files of the tree at root that pass the filters (null: all), `levels` folder
// levels deep (1: the root's own files), and, when the filters are none or the one match-all
// element, then removes its folders deepest first. Messages ("deleted: <path> - success" or
// "- failed", "can't access: <path>" for a file kept or a folder that could not be listed) go to
// the report when it wants them, steps to its log. statuses (when given) receives the status of
// every path. True when everything found was destroyed; false for an empty root, a root that is
// a symbolic link or not a folder, a walk that found nothing, a folder within the levels that
// could not be opened or listed whole (what it holds was never seen), or any entry that could
// not be destroyed.
bool secure_delete_tree(const std::wstring& root, const std::vector<filename_filter>* filters,
                        unsigned levels, cmd_params* params, io_report* report = nullptr,
                        secure_delete_map* statuses = nullptr);

// Destroys one file as a tree deletion does, through its folder held open (its random name
// drawn from the characters 33 to 126), silently; a symbolic link or special file loses only
// its name. False for an empty path, a path that does not exist, a folder, a file that
// cannot be opened for writing (left whole), or a removal that fails.
bool secure_delete_file(const std::wstring& path);
