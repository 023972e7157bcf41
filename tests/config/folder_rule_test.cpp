// The backups' folder rule on the way the system goes to the folder: links
// followed to wherever they lead, and access lists read.
#include <acl/libacl.h>
#include <gtest/gtest.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "config/atomic_file.h"
#include "temp_dir.h"

namespace rtd {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string Check(const std::string& folder, std::string* level) {
  return CheckFolders(folder, level, FolderRule::kOnlyUserWrites);
}

// Sets the folder's access list: the owner's rwx, nothing for the owning
// group and the others, and the entries given. False where the file system
// keeps no access lists.
bool SetAccessList(const std::string& folder, const std::string& entries) {
  acl_t list = acl_from_text(("u::rwx,g::---,o::---," + entries).c_str());
  if (list == nullptr) ADD_FAILURE() << entries;
  const int set = list == nullptr ? -1 : acl_set_file(folder.c_str(), ACL_TYPE_ACCESS, list);
  const int error = errno;
  if (list != nullptr) acl_free(list);
  if (set != 0 && error != ENOTSUP) ADD_FAILURE() << entries << ": " << SystemErrorText(error);
  return set == 0;
}

// A link to a folder inside one that others may write to: whoever may
// write there can delete or replace the backups, just as when the open
// folder is met directly. The refusal names the folder the link leads
// through, and the walk makes nothing there.
TEST(BackupFolderRule, LinksAreFollowedToEveryFolderTheyLeadThrough) {
  TempDir dir;
  const std::string mine = dir.File("mine");
  const std::string open = fs::canonical(dir.path()).string() + "/open";
  fs::create_directories(open + "/kept");
  fs::create_directories(mine);
  fs::create_symlink(open + "/kept", mine + "/backups");
  fs::create_symlink("../open/kept", mine + "/way");
  const struct {
    const char* name;
    mode_t mode;  // of the open folder
    std::string folder;
    bool refused;
  } cases[] = {
      {"a link at the last level", 0777, mine + "/backups", true},
      {"a link at a middle level", 0777, mine + "/way/backups", true},
      {"a middle level, the open folder sticky", 01777, mine + "/way/backups", false},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(chmod(open.c_str(), c.mode), 0);
    for (const bool make : {false, true}) {
      std::string level;
      const std::string reason = make ? MakeFolders(c.folder, &level, FolderRule::kOnlyUserWrites)
                                      : Check(c.folder, &level);
      EXPECT_EQ(reason, c.refused ? OthersMayWriteText(0777, false) : "") << c.name;
      if (c.refused) {
        EXPECT_EQ(level, open) << c.name;
      }
    }
    EXPECT_EQ(fs::exists(open + "/kept/backups"), !c.refused) << c.name;
  }
}

// A link whose target is missing: the walk would not make a folder through
// it (the name is taken), so the look before the question refuses it as
// the walk does, rather than let the backup be read for nothing.
TEST(BackupFolderRule, ALinkToNothingIsRefusedByTheLookAsByTheWalk) {
  TempDir dir;
  const std::string mine = fs::canonical(dir.path()).string();
  fs::create_symlink(mine + "/gone/kept", mine + "/backups");
  for (const std::string& folder : {mine + "/backups", mine + "/backups/simulated"}) {
    std::string look_level, walk_level;
    const std::string look = Check(folder, &look_level);
    const std::string walk = MakeFolders(folder, &walk_level, FolderRule::kOnlyUserWrites);
    EXPECT_EQ(look, SystemErrorText(ENOENT)) << folder;
    EXPECT_EQ(look, walk) << folder;
    EXPECT_EQ(look_level, walk_level) << folder;
  }
  EXPECT_FALSE(fs::exists(mine + "/gone"));
}

// An access-list entry that lets another user (or a group with other
// members) write is refused on any level, with the entry named and the
// command that takes it away; one the mask leaves without write, or one
// that only reads, is fine. Root counts as anyone else's user here: the
// entries are for nobody.
TEST(BackupFolderRule, AccessListEntriesThatLetOthersWriteAreRefused) {
  TempDir dir;
  const std::string kept = fs::canonical(dir.path()).string() + "/kept folder";
  ASSERT_EQ(mkdir(kept.c_str(), 0700), 0);
  const struct {
    const char* entries;
    const char* way_out;  // nullptr: allowed
  } cases[] = {
      {"u:nobody:rwx,m::rwx", "setfacl -x u:nobody '"},
      {"u:nobody:rwx,m::r-x", nullptr},
      {"u:nobody:r-x,m::r-x", nullptr},
      {"g:65534:rwx,m::rwx", "setfacl -x g:nogroup '"},
  };
  for (const auto& c : cases) {
    if (!SetAccessList(kept, c.entries))
      GTEST_SKIP() << "the temporary folder's file system keeps no access lists";
    std::string level;
    const std::string reason = Check(kept + "/backups", &level);
    if (c.way_out == nullptr) {
      EXPECT_EQ(reason, "") << c.entries;
      continue;
    }
    EXPECT_EQ(level, kept) << c.entries;
    EXPECT_NE(reason.find(c.way_out + kept + "'"), std::string::npos) << reason;
  }
}

// The way out the refusal gives, followed word by word, lets the folder
// be used.
TEST(BackupFolderRule, TheRefusalsWayOutWorksAsWritten) {
  if (std::system("command -v setfacl >/dev/null") != 0)
    GTEST_SKIP() << "setfacl (Debian package acl) is not installed";
  TempDir dir;
  const std::string kept = dir.File("it's kept");
  ASSERT_EQ(mkdir(kept.c_str(), 0700), 0);
  if (!SetAccessList(kept, "u:nobody:rwx,g:65534:rwx,m::rwx"))
    GTEST_SKIP() << "the temporary folder's file system keeps no access lists";
  std::string level;
  const std::string reason = Check(kept, &level);
  const std::size_t command = reason.find("setfacl");
  ASSERT_NE(command, std::string::npos) << reason;
  ASSERT_EQ(std::system(reason.substr(command).c_str()), 0) << reason;
  EXPECT_EQ(Check(kept, &level), "");
}

}  // namespace
}  // namespace rtd
