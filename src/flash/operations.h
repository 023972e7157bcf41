// The user-level operations on the board's flash: connect check and
// identification, read to file, full and quick compare, erase-and-write
// with verification, controller reset, touch calibration readout, and the
// programmer reset. The window's click handlers and the command line's
// commands are thin calls of these.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/chip_database.h"
#include "config/settings.h"
#include "flash/checksums.h"
#include "i18n/lang.h"
#include "link/commands.h"

namespace rtd {

// How an operation ended, for front ends that need more than the user was
// already shown (the command line's exit status). The window ignores it.
enum class OpResult {
  kOk,          // done; for compares: flash and file the same
  kNotStarted,  // stop request to a running operation, no identified flash, or answered No
  kCancelled,   // the file chooser was cancelled
  kFailed,      // a failure the user has been shown
  kMismatch,    // a compare (or a write's verification) found a difference
  kStopped,     // the user stopped it ("User terminate")
  kUnknownChip,  // connect check: the id was read, but jedec.ini does not list it usefully
  kBeyondReach,  // connect check: the id says more than the programmer can address (told)
  kNoLink,       // connect check: the programmer never reported its link to the flash up
  kNoChip,       // connect check: the id read as all ones or all zeros (no chip, or no contact)
  kNoId,         // connect check: the id read was refused, or its reply held no id
};

// Smallest image file accepted, and the granularity of the image length.
inline constexpr uint32_t kImageUnit = 64u * 1024;

// Fills the buffer with 0xFF, loads the file at its start; 0 and the image
// length (file size rounded up to 64 KiB, but never beyond capacity) on
// success, 1 after its own box (none when the file cannot be opened). A
// file that is not a regular file is never read (nor waited for). Where the
// system gave a reason, it goes to out.ShowFileError with the path.
int LoadImageFile(OutputServices& out, const std::string& name, uint8_t* buffer, uint32_t capacity,
                  uint32_t* image_length);
// Writes all size bytes of the buffer; 0 on success, else 1 with the
// system's reason in *reason (when given). Never leaves a damaged file
// behind, and never replaces a read-only file: see ReplaceFileContent.
int SaveImageFile(const std::string& name, const uint8_t* buffer, uint32_t size,
                  std::string* reason = nullptr);

// A refusal told in full: the same text as a log line and an error box.
// Returns false, for the caller to return.
template <typename... Args>
bool Refuse(OutputServices& out, const char* format, const Args&... args) {
  out.LogPrintf(format, args...);
  out.MessageBoxPrintf(MB_ICONERROR, format, args...);
  return false;
}

class FlashOperations {
 public:
  FlashOperations(Programmer& programmer, ChipDatabase& chips, SettingsFile& settings)
      : programmer_(programmer), chips_(chips), settings_(settings) {}
  virtual ~FlashOperations() = default;
  FlashOperations(const FlashOperations&) = delete;
  FlashOperations& operator=(const FlashOperations&) = delete;

  // The identified flash; empty at start.
  FlashChipInfo CurrentFlash;

  // Before every erase (the write's and the erase's own) the whole chip is
  // read into a new file of BackupFolder and that file checked against the
  // chip; the erase goes ahead only when the copy is sound (flash/backup_step.h).
  // Off in a bare FlashOperations; the session turns it on (without a
  // folder too: the reason then stops the erase), and a front end may turn
  // it off (the user's choice).
  bool MakeBackups = false;
  std::string BackupFolder;
  // Why BackupFolder is empty, as the user is told it.
  std::string BackupFolderProblem;
  // Who switched the backups off, for the line every erase without one
  // logs; a bare FlashOperations (MakeBackups off, nobody asked) logs none.
  enum class BackupOff { kUntold, kByOption, kBySettings };
  BackupOff BackupOffBy = BackupOff::kUntold;
  // A backup whose content repeats (an open address line reads the same
  // part of the chip over and over) stops the erase unless the user says
  // so: in a box with No as the default, or by setting this beforehand.
  bool AcceptRepeatingBackup = false;
  // Where the user answers what an operation may need to know: the window
  // (its menu switches and boxes) or the command line (its options). The
  // texts that tell the user how to answer follow it, so that neither
  // names the other's controls.
  enum class UserControls { kWindow, kCommandLine };
  UserControls Controls = UserControls::kWindow;

  // The click handlers. Each tells the user everything itself; the result
  // only says how it ended. Read, compares and write need an identified
  // flash (kNotStarted without one) and refuse a SizeInBytes above
  // kMaxFlashSize before sending anything (kFailed).

