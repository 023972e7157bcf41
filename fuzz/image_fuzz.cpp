// Fuzzes the image loader with files of any content and length, smaller
// than the smallest image, as large as the flash, and larger. The input
// describes the file rather than being it, so that a short input can stand
// for a file of hundreds of kilobytes: the flash size and the file length
// come first, then the bytes that are repeated to fill the file. Whatever
// the file, the loader either refuses it (and says why) or fills the buffer
// with exactly the file followed by 0xFF, never past the buffer's end, and
// reports the length rounded as the compares and the write rely on. A
// buffer loaded and then saved reads back the same.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flash/operations.h"
#include "fuzz_support.h"
#include "recording_output.h"

using rtd::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, std::size_t size) {
  rtd::fuzz::Input input(bytes, size);
  // Flash sizes around the smallest image, odd ones included (a size from
  // jedec.ini need not be a whole number of 64 KiB ranges).
  const uint32_t capacity = 1 + input.Number(3) % (4 * rtd::kImageUnit);
  const uint32_t length = input.Number(3) % (4 * rtd::kImageUnit + 2);
  std::vector<uint8_t> file(length);
  if (input.RestSize() > 0) {
    for (uint32_t i = 0; i < length; ++i) file[i] = input.Rest()[i % input.RestSize()];
  }
  const std::string dir = rtd::fuzz::ScratchDir();
  const std::string path = dir + "/image.bin";
  rtd::fuzz::WriteFile(path, file.data(), file.size());

  // Exactly the capacity, so a byte written past it is caught.
  auto buffer = std::make_unique<uint8_t[]>(capacity);
  std::memset(buffer.get(), 0x5A, capacity);
  rtd::test::RecordingOutput out;
  uint32_t image_length = 0xDEADBEEF;
  const int result = rtd::LoadImageFile(out, path, buffer.get(), capacity, &image_length);

  const bool fits = length >= rtd::kImageUnit && length <= capacity;
  Check((result == 0) == fits, "accepted exactly when the size rules allow");
  if (result != 0) {
    Check(out.Boxes().size() == 1, "a refusal says why");
    Check(image_length == 0xDEADBEEF, "no length on a refusal");
    return 0;
  }
  Check(out.events.empty(), "nothing shown on success");
  Check(std::memcmp(buffer.get(), file.data(), length) == 0, "the file at the buffer's start");
  Check(std::all_of(buffer.get() + length, buffer.get() + capacity,
                    [](uint8_t b) { return b == 0xFF; }),
        "0xFF after the file");
  const uint64_t unit = rtd::kImageUnit;
  const uint64_t rounded = (uint64_t{length} + unit - 1) / unit * unit;
  Check(image_length == std::min<uint64_t>(rounded, capacity), "rounded up within the flash");
  Check((image_length >= length && image_length % rtd::kImageUnit == 0) || image_length == capacity,
        "whole ranges or the whole flash");

  // What was loaded, saved, loads back the same.
  const std::string saved = dir + "/saved.bin";
  Check(rtd::SaveImageFile(saved, buffer.get(), capacity) == 0, "saved");
  Check(rtd::fuzz::ReadFile(saved) ==
            std::string(reinterpret_cast<const char*>(buffer.get()), capacity),
        "saved as it was");
  return 0;
}
