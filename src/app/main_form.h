// The main window: a toolbar of eight operation buttons and a notice panel
// with the progress gauge, the log, and a one-panel status bar. Every
// button is a flash operation of the shell's session; the window provides
// the output services they report through, and the connection watch runs
// on its 200 ms timer.
#pragma once

#include <QMainWindow>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "core/clock.h"
#include "core/output_services.h"
#include "shell/connection_watch.h"
#include "shell/gauge.h"
#include "shell/placement.h"
#include "shell/session.h"

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
  // Called with each box or file dialog once it is shown and placed.
  std::function<void(QWidget*)> on_modal_shown;
  // Called on every message pump (tests act "between blocks" here).
  std::function<void()> on_pump;
  // False: the timers only record whether they are enabled, and the test
  // ticks them by calling their handlers; no real time passes.
  bool run_timers = true;
};

class MainForm : public QMainWindow, public OutputServices, public shell::WatchHost {
  Q_OBJECT

 public:
  // seams may be null (a person answers).
  MainForm(std::unique_ptr<HidPlatform> platform, Clock& clock, const shell::SessionPaths& paths,
           WindowSeams* seams = nullptr);
  ~MainForm() override;

  // -1: the current language, nothing changes; 1: English; anything else
  // Russian. Returns the language in force.
  int32_t SetLanguage(int32_t index);
  void UpdateCaption();
  // MenuItemDebug and MenuItemLog are shown or hidden together.
  void ShowDebugItems(bool visible);

  shell::Session& session() { return *session_; }
  shell::ConnectionWatch& watch() { return *watch_; }
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
  bool CommLogEnabled() const override;

  // --- WatchHost ---
  void ClearLog() override;
  void SetWatchTimerEnabled(bool enabled) override;

 public slots:
  void SpeedButtonResetClick();
  void SpeedButtonConnectClick();
  void SpeedButtonReadClick();
  void SpeedButtonWriteClick();
  void SpeedButtonCompareClick();
  void SpeedButtonCompareFastClick();
  void SpeedButtonResetRTD2662Click();
  void SpeedButtonGetTouchParamClick();
  void SpeedButtonLanguageMakerxClick();
  void MenuItemDebugClick();
  void MenuItemLanguageRussianxClick();
  void MenuItemLanguageEnglishxClick();
  void MemoDblClick();
  void TimerQELPADTestTimer();
  void TimerOnShowTimer();
  void UniversalTimerTimer();
  void TimerFlashTimer();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildForm();
  QToolButton* AddSpeedButton(QWidget* bar, const char* name, int x, const char* glyph,
                              const char* hint, bool show_hint);
  void FormCreate();
  void FormCloseQuery();
  void LoadSettings();
  void SaveSettings();
  void RetranslateWindow();
  // Runs one event handler; an exception that escapes it is shown and the
  // program goes on.
  void RunHandler(const std::function<void()>& handler);
  void RunOperation(OpResult (FlashOperations::*click)());
  int CenteredMessageBox(const std::string& text, const std::string& caption, uint32_t flags);
  std::string ChooseImage(bool save);
  bool RunFileDialog(QFileDialog& dialog);
  void CentreFileDialog();
  void ArmUniversalTimer(std::function<void()> callback, uint32_t interval_ms);
  void ToolbarNoticeEnd();
  void EnableTimer(QTimer* timer, bool enabled);
  shell::Rect MainWindowRect() const;

  Clock& clock_;
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
  QMenu* LanguageMenu = nullptr;
  QAction* MenuItemLanguagex = nullptr;
  QAction* MenuItemLanguageRussianx = nullptr;
  QAction* MenuItemLanguageEnglishx = nullptr;

  std::unique_ptr<shell::Session> session_;
  std::unique_ptr<shell::ConnectionWatch> watch_;
  shell::ProgressGauge gauge_;
  shell::ToolbarNoticeState notice_;
  std::function<void()> universal_callback_;
  shell::FileDialogCentring centring_;
  QFileDialog* current_dialog_ = nullptr;
  // Set when a close request is being handled; no new operation starts.
  bool closing_ = false;
  // Set once the window has agreed to close: a stopped operation below the
  // close finishes without boxes over a window that is gone.
  bool closed_ = false;
};

}  // namespace rtd::app
