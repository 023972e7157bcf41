// The one way the flash operations read a file (an image to write, a backup
// read back, a kept copy compared): opened for reading only and without
// blocking, so a FIFO dropped where a file was expected never hangs the
// program; only a regular file is read. Closed on leaving.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rtd {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // Open, and a regular file.
  bool ok() const { return error_ == 0 && !not_regular_; }
  uint64_t size() const { return size_; }
  // Exactly count bytes, unless the file fails or ends first (ended()).
  bool Read(uint8_t* data, std::size_t count);
  // The last Read found the end before count bytes.
  bool ended() const { return ended_; }
  // The system's reason for the failure: a directory, not a regular file,
  // or the errno text; "Input/output error" for a file that ended early.
  std::string Reason() const;

 private:
  int fd_ = -1;
  int error_ = 0;
  bool not_regular_ = false;
  bool ended_ = false;
  uint64_t size_ = 0;
};

}  // namespace rtd
