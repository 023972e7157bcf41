// Image files (the raw flash content from address 0) and the CRC-8 that the
// programmer computes over the flash too.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "config/atomic_file.h"
#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

// Reads exactly count bytes unless the file ends first; the number read,
// or -1 on an error.
ssize_t ReadFully(int fd, uint8_t* data, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, data + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  // Closes now; false when the close reported an error (a delayed write
  // failure on some file systems).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1;
    table[i] = static_cast<uint8_t>(crc);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrc8Table();
static_assert(kCrc8Table[1] == 0x07 && kCrc8Table[0x80] == 0x89);

// Slicing by eight: kCrc8Slices[k][x] is the CRC of byte x followed by k zero
// bytes. The CRC is linear, so eight bytes fold into one register update
// from eight independent lookups instead of a chain of eight dependent
// ones; that is what takes the local CRC past a gigabyte per second.
constexpr std::array<std::array<uint8_t, 256>, 8> MakeCrc8Slices() {
  std::array<std::array<uint8_t, 256>, 8> slices{};
  slices[0] = kCrc8Table;
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t x = 0; x < 256; ++x) slices[k][x] = kCrc8Table[slices[k - 1][x]];
  return slices;
}

constexpr std::array<std::array<uint8_t, 256>, 8> kCrc8Slices = MakeCrc8Slices();

}  // namespace

int LoadImageFile(OutputServices& out, const std::string& name, uint8_t* buffer, uint32_t capacity,
                  uint32_t* image_length) {
  // Without blocking: a FIFO would otherwise hang the open until someone
  // writes to it, before the type check below could turn it away.
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    out.ShowFileError(name, SystemErrorText(errno));
    return 1;
  }
  FdCloser closer(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    out.ShowFileError(name, SystemErrorText(errno));
    return 1;
  }
  // Something that is not a plain file (a directory, a device) cannot be
  // an image; treat it like a file that cannot be opened.
  if (!S_ISREG(info.st_mode)) {
    out.ShowFileError(name, S_ISDIR(info.st_mode) ? SystemErrorText(EISDIR)
                                                  : NotARegularFileText());
    return 1;
  }
  // 64-bit on purpose: a file of 4 GiB and more must not wrap into range.
  const uint64_t length = static_cast<uint64_t>(info.st_size);
  if (length > capacity) {
    out.MessageBoxPrintf(MB_ICONERROR,
                         PickLangText(LANG_TEXT("Размер файла превышает допустимый",
                                                "The file size exceeds the allowable")));
    return 1;
  }
  if (length < kImageUnit) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(LANG_TEXT("Размер файла слишком маленький",
                                                              "The file size is too small")));
    return 1;
  }
  std::memset(buffer, 0xFF, capacity);
  for (uint64_t offset = 0; offset < length; offset += 256) {
    const auto piece = static_cast<std::size_t>(std::min<uint64_t>(256, length - offset));
    const ssize_t got = ReadFully(fd, buffer + offset, piece);
    if (got != static_cast<ssize_t>(piece)) {
      out.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kErrorReadingFile));
      if (got < 0) out.ShowFileError(name, SystemErrorText(errno));
      return 1;
    }
  }
  // Rounded up to whole 64 KiB ranges, but never past the flash: a size
  // from jedec.ini that is not such a multiple keeps the image inside it.
  const uint64_t rounded = (length + kImageUnit - 1) / kImageUnit * kImageUnit;
  *image_length = static_cast<uint32_t>(std::min<uint64_t>(rounded, capacity));
  return 0;
}

int SaveImageFile(const std::string& name, const uint8_t* buffer, uint32_t size,
                  std::string* reason) {
  std::string why;
  const bool saved = ReplaceFileContent(
      name, std::string_view(reinterpret_cast<const char*>(buffer), size), why);
  if (reason != nullptr) *reason = why;
  return saved ? 0 : 1;
}

uint8_t Crc8Range(const uint8_t* buffer, uint32_t first, uint32_t last) {
  uint8_t crc = 0;
  if (last < first) return crc;
  const uint8_t* p = buffer + first;
  uint64_t left = uint64_t{last} - first + 1;
  for (; left >= 8; left -= 8, p += 8) {
    crc = static_cast<uint8_t>(kCrc8Slices[7][crc ^ p[0]] ^ kCrc8Slices[6][p[1]] ^
                               kCrc8Slices[5][p[2]] ^ kCrc8Slices[4][p[3]] ^
                               kCrc8Slices[3][p[4]] ^ kCrc8Slices[2][p[5]] ^
                               kCrc8Slices[1][p[6]] ^ kCrc8Slices[0][p[7]]);
  }
  for (; left > 0; --left, ++p) crc = kCrc8Table[crc ^ *p];
  return crc;
}

}  // namespace rtd
