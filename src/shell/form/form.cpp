#include "shell/form/form.h"

#include "shell/front_end.h"
#include "shell/connection_watch.h"

namespace rtd::shell::form {

namespace xpm {
// The XPM files are C arrays; their names are kept inside this namespace.
#include "shell/form/glyphs/compare.xpm"
#include "shell/form/glyphs/compare_fast.xpm"
#include "shell/form/glyphs/connect.xpm"
#include "shell/form/glyphs/read.xpm"
#include "shell/form/glyphs/reset.xpm"
#include "shell/form/glyphs/reset_rtd2662.xpm"
#include "shell/form/glyphs/touch.xpm"
#include "shell/form/glyphs/write.xpm"
}  // namespace xpm

namespace {

template <std::size_t N>
constexpr Glyph Of(const char* const (&lines)[N]) {
  return {lines, static_cast<int>(N)};
}

}  // namespace

const std::array<ToolButtonDesign, kToolButtonCount> kToolButtons = {{
    {ToolButton::SpeedButtonReset, "SpeedButtonReset", 0, "Сброс программатора", true,
     Of(xpm::reset)},
    {ToolButton::SpeedButtonConnect, "SpeedButtonConnect", 28, "Проверка связи", true,
     Of(xpm::connect)},
    {ToolButton::SpeedButtonRead, "SpeedButtonRead", 51, "Чтение памяти", true, Of(xpm::read)},
    {ToolButton::SpeedButtonWrite, "SpeedButtonWrite", 74, "Запись памяти", true,
     Of(xpm::write)},
    {ToolButton::SpeedButtonCompare, "SpeedButtonCompare", 97, "Полное сравнение с оригиналом",
     true, Of(xpm::compare)},
    {ToolButton::SpeedButtonCompareFast, "SpeedButtonCompareFast", 120,
     "Быстрое сравнение с оригиналом по CRC", true, Of(xpm::compare_fast)},
    {ToolButton::SpeedButtonResetRTD2662, "SpeedButtonResetRTD2662", 143, "Сброс RTD2662", true,
     Of(xpm::reset_rtd2662)},
    {ToolButton::SpeedButtonGetTouchParam, "SpeedButtonGetTouchParam", 166,
     "Получить параметры калибровки QEL_TOUCH_I2C_SIMPLE", false, Of(xpm::touch)},
}};

namespace {
using M = MenuItem;
using K = MenuKind;
}  // namespace

const std::array<MenuItemDesign, kMenuItemCount> kMenu = {{
    {M::MenuItemDebug, "MenuItemDebug", "Отладка", K::kSwitch, M::kNone, false},
    {M::MenuItemLog, "MenuItemLog", "Лог обмена", K::kSwitch, M::kNone, false},
    {M::MenuItemBackup, "MenuItemBackup", "Резервная копия перед стиранием", K::kSwitch,
     M::kNone, false},
    {M::MenuItemService, "MenuItemService", "Сервис", K::kSubmenu, M::kNone, false},
    {M::MenuItemServiceReadTwice, "MenuItemServiceReadTwice", "Чтение дважды", K::kCommand,
     M::MenuItemService, false},
    {M::MenuItemServiceBlankCheck, "MenuItemServiceBlankCheck", "Проверка чистоты", K::kCommand,
     M::MenuItemService, false},
    {M::MenuItemServiceErase, "MenuItemServiceErase", "Стирание", K::kCommand,
     M::MenuItemService, false},
    {M::MenuItemServiceCompare, "MenuItemServiceCompare", "Сравнение со списком различий",
     K::kCommand, M::MenuItemService, false},
    {M::MenuItemServiceWrite, "MenuItemServiceWrite", "Запись с полной проверкой", K::kCommand,
     M::MenuItemService, false},
    // The folder is apart from the operations.
    {M::MenuItemServiceBackupFolder, "MenuItemServiceBackupFolder",
     "Открыть папку резервных копий", K::kCommand, M::MenuItemService, true},
    // Looking inside is apart from changing the chip.
    {M::MenuItemServiceViewFile, "MenuItemServiceViewFile", "Просмотр файла...", K::kCommand,
     M::MenuItemService, true},
    {M::MenuItemServiceViewDump, "MenuItemServiceViewDump", "Просмотр сохранённого дампа",
     K::kCommand, M::MenuItemService, false},
    {M::MenuItemServiceViewBackup, "MenuItemServiceViewBackup",
     "Просмотр последней резервной копии", K::kCommand, M::MenuItemService, false},
    {M::MenuItemLanguagex, "MenuItemLanguagex", "Язык/Language", K::kSubmenu, M::kNone, false},
    {M::MenuItemLanguageRussianx, "MenuItemLanguageRussianx", "Русский", K::kSwitch,
     M::MenuItemLanguagex, false},
    {M::MenuItemLanguageEnglishx, "MenuItemLanguageEnglishx", "English", K::kSwitch,
     M::MenuItemLanguagex, false},
}};

const char* TimerName(WindowTimer timer) {
  switch (timer) {
    case WindowTimer::TimerQELPADTest: return "TimerQELPADTest";
    case WindowTimer::TimerOnShow: return "TimerOnShow";
    case WindowTimer::UniversalTimer: return "UniversalTimer";
    case WindowTimer::TimerFlash: return "TimerFlash";
  }
  return "";
}

uint32_t DesignedInterval(WindowTimer timer) {
  switch (timer) {
    case WindowTimer::TimerQELPADTest: return kWatchIntervalMs;
    case WindowTimer::TimerOnShow: return 1;
    case WindowTimer::UniversalTimer: return 100;
    case WindowTimer::TimerFlash: return 250;
  }
  return 0;
}

}  // namespace rtd::shell::form
