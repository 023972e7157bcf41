// The operation frame the flash operations share: the gate, the image
// buffer and its file, the busy buttons and gauge, the stop request, the end.

#include <new>

#include "flash/operations.h"
#include "flash/texts.h"

namespace rtd {

std::unique_ptr<uint8_t[]> FlashOperations::AllocateImageBuffer(uint32_t size) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

// Entered while an operation runs, a click is that operation's stop request.
bool FlashOperations::PassGate() {
  if (out().IdleFlag == 0) {
    out().IdleFlag = 1;
    return false;
  }
  closings_at_start_ = programmer_.link().transport().Closings();
  erase_sent_ = false;
  last_backup_.clear();
  restore_told_ = false;
  return true;
}

bool FlashOperations::LinkTakenAway() {
  return programmer_.link().transport().Closings() != closings_at_start_;
}

bool FlashOperations::StopRequested() {
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

bool FlashOperations::StepStopped() {
  out().ProcessMessages();
  return StopRequested();
}

// Logs the operation's title, makes the buttons busy with its own button
// as the stop button, and starts the gauge under the same title, each step
// standing for bytes_per_step bytes of flash.
void FlashOperations::StartBusy(LangText title, ToolButton stop_button, int32_t maximum,
                                uint32_t bytes_per_step) {
  auto& o = out();
  o.LogPrintf(PickLangText(title));
  o.SetButtonsState(true);
  o.EnableButton(stop_button);
  o.SetProgressUnit(bytes_per_step);
  o.ProgressStart(maximum, PickLangText(title));
}

// The head of every block loop: pending messages run, a stop request ends
// the loop (false), otherwise the gauge steps to the next block.
bool FlashOperations::NextBlock(int32_t& counter) {
  out().ProcessMessages();
  if (StopRequested()) return false;
  out().ProgressStep(++counter);
  return true;
}

// Sets IdleFlag to 0 and takes a buffer of the flash's size. On failure the
// user has seen why and the program is idle again.
OpResult FlashOperations::TakeImageBuffer(std::unique_ptr<uint8_t[]>& buffer) {
  auto& o = out();
  o.IdleFlag = 0;
  const uint32_t size = CurrentFlash.SizeInBytes;
  // The protocol's addresses have 24 bits: a larger chip would be read
  // round and round from its start, so such a size is refused outright.
  if (size > kMaxFlashSize) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kUnsupportedSize),
                       static_cast<unsigned long>(size));
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }
  buffer = AllocateImageBuffer(size);
  if (!buffer) {
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kMemoryAllocate));
    o.IdleFlag = 1;
    return OpResult::kFailed;
  }
  return OpResult::kOk;
}

// Takes the buffer, then chooses and loads the image file into it. On
// anything but kOk the buffer is gone and the program idle again, with the
// buttons as they were.
OpResult FlashOperations::TakeAndLoadImage(std::unique_ptr<uint8_t[]>& buffer,
                                           uint32_t* image_length) {
  if (const OpResult taken = TakeImageBuffer(buffer); taken != OpResult::kOk) return taken;
  auto& o = out();
  const std::string name = o.ChooseImageToOpen();
  OpResult result = OpResult::kOk;
  if (name.empty()) {
    result = OpResult::kCancelled;
  } else if (LoadImageFile(o, name, buffer.get(), CurrentFlash.SizeInBytes, image_length) != 0) {
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

void FlashOperations::EndOperation(std::unique_ptr<uint8_t[]>& buffer) {
  buffer.reset();
  EndOperation();
}

void FlashOperations::EndOperation() {
  out().SetButtonsState(false);
  out().IdleFlag = 1;
}

}  // namespace rtd
