#include "i18n/lang.h"

namespace rtd {

int32_t CurrentLanguage = kLanguageRussian;

const char* PickLangText(LangText text) {
  int32_t n = CurrentLanguage > 0 ? CurrentLanguage : 0;
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
