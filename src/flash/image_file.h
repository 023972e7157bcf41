// Image files: the raw flash content from address 0.
#pragma once

#include <cstdint>
#include <string>

#include "core/output_services.h"

namespace rtd {

// Smallest image file accepted, and the granularity of the image length.
inline constexpr uint32_t kImageUnit = 64u * 1024;

// Fills the buffer with 0xFF, loads the file at its start; 0 and the image
// length (file size rounded up to 64 KiB, but never beyond capacity) on
// success, 1 after its own box (none when the file cannot be opened). A
// file that is not a regular file is never read (nor waited for). Where the
// system gave a reason, it goes to out.ShowFileError with the path.
int LoadImageFile(UserQuestions& out, const std::string& name, uint8_t* buffer, uint32_t capacity,
                  uint32_t* image_length);
// Writes all size bytes of the buffer; 0 on success, else 1 with the
// system's reason in *reason (when given). Never leaves a damaged file
// behind, and never replaces a read-only file: see ReplaceFileContent.
int SaveImageFile(const std::string& name, const uint8_t* buffer, uint32_t size,
                  std::string* reason = nullptr);

}  // namespace rtd
