// One way to drive either window (the Qt one, the Windows one) from the same
// scenarios: start it on a programmer, click, answer boxes and choosers,
// tick timers, close, and read back what a person would see. Each window
// brings its own driver and its own MakeWindowDriver(); the scenarios know
// neither. No toolkit types here.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/output_services.h"
#include "link/hid_platform.h"
#include "shell/front_end.h"
#include "shell/hex_view.h"
#include "shell/placement.h"
#include "shell/session.h"
#include "shell/window_shell.h"

namespace rtd::test {

// A message box as it was shown.
struct ShownBox {
  std::string caption;
  std::string text;
  int buttons = 0;                 // how many buttons it offered
  std::vector<std::string> button_texts;
  shell::Rect rect;                // its outer rectangle, once placed
  shell::Rect window;              // the main window's outer rectangle then
  bool watch_running = false;      // the watch timer while it was open
};

// A file dialog as it stood when it was answered.
struct ShownDialog {
  std::string title;
  std::string start_dir;           // the folder it opened in
  shell::Rect rect;
  shell::Rect window;
};

// The hex view as it is shown: its rows on show with their marks, the
// scroll bar, the status line and the range fields; a compare's list of
// ranges, and what its Copy button put on the clipboard; whether the rows'
// line and the status line are each seen whole.
struct ShownHexView {
  std::string title;
  shell::Rect rect;
  std::vector<std::string> ranges;
  std::vector<shell::HexRowText> rows;
  int scroll = 0;                  // the vertical scroll bar's position and its end
  int scroll_end = 0;
  std::string status;
  std::string start, length;
  std::string copied;
  bool line_whole = false;         // every column of the rows, none cut off
  bool status_whole = false;       // every line of the status, none cut off
  bool status_below_rows = false;  // the status in its own room, none of it over the rows
};

class WindowDriver {
 public:
  virtual ~WindowDriver() = default;

  // --- the script, read by the driver as things happen ---
  // Answers (IDYES, IDNO, IDOK) for the next boxes; each box is still
  // built, placed and shown first.
  std::deque<int> box_answers;
  // Names typed into the next file dialogs and confirmed; "" cancels.
  std::deque<std::string> file_names;
  // Called on every message pump with its number since the last Click (the
  // scenarios act "between blocks" here).
  std::function<void(int pump)> on_pump;
  // Called once a box or a dialog is shown and placed, before its answer.
  std::function<void()> on_modal_shown;
  // What was shown, in order.
  std::vector<ShownBox> boxes;
  std::vector<ShownDialog> dialogs;
  // Called once a hex view is shown (after on_modal_shown); the driver
  // closes the view when it returns.
  std::function<void()> in_hex_view;
  std::vector<ShownHexView> hex_views;  // each as it was first shown
  // Folders the window asked the system to open, and whether that works.
  std::vector<std::string> opened_folders;
  bool folders_open = true;

  // --- the window ---
  // A new window (the old one goes first) on this programmer. Timers do
  // not run by themselves; Tick delivers them.
  virtual void Start(std::unique_ptr<HidPlatform> programmer, Clock& clock,
                     const shell::SessionPaths& paths) = 0;
  // The shell behind the window (the state the user cannot see).
  virtual shell::WindowShell& Shell() = 0;

  // --- the user ---
  // Clicks a toolbar button and lets everything the click started run.
  virtual void Click(ToolButton button) = 0;
  // Clicks inside whatever runs now (from on_pump or on_modal_shown).
  virtual void ClickNow(ToolButton button) = 0;
  // Picks a popup menu item by its component name ("MenuItemDebug",
  // "MenuItemLanguageRussianx").
  virtual void ChooseMenuItem(const std::string& name) = 0;
  // Picks an item of the Service submenu ("MenuItemServiceErase") and, as
  // Click, lets everything it started run.
  virtual void ChooseServiceItem(const std::string& name) = 0;
  virtual void DoubleClickLog() = 0;
  // The window's close button. True when the window went at once.
  virtual bool Close() = 0;
  // One tick of a timer, delivered as the timer would.
  virtual void Tick(shell::WindowTimer timer) = 0;

  // --- what is seen ---
  virtual std::vector<std::string> Log() = 0;
  virtual std::string Status() = 0;
  virtual std::vector<ToolButton> EnabledButtons() = 0;
  virtual std::string Caption() = 0;
  virtual std::string PanelCaption() = 0;
  virtual bool PanelVisible() = 0;
  virtual bool GaugeVisible() = 0;
  // The tooltip a control shows, by its component name ("" when none).
  virtual std::string Hint(const std::string& control) = 0;
  virtual std::string MenuText(const std::string& item) = 0;
  virtual bool MenuChecked(const std::string& item) = 0;
  virtual bool MenuVisible(const std::string& item) = 0;
  virtual bool MenuEnabled(const std::string& item) = 0;
  // Whether a timer is switched on, and its interval.
  virtual bool TimerRunning(shell::WindowTimer timer) = 0;
  virtual uint32_t TimerInterval(shell::WindowTimer timer) = 0;
  // The window has gone.
  virtual bool Closed() = 0;
  // The window's outer rectangle, and the work area of its screen.
  virtual shell::Rect WindowRect() = 0;
  virtual shell::Rect WorkArea() = 0;
  // Whether the window takes the user's clicks now (no modal part over it).
  virtual bool TakesInput() = 0;

  // --- in the hex view, while it is open (from in_hex_view) ---
  virtual ShownHexView HexView() = 0;
  virtual void HexKey(shell::HexKey key, bool ctrl = false, bool shift = false) = 0;
  // A click on a row on show (0: the top one), at a column of its line.
  virtual void HexClick(int visible_row, int column, bool shift = false) = 0;
  // Typed into the address field, then Go.
  virtual void HexGoTo(const std::string& address) = 0;
  // Typed into the find field, Hex checked or not, then Next or Previous.
  virtual void HexFind(const std::string& what, bool hex, bool backwards = false) = 0;
  virtual void HexDifference(bool backwards) = 0;
  virtual void HexChooseRange(int index) = 0;
  // Types start and length (empty: as the fields stand) and presses Save;
  // the chooser takes the next of file_names.
  virtual void HexSaveRange(const std::string& start = "", const std::string& length = "") = 0;
  // The dialog's outer size, as a drag of its frame would set it.
  virtual void HexResize(int width, int height) = 0;
};

// The driver of the window this test program is built with.
std::unique_ptr<WindowDriver> MakeWindowDriver();

}  // namespace rtd::test
