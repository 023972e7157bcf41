// Texts that more than one place shows: several operations, or an
// operation and a front end that recognises its progress by its title.
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
// Titles of the long operations (log line and status text).
inline constexpr LangText kRead = LANG_TEXT("Чтение FLASH", "FLASH Read");
inline constexpr LangText kFullCompare =
    LANG_TEXT("Полное сравнение FLASH", "Full FLASH compare");
inline constexpr LangText kQuickCompare =
    LANG_TEXT("Быстрое сравнение FLASH", "Quick FLASH compare");
inline constexpr LangText kWrite = LANG_TEXT("Запись FLASH", "FLASH write");
// Why a connect check identified nothing, for a front end to repeat.
inline constexpr LangText kNoChipAnswers =
    LANG_TEXT("FLASH не отвечает: нет микросхемы или нет контакта",
              "The FLASH does not answer: no chip, or no contact");
inline constexpr LangText kNoFlashType =
    LANG_TEXT("Ошибка получения типа FLASH", "Error getting type FLASH");
// The backup before an erase: its read (logged too) and its check.
inline constexpr LangText kBackupRead =
    LANG_TEXT("Резервное копирование FLASH", "FLASH backup");
inline constexpr LangText kBackupCheckRead =
    LANG_TEXT("Контрольное чтение для резервной копии FLASH", "FLASH backup check read");
inline constexpr LangText kBackupCheck =
    LANG_TEXT("Проверка резервной копии FLASH", "FLASH backup check");
// Why the backup's folder cannot be used; said before anything is sent.
// The second %s says how the user switches backups off where they are.
inline constexpr LangText kNoBackupFolder = LANG_TEXT(
    "Нет папки для резервной копии FLASH: %s\nFLASH не стёрта; чтобы стереть её без копии, %s",
    "There is no folder for the FLASH backup: %s\nNothing was erased; to erase without a copy, "
    "%s");
// A level of the backup folder's path that cannot be used, and why; the
// window's "Open the backup folder" says the same.
inline constexpr LangText kBackupFolderFailed =
    LANG_TEXT("Не удалось открыть папку резервных копий %s: %s",
              "Cannot use the backup folder %s: %s");
inline constexpr LangText kNothingErased = LANG_TEXT("FLASH не стёрта", "Nothing was erased");

}  // namespace rtd::flash_text
