// The backup as a step of the erasing operations.

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "config/atomic_file.h"
#include "config/utf8_path.h"
#include "flash/backup.h"
#include "flash/dump_check.h"
#include "flash/file_reader.h"
#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

namespace fs = std::filesystem;

std::string JoinPath(const std::string& folder, const std::string& name) {
  return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
}

// Texts of the backup; every failure ends with the erase not done.
constexpr LangText kBackupSaved = LANG_TEXT("Резервная копия FLASH: %s", "FLASH backup: %s");
constexpr LangText kBackupKept =
    LANG_TEXT("Содержимое FLASH уже сохранено в %s", "The FLASH content is already kept in %s");
constexpr LangText kBackupNotNeeded =
    LANG_TEXT("FLASH чистая: резервная копия не нужна", "The FLASH is blank: no backup needed");
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
constexpr LangText kReadsDiffer =
    LANG_TEXT("Два чтения FLASH для резервной копии различаются по адресу 0x%06X\nFLASH не стёрта",
              "The two reads of the FLASH for the backup differ at address 0x%06X\n"
              "Nothing was erased");
constexpr LangText kBeyondReach = LANG_TEXT(
    "Идентификатор FLASH %02X%02X%02X указывает %lu КБ, больше, чем достаёт программатор: полную "
    "резервную копию сделать нельзя\nFLASH не стёрта",
    "The FLASH id %02X%02X%02X says %lu KBytes, more than the programmer reaches: no complete "
    "backup can be made\nNothing was erased");
constexpr LangText kUnsoundRemoved =
    LANG_TEXT("Негодная резервная копия %s удалена", "The unsound backup %s was removed");
constexpr LangText kUnsoundRenamed = LANG_TEXT("Негодная резервная копия переименована в %s",
                                               "The unsound backup was renamed to %s");
constexpr LangText kUnsoundStays =
    LANG_TEXT("Негодную резервную копию %s не удалось ни удалить, ни переименовать: %s",
              "The unsound backup %s could be neither removed nor renamed: %s");
constexpr LangText kNotReadOnly =
    LANG_TEXT("Резервную копию %s не удалось сделать только для чтения: %s",
              "The backup %s could not be made read-only: %s");

// A file that failed its check must not pass for a backup later: it goes,
// or, where it cannot be removed, takes a name that says what it is.
void Discard(OutputServices& o, const std::string& path) {
  std::error_code ec;
  if (fs::remove(PathFromUtf8(path), ec)) {
    o.LogPrintf(PickLangText(kUnsoundRemoved), path.c_str());
    return;
  }
  const std::string renamed = path + ".unsound";
  std::error_code rename_ec;
  fs::rename(PathFromUtf8(path), PathFromUtf8(renamed), rename_ec);
  if (!rename_ec) {
    o.LogPrintf(PickLangText(kUnsoundRenamed), renamed.c_str());
  } else {
    o.LogPrintf(PickLangText(kUnsoundStays), path.c_str(), ec.message().c_str());
  }
}

}  // namespace

