// The tool's own command-line options: the source and destination, the one action, the
// cleanup settings. Each option taken is removed from the argument vector with its value; what
// is left goes to the generic option parser. Refusals are printed on standard error.
#pragma once

#include <string>
#include <vector>

class quazel_tool_metadata;

// Reads the tool's options from args into ctx, runs the generic parser on the rest, checks the
// combination, reads the banner of a single "-src" CSV, sets up the run's SQLite member and
// the split state. False (after a message, except where the generic or SQLite layer printed
// its own) when the run must not go on. banner_read, when given, says whether a single CSV
// source's banner was read (false too when no banner was asked for). "-sqlite_to_csv" names
// what keeps it from running rather than end with the start-up record alone: a "-src" that
// is not an existing file ("prob reading <source>, aborting"), no "-src" at all (as any run
// without a source), "-pipe", no "-dst".
bool parse_tool_options(quazel_tool_metadata& ctx, std::vector<std::string>& args,
                        const std::string& version_text, bool* banner_read = nullptr);

// What of the run's inputs writing path would overwrite: "the database being read" (a reader's
// database, or a file the library keeps beside it), "the database being written" (the
// "-csv_to_sqlite" database and the files beside it, which hold earlier runs) or "the source"
// (source: the "-src" file); null when none. Files are the same by identity where they exist,
// else by folder and name.
const char* input_named_by(const quazel_tool_metadata& ctx, const std::string& source, const std::string& path);

// Creates the "-dst" folder of a run that writes files into one (not under "-csv_to_sqlite",
// whose destination is the database file). False after "prob creating destination folder: ..."
// when it cannot be made.
bool make_destination_folder(const quazel_tool_metadata& ctx);

// The "-pair_fields" value into ctx.pair_map (column numbers from 1, pairs "a:b" separated by
// "|", else ",", else ";"); sets cleanup. A piece without a usable ":" is reported and passed over.
void parse_pair_fields(quazel_tool_metadata& ctx, const std::string& value);
