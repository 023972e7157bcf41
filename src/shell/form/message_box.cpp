#include "shell/form/message_box.h"

#include "core/output_services.h"

namespace rtd::shell {

int BoxDesign::SafeAnswer() const { return buttons == BoxButtons::kYesNo ? IDNO : IDOK; }

BoxDesign DescribeBox(uint32_t kind, const std::string& caption, const std::string& text) {
  BoxDesign box;
  box.caption = caption;
  box.text = text;
  switch (kind & 0xFF) {
    case MB_ICONERROR: box.icon = BoxIcon::kError; break;
    case MB_ICONQUESTION: box.icon = BoxIcon::kQuestion; break;
    case MB_ICONWARNING: box.icon = BoxIcon::kWarning; break;
    case MB_ICONINFORMATION: box.icon = BoxIcon::kInformation; break;
    default: box.icon = BoxIcon::kNone; break;
  }
  const bool asks = box.icon == BoxIcon::kQuestion || box.icon == BoxIcon::kWarning;
  if (asks && (kind & MB_OKONLY) == 0) {
    box.buttons = BoxButtons::kYesNo;
    box.default_answer = (kind & MB_DEFAULT_NO) != 0 ? IDNO : IDYES;
  }
  return box;
}

}  // namespace rtd::shell
