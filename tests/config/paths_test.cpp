// Where the settings file and jedec.ini live: beside a program folder, or
// the user's own files for an installed program.
#include "config/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "config/atomic_file.h"
#include "temp_dir.h"

namespace rtd {
namespace {

using test::TempDir;
using test::WriteBytes;

TEST(ProgramFiles, BesideAProgramFolderThatHoldsJedecIni) {
  TempDir dir;
  WriteBytes(dir.File("jedec.ini"), "");
  const ProgramFiles f = LocateProgramFiles({dir.File("rtdprog-cli"), "/xdg", "/home/u"});
  EXPECT_TRUE(f.beside_program);
  EXPECT_EQ(f.settings, dir.File("rtdprog.ini"));
  EXPECT_EQ(f.jedec, dir.File("jedec.ini"));
  EXPECT_EQ(f.shipped_jedec, "");
  EXPECT_EQ(f.backup_dir, dir.File("backups"));
  EXPECT_EQ(PrepareConfigDirectory(f), "");
}

TEST(ProgramFiles, InstalledTheUsersOwnBesideTheShippedDatabase) {
  // An installed bin/ has no jedec.ini, however writable it is (root).
  TempDir dir;
  const std::string bin = dir.File("usr/bin");
  std::filesystem::create_directories(bin);

  ProgramFiles f = LocateProgramFiles({bin + "/rtdprog-cli", "/xdg", "/home/u"});
  EXPECT_FALSE(f.beside_program);
  EXPECT_EQ(f.settings, "/xdg/rtdprog/rtdprog.ini");
  EXPECT_EQ(f.jedec, "/xdg/rtdprog/jedec.ini");
  EXPECT_EQ(f.shipped_jedec, dir.File("usr/share/rtdprog/jedec.ini"));

  // A relative or empty $XDG_CONFIG_HOME is ignored.
  for (const char* xdg : {"", "relative/dir"}) {
    f = LocateProgramFiles({bin + "/rtdprog-cli", xdg, "/home/u"});
    EXPECT_EQ(f.settings, "/home/u/.config/rtdprog/rtdprog.ini");
    EXPECT_EQ(f.config_dir, "/home/u/.config/rtdprog");
  }
  // The backups are data: $XDG_DATA_HOME when absolute, else ~/.local/share.
  for (const auto& [data, backups] :
       {std::pair{"/data", "/data/rtdprog/backups"},
        std::pair{"", "/home/u/.local/share/rtdprog/backups"},
        std::pair{"relative/dir", "/home/u/.local/share/rtdprog/backups"}}) {
    EXPECT_EQ(LocateProgramFiles({bin + "/rtdprog-cli", "/xdg", "/home/u", data}).backup_dir,
              backups);
  }
  // Nowhere to put them: no path, which the settings code reports, and the
  // reason there is no backup folder, which the erase reports.
  const ProgramFiles homeless = LocateProgramFiles({bin + "/rtdprog-cli", "", ""});
  EXPECT_EQ(homeless.settings, "");
  EXPECT_EQ(homeless.backup_dir, "");
  EXPECT_EQ(homeless.backup_problem.Picked().rfind("не заданы ни $XDG_DATA_HOME, ни $HOME", 0),
            0u)
      << homeless.backup_problem.Picked();
  // Told at the first erase, in the language of that moment: the window
  // locates its files before it has read its language.
  const int32_t located_in = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  EXPECT_EQ(homeless.backup_problem.Picked().rfind("neither $XDG_DATA_HOME nor $HOME is set", 0),
            0u)
      << homeless.backup_problem.Picked();
  CurrentLanguage = located_in;

  // --jedec: one file for everything.
  UseChipDatabase(f, "/tmp/mine.ini");
  EXPECT_EQ(f.jedec, "/tmp/mine.ini");
  EXPECT_EQ(f.shipped_jedec, "");
}

TEST(ProgramFiles, TheUsersDirectoryIsCreatedPrivateOrTheReasonGiven) {
  TempDir dir;
  ProgramFiles f;
  f.config_dir = dir.File("home/.config/rtdprog");
  EXPECT_EQ(PrepareConfigDirectory(f), "");
  struct stat st {};
  ASSERT_EQ(stat(f.config_dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(PrepareConfigDirectory(f), "");  // already there

  WriteBytes(dir.File("file"), "");
  f.config_dir = dir.File("file/rtdprog");
  EXPECT_EQ(PrepareConfigDirectory(f), dir.File("file/rtdprog") + ": Not a directory");
}

// Root in a shared folder that holds the program: another user's link is
// not followed to make the backups in a place of their choosing.
TEST(ProgramFiles, ALinkOfAnotherUserInASharedFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root meets another user's links";
  TempDir dir;
  const std::string shared = dir.File("shared");
  const std::string theirs = dir.File("theirs");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(mkdir(theirs.c_str(), 0777), 0);
  ASSERT_EQ(symlink(theirs.c_str(), (shared + "/backups").c_str()), 0);
  for (const auto& [owner, refused] : {std::pair{65534u, true}, std::pair{0u, false}}) {
    ASSERT_EQ(lchown((shared + "/backups").c_str(), owner, owner), 0);
    std::string level;
    EXPECT_EQ(MakeFolders(shared + "/backups/simulated", &level).empty(), !refused) << owner;
    EXPECT_EQ(std::filesystem::exists(theirs + "/simulated"), !refused) << owner;
    if (refused) {
      EXPECT_EQ(level, shared + "/backups");
    }
  }
}

// A folder that another user made and left open to anyone (mode 0777, no
// sticky bit) lets them, or anyone, delete or replace the backups kept
// below it: refused by its name. The same folder of root's, or with the
// sticky bit, is fine.
TEST(ProgramFiles, AnOpenFolderOfAnotherUserIsNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root makes folders for someone else";
  TempDir dir;
  const std::string shared = dir.File("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string planted = shared + "/backups";
  ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
  const struct {
    uid_t owner;
    mode_t mode;
    bool refused;
  } cases[] = {{65534, 0777, true}, {65534, 01777, false}, {0, 0777, false}};
  for (const auto& c : cases) {
    ASSERT_EQ(chown(planted.c_str(), c.owner, c.owner), 0);
    ASSERT_EQ(chmod(planted.c_str(), c.mode), 0);
    std::string level;
    const std::string reason = MakeFolders(planted + "/simulated", &level);
    EXPECT_EQ(!reason.empty(), c.refused) << c.owner << " " << c.mode;
    if (c.refused) {
      EXPECT_EQ(level, planted);
      EXPECT_FALSE(std::filesystem::exists(planted + "/simulated"));
    }
  }
}

// The backups' rule looks at who may write, not at who owns: a level that
// anyone may write to, or a group with other members, is refused (unless
// the sticky bit keeps each one's files their own). Looking does not make.
TEST(ProgramFiles, BackupFoldersAreRefusedWhereOthersMayWrite) {
  const struct {
    mode_t mode;
    bool group_has_others;
    bool refused;
  } rules[] = {
      {0700, true, false}, {0755, true, false},  {0775, false, false}, {0775, true, true},
      {0777, false, true}, {01777, true, false}, {02770, true, true},  {01770, true, false},
  };
  for (const auto& r : rules)
    EXPECT_EQ(OthersMayWriteText(r.mode, r.group_has_others).empty(), !r.refused) << r.mode;

  TempDir dir;
  const std::string open = dir.File("open");
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);  // whoever owns it: root or the user
  for (const bool make : {false, true}) {
    std::string level;
    const std::string folder = open + "/backups";
    const std::string reason = make ? MakeFolders(folder, &level, FolderRule::kOnlyUserWrites)
                                    : CheckFolders(folder, &level, FolderRule::kOnlyUserWrites);
    EXPECT_EQ(reason, OthersMayWriteText(0777, false));
    EXPECT_EQ(level, open);
    EXPECT_FALSE(std::filesystem::exists(folder));
  }
  std::string level;
  EXPECT_EQ(CheckFolders(dir.File("mine/backups"), &level, FolderRule::kOnlyUserWrites), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("mine")));
}

// sudo -E keeps the user's HOME: what root makes there stays the user's.
TEST(ProgramFiles, FoldersMadeInTheUsersHomeBelongToTheUser) {
  if (geteuid() != 0) GTEST_SKIP() << "only root makes folders for someone else";
  TempDir dir;
  const std::string home = dir.File("home");
  ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
  ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
  ProgramFiles f;
  f.config_dir = home + "/.config/rtdprog";
  ASSERT_EQ(PrepareConfigDirectory(f), "");
  for (const std::string& made : {home + "/.config", f.config_dir}) {
    struct stat st {};
    ASSERT_EQ(stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << made;
  }
}

}  // namespace
}  // namespace rtd
