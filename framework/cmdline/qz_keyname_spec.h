// Key-name specifications: a key path with "!" codes written into it ("Software\App!TF",
// "Run!S(name:value)"). The parser removes every code it knows from the text, sets one bit of
// the record's flag word per code and stores the codes' arguments; what is left is the key
// path. Codes it does not know stay in the path. All matching is case-sensitive.
#pragma once

#include <string>

#include "framework/time/qz_keyname_filter.h"

// Clears result and fills it from spec; spec is changed in place into the key path. Flag
// bits by code: "!AN" 56, "!AF" 58, "!AP" 57 (each alone excludes every other code; "!AP"
// turns a path without '/' into get_common_path of it), text starting "(unnamed)" 35, equal
// to "(all dates)" 20 or "(other fields)" 44; "!JC" 60, "!R" 0, "!WP" 2, "!NR" 43, "!SS" 49,
// "!B64" 59, "!Z" 21, "!SKV" 55, "!SK" 52, "!L2TS" 53, "!DM" 14, "!DA" 15, "!DC" 16, "!DB" 17,
// "!DE" 61 (every occurrence); the first "!BP" 45, "!TS" 8, "!TF" 3, "!TAH" 19, "!TAA" 9,
// "!TC" 11, "!TH" 10, "!TU" 4, "!TO" 5, "!TG" 6, "!TMG" 7, "!TMZ" 12, each but "!TAH" with a
// digit-count argument ("0", or "1"/"2" and that many characters read into byte_offset);
// "!SP" and one character into byte_offset, 47; "!SC(text)" into sub_text, 48; every
// "!SR(text)" appended to sub_list, 46; "!AFN(name)" 32 and "!CFN(name)" 50 into value_name;
// "!CT" with a digit count and an optional "(name:text)" into value_name and sub_text, 51;
// every "!S(key:value)" into sub_map (a repeated key keeps its first value), 34. Then the
// text is trimmed of blanks, tabs, CR and LF and loses its first backslash-n pair.
// An element left open (a bracket code without ")", "!S(" without ":" and ")", "!CT(" without
// them) is cut up to the next '!' (or the end), stores nothing and sets no bit. The parse never
// fails: the result is always true with valid 1.
bool parse_keyname_spec(keyname_filter& result, std::string& spec);
