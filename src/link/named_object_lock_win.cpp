// The real system calls behind NamedObjectLock, and the system's lock on
// Windows.
#include "link/named_object_lock.h"

#include <string>
#include <vector>

#include "core/utf8.h"
#include "core/windows_api.h"
#include "core/windows_error.h"

namespace rtd {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::string Utf8Of(const wchar_t* text, std::size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

constexpr DWORD kOpenAndRead = SYNCHRONIZE | READ_CONTROL;

WinHandle SystemCreateEvent(const char16_t* name, const std::vector<uint8_t>& security,
                            bool* existed, uint32_t* error) {
  // The descriptor is only read, but the structure takes a plain pointer.
  std::vector<uint8_t> descriptor = security;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.data(), FALSE};
  ::SetLastError(0);
  // Only what every user is granted: an object of this name that another
  // user made opens as well.
  const HANDLE object =
      ::CreateEventExW(&attributes, reinterpret_cast<const wchar_t*>(name),
                       CREATE_EVENT_MANUAL_RESET, kOpenAndRead);
  const DWORD code = ::GetLastError();
  *existed = object != nullptr && code == ERROR_ALREADY_EXISTS;
  *error = code;
  return object;
}

WinHandle SystemOpenEvent(const char16_t* name, uint32_t* error) {
  const HANDLE object = ::OpenEventW(kOpenAndRead, FALSE, reinterpret_cast<const wchar_t*>(name));
  *error = object == nullptr ? ::GetLastError() : 0;
  return object;
}

std::vector<uint8_t> SystemGetKernelObjectSecurity(WinHandle object) {
  DWORD needed = 0;
  ::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<uint8_t> descriptor(needed);
  if (needed == 0 || !::GetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION,
                                                descriptor.data(), needed, &needed))
    descriptor.clear();
  return descriptor;
}

uint32_t SystemCurrentSessionId() {
  DWORD session = 0;
  ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
  return session;
}

int32_t SystemCloseHandle(WinHandle handle) { return ::CloseHandle(handle); }
uint32_t SystemGetCurrentProcessId() { return ::GetCurrentProcessId(); }

std::string SystemProgramName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n = 0;
  // A full buffer means the path was cut: try again with more room.
  while ((n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()))) ==
             buffer.size() &&
         buffer.size() < 32768)
    buffer.resize(buffer.size() * 2);
  std::size_t start = n;
  while (start > 0 && buffer[start - 1] != L'\\' && buffer[start - 1] != L'/') --start;
  return Utf8Of(buffer.data() + start, n - start);
}

}  // namespace

NamedObjectFunctions SystemNamedObjectFunctions() {
  NamedObjectFunctions f;
  f.CreateEventExW = SystemCreateEvent;
  f.OpenEventW = SystemOpenEvent;
  f.GetKernelObjectSecurity = SystemGetKernelObjectSecurity;
  f.CloseHandle = SystemCloseHandle;
  f.GetCurrentProcessId = SystemGetCurrentProcessId;
  f.CurrentSessionId = SystemCurrentSessionId;
  f.ProgramName = SystemProgramName;
  f.ErrorText = win::SystemErrorText;
  return f;
}

std::unique_ptr<DeviceLock> MakeSystemLock() {
  return std::make_unique<NamedObjectLock>(SystemNamedObjectFunctions());
}

}  // namespace rtd
