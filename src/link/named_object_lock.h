// The lock on Windows: a named event in the Global\ namespace, which every
// session sees (fast user switching, a remote desktop), its name derived
// from the device path (or the virtual programmer's image file). Whoever
// creates it holds the lock; whoever finds it there reads who holds it and
// backs off. Windows removes the object with its last handle, and closes
// every handle of a process that ends, however it ends. Unlike a mutex it
// belongs to no thread, and a second take in the same process is refused as
// in another.
//
// An event needs no privilege in Global\ (a shared-memory object there
// does, which most users lack), and its explicit access list lets every
// user open it, whoever made it, an elevated window included. That list is
// also the one part of such an object that every user may read, so the
// holder's record rides in it: one entry that grants nothing, to an
// identifier made of the holder's process id, session and program name.
// Where this session may not make objects in Global\ at all, the lock falls
// back to Local\, which keeps out the programs of this session only, and
// says so. A program that made its object in one namespace then looks into
// the other and backs off when it finds one there: two programs, one of
// each kind, never both hold the programmer, whatever the order of their
// calls.
//
// Every system call goes through a table, as for HID.DLL, so that the
// logic runs on Linux against a scripted system in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/device_lock.h"

namespace rtd {

using WinHandle = void*;

// Windows error codes the lock tells apart.
inline constexpr uint32_t kWinErrorFileNotFound = 2;
inline constexpr uint32_t kWinErrorPathNotFound = 3;

// The calls the lock makes, each a thin layer over the Windows function it
// is named after.
struct NamedObjectFunctions {
  // CreateEventExW of a manual-reset event with this security descriptor
  // (self-relative), for SYNCHRONIZE and READ_CONTROL only: the object, or
  // null with *error set to the system's error code. *existed: the name was
  // taken (ERROR_ALREADY_EXISTS) and this is a handle to that object.
  WinHandle (*CreateEventExW)(const char16_t* name, const std::vector<uint8_t>& security,
                              bool* existed, uint32_t* error) = nullptr;
  // OpenEventW for SYNCHRONIZE and READ_CONTROL: the object, or null with
  // *error set.
  WinHandle (*OpenEventW)(const char16_t* name, uint32_t* error) = nullptr;
  // GetKernelObjectSecurity of the access list: the self-relative security
  // descriptor; empty when it cannot be read.
  std::vector<uint8_t> (*GetKernelObjectSecurity)(WinHandle object) = nullptr;
  int32_t (*CloseHandle)(WinHandle handle) = nullptr;
  uint32_t (*GetCurrentProcessId)() = nullptr;
  // ProcessIdToSessionId of the running process.
  uint32_t (*CurrentSessionId)() = nullptr;
  // The running program's file name without its folder (GetModuleFileNameW).
  std::string (*ProgramName)() = nullptr;
  // FormatMessageW's text of an error code.
  std::string (*ErrorText)(uint32_t code) = nullptr;
};

// The object's name for a path: "Global\rtdprog-lock-" (or "Local\...")
// and a hash of the path in lower case (Windows takes paths that differ only
// in the case of their letters for one).
std::u16string LockObjectName(const std::string& path, bool global = true);

// The lock object's security descriptor: every user may open it, wait on it
// and read its access list, where the holder's record is.
std::vector<uint8_t> LockSecurity(const LockHolder& holder);
// The holder's record in such a descriptor, its name made safe to show;
// empty when the descriptor holds none (an object made by someone else).
LockHolder HolderInSecurity(const std::vector<uint8_t>& descriptor);

class NamedObjectLock final : public DeviceLock {
 public:
  explicit NamedObjectLock(const NamedObjectFunctions& system) : system_(system) {}
  ~NamedObjectLock() override { Release(); }
  NamedObjectLock(const NamedObjectLock&) = delete;
  NamedObjectLock& operator=(const NamedObjectLock&) = delete;

  LockAttempt Take(const std::string& path) override;
  void Release() override;

 private:
  // The holder of the object behind a handle; closes the handle.
  LockHolder HolderOf(WinHandle object);

  NamedObjectFunctions system_;
  WinHandle object_ = nullptr;
  std::u16string name_;  // the Global\ name of the path object_ locks
  std::string note_;     // what the user is told of it
};

#ifdef _WIN32
// The real calls of kernel32 and advapi32.
NamedObjectFunctions SystemNamedObjectFunctions();
#endif

}  // namespace rtd
