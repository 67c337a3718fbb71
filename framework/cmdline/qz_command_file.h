// Command files: text files holding commands as "<!cmd>" ... "</!cmd>" blocks, each with named
// arguments ("<!arg=name>value</!arg>") and free words. Each block becomes one command record,
// a list of strings a caller treats like an argument vector. Tags match exactly, case and all;
// text outside blocks is ignored.
#pragma once

#include <string>
#include <vector>

// One block: its text, then each argument's name and value in block order, then the free words.
using command_record = std::vector<std::string>;

// Empties records, then reads the file at path into one record per block, in file order.
// Unless keep_line_feeds, every LF becomes a blank first; every CR and TAB is removed (a TAB
// separates nothing). Record: the block's text; per argument element its name (double quotes
// and apostrophes removed) and its value as written; then the rest of the block cut at blanks,
// a group of words in double quotes staying one word, with every double quote removed. A block
// with no argument and no word gives an empty record. A block left open ("<!cmd>" followed by
// the end of the file or by another "<!cmd>" before its "</!cmd>") gives no record at all;
// within a block, "<!arg=" without "</!arg>" runs to the end of the block, and a name without
// its own ">" is the text up to "</!arg>" with an empty value. False, records empty, for an
// empty path, a file that cannot be read whole (4 GiB at most) or one without a closed block.
bool parse_command_file(std::vector<command_record>& records, const std::string& path, bool keep_line_feeds);
