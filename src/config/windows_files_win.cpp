#include "config/windows_files.h"

#include "core/windows_api.h"
#include <knownfolders.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

namespace rtd::win {

namespace {

// Closes a handle when it goes out of scope.
class HandleCloser {
 public:
  explicit HandleCloser(HANDLE handle) : handle_(handle) {}
  ~HandleCloser() { Close(); }
  HandleCloser(const HandleCloser&) = delete;
  HandleCloser& operator=(const HandleCloser&) = delete;
  // False when closing reported an error.
  bool Close() {
    const HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
  }

 private:
  HANDLE handle_;
};

// The reason alone, as on other systems: whoever shows it names the path.
void SetError(std::string* error, DWORD code) {
  if (error != nullptr) *error = SystemErrorText(code);
}

bool WriteAll(HANDLE file, const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (::WriteFile(file, data, piece, &written, nullptr) == 0 || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), narrow.data(),
                        n, nullptr, nullptr);
  return narrow;
}

std::vector<std::string> CommandLineArguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (list == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(list[i]));
  ::LocalFree(list);
  return args;
}

std::string ModuleFileName() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the path was cut: try again with more room.
    if (n < buffer.size()) return Narrow(std::wstring_view(buffer.data(), n));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

WholeFile ReadWholeFile(const std::string& path) {
  WholeFile w;
  if (path.empty()) return w;
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    // Absent is normal; anything else (no permission, a directory) exists.
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
      w.exists = true;
      w.ok = false;
      w.error = SystemErrorText(code);
    }
    return w;
  }
  HandleCloser closer(file);
  w.exists = true;
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    w.ok = false;
    w.error = SystemErrorText(ERROR_BAD_FILE_TYPE);
    return w;
  }
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) == 0) {
      w.ok = false;
      w.error = SystemErrorText(::GetLastError());
      break;
    }
    if (got == 0) break;
    w.bytes.append(buffer, got);
  }
  return w;
}

bool MoveOverFile(const std::string& temp, const std::string& target, std::string* error) {
  if (::MoveFileExW(Widen(temp).c_str(), Widen(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    SetError(error, ::GetLastError());
    return false;
  }
  return true;
}

bool WriteFileReplacing(const std::string& target, const void* data, std::size_t size,
                        std::string* error) {
  const std::wstring wide_target = Widen(target);
  const DWORD attributes = ::GetFileAttributesW(wide_target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // A read-only file is the user's way of keeping it.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      SetError(error, ERROR_ACCESS_DENIED);
      return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      SetError(error, ERROR_DIRECTORY);
      return false;
    }
  }

  // Beside the target, so the move stays within one volume.
  const std::size_t slash = target.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    // A short name in the same folder, whatever the length of the target's.
    char name[16];
    std::snprintf(name, sizeof name, ".rtd-%08lX",
                  static_cast<unsigned long>(::GetCurrentProcessId() * 2654435761u +
                                             ::GetTickCount() + static_cast<DWORD>(attempt)));
    temp = folder + name;
    file = ::CreateFileW(Widen(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
      SetError(error, ::GetLastError());
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    SetError(error, ERROR_FILE_EXISTS);
    return false;
  }
  HandleCloser closer(file);
  DWORD code = ERROR_SUCCESS;
  if (!WriteAll(file, static_cast<const uint8_t*>(data), size) || ::FlushFileBuffers(file) == 0)
    code = ::GetLastError();
  if (!closer.Close() && code == ERROR_SUCCESS) code = ::GetLastError();
  if (code == ERROR_SUCCESS && MoveOverFile(temp, target, error)) return true;
  if (code != ERROR_SUCCESS) SetError(error, code);
  ::DeleteFileW(Widen(temp).c_str());
  return false;
}

namespace {

std::string KnownFolder(const KNOWNFOLDERID& id) {
  wchar_t* path = nullptr;
  std::string result;
  if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) == S_OK && path != nullptr)
    result = Narrow(path);
  ::CoTaskMemFree(path);  // also when the call failed
  return result;
}

}  // namespace

KnownFolders FindKnownFolders() {
  KnownFolders folders;
  folders.program_files = KnownFolder(FOLDERID_ProgramFiles);
  folders.program_files_x86 = KnownFolder(FOLDERID_ProgramFilesX86);
  folders.roaming_app_data = KnownFolder(FOLDERID_RoamingAppData);
  folders.local_app_data = KnownFolder(FOLDERID_LocalAppData);
  return folders;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string CreateFolders(const std::string& path, std::string* level) {
  // From the bottom up, so that the levels that are there (a drive, a
  // redirected profile on a share) are never touched.
  const std::wstring wide = Widen(path);
  if (::CreateDirectoryW(wide.c_str(), nullptr) != 0) return {};
  DWORD code = ::GetLastError();
  if (code == ERROR_PATH_NOT_FOUND) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0) {
      const std::string parent = path.substr(0, slash);
      if (std::string problem = CreateFolders(parent, level); !problem.empty()) {
        // A file where a folder should be: the folder that cannot be made is
        // this one (as POSIX names it).
        if (level != nullptr && IsFile(parent)) *level = path;
        return problem;
      }
      if (::CreateDirectoryW(wide.c_str(), nullptr) != 0) return {};
      code = ::GetLastError();
    }
  }
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return {};
  // "Already exists" for a file of that name would mislead.
  if (code == ERROR_ALREADY_EXISTS) code = ERROR_DIRECTORY;
  if (level != nullptr) *level = path;
  return SystemErrorText(code);
}

std::string FoldersProblem(const std::string& path, std::string* level) {
  // The deepest level that is there decides; the ones below it are made.
  std::string below = path;
  for (std::string at = path;;) {
    const DWORD attributes = ::GetFileAttributesW(Widen(at).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
      if (level != nullptr) *level = below;
      return SystemErrorText(ERROR_DIRECTORY);
    }
    const std::size_t slash = at.find_last_of("\\/");
    if (slash == std::string::npos || slash == 0) return {};
    below = at;
    at = at.substr(0, slash);
  }
}

std::string OutputPathProblem(const std::string& path) {
  if (path.empty()) return SystemErrorText(ERROR_FILE_NOT_FOUND);
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? SystemErrorText(ERROR_DIRECTORY)
                                                        : std::string();
  }
  const DWORD code = ::GetLastError();
  // Not there yet, in a folder that is: it will be made.
  return code == ERROR_FILE_NOT_FOUND ? std::string() : SystemErrorText(code);
}

}  // namespace rtd::win
