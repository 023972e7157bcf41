#include "flash/backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "config/atomic_file.h"
#include "config/windows_files.h"
#include "flash/dump_check.h"
#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

namespace fs = std::filesystem;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

// A file opened for reading only, without blocking (a FIFO that someone
// dropped into the folder must not hang the operation); closed on leaving.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) {
#ifdef _WIN32
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
    } else if (!S_ISREG(info.st_mode)) {
      error_ = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
      not_regular_ = !S_ISDIR(info.st_mode);
    } else {
      size_ = static_cast<uint64_t>(info.st_size);
    }
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool ok() const { return error_ == 0; }
  uint64_t size() const { return size_; }
  // The system's reason for the last failure.
  std::string Reason() const {
    return not_regular_ ? NotARegularFileText() : SystemErrorText(error_);
  }
  // Exactly count bytes, unless the file ends or fails first.
  bool Read(uint8_t* data, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
      const auto n = ::read(fd_, data + done, static_cast<unsigned>(count - done));
      if (n < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return false;
      }
      if (n == 0) {
        error_ = EIO;  // shorter than it was a moment ago
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool not_regular_ = false;
  uint64_t size_ = 0;
};

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

// Paths are UTF-8 throughout the program; on Windows they become UTF-16
// only where the system sees them, so a folder in any script works.
fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
  return fs::path(win::Widen(utf8));
#else
  return fs::path(utf8);
#endif
}

std::string Utf8Of(const fs::path& path) {
#ifdef _WIN32
  return win::Narrow(path.wstring());
#else
  return path.string();
#endif
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return Utf8Of(PathOf(folder) / PathOf(name));
}

// Texts of the backup; every failure ends with the erase not done.
constexpr LangText kBackupSaved = LANG_TEXT("Резервная копия FLASH: %s", "FLASH backup: %s");
constexpr LangText kBackupKept =
    LANG_TEXT("Содержимое FLASH уже сохранено в %s", "The FLASH content is already kept in %s");
constexpr LangText kBackupNotNeeded =
    LANG_TEXT("FLASH чистая: резервная копия не нужна", "The FLASH is blank: no backup needed");
constexpr LangText kNoBackupFolder =
    LANG_TEXT("Нет папки для резервной копии FLASH\nFLASH не стёрта",
              "There is no folder for the FLASH backup\nNothing was erased");
constexpr LangText kFolderFailed =
    LANG_TEXT("Не удалось открыть папку резервных копий %s: %s\nFLASH не стёрта",
              "Cannot use the backup folder %s: %s\nNothing was erased");
constexpr LangText kSaveFailed =
    LANG_TEXT("Не удалось сохранить резервную копию %s: %s\nFLASH не стёрта",
              "Cannot save the backup %s: %s\nNothing was erased");
constexpr LangText kReadBackFailed =
    LANG_TEXT("Не удалось прочитать резервную копию %s: %s\nFLASH не стёрта",
              "Cannot read the backup %s back: %s\nNothing was erased");
constexpr LangText kBackupDiffers =
    LANG_TEXT("Резервная копия %s не совпадает с FLASH по адресу 0x%06X...0x%06X\nFLASH не стёрта",
              "The backup %s differs from the FLASH at address 0x%06X...0x%06X\n"
              "Nothing was erased");

}  // namespace

uint32_t Crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = kCrc32Table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::string BackupFileName(const CalendarTime& t, const JedecBytes& id, uint32_t crc32) {
  return FormatText("%04d%02d%02d-%02d%02d%02d_%02X%02X%02X_%08x.bin", t.year, t.month, t.day,
                    t.hour, t.minute, t.second, id[0], id[1], id[2], crc32);
}

std::string FindKeptCopy(const std::string& folder, const uint8_t* data, uint32_t size,
                         std::string* reason) {
  std::error_code ec;
  fs::directory_iterator it(PathOf(folder), ec);
  if (ec) {
    if (reason != nullptr) *reason = ec.message();
    return {};
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code entry_ec;
    if (!it->is_regular_file(entry_ec) || it->file_size(entry_ec) != size || entry_ec) continue;
    const std::string path = Utf8Of(it->path());
    if (SameContent(path, data, size)) return path;
  }
  if (ec && reason != nullptr) *reason = ec.message();
  return {};
}

