#include "shell/placement.h"

#include <algorithm>

namespace rtd::shell {

Point CentredOver(const Rect& main_window, std::optional<Size> window) {
  const int32_t cx = main_window.left + main_window.width / 2;
  const int32_t cy = main_window.top + main_window.height / 2;
  if (!window) return {cx - 200, cy - 200};
  return {cx - window->width / 2, cy - window->height / 2};
}

namespace {

int32_t KeptInside(int32_t at, int32_t length, int32_t area_start, int32_t area_length) {
  const int32_t last = area_start + area_length - length;
  if (at > last) at = last;
  if (at < area_start) at = area_start;
  return at;
}

}  // namespace

Point KeptInside(Point at, Size size, const Rect& work_area) {
  return {KeptInside(at.x, size.width, work_area.left, work_area.width),
          KeptInside(at.y, size.height, work_area.top, work_area.height)};
}

Point MessageBoxPosition(const Rect& main_window, std::optional<Size> box, const Rect& work_area) {
  Point p = CentredOver(main_window, box);
  p.y += 50;
  return KeptInside(p, box.value_or(Size{}), work_area);
}

Rect DialogPlacement(const Rect& main_window, Size wanted, const Rect& work_area) {
  const Size size{std::min(wanted.width, work_area.width), std::min(wanted.height, work_area.height)};
  const Point at = KeptInside(CentredOver(main_window, size), size, work_area);
  return {at.x, at.y, size.width, size.height};
}

bool FileDialogCentring::Tick(bool dialog_window_exists, bool* keep_timer) {
  *keep_timer = true;
  if (!dialog_window_exists) return false;
  if (--countdown_ <= 0) *keep_timer = false;
  return true;
}

}  // namespace rtd::shell
