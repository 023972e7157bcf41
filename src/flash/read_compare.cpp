// Reading the flash into a file, and the full and quick compares with a file.

#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {

OpResult FlashOperations::SpeedButtonReadClick() {
  if (!BeginOnIdentifiedChip()) return OpResult::kNotStarted;
  std::unique_ptr<uint8_t[]> buffer;
  if (const OpResult taken = frame_.TakeImageBuffer(buffer); taken != OpResult::kOk) return taken;
  const uint32_t size = CurrentFlash.SizeInBytes;

  OpResult result =
      reader_.ReadWholeFlash(buffer.get(), size, flash_text::kRead, ToolButton::SpeedButtonRead);
  // A clip that let go half-way reads 0xFF from there on: such a dump is
  // none, and an older file of the name must stay.
  if (result == OpResult::kOk &&
      identified_.TellIfContactLost(IdentifiedChip::ContactLoss::kNotSaved))
    result = OpResult::kFailed;
  if (result == OpResult::kOk) result = reader_.SaveDump(buffer.get(), size);
  frame_.End(buffer);
  return result;
}

OpResult FlashOperations::SpeedButtonCompareClick() {
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult begun = BeginWithImage(buffer, &length); begun != OpResult::kOk) return begun;

  uint32_t differs_at = 0;
  OpResult result = reader_.CompareBlocks(buffer.get(), length, nullptr, &differs_at);
  result = reader_.TellCompareResult(result, differs_at);
  frame_.End(buffer);
  if (result == OpResult::kOk) reader_.TellSameContent();
  return result;
}

OpResult FlashOperations::SpeedButtonCompareFastClick() {
  std::unique_ptr<uint8_t[]> buffer;
  uint32_t length = 0;
  if (const OpResult begun = BeginWithImage(buffer, &length); begun != OpResult::kOk) return begun;
  const OpResult result = reader_.QuickCompareImage(buffer.get(), length);
  frame_.End(buffer);
  return result;
}

}  // namespace rtd
