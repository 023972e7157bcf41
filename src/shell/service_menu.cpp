#include "shell/service_menu.h"

#include "shell/form/form.h"

namespace rtd::shell {

const char* ServiceItemName(ServiceItem item) { return form::Design(form::MenuItemOf(item)).name; }

ServiceStates ServiceItemStates(const ButtonStates& buttons, bool operation_running,
                                bool has_backup_folder, ViewSources view) {
  ServiceStates on{};
  if (operation_running) return on;
  on[Index(ServiceItem::MenuItemServiceBackupFolder)] = has_backup_folder;
  on[Index(ServiceItem::MenuItemServiceViewFile)] = view.file;
  on[Index(ServiceItem::MenuItemServiceViewDump)] = view.dump;
  on[Index(ServiceItem::MenuItemServiceViewBackup)] = view.backup;
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
