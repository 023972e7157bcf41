// The main window: a toolbar of eight operation buttons and a notice panel
// with the progress gauge, the log, and a one-panel status bar. The shell's
// WindowShell decides everything; this window draws what it says and hands
// it the clicks, the close request and the timers' ticks.
#pragma once

#include <QMainWindow>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/output_services.h"
#include "shell/front_end.h"
#include "shell/window_shell.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace rtd::app {

class GaugeWidget;
class Panel;

// What tests put in place of a person.
struct WindowSeams {
  // Answers (IDYES, IDNO, IDOK) for the next message boxes. Each box is
  // still built, placed and shown, then closed with that answer.
  std::deque<int> box_answers;
  // File names for the next file choosers; each dialog is shown, then the
  // name is typed into it and confirmed. An empty name cancels.
  std::deque<std::string> file_names;
  // Called with each box or file dialog once it is shown and placed,
  // before it is answered (so a test may fill the answers in here).
  std::function<void(QWidget*)> on_modal_shown;
  // Called on every message pump (tests act "between blocks" here).
  std::function<void()> on_pump;
  // False: the timers only record whether they are enabled, and the test
  // ticks them by calling their handlers; no real time passes.
  bool run_timers = true;
  // In place of the system's file manager: gets the folder to open; its
  // answer is whether that worked.
  std::function<bool(const std::string&)> open_folder;
};

class MainForm : public QMainWindow, public shell::FrontEnd {
  Q_OBJECT

 public:
  // seams may be null (a person answers).
  MainForm(std::unique_ptr<HidPlatform> platform, Clock& clock, const shell::SessionPaths& paths,
           WindowSeams* seams = nullptr);
  ~MainForm() override;

  // -1: the current language, nothing changes; 1: English; anything else
  // Russian. Returns the language in force.
  int32_t SetLanguage(int32_t index) { return shell_->SetLanguage(index); }

  shell::WindowShell& shell() { return *shell_; }
  shell::Session& session() { return shell_->session(); }
  shell::ConnectionWatch& watch() { return shell_->watch(); }
  QToolButton* Button(ToolButton button) const { return buttons_[static_cast<std::size_t>(button)]; }
  QString StatusText() const;
  QString LogText() const;
  QString PanelCaption() const;
  const GaugeWidget& Gauge() const { return *CGaugeProgressProcent; }
  // Whether a timer is switched on (also when the seams keep it from running).
  bool TimerEnabled(const QTimer* timer) const;
  QTimer* WatchTimer() const { return TimerQELPADTest; }
  QAction* DebugItem() const { return MenuItemDebug; }
  QAction* LogItem() const { return MenuItemLog; }
  QMenu* Popup() const { return PopupMenu; }
  QAction* ServiceAction(shell::ServiceItem item) const {
    return service_items_[shell::Index(item)];
  }
  bool CommLogEnabled() const { return shell_->CommLogEnabled(); }

  // --- FrontEnd ---
  void AppendLog(const std::string& line) override;
  void ClearLog() override;
  void DrawStatus(const std::string& text) override;
  void DrawGauge(const shell::ProgressGauge& gauge, bool restarted) override;
  void DrawNotice(const std::string& caption, bool panel_visible) override;
  void DrawButtons(const shell::ButtonStates& enabled) override;
  void DrawSwitches(bool log, bool debug) override;
  void DrawLanguage(int32_t language, const std::string& caption) override;
  void DrawServiceMenu(bool backup, const shell::ServiceStates& enabled) override;
  shell::Rect WindowRect() const override;
  shell::Size ScreenSize() const override;
  shell::Rect WorkArea() const override;
  void MoveWindow(int32_t left, int32_t top) override;
  void FinishClose() override;
  int RunMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override;
  std::string RunFileDialog(bool save, const std::string& title,
                            const std::string& start_dir) override;
  shell::DialogWindow FileDialog() const override;
  void MoveFileDialog(shell::Point at) override;
  void ShowDifferences(const shell::DifferenceListing& listing) override;
  bool OpenFolder(const std::string& path) override;
  void PumpMessages() override;
  void Post(std::function<void()> task) override;
  void SetTimer(shell::WindowTimer timer, uint32_t interval_ms) override;

 public slots:
  void SpeedButtonLanguageMakerxClick() { LanguageItemClick(0); }
  void MenuItemDebugClick();
  void MenuItemLogClick();
  void MenuItemBackupClick();
  void MenuItemLanguageRussianxClick() { LanguageItemClick(0); }
  void MenuItemLanguageEnglishxClick() { LanguageItemClick(1); }
  void MemoDblClick() { ClearLog(); }
  void TimerQELPADTestTimer() { shell_->TimerTick(shell::WindowTimer::TimerQELPADTest); }
  void TimerOnShowTimer() { shell_->TimerTick(shell::WindowTimer::TimerOnShow); }
  void UniversalTimerTimer() { shell_->TimerTick(shell::WindowTimer::UniversalTimer); }
  void TimerFlashTimer() { shell_->TimerTick(shell::WindowTimer::TimerFlash); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildForm();
  QToolButton* AddSpeedButton(QWidget* bar, const char* name, int x, const char* glyph,
                              const char* hint, bool show_hint);
  QTimer* TimerOf(shell::WindowTimer timer) const;
  // The items check themselves when clicked; a switch that waits for a
  // running operation must not show the new language checked before it.
  void LanguageItemClick(int32_t index);

  WindowSeams* seams_;
  bool run_timers_;

  // The form's components, named as the translation table knows them.
  QToolBar* MainToolBar = nullptr;
  std::array<QToolButton*, 8> buttons_{};
  QToolButton* SpeedButtonLanguageMakerx = nullptr;
  Panel* PanelMenu = nullptr;
  GaugeWidget* CGaugeProgressProcent = nullptr;
  QStatusBar* StatusBar = nullptr;
  QLabel* StatusPanel = nullptr;
  Panel* MainPanel = nullptr;
  QPlainTextEdit* Memo = nullptr;
  QTimer* TimerQELPADTest = nullptr;
  QTimer* TimerOnShow = nullptr;
  QTimer* UniversalTimer = nullptr;
  QTimer* TimerFlash = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* MenuItemDebug = nullptr;
  QAction* MenuItemLog = nullptr;
  QAction* MenuItemBackup = nullptr;
  QMenu* ServiceMenu = nullptr;
  QAction* MenuItemService = nullptr;
  std::array<QAction*, shell::kServiceItemCount> service_items_{};
  QMenu* LanguageMenu = nullptr;
  QAction* MenuItemLanguagex = nullptr;
  QAction* MenuItemLanguageRussianx = nullptr;
  QAction* MenuItemLanguageEnglishx = nullptr;

  std::unique_ptr<shell::WindowShell> shell_;
  QFileDialog* current_dialog_ = nullptr;
};

}  // namespace rtd::app
