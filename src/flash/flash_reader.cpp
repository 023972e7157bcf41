#include "flash/flash_reader.h"

#include <algorithm>
#include <cstring>

#include "flash/checksums.h"
#include "flash/dump_check.h"
#include "flash/image_file.h"
#include "flash/texts.h"

namespace rtd {
namespace {

constexpr uint32_t kBlock = 256;

int32_t BlockCount(uint32_t length) {
  // A last partial block counts, so sizes that are not whole pages are
  // covered to their end.
  return static_cast<int32_t>((uint64_t{length} + kBlock - 1) / kBlock);
}

}  // namespace

OpResult FlashReader::ReadBlocks(
    uint32_t size, LangText title, ToolButton stop_button,
    const std::function<bool(uint32_t, const uint8_t*, uint32_t)>& each_block) {
  frame_.StartBusy(title, stop_button, BlockCount(size), kBlock);
  // The last block of a chip whose size is not whole pages: the reply
  // still carries 256 bytes, of which only those inside the chip count.
  uint8_t block[kBlock];
  const OpResult result = frame_.ForEachBlock(size, kBlock, [&](uint32_t address, uint32_t count) {
    last_block_ = address;
    if (programmer_.FlashReadBlock(address, block) != 0) return OpResult::kFailed;
    return each_block(address, block, count) ? OpResult::kOk : OpResult::kMismatch;
  });
  out().ProgressHide();
  return result;
}

OpResult FlashReader::ReadWholeFlash(uint8_t* buffer, uint32_t size, LangText title,
                                        ToolButton stop_button) {
  return ReadBlocks(size, title, stop_button,
                    [buffer](uint32_t address, const uint8_t* block, uint32_t count) {
                      std::memcpy(buffer + address, block, count);
                      return true;
                    });
}

OpResult FlashReader::ReadAgainAndCompare(const uint8_t* buffer, uint32_t size,
                                              uint32_t* first_difference) {
  return ReadBlocks(size, flash_text::kBackupCheckRead, ToolButton::SpeedButtonWrite,
                    [&](uint32_t address, const uint8_t* block, uint32_t count) {
                      const auto [got, want] = std::mismatch(block, block + count, buffer + address);
                      if (got == block + count) return true;
                      *first_difference = address + static_cast<uint32_t>(got - block);
                      return false;
                    });
}

OpResult FlashReader::SaveDump(const uint8_t* buffer, uint32_t size) {
  auto& o = out();
  const DumpCheck check = CheckDump(buffer, size);
  if (check.finding == DumpFinding::kBlank && frame_.CoversPartOnly()) {
    // The rest of the chip was not read: no word on it.
    o.LogPrintf(PickLangText(LANG_TEXT("Первые %lu КБ FLASH чистые: все байты 0xFF",
                                       "The first %lu KBytes of the FLASH are blank: every byte "
                                       "is 0xFF")),
                static_cast<unsigned long>(size / 1024));
  } else {
    WarnAboutDump(o, check, DumpSource::kFlash);
  }
  const std::string name = o.ChooseImageToSave();
  if (name.empty()) return OpResult::kCancelled;
  OpResult result = OpResult::kOk;
  std::string reason;
  if (SaveImageFile(name, buffer, size, &reason) == 0) {
    o.LogPrintf(PickLangText(LANG_TEXT("FLASH прочитана", "FLASH read ok")));
    o.ToolbarNotice(2500, 250, PickLangText(LANG_TEXT("Файл записан", "The file is written")));
  } else {
    o.ToolbarNotice(2500, 250, PickLangText(LANG_TEXT("Ошибка записи файла", "Error writing file")));
    // The log keeps which file refused and why (a read-only file is kept
    // as it is: perhaps the only copy of a board's firmware).
    o.LogPrintf(PickLangText(LANG_TEXT("Файл %s не записан: %s", "The file %s is not written: %s")),
                name.c_str(), reason.c_str());
    o.ShowFileError(name, reason);
    result = OpResult::kFailed;
  }
  settings_.RememberImagePath(name);
  return result;
}

OpResult FlashReader::TellCompareResult(OpResult result, uint32_t first_difference) {
  if (result != OpResult::kOk && result != OpResult::kMismatch) return result;
  // A difference, or the sameness, read through a clip that let go is no
  // verdict at all.
  if (chip_.TellIfContactLost(IdentifiedChip::ContactLoss::kNoVerdict)) return OpResult::kFailed;
  if (result == OpResult::kMismatch) {
    constexpr LangText kDiffers = LANG_TEXT("Ошибка сравнения FLASH по адресу 0x%06X",
                                            "FLASH compare error at address 0x%06X");
    out().LogPrintf(PickLangText(kDiffers), first_difference);
    out().MessageBoxPrintf(MB_ICONERROR, PickLangText(kDiffers), first_difference);
  }
  return result;
}

OpResult FlashReader::CompareBlocks(const uint8_t* buffer, uint32_t length,
                                   const std::function<void(uint32_t, uint8_t)>* each_difference,
                                   uint32_t* first_difference) {
  bool differs = false;
  // Only the bytes inside the image (and so inside the buffer) count.
  const OpResult result = ReadBlocks(
      length, flash_text::kFullCompare, ToolButton::SpeedButtonCompare,
      [&](uint32_t address, const uint8_t* block, uint32_t count) {
        const uint8_t* expected = buffer + address;
        const auto [got, want] = std::mismatch(block, block + count, expected);
        if (got == block + count) return true;
        if (!differs) *first_difference = address + static_cast<uint32_t>(got - block);
        differs = true;
        if (each_difference == nullptr) return false;
        for (uint32_t i = static_cast<uint32_t>(got - block); i < count; ++i) {
          if (block[i] != expected[i]) (*each_difference)(address + i, block[i]);
        }
        return true;
      });
  // A stop or a failure after a difference ends without a verdict.
  return result == OpResult::kOk && differs ? OpResult::kMismatch : result;
}

OpResult FlashReader::QuickCompareImage(const uint8_t* buffer, uint32_t length) {
  auto& o = out();
  frame_.StartBusy(flash_text::kQuickCompare, ToolButton::SpeedButtonCompareFast,
            static_cast<int32_t>((uint64_t{length} + kImageUnit - 1) / kImageUnit), kImageUnit);

  uint32_t from = 0;
  uint32_t last = 0;
  // A last range cut short by the end of the image is checked, on both
  // sides, over the bytes that exist.
  OpResult result = frame_.ForEachBlock(length, kImageUnit, [&](uint32_t address, uint32_t count) {
    from = address;
    last = address + count - 1;
    uint8_t crc = 0;
    if (programmer_.FlashRangeCrc(from, last, &crc) != 0) return OpResult::kFailed;
    return Crc8Range(buffer, from, last) == crc ? OpResult::kOk : OpResult::kMismatch;
  });
  o.ProgressHide();
  // The programmer's CRC over a chip out of contact is that of 0xFF: a
  // verdict only counts when the chip was still there at the end.
  const bool counts = result == OpResult::kOk || result == OpResult::kMismatch;
  if (counts && chip_.TellIfContactLost(IdentifiedChip::ContactLoss::kNoVerdict))
    result = OpResult::kFailed;
  if (result == OpResult::kMismatch) {
    constexpr LangText kDiffers = LANG_TEXT("Ошибка сравнения FLASH по адресу 0x%06X...0x%06X",
                                            "FLASH compare error at address 0x%06X...0x%06X");
    o.LogPrintf(PickLangText(kDiffers), from, last);
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(kDiffers), from, last);
  }
  if (result == OpResult::kOk) TellSameContent();
  return result;
}

void FlashReader::TellSameContent() {
  if (!frame_.CoversPartOnly()) {
    out().LogPrintf(PickLangText(flash_text::kSameContent));
    return;
  }
  // The rest of the chip was never read: no word on it.
  out().LogPrintf(
      PickLangText(LANG_TEXT("Содержимое FLASH и файла совпадает в первых %lu КБ; остальная "
                             "часть FLASH не сравнивалась",
                             "FLASH content and file the same within the first %lu KBytes; the "
                             "rest of the FLASH was not compared")),
      static_cast<unsigned long>(kMaxFlashSize / 1024));
}

}  // namespace rtd
