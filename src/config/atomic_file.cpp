#include "config/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "i18n/lang.h"

#ifdef _WIN32
#include <filesystem>
#include <system_error>

#include "config/utf8_path.h"
#include "config/windows_files.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/shared_folder_links.h"
#endif

namespace rtd {

std::string NotARegularFileText() {
  return PickLangText(LANG_TEXT("это не обычный файл", "not a regular file"));
}

std::string DirectoryOf(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("/\\");
  // "C:\board.bin": the root of the drive, not the drive's current folder.
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
#else
  const std::size_t slash = path.rfind('/');
#endif
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

#ifdef _WIN32
// Windows: the temporary file is flushed and moved over the target with the
// system's own replace-and-write-through; a read-only target is refused.
bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason) {
  return win::WriteFileReplacing(path, bytes.data(), bytes.size(), &reason);
}

std::string CheckOutputPath(const std::string& path) { return win::OutputPathProblem(path); }

// Windows folders carry access lists, not modes: the system's own refusals
// are all there is to go by.
std::string MakeFolders(const std::string& folder, std::string* level, FolderRule /*rule*/) {
  return win::CreateFolders(folder, level);
}

std::string CheckFolders(const std::string& folder, std::string* level, FolderRule /*rule*/) {
  return win::FoldersProblem(folder, level);
}
#else
std::string ForeignLinkText() {
  return PickLangText(
      LANG_TEXT("ссылка в общей папке принадлежит другому пользователю и не используется",
                "a link in a shared folder that belongs to another user; not followed"));
}

// The system's rule for links in shared folders: a link in a sticky,
// world-writable folder (/tmp) that belongs neither to the user nor to the
// folder's owner is not followed.
bool IsForeignLink(const std::string& link, uid_t link_owner) {
  struct stat folder {};
  return ::stat(DirectoryOf(link).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
         (folder.st_mode & S_IWOTH) != 0 && link_owner != ::geteuid() &&
         link_owner != folder.st_uid;
}

namespace {

mode_t CurrentUmask() {
  // Reading it from /proc leaves the process's umask alone (umask() would
  // have to set it to learn it).
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned int value = 0;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return mask;
}

bool WriteAll(const FileSystemCalls& calls, int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = calls.write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string DanglingLinkText() {
  return PickLangText(LANG_TEXT("ссылка указывает на несуществующий файл",
                                "a link to a file that does not exist"));
}

// The file a path finally names: symbolic links followed, with the system's
// rule for links in shared folders (a link in a sticky, world-writable
// folder is followed only when it belongs to the user or to the folder's
// owner). A link to nothing is refused. Relative link targets are taken from
// the link's directory. Gives up after 40 links, as the system does.
bool ResolveLinks(std::string path, std::string& target, std::string& reason) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (depth > 0 && (errno == ENOENT || errno == ENOTDIR)) {
        reason = DanglingLinkText();
        return false;
      }
      target = path;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      target = path;
      return true;
    }
    if (IsForeignLink(path, st.st_uid)) {
      reason = ForeignLinkText();
      return false;
    }
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) {
      reason = SystemErrorText(errno);
      return false;
    }
    link.resize(static_cast<std::size_t>(n));
    path = (!link.empty() && link[0] == '/') ? link : DirectoryOf(path) + "/" + link;
  }
  reason = SystemErrorText(ELOOP);
  return false;
}

// Rewrites an existing regular file in place: the fallback when its
// directory takes no new files.
bool RewriteInPlace(const FileSystemCalls& calls, const std::string& target,
                    std::string_view bytes, std::string& reason) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    reason = SystemErrorText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = NotARegularFileText();
    ::close(fd);
    return false;
  }
  // The room for the new content first: a disk that cannot take it refuses
  // here, before a byte of the old content is touched. A file system that
  // cannot reserve is written as before.
  if (!bytes.empty()) {
    const int refused = calls.reserve(fd, 0, static_cast<off_t>(bytes.size()));
    if (refused != 0 && refused != EOPNOTSUPP && refused != ENOSYS) {
      reason = SystemErrorText(refused);
      ::close(fd);
      return false;
    }
  }
  bool ok = WriteAll(calls, fd, bytes) &&
            ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) reason = SystemErrorText(error);
  return ok;
}

// Gives a new file or folder that root made in a folder of another user's
// to that folder's owner: a dump saved through sudo into the user's home
// stays the user's. True when nothing had to change or the change was made.
bool GiveToFolderOwner(int fd, const std::string& folder) {
  if (::geteuid() != 0) return true;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || st.st_uid == 0) return true;
  return ::fchown(fd, st.st_uid, st.st_gid) == 0;
}

}  // namespace

FileSystemCalls SystemFileCalls() {
  return {[](char* pattern, int flags) { return ::mkostemp(pattern, flags); },
          [](int fd, off_t offset, off_t length) { return ::posix_fallocate(fd, offset, length); },
          [](int fd, const void* data, size_t size) { return ::write(fd, data, size); }};
}

bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason) {
  return ReplaceFileContent(path, bytes, reason, SystemFileCalls());
}

std::string CheckOutputPath(const std::string& path) {
  if (path.empty()) return SystemErrorText(ENOENT);
  std::string target;
  std::string reason;
  if (!ResolveLinks(path, target, reason)) return reason;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return SystemErrorText(EISDIR);
    if (!S_ISREG(st.st_mode)) return NotARegularFileText();
    // The same rule as the replacement's: a file nobody may write is kept.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
      return SystemErrorText(EACCES);
    return {};
  }
  if (errno != ENOENT) return SystemErrorText(errno);
  const std::string directory = DirectoryOf(target);
  struct stat folder {};
  if (::stat(directory.c_str(), &folder) != 0) return SystemErrorText(errno);
  if (!S_ISDIR(folder.st_mode)) return SystemErrorText(ENOTDIR);
  if (::access(directory.c_str(), W_OK | X_OK) != 0) return SystemErrorText(errno);
  return {};
}

bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason,
                        const FileSystemCalls& calls) {
  if (path.empty()) {
    reason = SystemErrorText(ENOENT);
    return false;
  }
  std::string target;
  if (!ResolveLinks(path, target, reason)) return false;

  struct stat old {};
  bool exists = false;
  if (::stat(target.c_str(), &old) == 0) {
    exists = true;
    if (!S_ISREG(old.st_mode)) {
      reason = S_ISDIR(old.st_mode) ? SystemErrorText(EISDIR) : NotARegularFileText();
      return false;
    }
    // Root passes every access test, so the permission bits are looked at
    // too: a file nobody may write is kept.
    if ((old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
      reason = SystemErrorText(EACCES);
      return false;
    }
  } else if (errno != ENOENT) {
    reason = SystemErrorText(errno);
    return false;
  }

  // A short name, so that a target whose own name is near the system's limit
  // still gets its temporary file.
  const std::string directory = DirectoryOf(target);
  std::string temp = directory + "/.rtd-XXXXXX";
  const int fd = calls.make_temp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (exists && (error == EACCES || error == EPERM))
      return RewriteInPlace(calls, target, bytes, reason);
    reason = SystemErrorText(error);
    return false;
  }
  bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask())) == 0 &&
            (exists || GiveToFolderOwner(fd, directory));
  if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    // Keep the owner when root saves someone's file; when that is not
    // allowed the file simply becomes the saver's.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    }
  }
  ok = ok && WriteAll(calls, fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    reason = SystemErrorText(error);
    return false;
  }
  // Make the rename itself durable; best effort.
  const int dfd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

#endif  // _WIN32

}  // namespace rtd
