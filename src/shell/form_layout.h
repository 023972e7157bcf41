// The main window's form as designed: the sizes every window front end lays
// its controls out by, in pixels at 96 dpi (each front end scales them to
// the screen).
#pragma once

namespace rtd::shell::form_layout {

inline constexpr int kClientWidth = 631;
inline constexpr int kClientHeight = 441;
inline constexpr int kToolBarHeight = 29;
inline constexpr int kStatusBarHeight = 19;
inline constexpr int kButtonWidth = 23;
inline constexpr int kButtonHeight = 22;
inline constexpr int kPanelMenuLeft = 217;
inline constexpr int kPanelMenuWidth = 412;
inline constexpr int kGaugeWidth = 413;
inline constexpr int kStatusPanelWidth = 800;

}  // namespace rtd::shell::form_layout
