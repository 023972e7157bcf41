#include "sim/sim_flash.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/utf8_path.h"
#include "core/open_flags.h"
#include "core/system_error_text.h"

namespace rtd::sim {
namespace {

constexpr std::array<uint8_t, 256> MakeCrcTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit)
      crc = static_cast<uint8_t>((crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1);
    table[static_cast<std::size_t>(i)] = crc;
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrcTable = MakeCrcTable();

std::string ErrnoText() { return SystemErrorText(errno); }

}  // namespace

uint8_t SimCrc8(uint8_t crc, const uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) crc = kCrcTable[crc ^ bytes[i]];
  return crc;
}

SimFlash::SimFlash(uint32_t size, uint8_t status)
    : cells_(size == 0 ? 1 : size, 0xFF), status_(static_cast<uint8_t>(status & kStatusWritable)) {}

SimFlash::~SimFlash() {
  if (file_ != nullptr) std::fclose(file_);
}

bool SimFlash::AttachFile(const std::string& path, std::string& error) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  // Without blocking, and only a regular file: a FIFO would hang the read
  // below, a device would hand out endless or unchangeable cells.
  const int fd = OpenUtf8(path, O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_BINARY, 0666);
  if (fd < 0) {
    error = path + ": " + ErrnoText();
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = path + ": " +
            (S_ISDIR(info.st_mode) ? SystemErrorText(EISDIR) : std::string("not a regular file"));
    ::close(fd);
    return false;
  }
  std::FILE* f = ::fdopen(fd, "r+b");
  if (f == nullptr) {
    error = path + ": " + ErrnoText();
    ::close(fd);
    return false;
  }
  std::fill(cells_.begin(), cells_.end(), uint8_t{0xFF});
  const std::size_t got = std::fread(cells_.data(), 1, cells_.size(), f);
  if (std::ferror(f) != 0) {
    error = path + ": " + ErrnoText();
    std::fclose(f);
    return false;
  }
  file_ = f;
  // A short (or new) file grows to the chip's size, so that every later
  // page write lands inside it.
  if (got < cells_.size()) WriteBack(static_cast<uint32_t>(got), size() - static_cast<uint32_t>(got));
  return true;
}

void SimFlash::WriteBack(uint32_t offset, uint32_t count) {
  if (file_ == nullptr || count == 0) return;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return;
  std::fwrite(cells_.data() + offset, 1, count, file_);
  std::fflush(file_);
}

void SimFlash::Flush() { WriteBack(0, size()); }

void SimFlash::Reload() {
  if (file_ == nullptr || std::fseek(file_, 0, SEEK_SET) != 0) return;
  std::vector<uint8_t> cells(cells_.size(), 0xFF);
  // A short file leaves the rest erased; a failed read leaves the cells.
  if (std::fread(cells.data(), 1, cells.size(), file_) < cells.size() && std::ferror(file_) != 0) {
    std::clearerr(file_);
    return;
  }
  cells_ = std::move(cells);
}

void SimFlash::Read(uint32_t address, uint8_t* out, uint32_t n) const {
  const std::size_t chip = cells_.size();
  std::size_t at = address % chip;
  if (at + n <= chip) {
    std::memcpy(out, cells_.data() + at, n);
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = cells_[at];
    if (++at == chip) at = 0;
  }
}

uint8_t SimFlash::Crc(uint32_t first, uint32_t last) const {
  return SimCrc8(0, cells_.data() + first, std::size_t{last} - first + 1);
}

void SimFlash::ProgramPage(uint32_t address, const uint8_t* data) {
  const std::size_t chip = cells_.size();
  const uint32_t page = (address % static_cast<uint32_t>(chip)) & ~uint32_t{0xFF};
  for (uint32_t i = 0; i < 256; ++i) {
    const std::size_t at = (page + ((address + i) & 0xFF)) % chip;
    cells_[at] &= data[i];
  }
  if (page + 256 <= chip) {
    WriteBack(page, 256);
  } else {
    Flush();  // the page ran past the end of an odd-sized chip and wrapped
  }
}

void SimFlash::EraseChip() {
  std::fill(cells_.begin(), cells_.end(), uint8_t{0xFF});
  WriteBack(0, size());
}

uint8_t SimFlash::ReadStatus() const {
  return static_cast<uint8_t>(status_ | (write_enabled_ ? kStatusWriteEnable : 0));
}

}  // namespace rtd::sim
