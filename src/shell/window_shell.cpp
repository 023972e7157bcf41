#include "shell/window_shell.h"

#include <exception>

#include "config/atomic_file.h"
#include "i18n/lang.h"
#include "shell/language.h"

namespace rtd::shell {

namespace {

constexpr LangText kOpenTitle = LANG_TEXT("Выбор файла", "The choice of file");
constexpr LangText kSaveTitle = LANG_TEXT("Сохранение файла", "Saving the File");
constexpr LangText kHandlerFailed =
    LANG_TEXT("Непредвиденная ошибка: %s", "Unexpected error: %s");
constexpr LangText kStopWriteQuestion =
    LANG_TEXT("Идёт запись; если остановить её сейчас, плата останется без прошивки. "
              "Всё равно остановить?",
              "A write is running; stopping now leaves the board without firmware. "
              "Stop anyway?");

constexpr LangText kFolderNotMade =
    LANG_TEXT("Не удаётся создать папку %s: %s", "Unable to create the folder %s: %s");
constexpr LangText kFolderNotOpened =
    LANG_TEXT("Не удаётся открыть папку %s", "Unable to open the folder %s");

constexpr uint32_t kDialogCentringMs = 1;

using ClickHandler = OpResult (FlashOperations::*)();

ClickHandler HandlerOf(ToolButton button) {
  switch (button) {
    case ToolButton::SpeedButtonReset: return &FlashOperations::SpeedButtonResetClick;
    case ToolButton::SpeedButtonConnect: return &FlashOperations::SpeedButtonConnectClick;
    case ToolButton::SpeedButtonRead: return &FlashOperations::SpeedButtonReadClick;
    case ToolButton::SpeedButtonWrite: return &FlashOperations::SpeedButtonWriteClick;
    case ToolButton::SpeedButtonCompare: return &FlashOperations::SpeedButtonCompareClick;
    case ToolButton::SpeedButtonCompareFast: return &FlashOperations::SpeedButtonCompareFastClick;
    case ToolButton::SpeedButtonResetRTD2662: return &FlashOperations::SpeedButtonResetRTD2662Click;
    case ToolButton::SpeedButtonGetTouchParam:
      return &FlashOperations::SpeedButtonGetTouchParamClick;
  }
  return nullptr;
}

}  // namespace

WindowShell::WindowShell(std::unique_ptr<HidPlatform> platform, Clock& clock,
                         const SessionPaths& paths, FrontEnd& front)
    : clock_(clock), front_(front) {
  session_ = std::make_unique<Session>(std::move(platform), clock, *this, paths);
  watch_ = std::make_unique<ConnectionWatch>(session_->programmer(), *this);
  service_ = std::make_unique<ServiceCommands>(session_->ops());
  // The window shows what the compare found.
  service_->KeepDifferences = true;
  ApplyBackupSwitch(backup_);
}

WindowShell::~WindowShell() = default;

void WindowShell::Start() {
  LoadSettings();
  TellBackupsOff();
  DrawMenu();
  session_->programmer().ProgrammerInfo = {};
  SetButtonsState(false);
  SetWatchTimerEnabled(true);
}

// --- clicks and handlers ---

void WindowShell::Click(ToolButton button) {
  if (Closing() || !buttons_[Index(button)]) return;
  if (operation_running_) {
    // The running operation's own button: it stops before its next step.
    // Decided now, not when the click's turn comes, so a stop click that
    // is handled after the operation has ended never starts a new one.
    IdleFlag = 1;
    return;
  }
  front_.Post([this, button] { RunClick(button); });
}

void WindowShell::RunClick(ToolButton button) {
  // A start that finds another handler running (a second quick click, a
  // close under way) is dropped: it was meant for an idle window.
  if (Closing() || handler_depth_ > 0) return;
  const ClickHandler click = HandlerOf(button);
  RunOperation([this, click] { (session_->ops().*click)(); });
}

void WindowShell::RunOperation(const std::function<void()>& operation) {
  RunHandler([this, &operation] {
    struct Running {
      bool& flag;
      explicit Running(bool& f) : flag(f) { flag = true; }
      ~Running() { flag = false; }
    } running(operation_running_);
    // The operation counts as the programmer's user from its click on, so
    // the watch does not poll inside its first wait.
    session_->link().PollHoldoff = 2;
    // No Service item is offered while it runs: a choice would be dropped.
    DrawMenu();
    operation();
  });
  DrawMenu();
}

// --- the Service submenu ---

void WindowShell::ServiceClick(ServiceItem item) {
  if (Closing() || !service_items_[Index(item)]) return;
  front_.Post([this, item] {
    // As a toolbar click: meant for an idle window.
    if (Closing() || handler_depth_ > 0) return;
    RunService(item);
  });
}

void WindowShell::RunService(ServiceItem item) {
  ServiceCommands& service = *service_;
  switch (item) {
    case ServiceItem::MenuItemServiceReadTwice:
      RunOperation([&service] { service.ReadVerified(); });
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
  }
}

void WindowShell::ShowDifferences() {
  const ServiceCommands::Differences& found = service_->LastDifferences();
  if (found.ranges.empty() || found.file.empty() || Closing()) return;
  // The compare is over, the dialog only shows: a close does not ask about
  // it. The Service items stay off until the dialog is shut.
  operation_running_ = false;
  front_.ShowDifferences(ListDifferences(found));
}

void WindowShell::OpenBackupFolder() {
  const std::string& folder = session_->ops().BackupFolder;
  std::string level;
  if (const std::string reason = MakeFolders(folder, &level); !reason.empty()) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kFolderNotMade), level.c_str(), reason.c_str());
    return;
  }
  if (!front_.OpenFolder(folder))
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kFolderNotOpened), folder.c_str());
}

