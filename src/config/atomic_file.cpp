#include "config/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "i18n/lang.h"

namespace rtd {
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

bool WriteAll(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
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

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a path finally names: symbolic links followed, also a dangling
// one (whose target is then created). Relative link targets are taken from
// the link's directory. Gives up after 40 links, as the system does.
bool ResolveLinks(std::string path, std::string& target, std::string& reason) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = path;
      return true;
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
bool RewriteInPlace(const std::string& target, std::string_view bytes, std::string& reason) {
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
  bool ok = ::ftruncate(fd, 0) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) reason = SystemErrorText(error);
  return ok;
}

}  // namespace

std::string SystemErrorText(int error) { return std::strerror(error); }

std::string NotARegularFileText() {
  return PickLangText(LANG_TEXT("это не обычный файл", "not a regular file"));
}

bool ReplaceFileContent(const std::string& path, std::string_view bytes, std::string& reason) {
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
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (exists && (error == EACCES || error == EPERM))
      return RewriteInPlace(target, bytes, reason);
    reason = SystemErrorText(error);
    return false;
  }
  bool ok = ::fchmod(fd, exists ? (old.st_mode & 07777) : (0666 & ~CurrentUmask())) == 0;
  if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    // Keep the owner when root saves someone's file; when that is not
    // allowed the file simply becomes the saver's.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    }
  }
  ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
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

}  // namespace rtd
