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

WinHandle SystemCreateFileMapping(const char16_t* name, uint32_t size, bool* existed,
                                  uint32_t* error) {
  ::SetLastError(0);
  const HANDLE object = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             size, reinterpret_cast<const wchar_t*>(name));
  const DWORD code = ::GetLastError();
  *existed = object != nullptr && code == ERROR_ALREADY_EXISTS;
  *error = code;
  return object;
}

void* SystemMapViewOfFile(WinHandle object, uint32_t size) {
  return ::MapViewOfFile(object, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size);
}

int32_t SystemUnmapViewOfFile(void* view) { return ::UnmapViewOfFile(view); }
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
  f.CreateFileMappingW = SystemCreateFileMapping;
  f.MapViewOfFile = SystemMapViewOfFile;
  f.UnmapViewOfFile = SystemUnmapViewOfFile;
  f.CloseHandle = SystemCloseHandle;
  f.GetCurrentProcessId = SystemGetCurrentProcessId;
  f.ProgramName = SystemProgramName;
  f.ErrorText = win::SystemErrorText;
  return f;
}

std::unique_ptr<DeviceLock> MakeSystemLock() {
  return std::make_unique<NamedObjectLock>(SystemNamedObjectFunctions());
}

}  // namespace rtd
