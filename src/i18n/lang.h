// Two-language texts. A LangText is one literal holding the Russian text, a
// NUL, the English text and a final NUL, side by side in the source:
//
//   LANG_TEXT("Нет связи", "No connect")
//
// Texts are picked for the current language at the moment they are shown.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

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
// The same for a given language.
const char* LangTextOf(LangText text, int32_t language);

// A text put together at run time (a reason with a number or a path in it)
// that may be shown long after it was made, after a language switch too:
// made in both languages and picked, as a LangText is, when it is shown.
class TwoLanguageText {
 public:
  TwoLanguageText() = default;
  // Words that are the same in both languages (a name, a path).
  explicit TwoLanguageText(std::string same) : russian_(same), english_(std::move(same)) {}
  TwoLanguageText(std::string russian, std::string english)
      : russian_(std::move(russian)), english_(std::move(english)) {}
  // Both halves of a LangText.
  static TwoLanguageText Of(LangText text) {
    return {LangTextOf(text, kLanguageRussian), LangTextOf(text, kLanguageEnglish)};
  }
  // Each half made by make(language), from the LangTexts of that language.
  template <typename Make>
  static TwoLanguageText Made(Make make) {
    return {make(kLanguageRussian), make(kLanguageEnglish)};
  }

  bool empty() const { return russian_.empty() && english_.empty(); }
  // The text of the current language.
  const std::string& Picked() const {
    return CurrentLanguage == kLanguageEnglish ? english_ : russian_;
  }

 private:
  std::string russian_;
  std::string english_;
};

}  // namespace rtd