  // kOk only when the chip was identified. An id that jedec.ini does not
  // list usefully ends the check normally for the user but gives
  // kUnknownChip; a link that never came up within 10 s gives kNoLink; an
  // id of no chip kNoChip; an id read that gave no id kNoId.
  OpResult SpeedButtonConnectClick();
  OpResult SpeedButtonReadClick();
  OpResult SpeedButtonCompareClick();
  OpResult SpeedButtonCompareFastClick();
  // Asks first (kNotStarted on anything but IDYES); a verification that
  // found a difference gives kMismatch. A stop is seen between any two
  // steps; a failure or stop after the unlock puts the protection back.
  OpResult SpeedButtonWriteClick();
  OpResult SpeedButtonResetRTD2662Click();
  // kFailed also when the reply lacked values (printed as 0).
  OpResult SpeedButtonGetTouchParamClick();
  // Programmer reset (write-type command 3).
  OpResult SpeedButtonResetClick();

  // 0 when the id resolved to a name and a size that the operations can
  // work with; otherwise 1, after filling in the template where nothing of
  // the user's is lost and telling the user about a size that is present
  // but unreadable, 0, negative or above kMaxFlashSize. The chip is then
  // not identified.
  int IdentifyFlash(const JedecBytes& id);
  // 0 when every 64 KiB range matched; 1 on mismatch, failure or stop.
  // length must not exceed the buffer; a last range shorter than 64 KiB is
  // checked over the bytes that exist.
  int QuickCompareImage(const uint8_t* buffer, uint32_t length);
  // How the last QuickCompareImage ended (kOk, kMismatch, kFailed, kStopped).
  OpResult LastQuickCompareResult() const { return last_quick_compare_; }

  Programmer& programmer() { return programmer_; }
  OutputServices& out() { return programmer_.out(); }
  const ChipDatabase& chips() const { return chips_; }

  // True from the moment an erase is about to be sent until the board has
  // its firmware again (the write's last page is written) or has nothing
  // more to lose (the erase on its own has finished erasing), or the
  // operation ends: stopping meanwhile leaves the board without its
  // firmware, so a window asks before it closes under such an operation.
  bool ChipAtRisk() const { return chip_at_risk_; }

  // What the chip erase wipes: the larger of jedec.ini's size and the size
  // the id's capacity code gives.
  uint64_t WholeChipSize() const;

  // --- The steps every operation is built from: the click handlers above,
  // the service commands (flash/service_commands.h) and the backup
  // (flash/backup_step.h). Each tells the user what went wrong itself. ---

  // The image buffer of one operation; null when the memory cannot be had.
  virtual std::unique_ptr<uint8_t[]> AllocateImageBuffer(uint32_t size);

  // Entered while an operation runs, a click is that operation's stop
  // request (false: nothing more to do).
  bool PassGate();
  OpResult TakeImageBuffer(std::unique_ptr<uint8_t[]>& buffer);
  OpResult TakeAndLoadImage(std::unique_ptr<uint8_t[]>& buffer, uint32_t* image_length);
  void EndOperation(std::unique_ptr<uint8_t[]>& buffer);
  void EndOperation();
  // A stop request, or the programmer closed under the running operation
  // (told to the user; true: stop).
  bool StopRequested();
  // Between two steps that change the chip: pending messages run, then
  // StopRequested.
  bool StepStopped();
  void StartBusy(LangText title, ToolButton stop_button, int32_t maximum,
                 uint32_t bytes_per_step);
  bool NextBlock(int32_t& counter);

  // The write with its quick verification; with verify_fully the flash is
  // then read back whole and compared with the image written, and success
  // is only told after that.
  OpResult WriteImage(bool verify_fully);

  // The full compare's block loop over the image under its own gauge; the
  // first difference goes to *first_difference, told to nobody yet.
  // Without each_difference it ends there (kMismatch); with it, it goes on
  // to the end and hands it every differing address with the byte the
  // flash holds there. kOk, kMismatch, kFailed or kStopped.
  OpResult CompareBlocks(const uint8_t* buffer, uint32_t length,
                         const std::function<void(uint32_t, uint8_t)>* each_difference,
                         uint32_t* first_difference);
  // A full compare's result as the user learns it, once the id at its end
  // says the chip was there throughout (kFailed when not): the first
  // difference logged and boxed.
  OpResult TellCompareResult(OpResult result, uint32_t first_difference);