bool FlashOperations::BackupBeforeErase() {
  if (!MakeBackups) return true;
  auto& o = out();
  // The chip erase wipes the whole chip, also where its id says more than
  // jedec.ini.
  const uint64_t whole = WholeChipSize();
  if (whole > kMaxFlashSize) {
    const JedecBytes& id = CurrentFlash.JedecId;
    return Refuse(o, PickLangText(kBeyondReach), id[0], id[1], id[2],
                  static_cast<unsigned long>(whole / 1024));
  }
  const auto size = static_cast<uint32_t>(whole);
  // A clip moved to another board, or one whose data line lost its
  // contact, must not be read as this chip (all 0xFF would pass for blank).
  if (!ChipStillThere()) return false;
  std::unique_ptr<uint8_t[]> buffer = AllocateImageBuffer(size);
  if (!buffer) return Refuse(o, PickLangText(flash_text::kMemoryAllocate));
  if (ReadWholeFlash(buffer.get(), size, flash_text::kBackupRead, ToolButton::SpeedButtonWrite) !=
      OpResult::kOk)
    return false;
  // A poor contact spoils a bit here and there, which a CRC-8 of 64 KiB
  // misses one time in 256: a second read must give the same bytes.
  uint32_t differs_at = 0;
  const OpResult again = ReadAgainAndCompare(buffer.get(), size, &differs_at);
  if (again == OpResult::kMismatch) return Refuse(o, PickLangText(kReadsDiffer), differs_at);
  if (again != OpResult::kOk) return false;

  const DumpCheck check = CheckDump(buffer.get(), size);
  WarnAboutDump(o, check, DumpSource::kFlash);
  if (check.finding == DumpFinding::kBlank) {
    // Nothing on the chip to lose; a file of 0xFF would only crowd the
    // folder. Unless the contact went during the reads: then the id tells.
    if (!ChipStillThere()) return false;
    o.LogPrintf(PickLangText(kBackupNotNeeded));
    return true;
  }
  // The folder was made before anything was sent; made again here (safely)
  // in case it went away during the reads.
  if (!BackupFolderReady()) return false;
  std::error_code ec;
  std::string reason;
  std::string path = FindKeptCopy(BackupFolder, buffer.get(), size, &reason);
  if (!reason.empty())
    return Refuse(o, PickLangText(flash_text::kBackupFolderFailed), BackupFolder.c_str(),
                  reason.c_str());
  const bool kept = !path.empty();
  if (!kept) {
    const uint32_t crc = Crc32(buffer.get(), size);
    const std::string name =
        BackupFileName(programmer_.link().clock().LocalTime(), CurrentFlash.JedecId, crc);
    path = JoinPath(BackupFolder, name);
    // Another content under the same name (the same second, the same CRC)
    // is the user's: it stays, and this one takes a suffix.
    for (int n = 2; fs::exists(fs::symlink_status(PathFromUtf8(path), ec)); ++n)
      path = JoinPath(BackupFolder, name.substr(0, name.size() - 4) + "-" + std::to_string(n) +
                                        ".bin");
    if (SaveImageFile(path, buffer.get(), size, &reason) != 0)
      return Refuse(o, PickLangText(kSaveFailed), path.c_str(), reason.c_str());
  }
  buffer.reset();

  const bool sound = CheckBackupFile(path);
  if (!sound) {
    if (!kept) Discard(o, path);
    return false;
  }
  // So that no save over it, from this program or another, takes the only
  // copy away; a kept copy from an older version gets the same protection.
  fs::permissions(PathFromUtf8(path),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace, ec);
  if (ec) o.LogPrintf(PickLangText(kNotReadOnly), path.c_str(), ec.message().c_str());
  // The last look before the erase: still the chip identified at the
  // connect check, and still in contact.
  if (!ChipStillThere()) return false;
  o.LogPrintf(PickLangText(kept ? kBackupKept : kBackupSaved), path.c_str());
  return true;
}

bool FlashOperations::CheckBackupFile(const std::string& path) {
  auto& o = out();
  const auto size = static_cast<uint32_t>(WholeChipSize());
  // What counts is the file as it lies on the disk: it is read back and
  // each 64 KiB of it checked against the programmer's CRC of the chip.
  ReadOnlyFile file(path);
  if (!file.ok())
    return Refuse(o, PickLangText(kReadBackFailed), path.c_str(), file.Reason().c_str());
  if (file.size() != size)
    return Refuse(o, PickLangText(kReadBackFailed), path.c_str(), SystemErrorText(EIO).c_str());
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
      sound = Refuse(o, PickLangText(kReadBackFailed), path.c_str(), file.Reason().c_str());
    } else if (Crc8Range(piece.data(), 0, count - 1) != crc) {
      sound = Refuse(o, PickLangText(kBackupDiffers), path.c_str(), from, last);
    }
  }
  o.ProgressHide();
  return sound;
}

}  // namespace rtd
