// The window's popup menu: the Service submenu and its operations, the
// menu's marks and clicks, the switches and the language.

#include "config/atomic_file.h"
#include "flash/texts.h"
#include "i18n/lang.h"
#include "shell/language.h"
#include "shell/window_shell.h"

namespace rtd::shell {

namespace {

constexpr LangText kFolderNotOpened =
    LANG_TEXT("Не удаётся открыть папку %s", "Unable to open the folder %s");

}  // namespace

// --- the Service submenu ---

void WindowShell::ServiceClick(ServiceItem item) {
  if (Closing() || !service_items_[Index(item)]) return;
  loop_.Post([this, item] {
    // As a toolbar click: meant for an idle window.
    if (Closing() || handler_depth_ > 0) return;
    RunService(item);
  });
}

void WindowShell::RunService(ServiceItem item) {
  ServiceCommands& service = *service_;
  switch (item) {
    case ServiceItem::MenuItemServiceReadTwice:
      RunOperation([this, &service] { NoteDump(service.ReadVerified()); });
      break;
    case ServiceItem::MenuItemServiceBlankCheck:
      RunOperation([&service] { service.BlankCheck(); });
      break;
    case ServiceItem::MenuItemServiceErase:
      RunOperation([&service] { service.Erase(); });
      break;
    case ServiceItem::MenuItemServiceWrite:
      RunOperation([&service] { service.WriteVerifiedFully(); });
      break;
    case ServiceItem::MenuItemServiceCompare:
      // The dialog opens once the compare has ended, still inside the
      // handler: a close asked while it is open finishes after it.
      RunOperation([this, &service] {
        service.CompareWithDiff();
        ShowDifferences();
      });
      break;
    case ServiceItem::MenuItemServiceBackupFolder:
      RunHandler([this] { OpenBackupFolder(); });
      break;
    case ServiceItem::MenuItemServiceViewFile:
      RunHandler([this] { hex_->ViewChosenFile(); });
      break;
    case ServiceItem::MenuItemServiceViewDump:
      RunHandler([this] { hex_->ViewLastDump(); });
      break;
    case ServiceItem::MenuItemServiceViewBackup:
      RunHandler([this] { hex_->ViewLatestBackup(); });
      break;
  }
}

void WindowShell::ShowDifferences() {
  const ServiceCommands::Differences& found = service_->LastDifferences();
  if (found.ranges.empty() || found.file.empty() || Closing()) return;
  // The compare is over, the view only shows: a close does not ask about
  // it. The Service items stay off until the view is shut.
  operation_running_ = false;
  if (hex_) hex_->ViewDifferences(found);
}

void WindowShell::OpenBackupFolder() {
  const std::string& folder = session_->ops().Backup().BackupFolder;
  std::string level;
  if (const std::string reason = MakeFolders(folder, &level); !reason.empty()) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(flash_text::kBackupFolderFailed), level.c_str(), reason.c_str());
    return;
  }
  if (!dialogs_.OpenFolder(folder))
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kFolderNotOpened), folder.c_str());
}

void WindowShell::DrawMenu() {
  using form::MenuItem;
  const ViewSources view{hex_ != nullptr, hex_ && hex_->HasDump(), hex_ && hex_->HasBackup()};
  service_items_ = ServiceItemStates(buttons_, operation_running_ || Closing(),
                                     !session_->ops().Backup().BackupFolder.empty(), view);
  form::MenuStates menu{};
  const auto at = [&menu](MenuItem item) -> form::MenuItemState& {
    return menu[form::Index(item)];
  };
  // The two debug items are shown or hidden together.
  at(MenuItem::MenuItemDebug) = {debug_, debug_, true};
  at(MenuItem::MenuItemLog) = {debug_, log_, true};
  at(MenuItem::MenuItemBackup).checked = backup_;
  for (const ServiceItem item : kServiceItems)
    at(form::MenuItemOf(item)).enabled = service_items_[Index(item)];
  const bool english = CurrentLanguage == kLanguageEnglish;
  at(MenuItem::MenuItemLanguageRussianx).checked = !english;
  at(MenuItem::MenuItemLanguageEnglishx).checked = english;
  view_.DrawMenu(menu);
}

void WindowShell::MenuClick(form::MenuItem item) {
  using form::MenuItem;
  switch (item) {
    case MenuItem::MenuItemDebug:
      RunHandler([this] { MenuItemDebugClick(!debug_); });
      break;
    case MenuItem::MenuItemLog:
      RunHandler([this] { MenuItemLogClick(!log_); });
      break;
    case MenuItem::MenuItemBackup:
      RunHandler([this] { MenuItemBackupClick(!backup_); });
      break;
    case MenuItem::MenuItemLanguageRussianx: SetLanguage(0); break;
    case MenuItem::MenuItemLanguageEnglishx: SetLanguage(1); break;
    case MenuItem::MenuItemService:
    case MenuItem::MenuItemLanguagex:
    case MenuItem::kNone:
      break;
    default:
      if (const auto service = form::ServiceItemOf(item)) ServiceClick(*service);
      break;
  }
  // A toolkit's item may have turned its own check mark over.
  DrawMenu();
}

// --- switches and language ---

void WindowShell::MenuItemLogClick(bool checked) {
  log_ = checked;
  DrawMenu();
}

void WindowShell::MenuItemDebugClick(bool checked) {
  debug_ = checked;
  DrawMenu();
}

void WindowShell::MenuItemBackupClick(bool checked) {
  ApplyBackupSwitch(checked);
  TellBackupsOff();
  DrawMenu();
  // A value that cannot be saved has been said; the switch holds until
  // the window closes.
  session_->settings().SaveBackupBeforeErase(checked);
}

void WindowShell::ApplyBackupSwitch(bool on) {
  backup_ = on;
  session_->SwitchBackups(on, BackupStep::OffBy::kSettings);
}

int32_t WindowShell::SetLanguage(int32_t index) {
  if (index == -1) return CurrentLanguage;
  const int32_t language = LanguageForIndex(index, CurrentLanguage);
  if (operation_running_) {
    // The switch clears the connected state and, through the watch, the
    // log: not under a running operation. It comes once that has ended;
    // until then the check marks stay on the language in force.
    deferred_language_ = language;
    DrawMenu();
    return CurrentLanguage;
  }
  ApplyLanguage(language);
  return CurrentLanguage;
}

void WindowShell::ApplyLanguage(int32_t language) {
  CurrentLanguage = language;
  // The next poll announces an attached programmer again, in the new language.
  watch_->ControllerConnected = false;
  DrawMenu();
  view_.DrawLanguage(CurrentLanguage, WindowCaption());
}

}  // namespace rtd::shell
