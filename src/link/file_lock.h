// The lock on Linux: an advisory flock(2) on the programmer's device node
// (or on the virtual programmer's image file), through a descriptor of its
// own. flock belongs to the open file, so it goes with the last close, and
// the kernel closes every file of a process that ends, however it ends.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/device_lock.h"

namespace rtd {

class FileLock final : public DeviceLock {
 public:
  FileLock() = default;
  ~FileLock() override { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // When another program holds the lock, the kernel's list of locks
  // (/proc/locks) names its process, and /proc its program.
  LockAttempt Take(const std::string& path) override;
  void Release() override;

 private:
  int fd_ = -1;
  std::string path_;  // the path fd_ was opened by
};

// The process holding a flock on the file with this device (major, minor)
// and inode number, as the text of /proc/locks lists it; 0 when none is
// listed (or the holder lies outside our view of the processes).
uint32_t FlockHolderPid(std::string_view proc_locks, uint32_t major, uint32_t minor,
                        uint64_t inode);

}  // namespace rtd
