// Pulling attribute values, tag contents and links out of HTML text without parsing it.
// Every buffer is (pointer, length) and nothing is read at or past its length; a NUL inside
// the length ends the text as well. Output strings are emptied at the start of each call;
// link maps and value vectors are appended to and never emptied. Every failure is false.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "framework/text/qz_types.h"

// A value cut out of a page with where it stands, so that a caller can rewrite it in place.
struct string_offset_size {
  string_offset_size() = default;
  // A cleared record holding text, offset and size.
  string_offset_size(std::string text, unsigned long long offset, unsigned long long size);
  // Empties the three texts and sets the four numbers to 0.
  void clear();

  std::string text;   // the value
  std::string text2;  // empty; kept for callers that carry a second text
  std::string text3;  // empty; kept for callers that carry a third text
  u64 word1 = 0;
  u64 word2 = 0;
  u64 offset = 0;  // source position of the first character after the attribute's "="
  u64 size = 0;    // characters from offset through the closing quote (or the value's end)
};

// A tag from split_tags_with_offsets: its text ("<" through ">") and the position after its "<".
using html_tag_record = std::pair<std::string, int>;
// Link text -> (offset, size) as string_offset_size defines them; texts may repeat.
using html_link_map = std::multimap<std::string, std::pair<i32, i32>>;

// value = the text between the first two double quotes after the first "=" that follows the
// first occurrence of name (case-sensitive, also inside a longer name); false when a piece is
// missing. Single-quoted and unquoted values are not recognised.
bool attribute_value(const char* buffer, i32 length, const char* name, std::string& value);
// name and value of the n-th (from 1) attribute of tag ("<x a=\"1\" b=\"2\">"); every earlier
// attribute must hold a double-quoted value. False for anything else.
bool nth_attribute(const char* tag, i32 length, i32 n, std::string& name, std::string& value);
// text = what stands between the ">" of the first "<" + tag_name and the "</" + tag_name + ">"
// after it; false when a piece is missing.
bool text_between_tags(const char* buffer, i32 length, const char* tag_name, std::string& text);
// value = the value of the first occurrence of name (any case): after the next "=" and any
// blanks, either quoted (single or double; CR and LF left out) or unquoted up to a blank or
// CR. False, value holding what was gathered, when the text ends first; false for a name of
// 257 or more characters or a text not longer than the name.
bool find_attribute_value(const char* text, u64 length, const char* name, std::string& value);
// find_attribute_value over tag.first (length characters of it); out holds the value, its
// source offset (tag.second + the position of "=" in the tag) and the size it covers.
bool attribute_value_span(const html_tag_record& tag, u64 length, const char* name,
                          string_offset_size& out);
// Adds the href value of each tag (its src value when it has no href) to links; true when
// links is non-empty afterwards, false at once for a buffer without tags.
bool extract_links(const u8* buffer, u32 length, html_link_map& links);
// Append the src, the href, or the href and src values of every tag; true when values is
// non-empty afterwards, false at once for a buffer without tags.
bool collect_src_values(const u8* buffer, u32 length, std::vector<std::string>& values);
bool collect_href_values(const u8* buffer, u32 length, std::vector<std::string>& values);
bool collect_link_values(const u8* buffer, u32 length, std::vector<std::string>& values);
