// The Windows window's popup menu, made from the shared form description:
// the items as components (for the translation walk), the menu built as it
// opens, and each choice handed to the shell.
#include <array>

#include "shell/form/form.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include "winapp/text.h"

namespace rtd::winapp {

using namespace shell::form;

void MainWindow::BuildMenu() {
  AddComponent("PopupMenu", "TPopupMenu", nullptr);
  for (const MenuItemDesign& d : kMenu) {
    Component& c = AddComponent(d.name, "TMenuItem", nullptr);
    c.caption = d.caption;
    c.command = d.kind == MenuKind::kSubmenu ? 0 : kCmdFirstMenuItem + static_cast<int>(Index(d.item));
  }
}

void MainWindow::DrawMenu(const MenuStates& items) {
  for (const MenuItemDesign& d : kMenu) {
    Component& c = Item(d.name);
    const MenuItemState& state = items[Index(d.item)];
    c.visible = state.visible;
    c.checked = state.checked;
    c.enabled = state.enabled;
  }
}

HMENU MainWindow::BuildPopupMenu() const {
  HMENU menu = ::CreatePopupMenu();
  std::array<HMENU, kMenuItemCount> submenus{};
  for (const MenuItemDesign& d : kMenu) {
    HMENU into = d.parent == MenuItem::kNone ? menu : submenus[Index(d.parent)];
    const Component& c = *Find(d.name);
    if (into == nullptr || !c.visible) continue;
    if (d.separator_before) ::AppendMenuW(into, MF_SEPARATOR, 0, nullptr);
    const UINT state = (c.checked ? MF_CHECKED : MF_UNCHECKED) | (c.enabled ? MF_ENABLED : MF_GRAYED);
    if (d.kind == MenuKind::kSubmenu) {
      submenus[Index(d.item)] = ::CreatePopupMenu();
      ::AppendMenuW(into, MF_POPUP | state, reinterpret_cast<UINT_PTR>(submenus[Index(d.item)]),
                    W(c.caption).c_str());
    } else {
      ::AppendMenuW(into, MF_STRING | state, static_cast<UINT_PTR>(c.command), W(c.caption).c_str());
    }
  }
  return menu;
}

void MainWindow::ShowPopupMenu(int x, int y) {
  HMENU menu = BuildPopupMenu();
  const int command = static_cast<int>(::TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, window_,
      nullptr));
  ::DestroyMenu(menu);
  if (command != 0) MenuCommand(command);
}

void MainWindow::MenuCommand(int command) {
  const int index = command - kCmdFirstMenuItem;
  if (index >= 0 && index < static_cast<int>(kMenuItemCount))
    shell_->MenuClick(static_cast<MenuItem>(index));
}

}  // namespace rtd::winapp
