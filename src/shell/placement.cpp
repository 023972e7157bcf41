#include "shell/placement.h"

namespace rtd::shell {

Point CentredOver(const Rect& main_window, std::optional<Size> window) {
  const int32_t cx = main_window.left + main_window.width / 2;
  const int32_t cy = main_window.top + main_window.height / 2;
  if (!window) return {cx - 200, cy - 200};
  return {cx - window->width / 2, cy - window->height / 2};
}

Point MessageBoxPosition(const Rect& main_window, std::optional<Size> box) {
  Point p = CentredOver(main_window, box);
  p.y += 50;
  return p;
}

bool FileDialogCentring::Tick(bool dialog_window_exists, bool* keep_timer) {
  *keep_timer = true;
  if (!dialog_window_exists) return false;
  if (--countdown_ <= 0) *keep_timer = false;
  return true;
}

}  // namespace rtd::shell
