// Which of the eight operation buttons are enabled.
#pragma once

#include <array>
#include <cstddef>

#include "core/output_services.h"

namespace rtd::shell {

inline constexpr std::size_t kToolButtonCount = 8;

// Indexed by ToolButton.
using ButtonStates = std::array<bool, kToolButtonCount>;

inline constexpr std::size_t Index(ToolButton button) { return static_cast<std::size_t>(button); }

// During an operation, or with no programmer, nothing is enabled. A
// connected programmer allows its reset, the touch readout and the connect
// check; an identified flash also allows read, write, both compares and the
// RTD2662 reset (the controller reset makes the flash unknown again).
inline ButtonStates SetButtonsStateRule(bool busy, bool connected, bool flash_identified) {
  ButtonStates on{};
  if (busy || !connected) return on;
  on[Index(ToolButton::SpeedButtonReset)] = true;
  on[Index(ToolButton::SpeedButtonGetTouchParam)] = true;
  on[Index(ToolButton::SpeedButtonConnect)] = true;
  if (!flash_identified) return on;
  on[Index(ToolButton::SpeedButtonRead)] = true;
  on[Index(ToolButton::SpeedButtonWrite)] = true;
  on[Index(ToolButton::SpeedButtonCompare)] = true;
  on[Index(ToolButton::SpeedButtonCompareFast)] = true;
  on[Index(ToolButton::SpeedButtonResetRTD2662)] = true;
  return on;
}

}  // namespace rtd::shell
