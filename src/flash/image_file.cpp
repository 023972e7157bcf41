#include "flash/image_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "config/atomic_file.h"
#include "flash/file_reader.h"
#include "flash/texts.h"

namespace rtd {

int LoadImageFile(UserQuestions& out, const std::string& name, uint8_t* buffer, uint32_t capacity,
                  uint32_t* image_length) {
  ReadOnlyFile file(name);
  // Something that is not a plain file (a directory, a device) cannot be
  // an image; treat it like a file that cannot be opened.
  if (!file.ok()) {
    out.ShowFileError(name, file.Reason());
    return 1;
  }
  const uint64_t length = file.size();
  if (length > capacity) {
    out.MessageBoxPrintf(MB_ICONERROR,
                         PickLangText(LANG_TEXT("Размер файла превышает допустимый",
                                                "The file size exceeds the allowable")));
    return 1;
  }
  if (length < kImageUnit) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(LANG_TEXT("Размер файла слишком маленький",
                                                              "The file size is too small")));
    return 1;
  }
  std::memset(buffer, 0xFF, capacity);
  if (!file.Read(buffer, static_cast<std::size_t>(length))) {
    out.MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kErrorReadingFile));
    if (!file.ended()) out.ShowFileError(name, file.Reason());
    return 1;
  }
  // Rounded up to whole 64 KiB ranges, but never past the flash: a size
  // from jedec.ini that is not such a multiple keeps the image inside it.
  const uint64_t rounded = (length + kImageUnit - 1) / kImageUnit * kImageUnit;
  *image_length = static_cast<uint32_t>(std::min<uint64_t>(rounded, capacity));
  return 0;
}

int SaveImageFile(const std::string& name, const uint8_t* buffer, uint32_t size,
                  std::string* reason) {
  std::string why;
  const bool saved = ReplaceFileContent(
      name, std::string_view(reinterpret_cast<const char*>(buffer), size), why);
  if (reason != nullptr) *reason = why;
  return saved ? 0 : 1;
}

}  // namespace rtd
