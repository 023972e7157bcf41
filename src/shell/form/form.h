// The main window's form as designed, once for every window front end: its
// sizes, the toolbar's controls in order with their names, places, hints
// and glyphs, the popup menu's items with their submenus and separators,
// and the timers. A front end walks these tables to make its widgets; a
// new button or menu item is a row here and a drawing call per front end.
// Sizes are pixels at 96 dpi (each front end scales them to its screen);
// designed texts are Russian (UTF-8), the translation table gives English.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/output_services.h"
#include "shell/buttons.h"
#include "shell/service_menu.h"

namespace rtd::shell {
enum class WindowTimer;
}

namespace rtd::shell::form {

// --- the window ---
inline constexpr int kClientWidth = 631;
inline constexpr int kClientHeight = 441;
inline constexpr int kDesignLeft = 537;  // replaced by the saved place at start
inline constexpr int kDesignTop = 516;
inline constexpr int kToolBarHeight = 29;
inline constexpr int kStatusBarHeight = 19;
inline constexpr int kStatusPanelWidth = 800;
// The toolbar's and the log's font ("Fixedsys", Cyrillic), and the form's.
inline constexpr int kFixedFontPixels = 13;
inline constexpr int kFormFontPoints = 8;

// --- the toolbar ---
inline constexpr int kControlTop = 2;
inline constexpr int kButtonWidth = 23;
inline constexpr int kButtonHeight = 22;
inline constexpr int kGlyphSize = 16;

// A 16 x 16 XPM picture: its lines as the XPM format writes them.
struct Glyph {
  const char* const* lines;
  int count;
};

// The eight operation buttons, in toolbar order (= ToolButton order).
struct ToolButtonDesign {
  ToolButton button;
  const char* name;
  int left;
  const char* hint;
  bool show_hint;  // the touch button is designed without; the translation switches it on
  Glyph glyph;
};
extern const std::array<ToolButtonDesign, kToolButtonCount> kToolButtons;

// The gaps between groups of buttons.
struct SpacerDesign {
  const char* name;
  int left;
  int width;
};
inline constexpr std::array<SpacerDesign, 2> kSpacers = {{{"Bevel2", 23, 5}, {"Bevel1", 189, 5}}};

// The hidden "L" button that switches to Russian.
struct LanguageMakerDesign {
  const char* name = "SpeedButtonLanguageMakerx";
  int left = 194;
  const char* caption = "L";
};
inline constexpr LanguageMakerDesign kLanguageMaker{};

// The panel of notices; the gauge lies on it, one pixel wider.
struct PanelMenuDesign {
  const char* name = "PanelMenu";
  int left = 217;
  int width = 412;
  int gauge_width = 413;
  const char* hint = "Выберите параметры в меню, после нажатия правой кнопки мыши";
  bool show_hint = false;
};
inline constexpr PanelMenuDesign kPanelMenu{};

// --- the popup menu ---
enum class MenuItem {
  MenuItemDebug,
  MenuItemLog,
  MenuItemBackup,
  MenuItemService,
  MenuItemServiceReadTwice,  // the Service items, in ServiceItem order
  MenuItemServiceBlankCheck,
  MenuItemServiceErase,
  MenuItemServiceCompare,
  MenuItemServiceWrite,
  MenuItemServiceBackupFolder,
  MenuItemServiceViewFile,
  MenuItemServiceViewDump,
  MenuItemServiceViewBackup,
  MenuItemLanguagex,
  MenuItemLanguageRussianx,
  MenuItemLanguageEnglishx,
  kNone,  // the menu itself, as a parent; follows the last item
};
inline constexpr std::size_t kMenuItemCount = static_cast<std::size_t>(MenuItem::kNone);

inline constexpr std::size_t Index(MenuItem item) { return static_cast<std::size_t>(item); }
inline constexpr MenuItem MenuItemOf(ServiceItem item) {
  return static_cast<MenuItem>(Index(MenuItem::MenuItemServiceReadTwice) + shell::Index(item));
}
inline constexpr std::optional<ServiceItem> ServiceItemOf(MenuItem item) {
  const std::size_t first = Index(MenuItem::MenuItemServiceReadTwice);
  if (Index(item) < first || Index(item) >= first + kServiceItemCount) return std::nullopt;
  return static_cast<ServiceItem>(Index(item) - first);
}

enum class MenuKind {
  kCommand,  // does something when chosen
  kSwitch,   // carries a check mark
  kSubmenu,  // opens the items whose parent it is
};

// In menu order; a submenu's items follow it.
struct MenuItemDesign {
  MenuItem item;
  const char* name;
  const char* caption;
  MenuKind kind;
  MenuItem parent;
  bool separator_before;
};
extern const std::array<MenuItemDesign, kMenuItemCount> kMenu;

inline const MenuItemDesign& Design(MenuItem item) { return kMenu[Index(item)]; }

// What the shell draws of each item.
struct MenuItemState {
  bool visible = true;
  bool checked = false;
  bool enabled = true;
};
using MenuStates = std::array<MenuItemState, kMenuItemCount>;

// --- the timers ---
const char* TimerName(WindowTimer timer);
// The interval each timer is designed with (the shell sets them when armed).
uint32_t DesignedInterval(WindowTimer timer);

}  // namespace rtd::shell::form
