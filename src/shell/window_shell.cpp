#include "shell/window_shell.h"

#include <exception>

#include "i18n/lang.h"

namespace rtd::shell {

namespace {

constexpr LangText kHandlerFailed =
    LANG_TEXT("Непредвиденная ошибка: %s", "Unexpected error: %s");
constexpr LangText kStopWriteQuestion =
    LANG_TEXT("Идёт запись; если остановить её сейчас, плата останется без прошивки. "
              "Всё равно остановить?",
              "A write is running; stopping now leaves the board without firmware. "
              "Stop anyway?");

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
                         const SessionPaths& paths, WindowView& view, UserDialogs& dialogs,
                         EventLoop& loop, HexViewWindow* hex_window)
    : clock_(clock), view_(view), dialogs_(dialogs), loop_(loop), hex_window_(hex_window) {
  session_ = std::make_unique<Session>(std::move(platform), clock, *this, paths);
  watch_ = std::make_unique<ConnectionWatch>(session_->programmer(), *this);
  service_ = std::make_unique<ServiceCommands>(session_->ops());
  // The window shows what the compare found.
  service_->KeepDifferences = true;
  if (hex_window_ != nullptr) hex_ = std::make_unique<HexViewer>(*this, *this, *hex_window_);
  ApplyBackupSwitch(backup_);
}

WindowShell::~WindowShell() = default;

void WindowShell::Start() {
  LoadSettings();
  TellBackupsOff();
  if (hex_) hex_->LookForBackup(session_->ops().Backup().BackupFolder);
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
  loop_.Post([this, button] { RunClick(button); });
}

void WindowShell::RunClick(ToolButton button) {
  // A start that finds another handler running (a second quick click, a
  // close under way) is dropped: it was meant for an idle window.
  if (Closing() || handler_depth_ > 0) return;
  const ClickHandler click = HandlerOf(button);
  RunOperation([this, click, button] {
    const OpResult result = (session_->ops().*click)();
    if (button == ToolButton::SpeedButtonRead) NoteDump(result);
  });
}

void WindowShell::NoteDump(OpResult read) {
  if (read == OpResult::kOk && hex_) hex_->DumpSaved(last_save_choice_);
}

void WindowShell::RunOperation(const std::function<void()>& operation) {
  RunHandler([this, &operation] {
    struct Running {
      bool& flag;
      explicit Running(bool& f) : flag(f) { flag = true; }
      ~Running() { flag = false; }
    } running(operation_running_);
    // One programmer from the click to the end, whatever its transfers meet.
    const ProgrammerHold hold(session_->link().transport());
    // The operation counts as the programmer's user from its click on, so
    // the watch does not poll inside its first wait.
    session_->link().PollHoldoff = 2;
    // No Service item is offered while it runs: a choice would be dropped.
    DrawMenu();
    operation();
  });
  // A write or an erase may have left a new backup to view.
  if (hex_) hex_->LookForBackup(session_->ops().Backup().BackupFolder);
  DrawMenu();
}

// --- the handlers' frame ---

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
    view_.FinishClose();
  }
}

void WindowShell::RestoreIdle() {
  IdleFlag = 1;
  ProgressHide();
  SetButtonsState(false);
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
  // A chooser or the hex view open below would hold the handler, and so
  // the close, until the user shut it.
  dialogs_.EndModalParts();
  if (hex_window_ != nullptr) hex_window_->EndHexView();
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
  const Size screen = view_.ScreenSize();
  const Rect outer = view_.WindowRect();
  const auto loaded =
      session_->settings().LoadSettings(screen.width, screen.height, outer.width, outer.height);
  if (!loaded) return;
  view_.MoveWindow(loaded->left, loaded->top);
  // The saved place may be half off the screen, or on a screen no longer
  // there: the window comes back whole into the work area it is now on.
  const Point kept = KeptInside(Point{loaded->left, loaded->top},
                                Size{outer.width, outer.height}, view_.WorkArea());
  if (kept != Point{loaded->left, loaded->top}) view_.MoveWindow(kept.x, kept.y);
  log_ = loaded->log;
  debug_ = loaded->debug;
  ApplyBackupSwitch(session_->settings().BackupBeforeErase());
  SetLanguage(loaded->lang);
}

void WindowShell::SaveSettings() {
  const Rect outer = view_.WindowRect();
  MainSettingsValues values;
  values.top = outer.top;
  values.left = outer.left;
  values.lang = CurrentLanguage;
  values.log = log_;
  values.debug = debug_;
  session_->settings().SaveSettings(values);
}

}  // namespace rtd::shell
