// The main window on Windows, built on the system's own controls: a
// toolbar of eight operation buttons and the notice panel with the
// progress gauge, the log, and a one-panel status bar. The shell's
// WindowShell decides everything; this window draws what it says and hands
// it the clicks, the close request and the timers' ticks. Everything runs
// on the one GUI thread.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "shell/form/window_seams.h"
#include "shell/front_end.h"
#include "shell/hex_view_window.h"
#include "shell/hex_viewer.h"
#include "shell/session.h"
#include "shell/window_shell.h"
// After the core's headers: windows.h defines macros named like some of
// their constants.
#include "winapp/controls.h"

namespace rtd::winapp {

// Child and command ids.
inline constexpr int kIdToolBar = 10;
inline constexpr int kIdPanelMenu = 11;
inline constexpr int kIdGauge = 12;
inline constexpr int kIdStatusBar = 13;
inline constexpr int kIdMainPanel = 14;
inline constexpr int kIdMemo = 15;
inline constexpr int kIdFirstBevel = 16;       // + the spacer's place in the form
inline constexpr int kIdFirstButton = 100;     // + ToolButton
inline constexpr int kIdLanguageMaker = 120;
inline constexpr int kCmdFirstMenuItem = 200;  // + MenuItem
// The controls of the hex view.
inline constexpr int kIdHexAddress = 300;
inline constexpr int kIdHexGo = 301;
inline constexpr int kIdHexFind = 302;
inline constexpr int kIdHexFindHex = 303;
inline constexpr int kIdHexFindPrevious = 304;
inline constexpr int kIdHexFindNext = 305;
inline constexpr int kIdHexRanges = 306;
inline constexpr int kIdHexRows = 307;
inline constexpr int kIdHexStatus = 308;
inline constexpr int kIdHexStart = 309;
inline constexpr int kIdHexLength = 310;
inline constexpr int kIdHexSave = 311;
inline constexpr int kIdHexPreviousDifference = 312;
inline constexpr int kIdHexNextDifference = 313;
inline constexpr int kIdHexCopy = 314;
inline constexpr int kIdHexFirstLabel = 320;  // + the label's place

// What tests put in place of a person.
using WindowSeams = shell::WindowSeams<HWND>;

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
  bool enabled = true;    // menu items
  int command = 0;        // menu items: the WM_COMMAND id (0: a submenu)
};

class MainWindow : public shell::WindowView,
                 public shell::UserDialogs,
                 public shell::EventLoop, public shell::HexViewWindow {
 public:
  // seams may be null (a person answers). Create() builds the window.
  MainWindow(std::unique_ptr<HidPlatform> platform, Clock& clock, const shell::SessionPaths& paths,
             WindowSeams* seams = nullptr);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Registers the classes, makes the window and starts the shell. False
  // with the system's reason in *error when the window cannot be made.
  bool Create(HINSTANCE instance, std::string* error);
  HWND hwnd() const { return window_; }
  // Whether the window has been destroyed (its close has ended).
  bool destroyed() const { return destroyed_; }

  shell::WindowShell& shell() { return *shell_; }
  shell::Session& session() { return shell_->session(); }
  HWND Button(ToolButton button) const { return buttons_[static_cast<std::size_t>(button)]; }
  std::string StatusText() const;
  std::string LogText() const;
  std::string PanelCaption() const;
  bool PanelVisible() const;
  bool GaugeVisible() const;
  std::string GaugeText() const;
  const Component* Find(const std::string& name) const;
  // The tooltip a control shows, by its form name ("" when none).
  std::string Tooltip(const std::string& name) const;
  // The popup menu as it would open now: its items' captions and checks.
  HMENU BuildPopupMenu() const;
  // The hex view while its dialog is open (null otherwise).
  shell::HexViewDialog* OpenHexView() const { return hex_; }

  // A chosen item of the popup menu, by its WM_COMMAND id.
  void MenuCommand(int command);

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

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK MemoProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR data);
  static LRESULT CALLBACK MessageBoxHookProc(int code, WPARAM wparam, LPARAM lparam);
  static INT_PTR CALLBACK HexViewDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                            LPARAM lparam);
  static UINT_PTR CALLBACK FileDialogHookProc(HWND dialog, UINT message, WPARAM wparam,
                                              LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  int Scale(int pixels) const;
  RECT Place(int left, int top, int width, int height) const;
  void BuildForm();
  void BuildToolBar();
  void BuildMenu();
  Component& AddComponent(const std::string& name, const std::string& kind, HWND window);
  Component& Item(const std::string& name);
  void SetHint(Component& c, const std::string& hint, bool show);
  void TranslateForm();
  void ShowPopupMenu(int x, int y);
  void Destroy();
  // The window a box or a chooser belongs to: the hex view while it is
  // open (so it takes no input meanwhile), else the main window.
  HWND ModalOwner() const { return hex_dialog_ != nullptr ? hex_dialog_ : window_; }
  // The hex view's controls: made, laid out, a command, drawn again.
  void BuildHexView(HWND dialog);
  void LayOutHexView();
  void HexViewCommand(int id, int code, HWND control);
  void RefreshHexView();

  // The one window: the hooks of the boxes and dialogs have no other way
  // to find it.
  static MainWindow* current_;

  WindowSeams* seams_;
  bool run_timers_;
  HINSTANCE instance_ = nullptr;
  int dpi_ = 96;

  HWND window_ = nullptr;
  HWND MainToolBar = nullptr;
  std::array<HWND, shell::kToolButtonCount> buttons_{};
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

  std::unique_ptr<shell::WindowShell> shell_;
  std::deque<std::function<void()>> posted_;
  HWND current_dialog_ = nullptr;  // the file dialog's top-level window while one runs
  shell::HexViewDialog* hex_ = nullptr;  // while the hex view runs
  HWND hex_dialog_ = nullptr;             // its dialog's window
  uint64_t hex_selection_shown_ = 0;      // the selection the range fields show
  bool typed_without_extension_ = false;  // in the file dialog being run
  bool box_placed_ = false;
  const shell::BoxDesign* box_ = nullptr;  // the box being shown
  HHOOK box_hook_ = nullptr;
  bool destroyed_ = false;
};

}  // namespace rtd::winapp
