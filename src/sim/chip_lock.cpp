#include "sim/chip_lock.h"

#include <filesystem>
#include <system_error>

#include "config/utf8_path.h"

namespace rtd::sim {

ChipLock::ChipLock(const std::string& image) {
  // One name for one file however it was written (on Windows the lock's
  // name is made from it).
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(image), error);
  path_ = error ? image : Utf8FromPath(absolute.lexically_normal());
  lock_ = MakeSystemLock();
}

LockAttempt ChipLock::Take(bool* first) {
  *first = false;
  if (!lock_) return {};
  if (shares_ == 0) {
    LockAttempt attempt = lock_->Take(path_);
    // The file the system refused, beside its reason: the programmer's path
    // alone would not tell the user where to look.
    if (attempt.outcome == LockOutcome::kFailed) attempt.reason = path_ + ": " + attempt.reason;
    if (attempt.outcome != LockOutcome::kTaken) return attempt;
    *first = true;
  }
  ++shares_;
  return {};
}

void ChipLock::Give() {
  if (shares_ == 0 || --shares_ > 0) return;
  lock_->Release();
}

}  // namespace rtd::sim