bool FlashOperations::BackupBeforeErase() {
  if (!MakeBackups) return true;
  auto& o = out();
  // Every refusal below is a log line and a box with the same text.
  auto refuse = [&o](const char* format, const auto&... args) {
    o.LogPrintf(format, args...);
    o.MessageBoxPrintf(MB_ICONERROR, format, args...);
    return false;
  };
  const uint32_t size = CurrentFlash.SizeInBytes;
  std::unique_ptr<uint8_t[]> buffer = AllocateImageBuffer(size);
  if (!buffer) return refuse(PickLangText(flash_text::kMemoryAllocate));
  if (ReadWholeFlash(buffer.get(), size, flash_text::kBackupRead, ToolButton::SpeedButtonWrite) !=
      OpResult::kOk)
    return false;

  const DumpCheck check = CheckDump(buffer.get(), size);
  WarnAboutDump(o, check, DumpSource::kFlash);
  if (check.finding == DumpFinding::kBlank) {
    // Nothing on the chip to lose; a file of 0xFF would only crowd the folder.
    o.LogPrintf(PickLangText(kBackupNotNeeded));
    return true;
  }
  if (BackupFolder.empty()) return refuse(PickLangText(kNoBackupFolder));
  std::error_code ec;
  fs::create_directories(PathOf(BackupFolder), ec);
  if (ec) return refuse(PickLangText(kFolderFailed), BackupFolder.c_str(), ec.message().c_str());

  std::string reason;
  std::string path = FindKeptCopy(BackupFolder, buffer.get(), size, &reason);
  if (!reason.empty())
    return refuse(PickLangText(kFolderFailed), BackupFolder.c_str(), reason.c_str());
  const bool kept = !path.empty();
  if (!kept) {
    const uint32_t crc = Crc32(buffer.get(), size);
    const std::string name =
        BackupFileName(programmer_.link().clock().LocalTime(), CurrentFlash.JedecId, crc);
    path = JoinPath(BackupFolder, name);
    // Another content under the same name (the same second, the same CRC)
    // is the user's: it stays, and this one takes a suffix.
    for (int n = 2; fs::exists(fs::symlink_status(PathOf(path), ec)); ++n)
      path = JoinPath(BackupFolder, name.substr(0, name.size() - 4) + "-" + std::to_string(n) +
                                        ".bin");
    if (SaveImageFile(path, buffer.get(), size, &reason) != 0)
      return refuse(PickLangText(kSaveFailed), path.c_str(), reason.c_str());
  }
  buffer.reset();

  // What counts is the file as it lies on the disk: it is read back and
  // each 64 KiB of it checked against the programmer's CRC of the chip.
  ReadOnlyFile file(path);
  if (!file.ok()) return refuse(PickLangText(kReadBackFailed), path.c_str(), file.Reason().c_str());
  if (file.size() != size)
    return refuse(PickLangText(kReadBackFailed), path.c_str(), SystemErrorText(EIO).c_str());
  o.SetProgressUnit(kImageUnit);
  o.ProgressStart(static_cast<int32_t>((uint64_t{size} + kImageUnit - 1) / kImageUnit),
                  PickLangText(flash_text::kBackupCheck));
  std::vector<uint8_t> piece(kImageUnit);
  int32_t counter = 0;
  bool sound = true;
  for (uint64_t first = 0; first < size && sound; first += kImageUnit) {
    const auto from = static_cast<uint32_t>(first);
    const uint32_t count = std::min<uint32_t>(kImageUnit, size - from);
    const uint32_t last = from + count - 1;
    uint8_t crc = 0;
    if (!NextBlock(counter) || programmer_.FlashRangeCrc(from, last, &crc) != 0) {
      sound = false;
    } else if (!file.Read(piece.data(), count)) {
      sound = refuse(PickLangText(kReadBackFailed), path.c_str(), file.Reason().c_str());
    } else if (Crc8Range(piece.data(), 0, count - 1) != crc) {
      sound = refuse(PickLangText(kBackupDiffers), path.c_str(), from, last);
    }
  }
  o.ProgressHide();
  if (!sound) return false;
  o.LogPrintf(PickLangText(kept ? kBackupKept : kBackupSaved), path.c_str());
  return true;
}

}  // namespace rtd
