// Names made unique within a set of names already given: output files of a run, members of a
// JSON object.
#pragma once

#include <set>
#include <string>

// stem + tail when that is not in used yet, otherwise stem + "-2" + tail, "-3", ... the first
// one not in used; the name returned is added to used.
std::string unique_name(std::set<std::string>& used, const std::string& stem, const std::string& tail = "");
