// Erasing and writing the flash from a file, with the write protection
// lifted and put back around it (after a failure too) and a verification
// at the end.

#include <algorithm>
#include <cstring>

#include "flash/backup_step.h"
#include "flash/dump_check.h"
#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

constexpr uint32_t kPage = 256;
// Chips of this manufacturer take their pages with their own command.
constexpr uint8_t kManufacturerBF = 0xBF;

}  // namespace

OpResult FlashOperations::SpeedButtonWriteClick() { return WriteImage(false); }

OpResult FlashOperations::WriteImage(bool verify_fully) {
  auto& o = out();
  if (!PassGate()) return OpResult::kNotStarted;
  if (BackupStep(*this).RefuseBeforeQuestion()) return OpResult::kFailed;
  if (o.MessageBoxPrintf(
          MB_ICONWARNING,
          PickLangText(LANG_TEXT("Будет произведено стирание и запись FLASH\nПродолжаем?",
                                 "It will erase and write FLASH\nContinue?"))) != IDYES)
    return OpResult::kNotStarted;
  if (!CurrentFlash.Identified()) return OpResult::kNotStarted;
  if (BackupStep(*this).RefuseUnknownSize()) return OpResult::kFailed;
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult loaded = TakeAndLoadImage(buffer, &length); loaded != OpResult::kOk)
    return loaded;
  if (!ConfirmImage(o, buffer.get(), length)) {
    EndOperation(buffer);
    return OpResult::kNotStarted;
  }

  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonWrite);
  const RiskScope risk(*this);
  OpResult result = OpResult::kFailed;
  Protection protection;
  // Each step runs only when the ones before it succeeded and no stop came
  // between them; a failed primitive has already told the user, so the
  // chain just stops, and the protection is put back below.
  [&] {
    if (result = UnlockAndErase(protection); result != OpResult::kOk) return;

    if (result = WritePages(buffer.get(), length); result != OpResult::kOk) return;
    // The firmware is on the chip again: a stop from here on costs the
    // lock and the verification, not the board.
    ChipSafeAgain();

    result = OpResult::kFailed;
    if (!Relock(protection)) return;
    if (StepStopped()) {
      result = OpResult::kStopped;
      return;
    }

    QuickCompareImage(buffer.get(), length);
    result = last_quick_compare_;
    // The quick verification misses about one corrupted 64 KiB block in
    // 256; the full one reads everything back and compares it with the
    // image just written.
    if (result == OpResult::kOk && verify_fully) {
      uint32_t differs_at = 0;
      result = CompareBlocks(buffer.get(), length, nullptr, &differs_at);
      result = TellCompareResult(result, differs_at);
      if (result == OpResult::kOk) o.LogPrintf(PickLangText(flash_text::kSameContent));
    }
    if (result == OpResult::kOk) {
      o.LogPrintf(
          PickLangText(LANG_TEXT("Запись FLASH успешно выполнена", "Write FLASH successfully")));
    }
  }();
  RestoreProtection(protection);
  if (result != OpResult::kOk) TellBackupToRestore();
  EndOperation(buffer);
  return result;
}

