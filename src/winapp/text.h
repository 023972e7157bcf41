// Text between the shell (UTF-8, lines ended by "\n") and the system's
// controls (UTF-16, lines ended by "\r\n"), and a rectangle by its size.
#pragma once

#include <string>

#include "config/windows_files.h"
#include "i18n/lang.h"
#include "core/windows_api.h"

namespace rtd::winapp {

inline constexpr LangText kDialogFailed =
    LANG_TEXT("Ошибка создания формы диалога", "Failed to create the dialog");

inline std::wstring W(const std::string& utf8) { return win::Widen(utf8); }

// The log and the boxes take line breaks as CR LF.
inline std::wstring WithCrLf(const std::string& utf8) {
  std::wstring in = W(utf8), out;
  out.reserve(in.size() + 8);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == L'\n' && (i == 0 || in[i - 1] != L'\r')) out += L'\r';
    out += in[i];
  }
  return out;
}

inline std::string WithoutCr(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text)
    if (c != L'\r') out += c;
  return win::Narrow(out);
}

inline RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

}  // namespace rtd::winapp
