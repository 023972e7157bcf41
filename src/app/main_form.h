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
#include "shell/form/window_seams.h"
#include "shell/front_end.h"
#include "shell/hex_view_window.h"
#include "shell/window_shell.h"

class QAction;
class QDialog;
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
using WindowSeams = shell::WindowSeams<QWidget*>;

class MainForm : public QMainWindow, public shell::WindowView,
                 public shell::UserDialogs,
                 public shell::EventLoop, public shell::HexViewWindow {
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
  QMenu* Popup() const { return PopupMenu; }
  QAction* MenuAction(shell::form::MenuItem item) const { return menu_[shell::form::Index(item)]; }
  bool CommLogEnabled() const { return shell_->CommLogEnabled(); }

  // --- the shell's roles: WindowView, UserDialogs, EventLoop ---
  void AppendLog(const std::string& line) override;
  void ClearLog() override;
  void DrawStatus(const std::string& text) override;
  void DrawGauge(const shell::ProgressGauge& gauge, bool restarted) override;
  void DrawNotice(const std::string& caption, bool panel_visible) override;
  void DrawButtons(const shell::ButtonStates& enabled) override;
  void DrawMenu(const shell::form::MenuStates& items) override;
  void DrawLanguage(int32_t language, const std::string& caption) override;
  shell::Rect WindowRect() const override;
  shell::Size ScreenSize() const override;
  shell::Rect WorkArea() const override;
  void MoveWindow(int32_t left, int32_t top) override;
  void FinishClose() override;
  void EndModalParts() override;
  int RunMessageBox(const shell::BoxDesign& box) override;
  std::string RunFileDialog(bool save, const std::string& title,
                            const std::string& start_dir) override;
  shell::DialogWindow FileDialog() const override;
  void MoveFileDialog(shell::Point at) override;
  bool OpenFolder(const std::string& path) override;
  void PumpMessages() override;
  void Post(std::function<void()> task) override;
  void SetTimer(shell::WindowTimer timer, uint32_t interval_ms) override;

  // --- HexViewWindow ---
  void ShowHexView(shell::HexViewDialog& dialog) override;
  void EndHexView() override;

 public slots:
  void TimerQELPADTestTimer() { shell_->TimerTick(shell::WindowTimer::TimerQELPADTest); }
  void TimerOnShowTimer() { shell_->TimerTick(shell::WindowTimer::TimerOnShow); }
  void UniversalTimerTimer() { shell_->TimerTick(shell::WindowTimer::UniversalTimer); }
  void TimerFlashTimer() { shell_->TimerTick(shell::WindowTimer::TimerFlash); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildForm();
  void BuildToolBar(QWidget* strip, const QFont& fixed);
  void BuildMenu();
  QTimer* TimerOf(shell::WindowTimer timer) const;

  WindowSeams* seams_;
  bool run_timers_;

  // The form's components, named as the translation table knows them.
  QToolBar* MainToolBar = nullptr;
  std::array<QToolButton*, shell::kToolButtonCount> buttons_{};
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
  // The menu's items by MenuItem (a submenu by the action that opens it).
  std::array<QAction*, shell::form::kMenuItemCount> menu_{};

  std::unique_ptr<shell::WindowShell> shell_;
  QFileDialog* current_dialog_ = nullptr;  // while a file chooser runs
  QDialog* hex_dialog_ = nullptr;          // while the hex view is shown
};

}  // namespace rtd::app
