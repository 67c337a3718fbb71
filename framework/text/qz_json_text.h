// Light readers and one writer for JSON-shaped text, built on text search rather than a JSON
// grammar. Member names match without regard to ASCII case; values are cut from the input,
// so they keep their case. Each function empties its output container first. No reader goes
// past the end of its text: unbalanced braces, an unterminated string or a truncated value
// end the reading with what was read.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "framework/text/qz_types.h"

// The values of some named members of one object.
struct json_object {
  json_object() = default;
  // Empties all three members.
  void clear();

  std::vector<std::string> names;        // the names asked for, in the caller's order
  std::vector<std::string> values;       // the value of each name (empty when not found)
  std::map<std::string, u32> positions;  // lower-cased name -> index; the first name wins
};

// objects = the top-level object texts of an array text, found by pairing braces (counted
// inside strings too; a "}" with no "{" open is passed over). A text without "[" (an empty
// one too), or whose first "{" comes before its first "[", is one object whole. False for an
// array without "{"; otherwise whether objects is non-empty.
bool split_json_objects(std::vector<std::string>& objects, const std::string& text);
// values = one entry per name: the value of the member "name" in object_text, trimmed and
// without one leading and one trailing quote; a value ends before ",\"" (and before a "}"
// just ahead of it), else at a "," that no closed quoted string holds, else before "}", else
// at the end of the text. False for an empty text or no names.
bool json_values_for_names(std::vector<std::string>& values, const std::vector<std::string>& names,
                           const std::string& object_text);
// One json_object per object of the array text, its values read for names (a record stays
// empty when that fails). True when objects is non-empty.
bool parse_json_objects(std::vector<json_object>& objects, const std::vector<std::string>& names,
                        const std::string& text);
// members = one entry per name: for the first member "name" whose value is an array of
// objects, the text from the name's opening quote up to the array's "]", trimmed and without
// one leading and one trailing quote (split_json_objects reads it). True when a name was found.
bool json_array_members(std::vector<std::string>& members, const std::vector<std::string>& names,
                        const std::string& text);
// Writes "key":"value" for every pair in key order, separated by separator and a blank;
// nothing is escaped.
void write_json_pairs(std::ostream& out, const std::map<std::string, std::string>& pairs,
                      char separator);
