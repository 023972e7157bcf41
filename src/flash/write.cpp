// Erasing and writing the flash from a file, with the write protection
// lifted and put back around it and a CRC verification at the end.

#include <algorithm>
#include <cstring>

#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {
namespace {

constexpr uint32_t kPage = 256;
// Chips of this manufacturer take their pages with their own command.
constexpr uint8_t kManufacturerBF = 0xBF;

}  // namespace

OpResult FlashOperations::SpeedButtonWriteClick() {
  auto& o = out();
  if (!PassGate()) return OpResult::kNotStarted;
  if (o.MessageBoxPrintf(
          MB_ICONWARNING,
          PickLangText(LANG_TEXT("Будет произведено стирание и запись FLASH\nПродолжаем?",
                                 "It will erase and write FLASH\nContinue?"))) != IDYES)
    return OpResult::kNotStarted;
  if (!CurrentFlash.Identified()) return OpResult::kNotStarted;
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult loaded = TakeAndLoadImage(buffer, &length); loaded != OpResult::kOk)
    return loaded;

  o.SetButtonsState(true);
  o.EnableButton(ToolButton::SpeedButtonWrite);
  OpResult result = OpResult::kFailed;
  uint8_t saved_status = 0;
  // Each step runs only when the ones before it succeeded; a failed
  // primitive has already told the user, so the chain just stops (the
  // flash stays as far as it got, unlocked and erased included).
  [&] {
    if (!UnlockAndErase(&saved_status)) return;

    if (const OpResult written = WritePages(buffer.get(), length); written != OpResult::kOk) {
      result = written;
      return;
    }

    if (!Relock(saved_status)) return;

    if (QuickCompareImage(buffer.get(), length) == 0) {
      o.LogPrintf(
          PickLangText(LANG_TEXT("Запись FLASH успешно выполнена", "Write FLASH successfully")));
    }
    result = last_quick_compare_;
  }();
  EndOperation(buffer);
  return result;
}

bool FlashOperations::UnlockAndErase(uint8_t* saved_status) {
  auto& o = out();
  auto& p = programmer_;
  if (p.FlashReadStatus(saved_status) != 0) return false;
  if (*saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Снятие блокировки FLASH", "Unlock FLASH")));
    if (p.FlashWriteEnable() != 0 || p.FlashWriteStatus(0) != 0) return false;
    o.DelayWithMessages(100);
  }
  if (p.FlashWriteEnable() != 0) return false;
  o.LogPrintf(PickLangText(LANG_TEXT("Стирание FLASH", "FLASH erase")));
  chip_at_risk_ = true;
  return p.FlashEraseChip() == 0;
}

bool FlashOperations::Relock(uint8_t saved_status) {
  auto& o = out();
  auto& p = programmer_;
  if (saved_status != 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("Установка блокировки FLASH", "Lock FLASH")));
    if (p.FlashWriteEnable() != 0 || p.FlashWriteStatus(saved_status) != 0) return false;
    o.DelayWithMessages(100);
  }
  return p.FlashWriteDisable() == 0;
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
