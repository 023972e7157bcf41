// The chip the connect check identified, as the operations that follow
// meet it again: its id read once more (the clip may have moved, or lost
// its contact), its write protection lifted and put back around an erase,
// and what a stop or a failure after the erase means for the board.
#pragma once

#include <cstdint>
#include <string>

#include "config/chip_database.h"
#include "flash/operation_frame.h"
#include "flash/operation_result.h"
#include "link/commands.h"

namespace rtd {

// An id of all ones or all zeros is what the bus reads with no chip on it
// (or a clip that does not touch): no chip answered.
bool FlashAnswers(const JedecBytes& id);
// What the chip erase wipes: the largest of jedec.ini's size, the size the
// id's capacity code gives and the size beyond the programmer's reach.
uint64_t WholeChipSize(const FlashChipInfo& chip);

class IdentifiedChip {
 public:
  IdentifiedChip(Programmer& programmer, const FlashChipInfo& chip, OperationFrame& frame)
      : programmer_(programmer), chip_(chip), frame_(frame) {}
  IdentifiedChip(const IdentifiedChip&) = delete;
  IdentifiedChip& operator=(const IdentifiedChip&) = delete;

  // A new operation begins: no erase sent, no backup made yet.
  void Begin();

  // The id as the chip sends it now: kOk; kFailed after the primitive told
  // the user; kNoId when the reply held no id (nothing told).
  OpResult ReadJedecId(JedecBytes* id);
  // The id read again, against the identified chip's; nothing told.
  enum class IdCheck { kSameChip, kNoContact, kOtherChip, kNoId, kLinkFailed };
  IdCheck CheckIdAgain(JedecBytes* id);
  // The chip erase would wipe more than the programmer can read back or
  // write: the user is told, nothing is sent, true. False for a chip within
  // reach (or none identified).
  bool RefuseBeyondReach();
  // Reads the id again before anything is changed. Still the identified
  // chip: false. Otherwise the user is told what was read (no contact for
  // all ones or all zeros, another chip for another id) and that nothing
  // was erased: true.
  bool RefuseIfChipChanged();
  // The last look of every operation that read the flash, before it tells
  // its result. The id still the identified chip's: false. Otherwise the
  // contact went at some moment of the operation and what it read may be
  // 0xFF from there on: the user is told so and what it means (a dump not
  // saved, no verdict, or, once the erase was sent, the backup to restore
  // from); true.
  enum class ContactLoss { kNoVerdict, kNotSaved };
  bool TellIfContactLost(ContactLoss loss);

  // The chip's write protection as the erasing operations found it, and
  // whether they have lifted it and not yet put it back.
  struct Protection {
    uint8_t saved_status = 0;
    bool lifted = false;
  };
  // Reads the status, unlocks a protected chip and erases it. kOk; kFailed
  // after a primitive has told the user; kStopped on a stop request
  // between two steps. The chip stays as far as it got.
  OpResult UnlockAndErase(Protection& protection);
  // Locks the chip again as it was and clears the write latch; false after
  // a primitive has told the user.
  bool Relock(Protection& protection);
  // After a failed or stopped operation that lifted the protection: one
  // try to put the saved status back, and a log line on how that went.
  void RestoreProtection(const Protection& protection);

  // The backup the running operation made (or found kept) before its
  // erase, for the user to restore from should the erase go wrong.
  void NoteBackup(const std::string& path) { last_backup_ = path; }
  // After a write or an erase that failed once the erase was sent: the
  // backup to restore from, unless already told.
  void TellBackupToRestore();

  // True from the moment an erase is about to be sent until the board has
  // its firmware again or has nothing more to lose, or the operation ends.
  bool AtRisk() const { return at_risk_; }
  // Marks the chip at risk from the erase on; clears the mark when the
  // operation that holds it returns, whatever the path.
  class RiskScope {
   public:
    explicit RiskScope(IdentifiedChip& chip) : chip_(chip) {}
    ~RiskScope() { chip_.at_risk_ = false; }
    RiskScope(const RiskScope&) = delete;
    RiskScope& operator=(const RiskScope&) = delete;

   private:
    IdentifiedChip& chip_;
  };
  // The board has what it needs again (its firmware, or the erase asked
  // for): a stop from here on costs no firmware.
  void ClearRisk() { at_risk_ = false; }

 private:
  OperationServices& out() { return programmer_.out(); }

  Programmer& programmer_;
  const FlashChipInfo& chip_;
  OperationFrame& frame_;
  bool at_risk_ = false;
  // Whether the running operation has sent the chip erase, and the backup
  // it made (or found kept) before it; empty when none.
  bool erase_sent_ = false;
  std::string last_backup_;
  bool restore_told_ = false;
};

}  // namespace rtd
