// Names made unique within a set of names already taken: output files of a run, members of a
// JSON object. A name is taken as it stands when it is free, otherwise with "-2", "-3", ...
// between its stem and its tail; each stem remembers the copy number it reached, so a run of
// many equal names costs one look-up per name, not one per earlier copy.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

class unique_names {
 public:
  // stem + tail when that is not taken yet, otherwise stem + "-2" + tail, "-3", ... the first
  // one not taken; the name returned is taken.
  std::string take(const std::string& stem, const std::string& tail = "");
  // Takes name as it stands; false when it was taken already.
  bool insert(const std::string& name) { return taken_.insert(name).second; }
  // Nothing taken.
  void clear() {
    taken_.clear();
    next_copy_.clear();
  }

 private:
  std::unordered_set<std::string> taken_;
  // For each stem and tail seen taken: the copy number below which every copy is taken. Names
  // are only ever added, so the copies below it stay taken.
  std::unordered_map<std::string, unsigned long> next_copy_;
};
