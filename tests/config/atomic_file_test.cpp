// Replacing a file whole: the one way dumps and ini files reach the disk.
#include "config/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
}  // namespace rtd
