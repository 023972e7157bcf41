// Erasing and writing the flash from a file, with the write protection
// lifted and put back around it (after a failure too) and a verification
// at the end.

#include <algorithm>
#include <cstring>

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

OpResult FlashOperations::ConfirmErase(LangText question) {
  auto& o = out();
  if (!Begin()) return OpResult::kNotStarted;
  // Whatever the answer, these would stop the erase: they come first.
  if (frame_.RefuseUnreachableSize() || identified_.RefuseBeyondReach() ||
      backup_.RefuseBeforeQuestion())
    return OpResult::kFailed;
  if (o.MessageBoxPrintf(MB_ICONWARNING, PickLangText(question)) != IDYES)
    return OpResult::kNotStarted;
  // The question ran messages: a plug-in may have identified another chip,
  // or none, meanwhile.
  if (!CurrentFlash.Identified()) return OpResult::kNotStarted;
  if (identified_.RefuseBeyondReach() || backup_.RefuseUnknownSize()) return OpResult::kFailed;
  o.IdleFlag = 0;
  return frame_.RefuseUnreachableSize() ? OpResult::kFailed : OpResult::kOk;
}

OpResult FlashOperations::BackUpAndErase(IdentifiedChip::Protection& protection) {
  // The question and the file chooser ran messages: a stop may be waiting.
  if (frame_.StepStopped()) return OpResult::kStopped;
  if (!backup_.Run()) return OpResult::kFailed;
  identified_.NoteBackup(backup_.path());
  // With or without a backup, the chip about to be erased must be the one
  // identified: the connect check may lie minutes back, and the clip may
  // sit on another board by now.
  if (identified_.RefuseIfChipChanged()) return OpResult::kFailed;
  return identified_.UnlockAndErase(protection);
}

OpResult FlashOperations::WriteImage(bool verify_fully) {
  auto& o = out();
  constexpr LangText kQuestion = LANG_TEXT("Будет произведено стирание и запись FLASH\nПродолжаем?",
                                           "It will erase and write FLASH\nContinue?");
  if (const OpResult confirmed = ConfirmErase(kQuestion); confirmed != OpResult::kOk)
    return confirmed;
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult loaded = frame_.TakeAndLoadImage(buffer, &length); loaded != OpResult::kOk)
    return loaded;
  if (!ConfirmImage(o, buffer.get(), length)) {
    frame_.End(buffer);
    return OpResult::kNotStarted;
  }

  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonWrite);
  const IdentifiedChip::RiskScope risk(identified_);
  OpResult result = OpResult::kFailed;
  IdentifiedChip::Protection protection;
  // Each step runs only when the ones before it succeeded and no stop came
  // between them; a failed primitive has already told the user, so the
  // chain just stops, and the protection is put back below.
  [&] {
    if (result = BackUpAndErase(protection); result != OpResult::kOk) return;

    if (result = WritePages(buffer.get(), length); result != OpResult::kOk) return;
    // The firmware is on the chip again: a stop from here on costs the
    // lock and the verification, not the board.
    identified_.ClearRisk();

    result = OpResult::kFailed;
    if (!identified_.Relock(protection)) return;
    if (frame_.StepStopped()) {
      result = OpResult::kStopped;
      return;
    }

    result = reader_.QuickCompareImage(buffer.get(), length);
    // The quick verification misses about one corrupted 64 KiB block in
    // 256; the full one reads everything back and compares it with the
    // image just written.
    if (result == OpResult::kOk && verify_fully) {
      uint32_t differs_at = 0;
      result = reader_.CompareBlocks(buffer.get(), length, nullptr, &differs_at);
      result = reader_.TellCompareResult(result, differs_at);
      if (result == OpResult::kOk) o.LogPrintf(PickLangText(flash_text::kSameContent));
    }
    if (result == OpResult::kOk) {
      o.LogPrintf(
          PickLangText(LANG_TEXT("Запись FLASH успешно выполнена", "Write FLASH successfully")));
    }
  }();
  identified_.RestoreProtection(protection);
  if (result != OpResult::kOk) identified_.TellBackupToRestore();
  frame_.End(buffer);
  return result;
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
  uint8_t page[kPage];
  const OpResult result = frame_.ForEachBlock(length, kPage, [&](uint32_t address, uint32_t count) {
    // A last page cut short by the end of the chip is filled up with 0xFF,
    // which programs nothing.
    std::memset(page, 0xFF, sizeof page);
    std::memcpy(page, buffer + address, count);
    if (std::memcmp(page, blank, kPage) == 0) return OpResult::kOk;
    const bool sent = programmer_.FlashWriteEnable() == 0 &&
                      programmer_.FlashWriteBlock(address, page, manufacturer_bf) == 0;
    return sent ? OpResult::kOk : OpResult::kFailed;
  });
  o.ProgressHide();
  return result;
}

}  // namespace rtd
