// The operation frame the flash operations share: the gate, the image
// buffer and its file, the busy buttons and gauge, the stop request, the end.

#include "flash/operation_frame.h"

#include "flash/identified_chip.h"
#include "flash/image_file.h"
#include "flash/texts.h"

namespace rtd {

bool OperationFrame::PassGate() {
  if (out().IdleFlag == 0) {
    out().IdleFlag = 1;
    return false;
  }
  closings_at_start_ = programmer_.link().transport().Closings();
  return true;
}

bool OperationFrame::LinkTakenAway() {
  return programmer_.link().transport().Closings() != closings_at_start_;
}

bool OperationFrame::StopRequested() {
  auto& o = out();
  if (o.IdleFlag == 1) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kUserTerminate));
    return true;
  }
  if (!LinkTakenAway()) return false;
  // Whoever closed the programmer wants it closed: the next transfer would
  // open it again behind their back.
  constexpr LangText kClosed = LANG_TEXT("Программатор закрыт во время операции; операция прервана",
                                         "The programmer was closed during the operation; stopped");
  o.LogPrintf(PickLangText(kClosed));
  o.MessageBoxPrintf(MB_ICONERROR, PickLangText(kClosed));
  return true;
}

bool OperationFrame::StepStopped() {
  out().ProcessMessages();
  return StopRequested();
}

void OperationFrame::StartBusy(LangText title, ToolButton stop_button, int32_t maximum,
                                uint32_t bytes_per_step) {
  auto& o = out();
  o.LogPrintf(PickLangText(title));
  o.SetButtonsState(true);
  o.EnableButton(stop_button);
  o.SetProgressUnit(bytes_per_step);
  o.ProgressStart(maximum, PickLangText(title));
}

bool OperationFrame::NextBlock(int32_t& counter) {
  out().ProcessMessages();
  if (StopRequested()) return false;
  out().ProgressStep(++counter);
  return true;
}

OpResult OperationFrame::ForEachBlock(
    uint32_t size, uint32_t block,
    const std::function<OpResult(uint32_t address, uint32_t count)>& step) {
  int32_t counter = 0;
  for (uint64_t first = 0; first < size; first += block) {
    if (!NextBlock(counter)) return OpResult::kStopped;
    const auto address = static_cast<uint32_t>(first);
    if (const OpResult r = step(address, std::min(block, size - address)); r != OpResult::kOk)
      return r;
  }
  return OpResult::kOk;
}

bool OperationFrame::RefuseUnreachableSize() {
  // The protocol's addresses have 24 bits: a larger chip would be read
  // round and round from its start, so such a size is refused outright.
  if (WithinReach(chip_.SizeInBytes)) return false;
  out().MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kUnsupportedSize),
                         static_cast<unsigned long>(chip_.SizeInBytes));
  out().IdleFlag = 1;
  return true;
}

bool OperationFrame::CoversPartOnly() const { return !WithinReach(WholeChipSize(chip_)); }

void OperationFrame::TellPartCovered() {
  const uint64_t whole = WholeChipSize(chip_);
  if (WithinReach(whole)) return;
  constexpr LangText kFirstPartOnly = LANG_TEXT(
      "FLASH объёмом %lu КБ больше, чем может адресовать программатор: операция охватывает "
      "только её первые %lu КБ",
      "The FLASH of %lu KBytes is larger than the programmer can address: the operation covers "
      "its first %lu KBytes only");
  out().LogPrintf(PickLangText(kFirstPartOnly), static_cast<unsigned long>((whole + 1023) / 1024),
                  static_cast<unsigned long>(chip_.SizeInBytes / 1024));
}

OpResult OperationFrame::TakeImageBuffer(std::unique_ptr<uint8_t[]>& buffer) {
  auto& o = out();
  o.IdleFlag = 0;
  if (RefuseUnreachableSize()) return OpResult::kFailed;
  TellPartCovered();
  buffer = Allocate(chip_.SizeInBytes);
  if (!buffer) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kMemoryAllocate));
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }
  return OpResult::kOk;
}

OpResult OperationFrame::TakeAndLoadImage(std::unique_ptr<uint8_t[]>& buffer,
                                           uint32_t* image_length) {
  if (const OpResult taken = TakeImageBuffer(buffer); taken != OpResult::kOk) return taken;
  auto& o = out();
  const std::string name = o.ChooseImageToOpen();
  OpResult result = OpResult::kOk;
  if (name.empty()) {
    result = OpResult::kCancelled;
  } else if (LoadImageFile(o, name, buffer.get(), chip_.SizeInBytes, image_length) != 0) {
    o.ToolbarNotice(2500, 250, PickLangText(flash_text::kErrorReadingFile));
    result = OpResult::kFailed;
  }
  if (result != OpResult::kOk) {
    buffer.reset();
    o.IdleFlag = 1;
    return result;
  }
  settings_.RememberImagePath(name);
  return OpResult::kOk;
}

void OperationFrame::End(std::unique_ptr<uint8_t[]>& buffer) {
  buffer.reset();
  End();
}

void OperationFrame::End() {
  out().SetButtonsState(false);
  out().IdleFlag = 1;
}

}  // namespace rtd