void WindowShell::DrawMenu() {
  using form::MenuItem;
  service_items_ = ServiceItemStates(buttons_, operation_running_ || Closing(),
                                     !session_->ops().BackupFolder.empty());
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
  front_.DrawMenu(menu);
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

void WindowShell::RunHandler(const std::function<void()>& handler) {
  ++handler_depth_;
  try {
    handler();
  } catch (const std::exception& e) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kHandlerFailed), e.what());
    restore_idle_ = true;
  } catch (...) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kHandlerFailed), "?");
    restore_idle_ = true;
  }
  if (--handler_depth_ == 0) AfterOutermostHandler();
}

void WindowShell::AfterOutermostHandler() {
  // An operation may still run below a handler that failed: the gate and
  // the buttons are reopened only once nothing runs any more.
  if (restore_idle_) {
    restore_idle_ = false;
    RestoreIdle();
  }
  if (deferred_language_) {
    const int32_t language = *deferred_language_;
    deferred_language_.reset();
    ApplyLanguage(language);
  }
  if (close_ == CloseState::kPending) {
    CloseSequence();
    front_.FinishClose();
  }
}

void WindowShell::RestoreIdle() {
  IdleFlag = 1;
  ProgressHide();
  SetButtonsState(false);
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
  session_->SwitchBackups(on, FlashOperations::BackupOff::kBySettings);
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
  front_.DrawLanguage(CurrentLanguage, WindowCaption());
}

// --- close ---

bool WindowShell::CloseRequested() {
  if (close_ == CloseState::kClosed) return true;
  if (close_ != CloseState::kOpen) return false;  // one close at a time
  if (handler_depth_ == 0) {
    CloseSequence();
    return true;
  }
  // Nested inside a running handler: closing the programmer and saving now
  // would happen while that handler still works. Stop it and finish the
  // close once it has returned.
  if (operation_running_ && session_->ops().ChipAtRisk()) {
    close_ = CloseState::kAsking;
    const int answer = MessageBoxPrintf(MB_ICONWARNING, PickLangText(kStopWriteQuestion));
    if (answer != IDYES) {
      close_ = CloseState::kOpen;
      return false;
    }
  }
  close_ = CloseState::kPending;
  IdleFlag = 1;
  // A chooser or the list of differences open below would hold the
  // handler, and so the close, until the user shut it.
  front_.EndModalParts();
  return false;
}

