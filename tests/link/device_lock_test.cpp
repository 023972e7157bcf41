// The system's lock on a programmer (or a simulated chip's file): one
// holder at a time, the others told who it is.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <fstream>
#include <string>

#include "link/device_lock.h"
#ifndef _WIN32
#include "link/file_lock.h"
#endif
#include "temp_dir.h"

namespace rtd::test {
namespace {

uint32_t OwnProcessId() {
#ifdef _WIN32
  return static_cast<uint32_t>(_getpid());
#else
  return static_cast<uint32_t>(getpid());
#endif
}

TEST(DeviceLock, OneHolderAtATimeAndTheOthersAreToldWhoItIs) {
  TempDir dir;
  const std::string path = dir.File("hidraw0");
  std::ofstream(path) << "";
  auto window = MakeSystemLock();
  auto cli = MakeSystemLock();
  ASSERT_EQ(window->Take(path).outcome, LockOutcome::kTaken);

  // Refused within one process as from another.
  const LockAttempt refused = cli->Take(path);
  EXPECT_EQ(refused.outcome, LockOutcome::kInUse);
  EXPECT_EQ(refused.holder.process_id, OwnProcessId());
  EXPECT_NE(refused.holder.program.find("link_tests"), std::string::npos)
      << refused.holder.program;

  window->Release();
  EXPECT_EQ(cli->Take(path).outcome, LockOutcome::kTaken);
  EXPECT_EQ(window->Take(path).outcome, LockOutcome::kInUse);
  cli.reset();  // gone with its owner
  EXPECT_EQ(window->Take(path).outcome, LockOutcome::kTaken);
}

#ifndef _WIN32
TEST(FileLock, ANodeThatCannotBeOpenedKeepsTheSystemsReason) {
  FileLock lock;
  const LockAttempt attempt = lock.Take("/nonexistent/hidraw9");
  EXPECT_EQ(attempt.outcome, LockOutcome::kFailed);
  EXPECT_EQ(attempt.reason, "No such file or directory");
}

TEST(FileLock, TheHolderIsFoundInTheKernelsListOfLocks) {
  // As /proc/locks shows them: device numbers in hexadecimal, inodes in
  // decimal, waiters marked "->", record locks of other kinds beside.
  const std::string locks =
      "1: POSIX  ADVISORY  WRITE 300 00:1a:77 0 EOF\n"
      "2: FLOCK  ADVISORY  WRITE 4711 00:05:1234 0 EOF\n"
      "2: -> FLOCK  ADVISORY  WRITE 4712 00:05:1234 0 EOF\n"
      "3: FLOCK  ADVISORY  WRITE 815 fd:01:77 0 EOF\n"
      "4: OFDLCK ADVISORY  WRITE -1 00:05:99 0 EOF\n"
      "5: FLOCK  ADVISORY  WRITE 0 00:05:55 0 EOF\n";
  struct Case {
    uint32_t major, minor;
    uint64_t inode;
    uint32_t pid;
  };
  for (const Case c : {Case{0x00, 0x05, 1234, 4711}, Case{0xfd, 0x01, 77, 815},
                       Case{0x00, 0x1a, 77, 0},    // a POSIX record lock is not ours
                       Case{0x00, 0x05, 99, 0},    // nor an open file's record lock
                       Case{0x00, 0x05, 55, 0},    // a holder outside our view
                       Case{0x00, 0x05, 1235, 0}}) {
    SCOPED_TRACE(c.inode);
    EXPECT_EQ(FlockHolderPid(locks, c.major, c.minor, c.inode), c.pid);
  }
}
#endif

}  // namespace
}  // namespace rtd::test
