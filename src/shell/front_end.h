// What a window must do for the shell: draw, show, ask, arm timers. Every
// decision (when a timer runs, what a click means, when the window may
// close, what is saved) is the shell's; a front end implements these calls
// with its own widgets and passes the user's actions and its timers' ticks
// on to the WindowShell.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/output_services.h"
#include "shell/buttons.h"
#include "shell/form/form.h"
#include "shell/form/message_box.h"
#include "shell/gauge.h"
#include "shell/placement.h"
#include "shell/service_menu.h"

namespace rtd::shell {

// The main window's four timers, by their component names.
enum class WindowTimer {
  TimerQELPADTest,  // the connection watch, 200 ms
  TimerOnShow,      // keeps a file dialog centred while it opens, 1 ms
  UniversalTimer,   // ends a toolbar notice
  TimerFlash,       // blinks a toolbar notice
};
inline constexpr int kWindowTimerCount = 4;

// A file dialog as the centring timer sees it.
struct DialogWindow {
  bool exists = false;         // its top-level window has been made
  std::optional<Size> size;    // none when its rectangle cannot be read
};

// A front end's duties fall in three, as a terminal program's window
// draws the terminal, asks its user and runs its loop: what it shows (the
// window and its controls), what it asks the user in a modal part, and the
// event loop the shell's long operations pump. The shell takes each on its
// own; each window plays all three (and the hex view's role) itself.

// --- what the window shows ---
class WindowView {
 public:
  virtual ~WindowView() = default;

  virtual void AppendLog(const std::string& line) = 0;
  virtual void ClearLog() = 0;
  virtual void DrawStatus(const std::string& text) = 0;
  // The gauge as the shell holds it; restarted: a new operation began (the
  // window may lay the panel out again).
  virtual void DrawGauge(const ProgressGauge& gauge, bool restarted) = 0;
  // The toolbar notice's panel: its caption and whether it shows (blink).
  virtual void DrawNotice(const std::string& caption, bool panel_visible) = 0;
  virtual void DrawButtons(const ButtonStates& enabled) = 0;
  // Every item of the popup menu: shown, checked, may be chosen.
  virtual void DrawMenu(const form::MenuStates& items) = 0;
  // The caption (already in the new language), the walk over the window's
  // designed texts and the toolkit's own texts.
  virtual void DrawLanguage(int32_t language, const std::string& caption) = 0;

  // The outer rectangle in screen pixels, and the primary screen's size.
  virtual Rect WindowRect() const = 0;
  virtual Size ScreenSize() const = 0;
  // The work area (the screen less its task bars) of the screen that holds
  // the window now, in screen pixels.
  virtual Rect WorkArea() const = 0;
  virtual void MoveWindow(int32_t left, int32_t top) = 0;
  // The shell has finished the close sequence: the window goes now (a
  // close request that arrives after this is granted at once).
  virtual void FinishClose() = 0;
};

// --- what the window asks the user, modally, and the system's own parts ---
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;

  // A modal box as described, placed by MessageBoxPosition as it opens,
  // owned by the window (which takes no input meanwhile); the answer
  // (IDYES, IDNO, IDOK; IDCANCEL when shut otherwise).
  virtual int RunMessageBox(const BoxDesign& box) = 0;
  // The system's open or save dialog for *.BIN files (default suffix BIN,
  // no question before replacing, resizable) starting in start_dir (empty:
  // the system's choice), modal over the window. The chosen path, or empty
  // when cancelled. The shell's TimerOnShow runs while it is open.
  virtual std::string RunFileDialog(bool save, const std::string& title,
                                    const std::string& start_dir) = 0;
  virtual DialogWindow FileDialog() const = 0;
  virtual void MoveFileDialog(Point at) = 0;
  // The user has closed the window while a file chooser is open below it:
  // shut it, as its Cancel would, so the handler that opened it can return
  // and the close finish.
  virtual void EndModalParts() = 0;
  // Opens an existing folder in the system's file manager; false when that
  // could not be done.
  virtual bool OpenFolder(const std::string& path) = 0;
};

// --- the event loop the shell runs in ---
class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Runs pending input and timers once.
  virtual void PumpMessages() = 0;
  // Runs task from the event loop once the current handler has returned.
  virtual void Post(std::function<void()> task) = 0;
  // Switches a timer on with this interval (restarting it) or off (0).
  virtual void SetTimer(WindowTimer timer, uint32_t interval_ms) = 0;
};

}  // namespace rtd::shell
