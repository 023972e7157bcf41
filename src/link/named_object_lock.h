// The lock on Windows: a small named shared-memory object in the session's
// namespace, its name derived from the device path (or the virtual
// programmer's image file). Whoever creates it holds the lock and writes
// its process id and program name into it; whoever finds it there already
// reads them and backs off. Windows removes the object with its last
// handle, and closes every handle of a process that ends, however it ends.
// Unlike a mutex it belongs to no thread, and a second take in the same
// process is refused as in another.
//
// Every system call goes through a table, as for HID.DLL, so that the
// logic runs on Linux against a scripted system in the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/device_lock.h"

namespace rtd {

using WinHandle = void*;

// The calls the lock makes, each a thin layer over the Windows function it
// is named after.
struct NamedObjectFunctions {
  // CreateFileMappingW on the paging file, read-write, of size bytes: the
  // object, or null with *error set to the system's error code. *existed:
  // the name was taken (ERROR_ALREADY_EXISTS) and this is a handle to that
  // object.
  WinHandle (*CreateFileMappingW)(const char16_t* name, uint32_t size, bool* existed,
                                  uint32_t* error) = nullptr;
  // MapViewOfFile of the whole object for reading and writing; null on failure.
  void* (*MapViewOfFile)(WinHandle object, uint32_t size) = nullptr;
  int32_t (*UnmapViewOfFile)(void* view) = nullptr;
  int32_t (*CloseHandle)(WinHandle handle) = nullptr;
  uint32_t (*GetCurrentProcessId)() = nullptr;
  // The running program's file name without its folder (GetModuleFileNameW).
  std::string (*ProgramName)() = nullptr;
  // FormatMessageW's text of an error code.
  std::string (*ErrorText)(uint32_t code) = nullptr;
};

// The object's name for a path: "Local\rtdprog-lock-" and a hash of the
// path in lower case (Windows takes paths that differ only in the case of
// their letters for one).
std::u16string LockObjectName(const std::string& path);

class NamedObjectLock final : public DeviceLock {
 public:
  explicit NamedObjectLock(const NamedObjectFunctions& system) : system_(system) {}
  ~NamedObjectLock() override { Release(); }
  NamedObjectLock(const NamedObjectLock&) = delete;
  NamedObjectLock& operator=(const NamedObjectLock&) = delete;

  LockAttempt Take(const std::string& path) override;
  void Release() override;

 private:
  NamedObjectFunctions system_;
  WinHandle object_ = nullptr;
  std::u16string name_;  // of object_
};

#ifdef _WIN32
// The real calls of kernel32.
NamedObjectFunctions SystemNamedObjectFunctions();
#endif

}  // namespace rtd
