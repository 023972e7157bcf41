// The user-level operations on the board's flash: connect check and
// identification, read to file, full and quick compare, erase-and-write
// with verification, controller reset, touch calibration readout, and the
// programmer reset. The window's click handlers and the command line's
// commands are thin calls of these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/chip_database.h"
#include "config/settings.h"
#include "flash/backup_step.h"
#include "flash/checksums.h"
#include "flash/flash_reader.h"
#include "flash/identified_chip.h"
#include "flash/image_file.h"
#include "flash/operation_frame.h"
#include "flash/operation_result.h"
#include "i18n/lang.h"
#include "link/commands.h"

namespace rtd {

class FlashOperations {
 public:
  FlashOperations(Programmer& programmer, ChipDatabase& chips, SettingsFile& settings);
  virtual ~FlashOperations() = default;
  FlashOperations(const FlashOperations&) = delete;
  FlashOperations& operator=(const FlashOperations&) = delete;

  // The identified flash; empty at start.
  FlashChipInfo CurrentFlash;

  // The backup before every erase (the write's and the erase's own): the
  // front end sets its policy there (flash/backup_step.h).
  BackupStep& Backup() { return backup_; }

  // The click handlers. Each tells the user everything itself; the result
  // only says how it ended. Read, compares and write need an identified
  // flash (kNotStarted without one) and refuse a SizeInBytes above
  // kMaxFlashSize before sending anything (kFailed).

  // kOk only when the chip was identified whole. An id that jedec.ini
  // does not list usefully ends the check normally for the user but gives
  // kUnknownChip; a chip larger than the programmer can address gives
  // kBeyondReach, identified (when named) as the part it reaches, which
  // reads and compares cover and the erasing operations refuse; a link
  // that never came up within 10 s gives kNoLink; an id of no chip
  // kNoChip; an id read that gave no id kNoId.
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

  // True from the moment an erase is about to be sent until the board has
  // its firmware again (the write's last page is written) or has nothing
  // more to lose (the erase on its own has finished erasing), or the
  // operation ends: stopping meanwhile leaves the board without its
  // firmware, so a window asks before it closes under such an operation.
  bool ChipAtRisk() const { return identified_.AtRisk(); }

  // What the chip erase wipes: the larger of jedec.ini's size and the size
  // the id's capacity code gives.
  uint64_t WholeChipSize() const;

 protected:
  // The image buffer of one operation; null when the memory cannot be had.
  virtual std::unique_ptr<uint8_t[]> AllocateImageBuffer(uint32_t size);

 private:
  // The service commands are operations too, built from the same steps.
  friend class ServiceCommands;

  OperationServices& out() { return programmer_.out(); }
  // The gate (false: this was a stop request, or nothing is identified to
  // work on), and a fresh start for the chip's per-operation record.
  bool Begin();
  bool BeginOnIdentifiedChip() { return Begin() && CurrentFlash.Identified(); }
  // Both, then the image file chosen and loaded into a buffer of the chip's
  // size: kOk, or how it ended (told; the program idle again).
  OpResult BeginWithImage(std::unique_ptr<uint8_t[]>& buffer, uint32_t* length);
  // kOk when the id resolved to a name and a size that the operations can
  // work with. kBeyondReach for a chip larger than kMaxFlashSize by its id
  // or by jedec.ini, whatever size the user entered: identified, when it
  // has a name, as the part the programmer reaches (nothing told yet).
  // Otherwise kUnknownChip, after filling in the template where nothing of
  // the user's is lost and telling the user about a size that is present
  // but unreadable, 0 or negative; the chip is then not identified.
  OpResult IdentifyFlash(const JedecBytes& id);
  // The connect check's wait for the programmer's link to the flash, up to
  // 10 s: kOk when it came up; kNoLink, kStopped or kFailed otherwise.
  OpResult WaitForLink();
  // The steps of the write and the erase before their question, the
  // question itself, and what may have changed while it was open. kOk to
  // go on (the gate closed); kNotStarted or kFailed when nothing is to be
  // done, told.
  OpResult ConfirmErase(LangText question);
  // The backup, then the id read again, the status read, the unlock of a
  // protected chip and its erase. kOk; kFailed after the step or primitive
  // has told the user; kStopped on a stop request between two steps.
  OpResult BackUpAndErase(IdentifiedChip::Protection& protection);
  // The write with its quick verification; with verify_fully the flash is
  // then read back whole and compared with the image written, and success
  // is only told after that.
  OpResult WriteImage(bool verify_fully);
  OpResult WritePages(const uint8_t* buffer, uint32_t length);

  Programmer& programmer_;
  ChipDatabase& chips_;
  OperationFrame frame_;
  IdentifiedChip identified_;
  FlashReader reader_;
  BackupStep backup_;
};

}  // namespace rtd
