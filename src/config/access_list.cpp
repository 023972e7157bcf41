#include "config/access_list.h"

#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/stat.h>

#include <cerrno>

namespace rtd {

namespace {

bool EntryWrites(acl_entry_t entry) {
  acl_permset_t perms = nullptr;
  return acl_get_permset(entry, &perms) == 0 && acl_get_perm(perms, ACL_WRITE) == 1;
}

// The user or group id an entry names.
template <typename Id>
bool EntryQualifier(acl_entry_t entry, Id& id) {
  void* qualifier = acl_get_qualifier(entry);
  if (qualifier == nullptr) return false;
  id = *static_cast<const Id*>(qualifier);
  acl_free(qualifier);
  return true;
}

}  // namespace

int ReadGroupClassWriters(const std::string& folder, mode_t mode, GroupClassWriters& writers) {
  writers = {};
  acl_t list = acl_get_file(folder.c_str(), ACL_TYPE_ACCESS);
  if (list == nullptr) {
    if (errno != ENOTSUP && errno != ENOSYS) return errno;
    writers.owning_group = (mode & S_IWGRP) != 0;
    return 0;
  }
  // Without a mask (a list the mode says all of) nothing is masked.
  bool mask_writes = true;
  acl_entry_t entry = nullptr;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(list, which, &entry) == 1;
       which = ACL_NEXT_ENTRY) {
    acl_tag_t tag = ACL_UNDEFINED_TAG;
    if (acl_get_tag_type(entry, &tag) != 0) continue;
    const bool writes = EntryWrites(entry);
    if (tag == ACL_MASK) {
      mask_writes = writes;
    } else if (tag == ACL_GROUP_OBJ) {
      writers.owning_group = writes;
    } else if (tag == ACL_USER && writes) {
      uid_t uid = 0;
      if (EntryQualifier(entry, uid)) writers.users.push_back(uid);
    } else if (tag == ACL_GROUP && writes) {
      gid_t gid = 0;
      if (EntryQualifier(entry, gid)) writers.groups.push_back(gid);
    }
  }
  acl_free(list);
  if (!mask_writes) writers = {};
  return 0;
}

}  // namespace rtd
