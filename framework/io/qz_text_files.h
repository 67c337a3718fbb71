// Whole-file text operations: a file is read into memory, converted or cut by the text
// functions, and written back in byte mode (no line-end translation). Paths are UTF-8.
// Nothing prints; every failure is a false result. Operations that rewrite their source
// write into that same file (replace_file_contents), only after the new content is complete.
#pragma once

#include <string>

#include "framework/text/qz_types.h"

// Replaces the content of the existing regular file at path (through a link, the file it
// names) by the length bytes at data, written over the old from the start before the file is
// cut to length: the file keeps its owner, mode and hard links. False, path untouched, when
// it is missing, not a regular file or not writable by the caller; false also when a write
// fails, which may leave the new content partly over the old.
bool replace_file_contents(const std::string& path, const void* data, u64 length);

// Converts the HTML file source_path into target_path: its wiki text (write_wiki_text of the
// normalised tokens) followed by the normalised HTML. Always 0; an unwritable target does
// nothing, and an unreadable or tagless source leaves the target empty.
int html_to_wiki_text(const char* source_path, const char* target_path);

// Writes in_path with its TABs expanded (expand_tabs with tab_width and check_utf16) into
// out_path, created or emptied; a file without TAB is copied unchanged. True when out_path was
// written; false for a null path or when in_path cannot be read.
bool expand_tabs_file(const char* in_path, const char* out_path, u32 tab_width, bool check_utf16);

// Writes source_path without its script sections (remove_tagged_sections with "script") into
// target_path, or back into source_path with in_place, or else to standard output; the result
// goes to standard output as well when the chosen file cannot be written. True when the
// source was read, cut and written where asked; an empty source writes nothing.
bool copy_html_without_scripts(const char* source_path, const char* target_path, bool in_place);
// Removes every occurrence of text (ASCII case ignored with ignore_case) from the file and
// writes it back, also when nothing was removed. False, file untouched, for a null path, a
// null or empty text, an empty or unreadable file, or when the file cannot be replaced.
bool remove_string_from_file(const char* path, const char* text, bool ignore_case);
// Cuts every section of the tag tag_name out of source_path and writes the rest into
// target_path, or back into source_path without one. A file that begins with FF FE is cut as
// UTF-16LE units (an odd last byte kept), any other as bytes. False for a null source or tag,
// an empty or unreadable source, or a failed cut or write.
bool cut_tag_blocks_in_file(const char* source_path, const char* target_path, const char* tag_name);
