#include "core/output_services.h"

#include "i18n/lang.h"

namespace rtd {

std::string ClipUtf8(std::string text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t cut = max_bytes;
  // Step back over continuation bytes so no character is split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
  return text;
}

const char* MessageBoxCaption(uint32_t kind) {
  switch (kind & 0xFF) {
    case MB_ICONERROR:
      return PickLangText(LANG_TEXT("Ошибка", "Error"));
    case MB_ICONQUESTION:
      return PickLangText(LANG_TEXT("Вопрос", "Question"));
    case MB_ICONWARNING:
      return PickLangText(LANG_TEXT("Предупреждение", "Warning"));
    case MB_ICONINFORMATION:
      return PickLangText(LANG_TEXT("Информация", "Information"));
    default:
      return "";
  }
}

}  // namespace rtd
