#include "flash/operations.h"

#include <new>

namespace rtd {

FlashOperations::FlashOperations(Programmer& programmer, ChipDatabase& chips,
                                 SettingsFile& settings)
    : programmer_(programmer),
      chips_(chips),
      frame_(programmer, CurrentFlash, settings,
             [this](uint32_t size) { return AllocateImageBuffer(size); }),
      identified_(programmer, CurrentFlash, frame_),
      reader_(programmer, settings, frame_, identified_),
      backup_(programmer, chips, CurrentFlash, frame_, identified_, reader_) {}

std::unique_ptr<uint8_t[]> FlashOperations::AllocateImageBuffer(uint32_t size) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

bool FlashOperations::Begin() {
  if (!frame_.PassGate()) return false;
  identified_.Begin();
  return true;
}

OpResult FlashOperations::BeginWithImage(std::unique_ptr<uint8_t[]>& buffer, uint32_t* length) {
  if (!BeginOnIdentifiedChip()) return OpResult::kNotStarted;
  return frame_.TakeAndLoadImage(buffer, length);
}

}  // namespace rtd
