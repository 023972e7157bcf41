#include "link/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>
#include <string>

#include "core/system_error_text.h"
#include "core/utf8.h"

namespace rtd {
namespace {

// The whole of a small system file (procfs); empty when it cannot be read.
std::string ReadSystemFile(const std::string& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return text;
}

// Reads an unsigned number in the given base from the start of text.
template <typename T>
bool ReadNumber(std::string_view text, int base, T& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size();
}

LockHolder FindHolder(int fd) {
  LockHolder holder;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return holder;
  holder.process_id = FlockHolderPid(ReadSystemFile("/proc/locks"), major(st.st_dev),
                                     minor(st.st_dev), st.st_ino);
  if (holder.process_id == 0) return holder;
  std::string name = ReadSystemFile("/proc/" + std::to_string(holder.process_id) + "/comm");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  // Any process may name itself as it likes, escape sequences included.
  holder.program = ShowableText(name);
  return holder;
}

bool SameFile(int a, int b) {
  struct stat sa {}, sb {};
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

uint32_t FlockHolderPid(std::string_view proc_locks, uint32_t major, uint32_t minor,
                        uint64_t inode) {
  // Each line: "1: FLOCK  ADVISORY  WRITE 4711 00:05:123 0 EOF"; a process
  // waiting for a lock has "->" after the number. The device's numbers are
  // hexadecimal, the inode decimal.
  std::istringstream lines{std::string(proc_locks)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    fields >> number >> kind;
    if (kind == "->") continue;
    fields >> mode >> access >> pid >> file;
    if (kind != "FLOCK") continue;
    const std::size_t first = file.find(':');
    const std::size_t second = file.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    uint32_t file_major = 0, file_minor = 0, holder = 0;
    uint64_t file_inode = 0;
    if (!ReadNumber(std::string_view(file).substr(0, first), 16, file_major) ||
        !ReadNumber(std::string_view(file).substr(first + 1, second - first - 1), 16,
                    file_minor) ||
        !ReadNumber(std::string_view(file).substr(second + 1), 10, file_inode))
      continue;
    if (file_major != major || file_minor != minor || file_inode != inode) continue;
    // A holder in another pid namespace shows as 0 or -1: unknown.
    if (ReadNumber(pid, 10, holder) && holder != 0) return holder;
  }
  return 0;
}

LockAttempt FileLock::Take(const std::string& path) {
  LockAttempt attempt;
  // Another path's lock goes first; the one of this path stays until its
  // successor is taken.
  if (path != path_) Release();
  // Read-only will do for a lock, and nothing here may wait.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    attempt.outcome = LockOutcome::kFailed;
    attempt.reason = SystemErrorText(errno);
    return attempt;
  }
  // The file this lock is on already: kept. A flock through a second
  // descriptor would be refused as another program's, and letting the first
  // go before would leave the file free for a moment. A node made anew under
  // the same name (a programmer plugged in again) is another file: its lock
  // is taken before the old one goes.
  if (fd_ >= 0 && SameFile(fd, fd_)) {
    ::close(fd);
    return attempt;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    Release();
    fd_ = fd;
    path_ = path;
    return attempt;
  }
  if (errno == EWOULDBLOCK) {
    attempt.outcome = LockOutcome::kInUse;
    attempt.holder = FindHolder(fd);
  } else {
    attempt.outcome = LockOutcome::kFailed;
    attempt.reason = SystemErrorText(errno);
  }
  ::close(fd);
  return attempt;
}

void FileLock::Release() {
  path_.clear();
  if (fd_ < 0) return;
  ::close(fd_);  // the lock goes with it
  fd_ = -1;
}

std::unique_ptr<DeviceLock> MakeSystemLock() { return std::make_unique<FileLock>(); }

}  // namespace rtd
