#include "flash/backup_step.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "config/atomic_file.h"
#include "config/chip_database.h"
#include "config/paths.h"
#include "config/utf8_path.h"
#include "flash/backup.h"
#include "flash/dump_check.h"
#include "flash/file_reader.h"
#include "flash/image_file.h"
#include "flash/texts.h"

namespace rtd {
namespace {

namespace fs = std::filesystem;

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

// The file's content and the two reads disagree: the disk spoilt it.
constexpr LangText kFileDiffers =
    LANG_TEXT("Резервная копия %s на диске не совпадает с прочитанным по адресу 0x%06X\n"
              "FLASH не стёрта",
              "The backup %s on the disk differs from what was read at address 0x%06X\n"
              "Nothing was erased");
constexpr LangText kSetAside =
    LANG_TEXT("Резервная копия не проверена до конца и сохранена как %s",
              "The backup was not checked to its end and is kept as %s");
constexpr LangText kSetAsideFailed =
    LANG_TEXT("Резервная копия %s не проверена до конца, а переименовать её не удалось: %s",
              "The backup %s was not checked to its end and could not be renamed: %s");

// The range of each CRC request that checks a backup against the chip.
constexpr uint32_t kBackupCrcRange = 4096;

void MakeReadOnly(OperationDisplay& o, const std::string& path) {
  std::error_code ec;
  fs::permissions(PathFromUtf8(path),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read,
                  fs::perm_options::replace, ec);
  if (ec) o.LogPrintf(PickLangText(kNotReadOnly), path.c_str(), SystemErrorText(ec).c_str());
}

// Gives the file a name that says what it is: the name with suffix added;
// empty when the system refused (its reason in ec).
std::string RenameWithSuffix(const std::string& path, const char* suffix, std::error_code& ec) {
  const std::string renamed = path + suffix;
  fs::rename(PathFromUtf8(path), PathFromUtf8(renamed), ec);
  return ec ? std::string() : renamed;
}

// A copy whose check against the chip was cut short (a failed transfer, a
// stop, a lost contact) is most likely sound, for its two reads agreed and
// the file holds them: it stays, under a name that says it was never
// checked, so that it is neither lost nor later taken for a checked backup.
// Returns where the file lies now.
std::string SetAside(OperationDisplay& o, const std::string& path) {
  std::error_code ec;
  if (const std::string renamed = RenameWithSuffix(path, ".unverified", ec); !renamed.empty()) {
    o.LogPrintf(PickLangText(kSetAside), renamed.c_str());
    return renamed;
  }
  o.LogPrintf(PickLangText(kSetAsideFailed), path.c_str(), SystemErrorText(ec).c_str());
  return path;
}

// A file that failed its check must not pass for a backup later: it goes,
// or, where it cannot be removed, takes a name that says what it is.
void Discard(OperationDisplay& o, const std::string& path) {
  std::error_code ec;
  if (fs::remove(PathFromUtf8(path), ec)) {
    o.LogPrintf(PickLangText(kUnsoundRemoved), path.c_str());
    return;
  }
  std::error_code rename_ec;
  if (const std::string renamed = RenameWithSuffix(path, ".unsound", rename_ec);
      !renamed.empty()) {
    o.LogPrintf(PickLangText(kUnsoundRenamed), renamed.c_str());
  } else {
    o.LogPrintf(PickLangText(kUnsoundStays), path.c_str(), SystemErrorText(ec).c_str());
  }
}

}  // namespace

bool BackupStep::RefuseUnusableLevel(const std::string& level, const std::string& reason) {
  const std::string text = FormatText(PickLangText(flash_text::kBackupFolderFailed),
                                      level.c_str(), reason.c_str());
  return Refuse(out(), "%s\n%s", text, PickLangText(flash_text::kNothingErased));
}

bool BackupStep::RefuseUnusableFolder() {
  if (!MakeBackups) return false;
  auto& o = out();
  if (BackupFolder.empty()) {
    const char* switch_off =
        Controls == UserControls::kCommandLine
            ? PickLangText(LANG_TEXT("укажите --no-backup", "give --no-backup"))
            : PickLangText(LANG_TEXT("снимите «Резервная копия перед стиранием» в меню панели",
                                     "switch \"Backup before erase\" off in the panel's menu"));
    return !Refuse(o, PickLangText(flash_text::kNoBackupFolder),
                   BackupFolderProblem.Picked().c_str(), switch_off);
  }
  // Only looked at: a refusal that comes before the backup leaves no
  // folder behind. The backup makes it right before it saves.
  std::string level;
  const std::string reason =
      CheckFolders(BackupFolder, &level, FolderRule::kOnlyUserWrites);
  if (reason.empty()) return false;
  return !RefuseUnusableLevel(level, reason);
}

bool BackupStep::RefuseUnknownSize() {
  const FlashChipInfo& chip = chip_;
  if (!MakeBackups || !chip.Identified() || CapacityFromId(chip.JedecId)) return false;
  const bool marked = chip.SizeFrom == SizeOrigin::kTemplate;
  if (!marked && chip.SizeFrom != SizeOrigin::kUnmarkedGuess) return false;
  const JedecBytes& id = chip.JedecId;
  const auto kib = static_cast<unsigned long>(chip.SizeInBytes / 1024);
  if (marked) {
    constexpr LangText kSizeGuessed = LANG_TEXT(
        "Размер FLASH %02X%02X%02X не известен: в jedec.ini стоит шаблон, записанный программой "
        "(%lu КБ), а микросхема может быть больше, и копия не охватила бы её всю. Укажите размер "
        "микросхемы в SizeInBytes секции [%s] файла %s, замените там %s=%s на %s=%s и снова "
        "проверьте связь\nFLASH не стёрта",
        "The size of the FLASH %02X%02X%02X is not known: jedec.ini holds the template the "
        "program wrote (%lu KBytes), and a larger chip would not be covered by the backup. Enter "
        "the chip's size as SizeInBytes in section [%s] of %s, change %s=%s there to %s=%s, and "
        "run the connect check again\nNothing was erased");
    return !Refuse(out(), PickLangText(kSizeGuessed), id[0], id[1], id[2], kib,
                   JedecSectionName(id), chips_.path(), kSizeOriginKey, kSizeFromTemplate,
                   kSizeOriginKey, kSizeFromUser);
  }
  // No mark to change: the way out adds one (a mark the program may not
  // have been able to write, or an older version never wrote).
  constexpr LangText kSizeUnmarked = LANG_TEXT(
      "Размер FLASH %02X%02X%02X не известен: в jedec.ini стоит %lu КБ без строки %s, а это "
      "догадка, которую программа пишет в шаблон: микросхема может быть больше, и копия не "
      "охватила бы её всю. Укажите размер микросхемы в SizeInBytes секции [%s] файла %s, "
      "добавьте туда строку %s=%s и снова проверьте связь\nFLASH не стёрта",
      "The size of the FLASH %02X%02X%02X is not known: jedec.ini gives %lu KBytes with no %s "
      "line, and that is the guess the program writes into its template: a larger chip would "
      "not be covered by the backup. Enter the chip's size as SizeInBytes in section [%s] of %s, "
      "add the line %s=%s there, and run the connect check again\nNothing was erased");
  return !Refuse(out(), PickLangText(kSizeUnmarked), id[0], id[1], id[2], kib, kSizeOriginKey,
                 JedecSectionName(id), chips_.path(), kSizeOriginKey, kSizeFromUser);
}

bool BackupStep::Run() {
  auto& o = out();
  path_.clear();
  if (!MakeBackups) {
    // An erase without a copy is the user's choice, and the log keeps who
    // made it: a settings file beside a program in a shared folder may
    // have made it for them.
    if (BackupOffBy == OffBy::kOption) {
      o.LogPrintf(PickLangText(LANG_TEXT("Без резервной копии: отключена параметром --no-backup",
                                         "No backup: switched off by --no-backup")));
    } else if (BackupOffBy == OffBy::kSettings) {
      o.LogPrintf(PickLangText(LANG_TEXT("Без резервной копии: отключена в настройках",
                                         "No backup: switched off by the settings")));
    }
    return true;
  }
  // The chip erase wipes the whole chip, also where its id says more than
  // jedec.ini.
  const uint64_t whole = WholeChipSize(chip_);
  if (!WithinReach(whole)) {
    const JedecBytes& id = chip_.JedecId;
    return Refuse(o, PickLangText(kBeyondReach), id[0], id[1], id[2],
                  static_cast<unsigned long>(whole / 1024));
  }
  const auto size = static_cast<uint32_t>(whole);
  // A clip moved to another board, or one whose data line lost its
  // contact, must not be read as this chip (all 0xFF would pass for blank).
  if (identified_.RefuseIfChipChanged()) return false;
  std::unique_ptr<uint8_t[]> buffer = frame_.Allocate(size);
  if (!buffer)
    return Refuse(o, "%s\n%s", PickLangText(flash_text::kMemoryAllocate),
                  PickLangText(flash_text::kNothingErased));
  const OpResult read = reader_.ReadWholeFlash(buffer.get(), size, flash_text::kBackupRead,
                                               ToolButton::SpeedButtonWrite);
  if (read == OpResult::kFailed) return RefuseReadCutShort(flash_text::kBackupRead);
  if (read != OpResult::kOk) return false;
  // A poor contact spoils a bit here and there, which a CRC-8 misses one
  // time in 256: a second read must give the same bytes.
  uint32_t differs_at = 0;
  const OpResult again = reader_.ReadAgainAndCompare(buffer.get(), size, &differs_at);
  if (again == OpResult::kMismatch) return Refuse(o, PickLangText(kReadsDiffer), differs_at);
  if (again == OpResult::kFailed) return RefuseReadCutShort(flash_text::kBackupCheckRead);
  if (again != OpResult::kOk) return false;

  const DumpCheck check = CheckDump(buffer.get(), size);
  if (check.finding == DumpFinding::kBlank) {
    // Nothing on the chip to lose; a file of 0xFF would only crowd the
    // folder. Unless the contact went during the reads: the id tells which,
    // and no warning comes before it (blank chips are the daily case).
    if (identified_.RefuseIfChipChanged()) return false;
    o.LogPrintf(PickLangText(kBackupNotNeeded));
    return true;
  }
  if (check.finding == DumpFinding::kRepeats) {
    if (!AskToEraseRepeating(check.period)) return false;
  } else {
    WarnAboutDump(o, check, DumpSource::kFlash);
  }
  bool kept = false;
  std::string path;
  if (!SaveOrFindKept(buffer.get(), size, &path, &kept)) return false;

  const Verdict verdict = CheckFile(path, buffer.get(), size);
  buffer.reset();
  // So that no save over it, from this program or another, takes the only
  // copy away; a kept copy from an older version gets the same protection,
  // and so does one whose check was cut short (its two reads agreed).
  if (verdict != Verdict::kUnsound) MakeReadOnly(o, path);
  if (verdict == Verdict::kUnsound) {
    if (!kept) Discard(o, path);
    return false;
  }
  if (verdict == Verdict::kUnchecked) {
    // Told once the file lies where it stays, under the name it keeps.
    TellCheckCutShort(kept ? path : SetAside(o, path));
    return false;
  }
  o.LogPrintf(PickLangText(kept ? kBackupKept : kBackupSaved), path.c_str());
  path_ = path;
  return true;
}

bool BackupStep::SaveOrFindKept(const uint8_t* content, uint32_t size, std::string* path,
                                bool* kept) {
  auto& o = out();
  // Made only now that there is something to keep in it.
  const std::string& folder = BackupFolder;
  std::string level;
  std::string reason = MakeFolders(folder, &level, FolderRule::kOnlyUserWrites);
  if (!reason.empty())
    return RefuseUnusableLevel(level, reason);
  *path = FindKeptCopy(folder, content, size, &reason);
  if (!reason.empty())
    return RefuseUnusableLevel(folder, reason);
  *kept = !path->empty();
  if (*kept) return true;
  const std::string name = BackupFileName(programmer_.link().clock().LocalTime(),
                                          chip_.JedecId, Crc32(content, size));
  *path = JoinPath(folder, name);
  // Another content under the same name (the same second, the same CRC)
  // is the user's: it stays, and this one takes a suffix.
  std::error_code ec;
  for (int n = 2; fs::exists(fs::symlink_status(PathFromUtf8(*path), ec)); ++n)
    *path = JoinPath(folder, name.substr(0, name.size() - 4) + "-" + std::to_string(n) + ".bin");
  if (SaveImageFile(*path, content, size, &reason) == 0) return true;
  return Refuse(o, PickLangText(kSaveFailed), path->c_str(), reason.c_str());
}

bool BackupStep::AskToEraseRepeating(uint32_t period) {
  auto& o = out();
  constexpr LangText kRepeats = LANG_TEXT(
      "Содержимое FLASH повторяется каждые %u байт. При оборванной адресной линии микросхема "
      "читается как меньшая: копия содержала бы одну и ту же часть FLASH несколько раз, а "
      "остальное стёрлось бы без копии. Так же повторяется микросхема меньше указанной в "
      "jedec.ini",
      "The FLASH content repeats every %u bytes. With an address line open the chip reads as a "
      "smaller one: the copy would hold the same part of the FLASH more than once, and the rest "
      "would be erased with no copy. A chip smaller than its jedec.ini entry repeats too");
  o.LogPrintf(PickLangText(kRepeats), period);
  if (AcceptRepeatingBackup) {
    o.LogPrintf(PickLangText(LANG_TEXT("Повторение принято (--accept-repeating)",
                                       "The repeat is accepted (--accept-repeating)")));
    return true;
  }
  // The command line's own way to answer beforehand goes with its question;
  // the window's question is only a question.
  const bool command_line = Controls == UserControls::kCommandLine;
  const std::string question =
      FormatText(PickLangText(kRepeats), period) + "\n" +
      (command_line ? PickLangText(LANG_TEXT("Всё равно стереть? (--accept-repeating)",
                                             "Erase anyway? (--accept-repeating)"))
                    : PickLangText(LANG_TEXT("Всё равно стереть?", "Erase anyway?")));
  if (o.MessageBoxPrintf(MB_ICONWARNING | MB_DEFAULT_NO, "%s", question) == IDYES) return true;
  o.LogPrintf(PickLangText(LANG_TEXT("FLASH не стёрта", "Nothing was erased")));
  return false;
}

BackupStep::Verdict BackupStep::CheckFile(const std::string& path, const uint8_t* expected,
                                          uint32_t size) {
  auto& o = out();
  // What counts is the file as it lies on the disk: read back whole, it
  // must hold exactly what the two reads agreed on.
  cut_short_ = {};
  ReadOnlyFile file(path);
  if (file.ok() && file.size() != size) {
    Refuse(o, PickLangText(kReadBackFailed), path.c_str(), SystemErrorText(EIO).c_str());
    return Verdict::kUnsound;
  }
  std::vector<uint8_t> saved(size);
  if (!file.ok() || !file.Read(saved.data(), size)) {
    cut_short_ = {CutShort::Why::kUnreadable, 0, {}, file.Reason()};
    return Verdict::kUnchecked;
  }
  const auto [got, want] = std::mismatch(saved.begin(), saved.end(), expected);
  if (got != saved.end()) {
    const auto at = static_cast<uint32_t>(got - saved.begin());
    Refuse(o, PickLangText(kFileDiffers), path.c_str(), at);
    return Verdict::kUnsound;
  }
  // Then against the chip by the programmer's CRC. A CRC-8 misses two
  // wrong bits only when they lie a multiple of 127 bits apart in one
  // range, so small ranges leave fewer such pairs unseen (16 times fewer
  // at 4 KiB than at 64); the programmer reads the chip itself, so this
  // costs requests, not reads.
  o.SetProgressUnit(kBackupCrcRange);
  o.ProgressStart(static_cast<int32_t>((uint64_t{size} + kBackupCrcRange - 1) / kBackupCrcRange),
                  PickLangText(flash_text::kBackupCheck));
  Verdict verdict = Verdict::kSound;
  const OpResult checked =
      frame_.ForEachBlock(size, kBackupCrcRange, [&](uint32_t from, uint32_t count) {
        const uint32_t last = from + count - 1;
        uint8_t crc = 0;
        if (programmer_.FlashRangeCrc(from, last, &crc) != 0) {
          cut_short_ = {CutShort::Why::kFailed, from, {}, {}};
          return OpResult::kFailed;
        }
        if (Crc8Range(saved.data(), from, last) == crc) return OpResult::kOk;
        verdict = JudgeDisagreement(path, from, last);
        return OpResult::kMismatch;
      });
  o.ProgressHide();
  // A stop or a failed transfer leaves the copy unchecked.
  if (checked == OpResult::kStopped || checked == OpResult::kFailed) verdict = Verdict::kUnchecked;
  return verdict;
}

BackupStep::Verdict BackupStep::JudgeDisagreement(const std::string& path, uint32_t from,
                                                  uint32_t last) {
  // Both reads agreed and the file holds them: a chip that stops answering
  // during the check says nothing against the copy, only against the clip.
  JedecBytes id{};
  CutShort::Why why = CutShort::Why::kFailed;
  switch (identified_.CheckIdAgain(&id)) {
    case IdentifiedChip::IdCheck::kSameChip:
      Refuse(out(), PickLangText(kBackupDiffers), path.c_str(), from, last);
      return Verdict::kUnsound;
    case IdentifiedChip::IdCheck::kLinkFailed: why = CutShort::Why::kFailed; break;
    case IdentifiedChip::IdCheck::kNoId: why = CutShort::Why::kNoId; break;
    case IdentifiedChip::IdCheck::kNoContact: why = CutShort::Why::kNoContact; break;
    case IdentifiedChip::IdCheck::kOtherChip: why = CutShort::Why::kOtherChip; break;
  }
  cut_short_ = {why, from, id, {}};
  return Verdict::kUnchecked;
}

bool BackupStep::RefuseReadCutShort(LangText title) {
  constexpr LangText kReadCutShort =
      LANG_TEXT("%s прервалось по адресу 0x%06X\nFLASH не стёрта",
                "%s stopped at address 0x%06X\nNothing was erased");
  return Refuse(out(), PickLangText(kReadCutShort), PickLangText(title),
                reader_.LastBlockAddress());
}

void BackupStep::TellCheckCutShort(const std::string& path) {
  auto& o = out();
  const CutShort& c = cut_short_;
  const JedecBytes& known = chip_.JedecId;
  std::string why;
  switch (c.why) {
    case CutShort::Why::kNone:  // a stop, told as such
      return;
    case CutShort::Why::kUnreadable:
      Refuse(o, PickLangText(kReadBackFailed), path.c_str(), c.reason.c_str());
      return;
    case CutShort::Why::kFailed:  // the failed request has told why
      break;
    case CutShort::Why::kNoId:
      why = PickLangText(LANG_TEXT(": FLASH не сообщила свой идентификатор, контакт потерян, "
                                   "проверьте клипсу",
                                   ": the FLASH gave no id, the contact was lost, check the clip"));
      break;
    case CutShort::Why::kNoContact:
      why = FormatText(PickLangText(LANG_TEXT(
                           ": идентификатор FLASH прочитан как %02X%02X%02X, контакт потерян, "
                           "проверьте клипсу",
                           ": the FLASH id reads %02X%02X%02X, the contact was lost, check the "
                           "clip")),
                       c.id[0], c.id[1], c.id[2]);
      break;
    case CutShort::Why::kOtherChip:
      why = FormatText(PickLangText(LANG_TEXT(
                           ": идентификатор FLASH прочитан как %02X%02X%02X, а при проверке "
                           "связи был %02X%02X%02X: проверьте клипсу и плату",
                           ": the FLASH id reads %02X%02X%02X, not %02X%02X%02X as at the "
                           "connect check: check the clip and the board")),
                       c.id[0], c.id[1], c.id[2], known[0], known[1], known[2]);
      break;
  }
  constexpr LangText kCheckCutShort =
      LANG_TEXT("Проверка резервной копии %s прервалась по адресу 0x%06X%s\nFLASH не стёрта",
                "The check of the backup %s stopped at address 0x%06X%s\nNothing was erased");
  Refuse(o, PickLangText(kCheckCutShort), path.c_str(), c.address, why.c_str());
}

}  // namespace rtd
