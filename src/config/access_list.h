// Who a folder's access list lets write to it, beyond its owner (POSIX
// only): the entries that the mode's three classes do not show.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace rtd {

// The write rights of a folder's group class, the mask applied: an entry
// whose write the mask takes away gives none.
struct GroupClassWriters {
  bool owning_group = false;  // the folder's own group
  std::vector<uid_t> users;   // users named in the list
  std::vector<gid_t> groups;  // groups named in the list
};

// Reads them from the folder's access list; a file system that keeps no
// access lists has only the mode's group bits (mode). 0, or the errno of a
// list that could not be read.
int ReadGroupClassWriters(const std::string& folder, mode_t mode, GroupClassWriters& writers);

}  // namespace rtd
