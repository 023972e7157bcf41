// The main window without its widgets: the output services the flash
// operations report through, the operation gate and the run of each click,
// the close sequence, the four timers' decisions, the window's settings and
// the language switch. A front end (the Qt window, the Windows window)
// draws what this decides and hands it the user's clicks and its timers'
// ticks.
//
// Everything runs on one thread, and an operation lets clicks, ticks and a
// close request run nested inside it between blocks. The rules kept here:
// a click decides at once whether it starts an operation or stops the
// running one; a close or a language switch under a running handler waits
// until the outermost handler has returned; an exception ends the handler
// it came from, and the window is made idle again only once nothing runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/output_services.h"
#include "shell/connection_watch.h"
#include "shell/front_end.h"
#include "shell/gauge.h"
#include "shell/hex_viewer.h"
#include "shell/placement.h"
#include "shell/service_menu.h"
#include "shell/session.h"
#include "flash/service_commands.h"

namespace rtd::shell {

class WindowShell : public OutputServices, public WatchHost {
 public:
  // The window's roles: what it shows, what it asks in its modal parts,
  // its event loop, and its hex view (none: no view is offered). A window
  // usually plays them all itself.
  WindowShell(std::unique_ptr<HidPlatform> platform, Clock& clock, const SessionPaths& paths,
              WindowView& view, UserDialogs& dialogs, EventLoop& loop,
              HexViewWindow* hex_window = nullptr);
  ~WindowShell() override;
  WindowShell(const WindowShell&) = delete;
  WindowShell& operator=(const WindowShell&) = delete;

  // Once the window exists: loads the settings (position, switches,
  // language), draws the idle buttons and starts the connection watch.
  void Start();

  Session& session() { return *session_; }
  ConnectionWatch& watch() { return *watch_; }

  // --- what the user does ---
  // A click on one of the eight operation buttons. While an operation runs
  // it is that operation's stop request; otherwise the operation is started
  // from the event loop, unless another has begun by then.
  void Click(ToolButton button);
  // An item of the popup menu: a switch turns over, a Service item runs,
  // a language is chosen; the menu is drawn again.
  void MenuClick(form::MenuItem item);
  // The hidden "L" button: Russian.
  void SpeedButtonLanguageMakerxClick() { SetLanguage(0); }
  // A double click on the log clears it.
  void MemoDblClick() { view_.ClearLog(); }
  // The popup menu's switches (their new check state).
  void MenuItemLogClick(bool checked);
  void MenuItemDebugClick(bool checked);
  // The backup switch (its new check state): saved at once and applied to
  // every erase from now on.
  void MenuItemBackupClick(bool checked);
  // An item of the Service submenu: started from the event loop like a
  // toolbar button's operation, when the item may be chosen.
  void ServiceClick(ServiceItem item);
  // -1: the current language, nothing changes; 1: English; anything else
  // Russian. While an operation runs the switch waits for its end (it would
  // clear the log and the connected state under it). Returns the language
  // in force.
  int32_t SetLanguage(int32_t index);
  // The window is asked to close. True: it may go now. False: it stays;
  // either the user kept it (a write is running and the answer was No), or
  // the close finishes once the running operation has returned (the front
  // end's FinishClose), or a close is already under way.
  bool CloseRequested();
  // A timer's tick.
  void TimerTick(WindowTimer timer);
  // Runs one handler of the window's own (a menu item, a timer of the front
  // end): an exception out of it is shown and the window goes on.
  void RunHandler(const std::function<void()>& handler);

  // --- what a front end or a test may read ---
  bool TimerArmed(WindowTimer timer) const { return timer_ms_[TimerIndex(timer)] != 0; }
  uint32_t TimerInterval(WindowTimer timer) const { return timer_ms_[TimerIndex(timer)]; }
  const ButtonStates& Buttons() const { return buttons_; }
  const ProgressGauge& Gauge() const { return gauge_; }
  const ToolbarNoticeState& Notice() const { return notice_; }
  bool LogSwitch() const { return log_; }
  bool DebugSwitch() const { return debug_; }
  bool BackupSwitch() const { return backup_; }
  const ServiceStates& ServiceItems() const { return service_items_; }
  // An operation's click handler is running (also while it stops).
  bool OperationRunning() const { return operation_running_; }
  // The close sequence has ended.
  bool Closed() const { return close_ == CloseState::kClosed; }

  // --- OutputServices ---
  void AppendLogLine(const std::string& line) override;
  int ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override;
  void StartProgress(int32_t maximum, const std::string& status_text) override;
  void ProgressStep(int32_t value) override;
  void ProgressHide() override;
  void ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms, const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetButtonsState(bool busy) override;
  void EnableButton(ToolButton button) override;
  void ProcessMessages() override;
  void DelayWithMessages(uint32_t ms) override;
  std::string ChooseImageToOpen() override;
  std::string ChooseImageToSave() override;
  bool CommLogEnabled() const override { return log_; }
  // The file and the system's reason, as a line of the log: the box or the
  // notice before it has no room for them.
  void ShowFileError(const std::string& path, const std::string& reason) override;
  void SetProgressUnit(uint32_t bytes_per_step) override { next_unit_ = bytes_per_step; }

  // --- WatchHost ---
  void ClearLog() override;
  void SetWatchTimerEnabled(bool enabled) override;

 private:
  enum class CloseState {
    kOpen,
    kAsking,    // the question about a running write is open
    kPending,   // agreed; waits for the running handler to return
    kRunning,   // the close sequence runs
    kClosed,
  };
  static constexpr std::size_t TimerIndex(WindowTimer t) { return static_cast<std::size_t>(t); }

  void RunClick(ToolButton button);
  // One operation under the gate: counted as running, and the Service
  // items drawn again once it has ended.
  void RunOperation(const std::function<void()>& operation);
  void RunService(ServiceItem item);
  void ShowDifferences();
  // A read that has saved its dump makes it the one to view.
  void NoteDump(OpResult read);
  void OpenBackupFolder();
  void DrawMenu();
  void ApplyBackupSwitch(bool on);
  // A log line while backups are switched off.
  void TellBackupsOff();
  // After the outermost handler: the idle state after an exception, a
  // deferred language switch, a deferred close.
  void AfterOutermostHandler();
  void RestoreIdle();
  void ApplyLanguage(int32_t language);
  void CloseSequence();
  void LoadSettings();
  void SaveSettings();
  void ToolbarNoticeEnd();
  void CentreFileDialog();
  std::string ChooseImage(bool save);
  void ArmTimer(WindowTimer timer, uint32_t interval_ms);
  bool Closing() const { return close_ != CloseState::kOpen; }

  Clock& clock_;
  WindowView& view_;
  UserDialogs& dialogs_;
  EventLoop& loop_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<ConnectionWatch> watch_;

  ProgressGauge gauge_;
  uint32_t next_unit_ = 0;
  ToolbarNoticeState notice_;
  FileDialogCentring centring_;
  ButtonStates buttons_{};
  std::array<uint32_t, kWindowTimerCount> timer_ms_{};
  bool log_ = false;
  bool debug_ = false;
  bool backup_ = true;
  ServiceStates service_items_{};
  std::unique_ptr<ServiceCommands> service_;
  HexViewWindow* hex_window_;
  std::unique_ptr<HexViewer> hex_;
  std::string last_save_choice_;  // the last file chosen to save to

  int handler_depth_ = 0;
  bool operation_running_ = false;
  bool restore_idle_ = false;
  std::optional<int32_t> deferred_language_;
  CloseState close_ = CloseState::kOpen;
};

}  // namespace rtd::shell
