// The search of the backup folder for a backup that already holds the chip's
// content, so the same firmware is not saved again at every write.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "config/atomic_file.h"
#include "config/utf8_path.h"
#include "flash/backup.h"
#include "flash/file_reader.h"
#include "flash/image_file.h"

namespace rtd {
namespace {

namespace fs = std::filesystem;

// Whether the file holds exactly these bytes; stops at the first piece
// that differs.
bool SameContent(const std::string& path, const uint8_t* data, uint32_t size) {
  ReadOnlyFile file(path);
  if (!file.ok() || file.size() != size) return false;
  std::vector<uint8_t> piece(kImageUnit);
  for (uint32_t offset = 0; offset < size; offset += kImageUnit) {
    const uint32_t count = std::min(kImageUnit, size - offset);
    if (!file.Read(piece.data(), count) || std::memcmp(piece.data(), data + offset, count) != 0)
      return false;
  }
  return true;
}

}  // namespace

std::string FindKeptCopy(const std::string& folder, const uint8_t* data, uint32_t size,
                         std::string* reason) {
  std::error_code ec;
  fs::directory_iterator it(PathFromUtf8(folder), ec);
  if (ec) {
    if (reason != nullptr) *reason = SystemErrorText(ec);
    return {};
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    // Only what the program itself saved counts: a link could lead to a
    // file that changes or goes, and a dump of the user's is theirs to
    // replace.
    std::error_code entry_ec;
    const fs::file_status status = it->symlink_status(entry_ec);
    if (entry_ec || !fs::is_regular_file(status)) continue;
    if (!IsBackupFileName(Utf8FromPath(it->path().filename()))) continue;
    if (it->file_size(entry_ec) != size || entry_ec) continue;
    const std::string path = Utf8FromPath(it->path());
    if (SameContent(path, data, size)) return path;
  }
  if (ec && reason != nullptr) *reason = SystemErrorText(ec);
  return {};
}

}  // namespace rtd
