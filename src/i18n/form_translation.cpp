#include "i18n/form_translation.h"

#include "i18n/lang.h"

namespace rtd {

const TranslationEntry FormTranslationTable[kFormTranslationRows] = {
    {"MainForm_SpeedButtonReset_Hint", "Сброс программатора", "Reset a programmator"},
    {"MainForm_SpeedButtonConnect_Hint", "Проверка связи", "Connect check"},
    {"MainForm_SpeedButtonRead_Hint", "Чтение памяти", "FLASH Read"},
    {"MainForm_SpeedButtonWrite_Hint", "Запись памяти", "FLASH write"},
    {"MainForm_SpeedButtonCompare_Hint", "Полное сравнение с оригиналом",
     "A full comparison with the original"},
    {"MainForm_SpeedButtonCompareFast_Hint", "Быстрое сравнение с оригиналом по CRC",
     "Quick comparison with the original CRC"},
    {"MainForm_SpeedButtonResetRTD2662_Hint", "Сброс RTD2662", "Reset RTD2662"},
    {"MainForm_SpeedButtonGetTouchParam_Hint", "Получить параметры калибровки QEL_TOUCH_I2C_SIMPLE",
     "Obtain the calibration parameters of QEL_TOUCH_I2C_SIMPLE"},
    {"MainForm_PanelMenu_Hint", "Выберите параметры в меню, после нажатия правой кнопки мыши",
     "Select Options from the menu after clicking the right mouse button"},
    {"MainForm_MenuItemDebug_Caption", "Отладка", "Debug"},
    {"MainForm_MenuItemLog_Caption", "Лог обмена", "Communication log"},
    {"MainForm_MenuItemBackup_Caption", "Резервная копия перед стиранием", "Backup before erase"},
    {"MainForm_MenuItemService_Caption", "Сервис", "Service"},
    {"MainForm_MenuItemServiceReadTwice_Caption", "Чтение дважды", "Read twice"},
    {"MainForm_MenuItemServiceBlankCheck_Caption", "Проверка чистоты", "Blank check"},
    {"MainForm_MenuItemServiceErase_Caption", "Стирание", "Erase"},
    {"MainForm_MenuItemServiceCompare_Caption", "Сравнение со списком различий",
     "Full compare with the list of differences"},
    {"MainForm_MenuItemServiceWrite_Caption", "Запись с полной проверкой",
     "Write with full verification"},
    {"MainForm_MenuItemServiceBackupFolder_Caption", "Открыть папку резервных копий",
     "Open the backup folder"},
    {"MainForm_MenuItemServiceViewFile_Caption", "Просмотр файла...", "View a file..."},
    {"MainForm_MenuItemServiceViewDump_Caption", "Просмотр сохранённого дампа",
     "View the dump just saved"},
    {"MainForm_MenuItemServiceViewBackup_Caption", "Просмотр последней резервной копии",
     "View the latest backup"},
    {"", "", ""},
};

bool IsUntranslatedKey(std::string_view key) {
  const size_t last = key.rfind('_');
  return last != std::string_view::npos && last > 0 && key[last - 1] == 'x';
}

const TranslationEntry* FindTranslation(std::string_view key, const TranslationEntry* table) {
  if (IsUntranslatedKey(key)) return nullptr;
  for (const TranslationEntry* row = table; row->key != nullptr && row->key[0] != '\0'; ++row) {
    if (key == row->key) return row;
  }
  return nullptr;
}

const char* TranslationText(const TranslationEntry& entry) {
  return CurrentLanguage == kLanguageEnglish ? entry.english : entry.russian;
}

}  // namespace rtd
