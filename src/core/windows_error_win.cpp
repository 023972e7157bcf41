#include "core/windows_error.h"

#include "core/utf8.h"
#include "core/windows_api.h"

namespace rtd::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::string SystemErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
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
