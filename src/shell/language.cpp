#include "shell/language.h"

#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd::shell {

int32_t LanguageForIndex(int32_t index, int32_t current) {
  if (index == -1) return current;
  return index == kLanguageEnglish ? kLanguageEnglish : kLanguageRussian;
}

std::string WindowCaption() {
  constexpr LangText kTitle = LANG_TEXT("Программатор RTD2662. Версия %s (rtdprog, 2026)",
                                        "Programmer RTD2662. Version %s (rtdprog, 2026)");
  return FormatText(PickLangText(kTitle), ProgramVersion);
}

}  // namespace rtd::shell