OpResult FlashOperations::UnlockAndErase(Protection& protection) {
  auto& o = out();
  auto& p = programmer_;
  // The question and the file chooser ran messages: a stop may be waiting.
  if (StepStopped()) return OpResult::kStopped;
  BackupStep backup(*this);
  if (!backup.Run()) return OpResult::kFailed;
  last_backup_ = backup.path();
  // With or without a backup, the chip about to be erased must be the one
  // identified: the connect check may lie minutes back, and the clip may
  // sit on another board by now.
  if (!ChipStillThere()) return OpResult::kFailed;
  if (p.FlashReadStatus(&protection.saved_status) != 0) return OpResult::kFailed;
  // Busy and write-enable both set is what no idle chip reports, and what a
  // data line without contact reads: kept as the value to put back, it
  // would lock the whole chip (and the register itself) for good.
  if (protection.saved_status == 0xFF) {
    constexpr LangText kStatusNoContact = LANG_TEXT(
        "Регистр состояния FLASH прочитан как 0xFF: нет контакта, проверьте клипсу\nFLASH не "
        "стёрта",
        "The FLASH status register reads 0xFF: no contact, check the clip\nNothing was erased");
    Refuse(o, PickLangText(kStatusNoContact));
    return OpResult::kFailed;
  }
  if (protection.saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Снятие блокировки FLASH", "Unlock FLASH")));
    if (p.FlashWriteEnable() != 0) return OpResult::kFailed;
    // From the moment the status write is sent the chip may have carried it
    // out, even when its answer is lost or spoilt: from then on the saved
    // status is put back whatever happens.
    protection.lifted = true;
    if (p.FlashWriteStatus(0) != 0) return OpResult::kFailed;
    o.DelayWithMessages(100);
    // A stop or a close during the wait must be seen before the erase.
    if (StepStopped()) return OpResult::kStopped;
  }
  if (p.FlashWriteEnable() != 0) return OpResult::kFailed;
  o.LogPrintf(PickLangText(LANG_TEXT("Стирание FLASH", "FLASH erase")));
  chip_at_risk_ = true;
  erase_sent_ = true;
  if (p.FlashEraseChip() != 0) return OpResult::kFailed;
  // The erase holds the program still for seconds; a stop that came
  // meanwhile ends the operation here.
  if (StepStopped()) return OpResult::kStopped;
  return OpResult::kOk;
}

bool FlashOperations::Relock(Protection& protection) {
  auto& o = out();
  auto& p = programmer_;
  if (protection.saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Установка блокировки FLASH", "Lock FLASH")));
    if (p.FlashWriteEnable() != 0 || p.FlashWriteStatus(protection.saved_status) != 0)
      return false;
    protection.lifted = false;
    o.DelayWithMessages(100);
  }
  return p.FlashWriteDisable() == 0;
}

void FlashOperations::RestoreProtection(const Protection& protection) {
  if (!protection.lifted) return;
  auto& o = out();
  // A programmer closed under the operation stays closed: putting the
  // status back would open it again.
  const bool put_back = !LinkTakenAway() && programmer_.FlashWriteEnable() == 0 &&
                        programmer_.FlashWriteStatus(protection.saved_status) == 0;
  if (put_back) {
    // The chip takes a moment to store its status; nothing else may run
    // meanwhile, so the wait lets no messages through.
    programmer_.link().clock().SleepMicroseconds(100 * 1000);
    o.LogPrintf(PickLangText(LANG_TEXT("Блокировка FLASH восстановлена (регистр состояния 0x%02X)",
                                       "FLASH protection put back (status register 0x%02X)")),
                static_cast<unsigned>(protection.saved_status));
  } else {
    o.LogPrintf(PickLangText(LANG_TEXT(
                    "Не удалось восстановить блокировку FLASH: микросхема осталась без защиты",
                    "The FLASH protection could not be put back: the chip is left unprotected")));
  }
}

// Programs the image page by page, skipping blank pages; hides the gauge
// when done, whatever the outcome.
OpResult FlashOperations::WritePages(const uint8_t* buffer, uint32_t length) {
  auto& o = out();
  o.LogPrintf(PickLangText(flash_text::kWrite));
  uint8_t blank[kPage];
  std::memset(blank, 0xFF, sizeof blank);
  o.SetProgressUnit(kPage);
  o.ProgressStart(static_cast<int32_t>((uint64_t{length} + kPage - 1) / kPage),
                  PickLangText(flash_text::kWrite));

  const bool manufacturer_bf = CurrentFlash.JedecId[0] == kManufacturerBF;
  OpResult result = OpResult::kOk;
  int32_t counter = 0;
  uint8_t page[kPage];
  for (uint32_t address = 0; address < length; address += kPage) {
    if (!NextBlock(counter)) {
      result = OpResult::kStopped;
      break;
    }
    // A last page cut short by the end of the chip is filled up with 0xFF,
    // which programs nothing.
    const uint32_t count = std::min(kPage, length - address);
    std::memset(page, 0xFF, sizeof page);
    std::memcpy(page, buffer + address, count);
    if (std::memcmp(page, blank, kPage) == 0) continue;
    if (programmer_.FlashWriteEnable() != 0 ||
        programmer_.FlashWriteBlock(address, page, manufacturer_bf) != 0) {
      result = OpResult::kFailed;
      break;
    }
  }
  o.ProgressHide();
  return result;
}

}  // namespace rtd
