// Where the main window, its message boxes and its dialogs go: boxes and
// dialogs over the middle of the main window, whatever the system would
// choose, and every one of them inside the screen's work area, so that no
// question ever opens where the user cannot answer it.
#pragma once

#include <cstdint>
#include <optional>

namespace rtd::shell {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int32_t width = 0;
  int32_t height = 0;
};

// A window's outer rectangle in screen pixels.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Centred over the main window; when the window's own size cannot be read,
// its top-left corner goes 200 pixels up and left of the main window's
// centre. Every halving truncates toward zero.
Point CentredOver(const Rect& main_window, std::optional<Size> window);

// The least move that puts a window of this size at `at` inside the work
// area. A window larger than the area keeps its top-left corner (its
// caption, to move it by) inside.
Point KeptInside(Point at, Size size, const Rect& work_area);

// A message box: centred horizontally, 50 pixels below the centre, kept
// inside the work area (a box of unknown size keeps its corner inside).
Point MessageBoxPosition(const Rect& main_window, std::optional<Size> box, const Rect& work_area);

// A dialog of its own size (the hex view): no larger than the
// work area, centred over the main window and kept inside the area.
Rect DialogPlacement(const Rect& main_window, Size wanted, const Rect& work_area);

// A file dialog is held centred over the main window for its first 50
// ticks of the 1 ms timer that count: only ticks while the dialog's window
// exists count. Afterwards the user may move it.
class FileDialogCentring {
 public:
  static constexpr int32_t kTicks = 50;

  void Start() { countdown_ = kTicks; }
  // One tick. Whether to move the dialog now; *keep_timer tells whether
  // the timer goes on.
  bool Tick(bool dialog_window_exists, bool* keep_timer);
  int32_t countdown() const { return countdown_; }

 private:
  int32_t countdown_ = 0;
};

}  // namespace rtd::shell
