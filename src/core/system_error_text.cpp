#include "core/system_error_text.h"

#include <cstring>

#include "i18n/lang.h"

#ifdef _WIN32
#include "core/windows_error.h"
#else
#include <locale.h>

#include <cstdlib>
#endif

namespace rtd {

#ifdef _WIN32

// The C runtime speaks English only.
std::string SystemErrorText(int error) { return std::strerror(error); }

std::string SystemErrorText(const std::error_code& error) {
  if (error.category() == std::system_category())
    return win::SystemErrorText(static_cast<uint32_t>(error.value()));
  return SystemErrorText(error.value());
}

#else

namespace {

// gettext, which gives strerror_l its words, puts $LANGUAGE (the languages a
// user may list for every program) before the locale, except in the C
// locale: "uk" there would make the reasons of the Russian window
// Ukrainian. For the call it names Russian alone. Only a value that is set
// is swapped, which replaces one pointer of the environment (nothing in it
// moves) and is undone at once.
class RussianFirst {
 public:
  explicit RussianFirst(bool wanted) {
    const char* list = wanted ? std::getenv("LANGUAGE") : nullptr;
    if (list == nullptr || *list == '\0') return;
    saved_ = list;
    swapped_ = ::setenv("LANGUAGE", "ru", 1) == 0;
  }
  ~RussianFirst() {
    if (swapped_) ::setenv("LANGUAGE", saved_.c_str(), 1);
  }
  RussianFirst(const RussianFirst&) = delete;
  RussianFirst& operator=(const RussianFirst&) = delete;

 private:
  std::string saved_;
  bool swapped_ = false;
};

}  // namespace

std::string SystemErrorText(int error) {
  // The texts follow LC_MESSAGES, in the character set of LC_CTYPE (UTF-8,
  // the program's own). English is the texts' own language: the C locale.
  const char* words = CurrentLanguage == kLanguageRussian ? "ru_RU.UTF-8" : "C";
  locale_t locale = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, words, locale_t{});
  if (locale == locale_t{}) locale = newlocale(LC_MESSAGES_MASK | LC_CTYPE_MASK, "C", locale_t{});
  if (locale == locale_t{}) return std::strerror(error);
  std::string text;
  {
    const RussianFirst russian(CurrentLanguage == kLanguageRussian);
    text = strerror_l(error, locale);
  }
  freelocale(locale);
  return text;
}

std::string SystemErrorText(const std::error_code& error) {
  if (error.category() == std::generic_category() || error.category() == std::system_category())
    return SystemErrorText(error.value());
  return error.message();
}

#endif

}  // namespace rtd
