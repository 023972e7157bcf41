// The lock of one simulated chip. Runs of the virtual programmer on one
// image file share the chip in it, so they exclude each other as two
// programs on one programmer do, with the system's lock on the file; the
// handles of one run share it among themselves.
#pragma once

#include <memory>
#include <string>

#include "link/device_lock.h"

namespace rtd::sim {

class ChipLock {
 public:
  // A chip that lives in memory, one per run: nothing to share.
  ChipLock() = default;
  // The chip in this image file.
  explicit ChipLock(const std::string& image);

  // Takes the lock for one more handle. *first: this run did not hold it
  // before, and another may have changed the chip since.
  LockAttempt Take(bool* first);
  // Gives one handle's share back; the last one lets the file go.
  void Give();

 private:
  std::string path_;
  std::unique_ptr<DeviceLock> lock_;
  unsigned shares_ = 0;
};

}  // namespace rtd::sim