void WindowShell::CloseSequence() {
  close_ = CloseState::kRunning;
  IdleFlag = 1;
  DelayWithMessages(100);
  SetWatchTimerEnabled(false);
  session_->link().transport().LinkClose();
  DelayWithMessages(100);
  SaveSettings();
  close_ = CloseState::kClosed;
}

// --- settings ---

void WindowShell::LoadSettings() {
  const Size screen = front_.ScreenSize();
  const Rect outer = front_.WindowRect();
  const auto loaded =
      session_->settings().LoadSettings(screen.width, screen.height, outer.width, outer.height);
  if (!loaded) return;
  front_.MoveWindow(loaded->left, loaded->top);
  // The saved place may be half off the screen, or on a screen no longer
  // there: the window comes back whole into the work area it is now on.
  const Point kept = KeptInside(Point{loaded->left, loaded->top},
                                Size{outer.width, outer.height}, front_.WorkArea());
  if (kept != Point{loaded->left, loaded->top}) front_.MoveWindow(kept.x, kept.y);
  log_ = loaded->log;
  debug_ = loaded->debug;
  ApplyBackupSwitch(session_->settings().BackupBeforeErase());
  SetLanguage(loaded->lang);
}

void WindowShell::SaveSettings() {
  const Rect outer = front_.WindowRect();
  MainSettingsValues values;
  values.top = outer.top;
  values.left = outer.left;
  values.lang = CurrentLanguage;
  values.log = log_;
  values.debug = debug_;
  session_->settings().SaveSettings(values);
}

// --- timers ---

void WindowShell::ArmTimer(WindowTimer timer, uint32_t interval_ms) {
  timer_ms_[TimerIndex(timer)] = interval_ms;
  front_.SetTimer(timer, interval_ms);
}

void WindowShell::SetWatchTimerEnabled(bool enabled) {
  ArmTimer(WindowTimer::TimerQELPADTest, enabled ? kWatchIntervalMs : 0);
}

void WindowShell::TimerTick(WindowTimer timer) {
  // A tick already queued when its timer was switched off is dropped.
  if (!TimerArmed(timer)) return;
  switch (timer) {
    case WindowTimer::TimerQELPADTest:
      RunHandler([this] { watch_->TimerQELPADTestTimer(); });
      break;
    case WindowTimer::TimerOnShow:
      CentreFileDialog();
      break;
    case WindowTimer::UniversalTimer:
      ToolbarNoticeEnd();
      break;
    case WindowTimer::TimerFlash:
      notice_.Blink();
      front_.DrawNotice(notice_.caption(), notice_.panel_visible());
      break;
  }
}

// --- log, status, gauge, notice, buttons ---

void WindowShell::AppendLogLine(const std::string& line) { front_.AppendLog(line); }

void WindowShell::ClearLog() {
  front_.ClearLog();
  // The plug-in banner starts a fresh log; an erase without a copy is not
  // to be forgotten with the old one.
  TellBackupsOff();
}

void WindowShell::TellBackupsOff() {
  if (backup_) return;
  LogPrintf(PickLangText(
      LANG_TEXT("Резервные копии перед стиранием отключены (меню: «Резервная копия перед "
                "стиранием»)",
                "Backups before erasing are switched off (menu: \"Backup before erase\")")));
}

void WindowShell::SetStatusText(const std::string& text) { front_.DrawStatus(text); }

void WindowShell::StartProgress(int32_t maximum, const std::string& status_text) {
  SetStatusText(status_text);
  gauge_.Start(maximum, status_text, next_unit_, clock_.TickCount());
  next_unit_ = 0;
  front_.DrawGauge(gauge_, true);
  ProcessMessages();
}

void WindowShell::ProgressStep(int32_t value) {
  const auto step = gauge_.StepTo(value, clock_.TickCount());
  if (step == ProgressGauge::Step::kIgnored) return;
  if (step == ProgressGauge::Step::kShownAgain) SetStatusText(gauge_.SavedProgressCaption());
  front_.DrawGauge(gauge_, false);
  ProcessMessages();
}