  // The chip's write protection as the erasing operations found it, and
  // whether they have lifted it and not yet put it back.
  struct Protection {
    uint8_t saved_status = 0;
    bool lifted = false;
  };
  // Marks the chip at risk from the erase on; clears the mark when the
  // operation that holds it returns, whatever the path.
  class RiskScope {
   public:
    explicit RiskScope(FlashOperations& ops) : ops_(ops) {}
    ~RiskScope() { ops_.chip_at_risk_ = false; }
    RiskScope(const RiskScope&) = delete;
    RiskScope& operator=(const RiskScope&) = delete;

   private:
    FlashOperations& ops_;
  };
  // The board has what it needs again (its firmware, or the erase asked
  // for): a stop from here on costs no firmware.
  void ChipSafeAgain() { chip_at_risk_ = false; }
  // The write's first steps, shared with the erase: back the chip up, read
  // the status, unlock a protected chip, erase it. kOk; kFailed after the
  // backup or a primitive has told the user; kStopped on a stop request
  // between two steps (before the erase above all). The chip stays as far
  // as it got.
  OpResult UnlockAndErase(Protection& protection);
  // Locks the chip again as it was and clears the write latch; false after
  // a primitive has told the user.
  bool Relock(Protection& protection);
  // After a failed or stopped operation that lifted the protection: one
  // try to put the saved status back, and a log line on how that went.
  void RestoreProtection(const Protection& protection);

  // The id read again, against the identified chip's; nothing told.
  enum class IdCheck { kSameChip, kNoContact, kOtherChip, kNoId, kLinkFailed };
  IdCheck CheckIdAgain(JedecBytes* id);
  // Reads the JEDEC id again: true when it is still the identified chip's.
  // Otherwise the user is told what was read (no contact for all ones or
  // all zeros, another chip for another id) and that nothing was erased.
  bool ChipStillThere();
  // The last look of every operation that read the flash, before it tells
  // its result: true when the id is still the identified chip's. Otherwise
  // the contact went at some moment of the operation and what it read may
  // be 0xFF from there on: the user is told so and what it means (a dump
  // not saved, no verdict, or, once the erase was sent, the backup to
  // restore from); false.
  enum class ContactLoss { kNoVerdict, kNotSaved };
  bool ContactHeld(ContactLoss loss);
  // After a write or an erase that failed once the erase was sent: the
  // backup to restore from, unless already told.
  void TellBackupToRestore();

  // Reads size bytes of the flash into buffer under the gauge with this
  // title; kOk, kStopped, or kFailed after the primitive told the user.
  OpResult ReadWholeFlash(uint8_t* buffer, uint32_t size, LangText title, ToolButton stop_button);
  // Reads the flash again under the backup's check-read title and compares
  // it with buffer: kOk, kMismatch with the first differing address in
  // *first_difference (nothing told), kStopped, or kFailed.
  OpResult ReadAgainAndCompare(const uint8_t* buffer, uint32_t size, uint32_t* first_difference);
  // Asks where to save the dump, saves it safely, tells the user and
  // remembers the path; kCancelled when no file was chosen.
  OpResult SaveDump(const uint8_t* buffer, uint32_t size);

 private:
  OpResult WritePages(const uint8_t* buffer, uint32_t length);
  // The connect check's wait for the programmer's link to the flash, up to
  // 10 s: kOk when it came up; kNoLink, kStopped or kFailed otherwise.
  OpResult WaitForLink();
  // The id as the chip sends it now: kOk; kFailed after the primitive told
  // the user; kNoId when the reply held no id (nothing told).
  OpResult ReadJedecId(JedecBytes* id);
  // The block loop of the whole-flash reads: hands each 256-byte block
  // read (count bytes of it inside size) to each_block, which returns false
  // to end the loop early (kMismatch).
  OpResult ReadBlocks(uint32_t size, LangText title, ToolButton stop_button,
                      const std::function<bool(uint32_t, const uint8_t*, uint32_t)>& each_block);
  // Whether the programmer was closed (by its owner) since the running
  // operation began.
  bool LinkTakenAway();

  Programmer& programmer_;
  ChipDatabase& chips_;
  SettingsFile& settings_;
  OpResult last_quick_compare_ = OpResult::kOk;
  bool chip_at_risk_ = false;
  // Whether the running operation has sent the chip erase, and the backup
  // it made (or found kept) before it; empty when none.
  bool erase_sent_ = false;
  std::string last_backup_;
  bool restore_told_ = false;
  // The transport's Closings() when the running operation began.
  uint32_t closings_at_start_ = 0;
};

}  // namespace rtd
