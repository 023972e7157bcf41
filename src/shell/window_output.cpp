// The output services as the window gives them: log, status bar, gauge,
// toolbar notice, buttons, the waits that pump messages, the boxes and the
// file choosers, and the timers behind them.

#include "i18n/lang.h"
#include "shell/window_shell.h"

namespace rtd::shell {

namespace {

constexpr LangText kOpenTitle = LANG_TEXT("Выбор файла", "The choice of file");
constexpr LangText kSaveTitle = LANG_TEXT("Сохранение файла", "Saving the File");

constexpr uint32_t kDialogCentringMs = 1;

}  // namespace

// --- timers ---

void WindowShell::ArmTimer(WindowTimer timer, uint32_t interval_ms) {
  timer_ms_[TimerIndex(timer)] = interval_ms;
  loop_.SetTimer(timer, interval_ms);
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
      view_.DrawNotice(notice_.caption(), notice_.panel_visible());
      break;
  }
}

// --- log, status, gauge, notice, buttons ---

void WindowShell::AppendLogLine(const std::string& line) { view_.AppendLog(line); }

void WindowShell::ShowFileError(const std::string& path, const std::string& reason) {
  AppendLogLine(path + ": " + reason);
}

void WindowShell::ClearLog() {
  view_.ClearLog();
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

void WindowShell::SetStatusText(const std::string& text) { view_.DrawStatus(text); }

void WindowShell::StartProgress(int32_t maximum, const std::string& status_text) {
  SetStatusText(status_text);
  gauge_.Start(maximum, status_text, next_unit_, clock_.TickCount());
  next_unit_ = 0;
  view_.DrawGauge(gauge_, true);
  ProcessMessages();
}

void WindowShell::ProgressStep(int32_t value) {
  const auto step = gauge_.StepTo(value, clock_.TickCount());
  if (step == ProgressGauge::Step::kIgnored) return;
  if (step == ProgressGauge::Step::kShownAgain) SetStatusText(gauge_.SavedProgressCaption());
  view_.DrawGauge(gauge_, false);
  ProcessMessages();
}

void WindowShell::ProgressHide() {
  gauge_.Hide();
  view_.DrawGauge(gauge_, false);
}

void WindowShell::ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms,
                                    const std::string& text) {
  notice_.Show(duration_ms, blink_ms, text);
  ArmTimer(WindowTimer::UniversalTimer, notice_.end_timer_ms());
  ArmTimer(WindowTimer::TimerFlash, notice_.blink_timer_ms());
  view_.DrawNotice(notice_.caption(), notice_.panel_visible());
}

void WindowShell::ToolbarNoticeEnd() {
  ArmTimer(WindowTimer::TimerFlash, 0);
  ArmTimer(WindowTimer::UniversalTimer, 0);
  notice_.End();
  view_.DrawNotice(notice_.caption(), notice_.panel_visible());
}

void WindowShell::SetButtonsState(bool busy) {
  const bool connected = watch_ != nullptr && watch_->ControllerConnected;
  buttons_ = SetButtonsStateRule(busy, connected, session_->ops().CurrentFlash.Identified());
  view_.DrawButtons(buttons_);
  DrawMenu();
}

void WindowShell::EnableButton(ToolButton button) {
  buttons_[Index(button)] = true;
  view_.DrawButtons(buttons_);
  DrawMenu();
}

// --- waiting ---

void WindowShell::ProcessMessages() { loop_.PumpMessages(); }

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
  const int answer = dialogs_.RunMessageBox(box);
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
      dialogs_.RunFileDialog(save, PickLangText(save ? kSaveTitle : kOpenTitle), *start);
  ArmTimer(WindowTimer::TimerOnShow, 0);
  if (close_ == CloseState::kPending) return {};
  if (save) last_save_choice_ = chosen;
  return chosen;
}

void WindowShell::CentreFileDialog() {
  const DialogWindow dialog = dialogs_.FileDialog();
  bool keep_timer = true;
  const bool move_now = centring_.Tick(dialog.exists, &keep_timer);
  if (!keep_timer) ArmTimer(WindowTimer::TimerOnShow, 0);
  if (!move_now) return;
  const Point centred = CentredOver(view_.WindowRect(), dialog.size);
  dialogs_.MoveFileDialog(KeptInside(centred, dialog.size.value_or(Size{}), view_.WorkArea()));
}

}  // namespace rtd::shell