void WindowShell::ProgressHide() {
  gauge_.Hide();
  front_.DrawGauge(gauge_, false);
}

void WindowShell::ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms,
                                    const std::string& text) {
  notice_.Show(duration_ms, blink_ms, text);
  ArmTimer(WindowTimer::UniversalTimer, notice_.end_timer_ms());
  ArmTimer(WindowTimer::TimerFlash, notice_.blink_timer_ms());
  front_.DrawNotice(notice_.caption(), notice_.panel_visible());
}

void WindowShell::ToolbarNoticeEnd() {
  ArmTimer(WindowTimer::TimerFlash, 0);
  ArmTimer(WindowTimer::UniversalTimer, 0);
  notice_.End();
  front_.DrawNotice(notice_.caption(), notice_.panel_visible());
}

void WindowShell::SetButtonsState(bool busy) {
  const bool connected = watch_ != nullptr && watch_->ControllerConnected;
  buttons_ = SetButtonsStateRule(busy, connected, session_->ops().CurrentFlash.Identified());
  front_.DrawButtons(buttons_);
  DrawMenu();
}

void WindowShell::EnableButton(ToolButton button) {
  buttons_[Index(button)] = true;
  front_.DrawButtons(buttons_);
  DrawMenu();
}

// --- waiting ---

void WindowShell::ProcessMessages() { front_.PumpMessages(); }

void WindowShell::DelayWithMessages(uint32_t ms) {
  const uint32_t start = clock_.TickCount();
  while (clock_.TickCount() - start < ms) {
    ProcessMessages();
    // A short sleep between pumps keeps the wait from burning a core.
    clock_.SleepMicroseconds(1000);
  }
}

// --- boxes ---

int WindowShell::ShowMessageBox(uint32_t kind, const std::string& caption,
                                const std::string& text) {
  const BoxDesign box = DescribeBox(kind, caption, text);
  // The user has closed the window: an operation stopped by that ends
  // quietly, and a question gets the safe answer.
  if (close_ == CloseState::kPending || close_ == CloseState::kClosed) return box.SafeAnswer();
  SetWatchTimerEnabled(false);
  while (session_->link().ExchangeBusy) ProcessMessages();
  const int answer = front_.RunMessageBox(box);
  // A box of the close sequence itself (a settings file that cannot be
  // written) must not bring the watch back to a programmer just closed.
  if (close_ != CloseState::kRunning && close_ != CloseState::kClosed) SetWatchTimerEnabled(true);
  return answer;
}

// --- file choosers ---

std::string WindowShell::ChooseImageToOpen() { return ChooseImage(false); }

std::string WindowShell::ChooseImageToSave() { return ChooseImage(true); }

std::string WindowShell::ChooseImage(bool save) {
  // Once the user has closed the window, no file is chosen any more: the
  // operation ends as cancelled instead of going on to erase or save.
  if (close_ == CloseState::kPending) return {};
  const std::optional<std::string> start = session_->settings().ChooserStartDirectory();
  if (!start) return {};
  centring_.Start();
  ArmTimer(WindowTimer::TimerOnShow, kDialogCentringMs);
  std::string chosen =
      front_.RunFileDialog(save, PickLangText(save ? kSaveTitle : kOpenTitle), *start);
  ArmTimer(WindowTimer::TimerOnShow, 0);
  if (close_ == CloseState::kPending) return {};
  return chosen;
}

void WindowShell::CentreFileDialog() {
  const DialogWindow dialog = front_.FileDialog();
  bool keep_timer = true;
  const bool move_now = centring_.Tick(dialog.exists, &keep_timer);
  if (!keep_timer) ArmTimer(WindowTimer::TimerOnShow, 0);
  if (!move_now) return;
  const Point centred = CentredOver(front_.WindowRect(), dialog.size);
  front_.MoveFileDialog(KeptInside(centred, dialog.size.value_or(Size{}), front_.WorkArea()));
}

}  // namespace rtd::shell
