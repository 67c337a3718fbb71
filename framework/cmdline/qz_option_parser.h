// The generic option parser: cmd_params::parse_generic_options (declared with the class)
// takes the framework's own options out of an argument vector into a parameter set. Options
// are tested in one fixed order, so a later one overrides an earlier one; only the first
// occurrence counts, except for "-filter", "-filter_skip" and "-filter_sig", which take every
// occurrence. Whatever the parser does not know stays in the vector. Messages go to standard
// error; a refusal ends parsing at once, leaving the options not yet tested in the vector.
//
// Values are checked where a wrong one would silently change the run: a "-num_subdirs" value
// or a "-filter_sig" offset that is not a number (read_option_number) refuses the run rather
// than walk another depth or test offset 0; a "-dateformat" pattern is taken only when it has
// 8 or 10 characters and names day, month and year in an order the date writer knows (else
// the default stays, with a message), since another one would print every date empty.
#pragma once

#include <string>

#include "framework/cmdline/qz_cmd_params.h"
#include "framework/text/qz_types.h"

// out = the unsigned number that text (blanks around it allowed) writes in decimal or, after
// "0x", in hexadecimal. False, out untouched, for any other text and for a number above max.
bool read_option_number(const std::string& text, u64 max, u64& out);

// The host's version text ("14.2.1", "22.04") into os_version, its first three numbers into
// os_major, os_minor and os_patch (parse_number: a piece that is no number gives 0). An empty
// text changes nothing; a number the text does not have leaves its field as it was.
void set_os_version(cmd_params& params, const std::string& version);
