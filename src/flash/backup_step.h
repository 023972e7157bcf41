// The backup made before every erase, as a step of the write and the erase:
// a board's flash often holds the only copy of its firmware, with the
// panel's settings in it. The chip's id is read again, the whole chip is
// read twice (both reads must agree), a content that repeats is asked
// about, the copy is saved in a file of the backup folder, read back and
// compared with the reads, checked against the chip by the programmer's CRC
// of every 4 KiB and made read-only; the erase then reads the id once more
// before it goes. Backups are never deleted by the program; a
// file that failed its check is not left under a backup's name.
#pragma once

#include <cstdint>
#include <string>

#include "config/chip_database.h"
#include "flash/flash_reader.h"
#include "flash/identified_chip.h"
#include "flash/operation_frame.h"
#include "i18n/lang.h"

namespace rtd {

class BackupStep {
 public:
  BackupStep(Programmer& programmer, ChipDatabase& chips, const FlashChipInfo& chip,
             OperationFrame& frame, IdentifiedChip& identified, FlashReader& reader)
      : programmer_(programmer),
        chips_(chips),
        chip_(chip),
        frame_(frame),
        identified_(identified),
        reader_(reader) {}
  BackupStep(const BackupStep&) = delete;
  BackupStep& operator=(const BackupStep&) = delete;

  // --- the policy, as the front end sets it ---

  // Whether the erasing operations back the chip up first, into a new file
  // of BackupFolder. Off in a bare FlashOperations; the session turns it
  // on (without a folder too: the reason then stops the erase), and a
  // front end may turn it off (the user's choice).
  bool MakeBackups = false;
  std::string BackupFolder;
  // Why BackupFolder is empty, as the user is told it.
  TwoLanguageText BackupFolderProblem;
  // Who switched the backups off, for the line every erase without one
  // logs; nobody, in a bare FlashOperations, logs none.
  enum class OffBy { kNobody, kOption, kSettings };
  OffBy BackupOffBy = OffBy::kNobody;
  // A backup whose content repeats (an open address line reads the same
  // part of the chip over and over) stops the erase unless the user says
  // so: in a box with No as the default, or by setting this beforehand.
  bool AcceptRepeatingBackup = false;
  // Where the user answers what the backup may need to know: the window
  // (its menu switch and boxes) or the command line (its options). The
  // texts that tell the user how to answer follow it, so that neither
  // names the other's controls.
  enum class UserControls { kWindow, kCommandLine };
  UserControls Controls = UserControls::kWindow;

  // --- the step ---

  // The refusals that come before the question to erase, whose Yes they
  // could only overrule; each tells the user why and returns true. With
  // backups on: the folder must be usable (it is only looked at: nothing is
  // made before the backup is), and the chip's size must be one the user
  // entered or the id gives, not the template's guess, or the erase could
  // wipe more than the copy holds. The size is refused again after the
  // question, which lets a plug-in identify another chip while it is open.
  bool RefuseUnusableFolder();
  bool RefuseUnknownSize();
  bool RefuseBeforeQuestion() { return RefuseUnusableFolder() || RefuseUnknownSize(); }
  // The backup itself, right before the erase; true when the erase may go
  // ahead (also when backups are off, or when the chip reads blank and its
  // id proves the contact). False after the user has been told why not.
  // The id is not read after it: the erase reads it right before it goes.
  bool Run();
  // The file that now holds the chip's content (saved, or found kept);
  // empty when none was needed or made by the last Run.
  const std::string& path() const { return path_; }

 private:
  OperationServices& out() { return programmer_.out(); }
  // A level of the folder's path that cannot be used, told with the reason
  // and that nothing was erased; false.
  bool RefuseUnusableLevel(const std::string& level, const std::string& reason);
  // Whether a backup file holds the chip: kSound; kUnsound when it differs
  // (from what was read, or from the chip), told; kUnchecked when the check
  // could not be finished (the file could not be read back, a transfer
  // failed, the chip gave no id or another one, a stop), with why in
  // cut_short_, told by TellCheckCutShort once the file is set aside.
  enum class Verdict { kSound, kUnsound, kUnchecked };
  // Why and where the last check was cut short.
  struct CutShort {
    // kNone: a stop (told as such); kFailed: a request failed (it told
    // why); kUnreadable: the file could not be read back (reason); the rest
    // are what the id said after a range disagreed (id).
    enum class Why { kNone, kUnreadable, kFailed, kNoId, kNoContact, kOtherChip };
    Why why = Why::kNone;
    uint32_t address = 0;  // the range the check had reached
    JedecBytes id{};
    std::string reason;
  };
  // Reads the file back, compares it byte for byte with what the two reads
  // agreed on, then with the chip by the programmer's CRC of every 4 KiB.
  Verdict CheckFile(const std::string& path, const uint8_t* expected, uint32_t size);
  // A range whose CRC disagrees with the file: unsound only while the id
  // shows the chip still there; with the contact gone, or the clip on
  // another board, the check is cut short (kUnchecked).
  Verdict JudgeDisagreement(const std::string& path, uint32_t from, uint32_t last);
  // Tells why the check was cut short, where, and that nothing was erased,
  // naming the file at path, where it lies now.
  void TellCheckCutShort(const std::string& path);
  // A read of the backup (under its title) that failed: where, and that
  // nothing was erased; false.
  bool RefuseReadCutShort(LangText title);
  // Asks whether a backup whose content repeats every period bytes will do
  // (No is the default); true at once when it was accepted beforehand.
  bool AskToEraseRepeating(uint32_t period);
  // Saves the content under a new name of the folder, or finds it kept
  // already (*kept), the file's path in *path; false after the user has
  // been told why neither.
  bool SaveOrFindKept(const uint8_t* content, uint32_t size, std::string* path, bool* kept);

  Programmer& programmer_;
  ChipDatabase& chips_;
  const FlashChipInfo& chip_;
  OperationFrame& frame_;
  IdentifiedChip& identified_;
  FlashReader& reader_;
  std::string path_;
  CutShort cut_short_;
};

}  // namespace rtd
