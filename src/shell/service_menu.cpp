#include "shell/service_menu.h"

namespace rtd::shell {

const char* ServiceItemName(ServiceItem item) {
  switch (item) {
    case ServiceItem::MenuItemServiceReadTwice: return "MenuItemServiceReadTwice";
    case ServiceItem::MenuItemServiceBlankCheck: return "MenuItemServiceBlankCheck";
    case ServiceItem::MenuItemServiceErase: return "MenuItemServiceErase";
    case ServiceItem::MenuItemServiceCompare: return "MenuItemServiceCompare";
    case ServiceItem::MenuItemServiceWrite: return "MenuItemServiceWrite";
    case ServiceItem::MenuItemServiceBackupFolder: return "MenuItemServiceBackupFolder";
  }
  return "";
}

const char* ServiceItemDesignedCaption(ServiceItem item) {
  switch (item) {
    case ServiceItem::MenuItemServiceReadTwice: return "Чтение дважды";
    case ServiceItem::MenuItemServiceBlankCheck: return "Проверка чистоты";
    case ServiceItem::MenuItemServiceErase: return "Стирание";
    case ServiceItem::MenuItemServiceCompare: return "Сравнение со списком различий";
    case ServiceItem::MenuItemServiceWrite: return "Запись с полной проверкой";
    case ServiceItem::MenuItemServiceBackupFolder: return "Открыть папку резервных копий";
  }
  return "";
}

ServiceStates ServiceItemStates(const ButtonStates& buttons, bool operation_running,
                                bool has_backup_folder) {
  ServiceStates on{};
  if (operation_running) return on;
  on[Index(ServiceItem::MenuItemServiceBackupFolder)] = has_backup_folder;
  const auto like = [&](ServiceItem item, ToolButton button) {
    on[Index(item)] = buttons[Index(button)];
  };
  like(ServiceItem::MenuItemServiceReadTwice, ToolButton::SpeedButtonRead);
  like(ServiceItem::MenuItemServiceBlankCheck, ToolButton::SpeedButtonRead);
  like(ServiceItem::MenuItemServiceErase, ToolButton::SpeedButtonWrite);
  like(ServiceItem::MenuItemServiceCompare, ToolButton::SpeedButtonCompare);
  like(ServiceItem::MenuItemServiceWrite, ToolButton::SpeedButtonWrite);
  return on;
}

}  // namespace rtd::shell
