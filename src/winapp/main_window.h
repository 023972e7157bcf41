// The main window on Windows, built on the system's own controls: a
// toolbar of eight operation buttons and the notice panel with the
// progress gauge, the log, and a one-panel status bar. Every button is a
// flash operation of the shell's session; the window provides the output
// services they report through, and the connection watch runs on its
// 200 ms timer. Everything runs on the one GUI thread.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/output_services.h"
#include "shell/connection_watch.h"
#include "shell/gauge.h"
#include "shell/placement.h"
#include "shell/session.h"
// After the core's headers: windows.h defines macros named like some of
// their constants.
#include "winapp/controls.h"

namespace rtd::winapp {

// What tests put in place of a person.
struct WindowSeams {
  // Answers (IDYES, IDNO, IDOK) for the next message boxes. Each box is
  // still built, placed and shown, then closed with that answer.
  std::deque<int> box_answers;
  // File names for the next file choosers; each dialog is shown, then the
  // name is typed into it and confirmed. An empty name cancels.
  std::deque<std::string> file_names;
  // Called with each box or file dialog window once it is shown and placed.
  std::function<void(HWND)> on_modal_shown;
  // Called on every message pump (tests act "between blocks" here).
  std::function<void()> on_pump;
  // False: the timers only record whether they are enabled, and the test
  // ticks them by calling their handlers; no real time passes.
  bool run_timers = true;
};

// The window's timers, by their form names.
enum class Timer { TimerQELPADTest = 1, TimerOnShow, UniversalTimer, TimerFlash };

// One component of the form: its name and kind as the translation table
// knows them, and what the translation may change.
struct Component {
  std::string name;
  std::string kind;       // "TSpeedButton", "TPanel", "TMenuItem", ...
  HWND window = nullptr;  // null for menu items and timers
  std::string caption;    // menu items keep their caption here
  std::string hint;
  bool show_hint = false;
  bool visible = true;    // menu items
  bool checked = false;   // menu items
  bool auto_check = false;
  int command = 0;        // menu items: the WM_COMMAND id
};

class MainWindow : public OutputServices, public shell::WatchHost {
 public:
  // seams may be null (a person answers). Create() builds the window.
  MainWindow(std::unique_ptr<HidPlatform> platform, Clock& clock, const shell::SessionPaths& paths,
             WindowSeams* seams = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the classes, makes the window and runs FormCreate. False
  // with the system's reason in *error when the window cannot be made.
  bool Create(HINSTANCE instance, std::string* error);
  HWND hwnd() const { return window_; }
  // Whether the window has been destroyed (its close has ended).
  bool destroyed() const { return destroyed_; }

  // -1: the current language, nothing changes; 1: English; anything else
  // Russian. Returns the language in force.
  int32_t SetLanguage(int32_t index);
  void UpdateCaption();
  // MenuItemDebug and MenuItemLog are shown or hidden together.
  void ShowDebugItems(bool visible);

  shell::Session& session() { return *session_; }
  shell::ConnectionWatch& watch() { return *watch_; }
  HWND Button(ToolButton button) const { return buttons_[static_cast<std::size_t>(button)]; }
  std::string StatusText() const;
  std::string LogText() const;
  std::string PanelCaption() const;
  bool PanelVisible() const;
  bool GaugeVisible() const;
  std::string GaugeText() const;
  bool TimerEnabled(Timer timer) const { return timers_[Slot(timer)].enabled; }
  const Component* Find(const std::string& name) const;
  const std::vector<Component>& Components() const { return components_; }
  // The popup menu as it would open now: its items' captions and checks.
  HMENU BuildPopupMenu() const;

  // The handlers, as the controls and timers call them.
  void SpeedButtonClick(ToolButton button);
  void SpeedButtonLanguageMakerxClick();
  void MenuItemDebugClick();
  void MenuItemLanguageRussianxClick();
  void MenuItemLanguageEnglishxClick();
  void MemoDblClick();
  void TimerQELPADTestTimer();
  void TimerOnShowTimer();
  void UniversalTimerTimer();
  void TimerFlashTimer();
  // A menu command by its id, as the popup menu sends it.
  void MenuCommand(int command);
  // A close request (WM_CLOSE).
  void Close();

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

 private:
  struct TimerSlot {
    bool enabled = false;
    uint32_t interval_ms = 0;
  };
  static std::size_t Slot(Timer t) { return static_cast<std::size_t>(t) - 1; }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK MessageBoxHookProc(int code, WPARAM wparam, LPARAM lparam);
  static UINT_PTR CALLBACK FileDialogHookProc(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  int Scale(int pixels) const;
  void BuildForm();
  Component& AddComponent(const std::string& name, const std::string& kind, HWND window);
  Component& Item(const std::string& name);
  void SetHint(Component& c, const std::string& hint, bool show);
  void FormCreate();
  void FormCloseQuery();
  void LoadSettings();
  void SaveSettings();
  void TranslateWindow();
  void ShowPopupMenu(int x, int y);
  // Runs one event handler; an exception that escapes it is shown and the
  // program goes on. Counts how deep handlers nest, so the window is
  // destroyed only once the last of them has returned.
  void RunHandler(const std::function<void()>& handler);
  void RunOperation(OpResult (FlashOperations::*click)());
  int CenteredMessageBox(const std::string& text, const std::string& caption, uint32_t flags);
  std::string ChooseImage(bool save);
  void CentreFileDialog();
  void ArmUniversalTimer(std::function<void()> callback, uint32_t interval_ms);
  void ToolbarNoticeEnd();
  void EnableTimer(Timer timer, bool enabled, uint32_t interval_ms = 0);
  void SetPanelVisible(bool visible);
  shell::Rect MainWindowRect() const;

  Clock& clock_;
  WindowSeams* seams_;
  bool run_timers_;
  HINSTANCE instance_ = nullptr;
  int dpi_ = 96;

  HWND window_ = nullptr;
  HWND MainToolBar = nullptr;
  std::array<HWND, 8> buttons_{};
  HWND SpeedButtonLanguageMakerx = nullptr;
  HWND PanelMenu = nullptr;
  HWND CGaugeProgressProcent = nullptr;
  HWND StatusBar = nullptr;
  HWND MainPanel = nullptr;
  HWND Memo = nullptr;
  HWND tooltip_ = nullptr;
  HFONT fixed_font_ = nullptr;
  HFONT form_font_ = nullptr;
  HICON icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::vector<Component> components_;

  std::array<TimerSlot, 4> timers_{};
  std::unique_ptr<shell::Session> session_;
  std::unique_ptr<shell::ConnectionWatch> watch_;
  shell::ProgressGauge gauge_;
  shell::ToolbarNoticeState notice_;
  std::function<void()> universal_callback_;
  shell::FileDialogCentring centring_;
  HWND current_dialog_ = nullptr;  // the file dialog's top-level window while one runs
  bool dialog_running_ = false;
  bool box_placed_ = false;
  HHOOK box_hook_ = nullptr;

  int handler_depth_ = 0;
  // Set when a close request is being handled; no new operation starts.
  bool closing_ = false;
  // Set once the window has agreed to close: a stopped operation below the
  // close finishes without boxes over a window that is gone.
  bool closed_ = false;
  bool destroy_pending_ = false;
  bool destroyed_ = false;
};

}  // namespace rtd::winapp
