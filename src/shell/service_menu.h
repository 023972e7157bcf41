// The popup menu's "Service" submenu and the backup switch: which items
// there are, what each is called on the form, and when each may be chosen.
#pragma once

#include <array>
#include <cstddef>

#include "shell/buttons.h"

namespace rtd::shell {

// The submenu's items, in menu order, by their component names.
enum class ServiceItem {
  MenuItemServiceReadTwice,     // read twice, saved only when both reads agree
  MenuItemServiceBlankCheck,    // whether the whole flash is erased
  MenuItemServiceErase,         // erase alone, then a blank check
  MenuItemServiceCompare,       // full compare with the list of differences
  MenuItemServiceWrite,         // write with full verification
  MenuItemServiceBackupFolder,  // opens the folder of the backups
  MenuItemServiceViewFile,      // the hex view of a file chosen
  MenuItemServiceViewDump,      // the hex view of the dump just saved
  MenuItemServiceViewBackup,    // the hex view of the latest backup
};
inline constexpr std::size_t kServiceItemCount =
    static_cast<std::size_t>(ServiceItem::MenuItemServiceViewBackup) + 1;  // the last, + 1

// Indexed by ServiceItem.
using ServiceStates = std::array<bool, kServiceItemCount>;

inline constexpr std::size_t Index(ServiceItem item) { return static_cast<std::size_t>(item); }

// Every item, in menu order.
inline constexpr std::array<ServiceItem, kServiceItemCount> kServiceItems = {
    ServiceItem::MenuItemServiceReadTwice, ServiceItem::MenuItemServiceBlankCheck,
    ServiceItem::MenuItemServiceErase,     ServiceItem::MenuItemServiceCompare,
    ServiceItem::MenuItemServiceWrite,     ServiceItem::MenuItemServiceBackupFolder,
    ServiceItem::MenuItemServiceViewFile,  ServiceItem::MenuItemServiceViewDump,
    ServiceItem::MenuItemServiceViewBackup,
};

// The component name of an item ("MenuItemServiceErase").
const char* ServiceItemName(ServiceItem item);

// What the hex view can show: a file the user chooses (in a window that
// has the view), the dump a read of this window has saved, the latest
// backup.
struct ViewSources {
  bool file = false;
  bool dump = false;
  bool backup = false;
};

// Each operation item follows the toolbar button of the operation it
// resembles (a read, the write, the full compare), but none is offered
// while an operation runs: the running one is stopped from its button, and
// a choice made then would be dropped. The backup folder needs no
// programmer, only a folder; neither does the view of what there is.
ServiceStates ServiceItemStates(const ButtonStates& buttons, bool operation_running,
                                bool has_backup_folder, ViewSources view = {});

}  // namespace rtd::shell
