// Two-language texts. A LangText is one literal holding the Russian text, a
// NUL, the English text and a final NUL, side by side in the source:
//
//   LANG_TEXT("Нет связи", "No connect")
//
// Texts are picked for the current language at the moment they are shown.
#pragma once

#include <cstdint>

namespace rtd {

using LangText = const char*;

// Builds a LangText from its Russian and English halves (UTF-8).
#define LANG_TEXT(russian, english) russian "\0" english

inline constexpr int32_t kLanguageRussian = 0;
inline constexpr int32_t kLanguageEnglish = 1;

// The interface language: 0 Russian (the value at start-up), 1 English.
// One per process on purpose: every text anywhere in the program is picked
// at the moment it is shown, from whatever layer shows it, so the language
// is process state rather than something handed down every call chain.
// Only the language switch (and the front ends at start-up) write it.
extern int32_t CurrentLanguage;

// Returns the text of the current language; "(null)" when that text is
// missing (never for Russian, which is first). Never fails, never allocates.
const char* PickLangText(LangText text);

}  // namespace rtd
