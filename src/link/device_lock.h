// One programmer, one program at a time. Two programs that talk to one
// programmer interleave their requests, and a reply meant for one reaches
// the other: a write stops half-way with the chip erased. So every copy of
// this program takes a lock on the programmer before it sends anything and
// keeps it while its handle is open; the system lets it go when the handle
// closes or the process ends, however it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace rtd {

// The program that holds a lock, as far as the system tells.
struct LockHolder {
  std::string program;      // its name; empty when unknown
  uint32_t process_id = 0;  // 0 when unknown
  std::optional<uint32_t> session;  // its Windows session
};

enum class LockOutcome {
  kTaken,   // ours until released
  kInUse,   // another program holds it
  kFailed,  // the system could not take it at all
};

struct LockAttempt {
  LockOutcome outcome = LockOutcome::kTaken;
  LockHolder holder;   // kInUse
  std::string reason;  // kFailed: the system's words
  // kTaken: what the user must know of a lock that keeps out fewer programs
  // than it should; empty normally.
  std::string note;
};

class DeviceLock {
 public:
  virtual ~DeviceLock() = default;
  // Tries once, without waiting, to take the lock of the device or file at
  // path. Taking again the lock this object holds keeps it, never free for a
  // moment in between (a transfer that failed is followed by a reopen of the
  // same programmer), and so does such a take that fails (the programmer
  // plugged in again is a new device node, which another program may have
  // locked first); taking another path's lets the first one go.
  virtual LockAttempt Take(const std::string& path) = 0;
  // Lets it go; also done on destruction.
  virtual void Release() = 0;
};

// The system's lock: on Linux an advisory flock(2) on the path itself, on
// Windows a named object derived from the path.
std::unique_ptr<DeviceLock> MakeSystemLock();

}  // namespace rtd
