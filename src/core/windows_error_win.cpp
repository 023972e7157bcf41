#include "core/windows_error.h"

#include "core/utf8.h"
#include "core/windows_api.h"
#include "i18n/lang.h"

namespace rtd::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

// The system's text in a language (0: the one Windows chooses), or none.
DWORD FormatSystemText(uint32_t code, DWORD language, wchar_t** text) {
  return ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, language, reinterpret_cast<wchar_t*>(text), 0, nullptr);
}

}  // namespace

std::string SystemErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  // In the program's language where Windows has it; otherwise in the one
  // Windows speaks (mostly only its own language is installed).
  const DWORD wanted = CurrentLanguage == kLanguageEnglish
                           ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                           : MAKELANGID(LANG_RUSSIAN, SUBLANG_RUSSIAN_RUSSIA);
  DWORD n = FormatSystemText(code, wanted, &text);
  if (n == 0) n = FormatSystemText(code, 0, &text);
  std::string result;
  if (n > 0 && text != nullptr)
    result = Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), n));
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.'))
    result.pop_back();
  return result.empty() ? "error " + std::to_string(code) : result;
}

}  // namespace rtd::win
