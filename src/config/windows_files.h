// Files, paths and texts with the Windows calls. The program holds every
// path and text in UTF-8; they become UTF-16 only at the system call, so
// file names in any script work whatever the system's code page.
#pragma once

#ifdef _WIN32

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/windows_error.h"

namespace rtd::win {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The program's arguments (without its own name) as UTF-8, whatever the
// system's code page: argv would be in that code page and lose every
// character it lacks.
std::vector<std::string> CommandLineArguments();

// Full path of the running program (GetModuleFileNameW); empty when it
// cannot be learnt.
std::string ModuleFileName();

struct WholeFile {
  std::string bytes;
  bool exists = false;  // false only for a file or directory that is not there
  bool ok = true;       // false when it exists but could not be read whole
  std::string error;    // the system's reason when !ok (without the path)
};

// Reads a file whole. Only a file on disk is read: a device or pipe name
// (CON, COM1, \\.\pipe\...) is refused rather than waited on.
WholeFile ReadWholeFile(const std::string& path);

// Moves temp (on the same volume) over target in one step: MoveFileExW
// with MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH (it returns
// only once the move is on disk). The
// caller has written temp, flushed it (FlushFileBuffers) and closed it.
// False, with the system's reason in *error when given, when the move
// failed; target is then untouched.
bool MoveOverFile(const std::string& temp, const std::string& target, std::string* error);

// Replaces target's content with size bytes of data: they are written to a
// new file with a short name (".rtd-" and eight hex digits, so a target whose
// name is near the path limit still gets one) beside target, flushed to disk and moved over target, so target
// is either the old file or the new one, never a part. A read-only target or
// one that is not a plain file is left alone. The temporary file is removed
// on every failure. False, with the reason in *error when given, on failure.
bool WriteFileReplacing(const std::string& target, const void* data, std::size_t size,
                        std::string* error);

// The folders of the system and the user that an installed program keeps
// its files in (SHGetKnownFolderPath); empty where one cannot be learnt.
struct KnownFolders {
  std::string program_files;      // the 64-bit Program Files
  std::string program_files_x86;  // the 32-bit one
  std::string roaming_app_data;   // %APPDATA%
  std::string local_app_data;     // %LOCALAPPDATA%
};
KnownFolders FindKnownFolders();

// True when path names a file (not a folder).
bool IsFile(const std::string& path);

// MakeFolders of config/atomic_file.h with the Windows calls: a folder and
// its missing parents. Empty text on success or when it is there already;
// otherwise the system's reason, and *level (when given) names the folder
// that could not be made.
std::string CreateFolders(const std::string& path, std::string* level);
// What CreateFolders would meet, without making anything: a file where a
// folder should be. Empty text when the levels that exist are folders.
std::string FoldersProblem(const std::string& path, std::string* level);

// Empty when a file may be saved at path as far as can be told without
// opening it: a file or nothing yet, in a folder that exists. Otherwise the
// system's reason (a directory, a folder that is not there).
std::string OutputPathProblem(const std::string& path);

}  // namespace rtd::win

#endif  // _WIN32
