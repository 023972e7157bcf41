// Replacing a file whole: the one way dumps and ini files reach the disk.
#include "config/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "i18n/lang.h"
#include "temp_dir.h"

namespace rtd {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class AtomicFileTest : public ::testing::Test {
 protected:
  bool Replace(const std::string& path, const std::string& bytes) {
    reason_.clear();
    return ReplaceFileContent(path, bytes, reason_);
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
  }
  TempDir dir_;
  std::string reason_;
};

TEST_F(AtomicFileTest, ANameNearTheSystemLimitStillGetsItsTemporaryFile) {
  const std::string path = dir_.File(std::string(245, 'd') + ".bin");
  ASSERT_TRUE(Replace(path, "new")) << reason_;
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileTest, OwnerAndPermissionsAreKept) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to someone else";
  const std::string path = dir_.File("theirs.ini");
  WriteBytes(path, "old");
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(path.c_str(), 0604), 0);
  ASSERT_TRUE(Replace(path, "new")) << reason_;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_F(AtomicFileTest, WhatIsNoRegularFileIsRefusedWithoutWaiting) {
  const int32_t saved = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  const std::string fifo = dir_.File("pipe");
  RTD_MAKE_FIFO_OR_SKIP(fifo);
  EXPECT_FALSE(Replace(fifo, "x"));
  EXPECT_EQ(reason_, "not a regular file");
  CurrentLanguage = saved;
  EXPECT_FALSE(Replace(dir_.path(), "x"));
  EXPECT_EQ(reason_, "Is a directory");
  EXPECT_FALSE(Replace(dir_.File("no/such.bin"), "x"));
  EXPECT_EQ(reason_, "No such file or directory");
}

// The directory takes no new files, but the file itself may be written:
// it is written in place, as a plain save would; a new file cannot be made.
TEST_F(AtomicFileTest, ReadOnlyDirectoryWithAWritableFileIsWrittenInPlace) {
  const std::string path = dir_.File("shared.ini");
  WriteBytes(path, "old content");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  // Root writes into any directory, so try it as an ordinary user.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    std::string reason;
    const bool in_place = ReplaceFileContent(path, "new", reason);
    const bool created = ReplaceFileContent(dir_.File("other.ini"), "x", reason);
    _exit(in_place && !created && reason == "Permission denied" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_EQ(Entries(), 1u);
}

// As the system does for links: in a sticky world-writable folder only the
// user's own links and the folder owner's are followed; a link to nothing
// never creates its target.
TEST_F(AtomicFileTest, LinksAreFollowedOnlyWhereTheSystemWouldFollowThem) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to someone else";
  const int32_t saved = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  struct Case {
    uid_t folder_owner;
    uid_t link_owner;
    const char* reason;  // empty: followed
  } cases[] = {
      {0, 0, ""},
      {65534, 65534, ""},
      {0, 65534, "a link in a shared folder that belongs to another user; not followed"},
  };
  const std::string system_file = dir_.File("passwd");
  for (const Case& c : cases) {
    WriteBytes(system_file, "root:x:0:0");
    const std::string shared = dir_.File("tmp");
    std::filesystem::create_directory(shared);
    ASSERT_EQ(chown(shared.c_str(), c.folder_owner, c.folder_owner), 0);
    ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
    const std::string link = shared + "/x.bin";
    ASSERT_EQ(symlink(system_file.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), c.link_owner, c.link_owner), 0);
    EXPECT_EQ(Replace(link, "dump"), *c.reason == '\0') << c.link_owner;
    EXPECT_EQ(reason_, c.reason);
    EXPECT_EQ(ReadBytes(system_file), *c.reason == '\0' ? "dump" : "root:x:0:0");
    std::filesystem::remove_all(shared);
  }
  const std::string dangling = dir_.File("dangling.bin");
  ASSERT_EQ(symlink(dir_.File("elsewhere.bin").c_str(), dangling.c_str()), 0);
  EXPECT_FALSE(Replace(dangling, "dump"));
  EXPECT_EQ(reason_, "a link to a file that does not exist");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("elsewhere.bin")));
  CurrentLanguage = saved;
}

// A file that root (sudo) makes in the user's folder is the user's.
TEST_F(AtomicFileTest, ANewFileBelongsToTheOwnerOfItsFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "only root makes files for someone else";
  ASSERT_EQ(chown(dir_.path().c_str(), 65534, 65534), 0);
  const std::string path = dir_.File("dump.bin");
  ASSERT_TRUE(Replace(path, "new")) << reason_;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
}

// A folder that takes no new files and a disk with room for only part of
// the new dump: the old one stays whole.
TEST_F(AtomicFileTest, AFullDiskNeverCostsTheOldContentOfAFileRewrittenInPlace) {
  const std::string path = dir_.File("dump.bin");
  const std::string old(4096, 'o');
  WriteBytes(path, old);
  static constexpr off_t kRoom = 6000;  // the file may grow to this size
  FileSystemCalls calls = SystemFileCalls();
  calls.make_temp = [](char*, int) {
    errno = EACCES;
    return -1;
  };
  calls.reserve = [](int fd, off_t offset, off_t length) {
    return offset + length > kRoom ? ENOSPC : SystemFileCalls().reserve(fd, offset, length);
  };
  calls.write = [](int fd, const void* data, size_t size) -> ssize_t {
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= kRoom) {
      errno = ENOSPC;
      return -1;
    }
    return write(fd, data, std::min<size_t>(size, static_cast<size_t>(kRoom - at)));
  };
  EXPECT_FALSE(ReplaceFileContent(path, std::string(8192, 'n'), reason_, calls));
  EXPECT_EQ(reason_, "No space left on device");
  EXPECT_EQ(ReadBytes(path), old);
  ASSERT_TRUE(ReplaceFileContent(path, "short", reason_, calls)) << reason_;
  EXPECT_EQ(ReadBytes(path), "short");
}

}  // namespace
}  // namespace rtd
