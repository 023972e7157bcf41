// A message box as the front end is to show it: its icon, its buttons and
// which of them is the default, its caption and text. The shell turns the
// flash operations' kind (MB_ICON*, MB_OKONLY) into this once, so no front
// end decodes bits.
#pragma once

#include <cstdint>
#include <string>

namespace rtd::shell {

enum class BoxIcon { kNone, kError, kQuestion, kWarning, kInformation };
enum class BoxButtons { kOk, kYesNo };

struct BoxDesign {
  BoxIcon icon = BoxIcon::kNone;
  BoxButtons buttons = BoxButtons::kOk;
  int default_answer = 1;  // IDOK, IDYES or IDNO
  std::string caption;
  std::string text;

  // A box with one OK button that only tells (a warning to take note of)
  // asks nothing: tests' planned answers pass it by.
  bool AsksNothing() const { return icon == BoxIcon::kWarning && buttons == BoxButtons::kOk; }
  // The answer a closing window gives: No to a question, OK otherwise.
  int SafeAnswer() const;
};

// Questions and warnings ask Yes or No (Yes the default, No with
// MB_DEFAULT_NO), unless MB_OKONLY makes a warning one to take note of; the
// rest have one OK.
BoxDesign DescribeBox(uint32_t kind, const std::string& caption, const std::string& text);

}  // namespace rtd::shell
