// Texts that more than one flash operation shows.
#pragma once

#include "i18n/lang.h"

namespace rtd::flash_text {

inline constexpr LangText kUserTerminate = LANG_TEXT("Операция прервана", "User terminate");
inline constexpr LangText kMemoryAllocate =
    LANG_TEXT("Ошибка выделения памяти", "Error memory allocate");
// A size from jedec.ini that 24-bit flash addresses cannot reach.
inline constexpr LangText kUnsupportedSize =
    LANG_TEXT("Неподдерживаемый размер FLASH %lu байт в jedec.ini",
              "Unsupported FLASH size %lu bytes in jedec.ini");
inline constexpr LangText kErrorReadingFile =
    LANG_TEXT("Ошибка чтения файла", "Error reading file");
inline constexpr LangText kSameContent =
    LANG_TEXT("Содержимое FLASH и файла совпадает", "FLASH content and file the same");
inline constexpr LangText kQuickCompare =
    LANG_TEXT("Быстрое сравнение FLASH", "Quick FLASH compare");

}  // namespace rtd::flash_text
