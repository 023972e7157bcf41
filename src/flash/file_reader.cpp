#include "flash/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "config/atomic_file.h"
#include "config/utf8_path.h"
#include "core/open_flags.h"

namespace rtd {

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
  // Bytes, not text: no line-end translation on Windows.
  fd_ = OpenUtf8(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_BINARY);
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
