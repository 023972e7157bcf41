#include "i18n/lang.h"

namespace rtd {

int32_t CurrentLanguage = kLanguageRussian;

const char* PickLangText(LangText text) { return LangTextOf(text, CurrentLanguage); }

const char* LangTextOf(LangText text, int32_t language) {
  int32_t n = language > 0 ? language : 0;
  const char* p = text;
  while (n != 0) {
    while (*p != '\0') ++p;
    ++p;
    if (*p == '\0') return "(null)";
    --n;
  }
  return p;
}

}  // namespace rtd
