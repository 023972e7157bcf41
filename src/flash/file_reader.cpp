#include "flash/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "config/atomic_file.h"
#ifdef _WIN32
#include "config/windows_files.h"
#endif

namespace rtd {

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
#ifdef _WIN32
  // Bytes, not text: no line-end translation; the name is UTF-8.
  fd_ = ::_wopen(win::Widen(path).c_str(), _O_RDONLY | _O_BINARY);
#else
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
#endif
  if (fd_ < 0) {
    error_ = errno;
    return;
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    error_ = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error_ = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    not_regular_ = true;
  } else {
    // 64-bit on purpose: a file of 4 GiB and more must not wrap into range.
    size_ = static_cast<uint64_t>(info.st_size);
  }
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ReadOnlyFile::Read(uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const auto n = ::read(fd_, data + done, static_cast<unsigned>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    if (n == 0) {
      ended_ = true;  // shorter than it was a moment ago
      error_ = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ReadOnlyFile::Reason() const {
  return not_regular_ ? NotARegularFileText() : SystemErrorText(error_);
}

}  // namespace rtd
