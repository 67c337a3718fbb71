// The entries of a folder in the order the system lists them, for tests whose expectations
// follow that (unsorted) order.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <string>
#include <vector>

struct listed_entry {
  std::string name;
  bool is_dir;  // by the entry's own status: a link to a folder is not one
};

// The entries of folder as readdir gives them, "." and ".." left out.
inline std::vector<listed_entry> listing_order(const std::string& folder) {
  std::vector<listed_entry> out;
  DIR* listing = opendir(folder.c_str());
  if (!listing) return out;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat status {};
    lstat((folder + "/" + name).c_str(), &status);
    out.push_back({name, S_ISDIR(status.st_mode)});
  }
  closedir(listing);
  return out;
}
