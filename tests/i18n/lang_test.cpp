#include <gtest/gtest.h>

#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd {
namespace {

struct LanguageGuard {
  int32_t saved = CurrentLanguage;
  ~LanguageGuard() { CurrentLanguage = saved; }
};

TEST(PickLangText, PicksTheHalfOfTheCurrentLanguage) {
  LanguageGuard guard;
  constexpr LangText text =
      LANG_TEXT("Ошибка сброса устройства\n%s", "Failed to reset the device\n%s");
  CurrentLanguage = kLanguageRussian;
  EXPECT_STREQ(PickLangText(text), "Ошибка сброса устройства\n%s");
  CurrentLanguage = kLanguageEnglish;
  EXPECT_STREQ(PickLangText(text), "Failed to reset the device\n%s");
}

TEST(PickLangText, MissingEnglishShowsNullButEmptyRussianStaysEmpty) {
  LanguageGuard guard;
  CurrentLanguage = kLanguageEnglish;
  EXPECT_STREQ(PickLangText(LANG_TEXT("Русский", "")), "(null)");
  EXPECT_STREQ(PickLangText(LANG_TEXT("", "English")), "English");
  CurrentLanguage = kLanguageRussian;
  EXPECT_STREQ(PickLangText(LANG_TEXT("", "English")), "");
}

TEST(FormatText, ClipsToTheBufferWithoutSplittingACharacter) {
  // 1 ASCII + 2-byte letters: the cut must land on a character boundary.
  std::string text = "a";
  for (int i = 0; i < 600; ++i) text += "ж";
  const std::string clipped = FormatText("%s", text.c_str());
  EXPECT_LE(clipped.size(), 999u);
  EXPECT_EQ(clipped.size() % 2, 1u);
  EXPECT_EQ(FormatText("%u", -1), "4294967295");
  EXPECT_EQ(FormatText("0x%06X", 0x12345u), "0x012345");
  EXPECT_EQ(FormatText("%lu KBytes", 2048ul), "2048 KBytes");
}

TEST(MessageBoxCaption, FollowsTheLowByteOfTheKind) {
  LanguageGuard guard;
  CurrentLanguage = kLanguageEnglish;
  EXPECT_STREQ(MessageBoxCaption(MB_ICONERROR), "Error");
  EXPECT_STREQ(MessageBoxCaption(MB_ICONWARNING | 0x1000), "Warning");
  EXPECT_STREQ(MessageBoxCaption(0), "");
  CurrentLanguage = kLanguageRussian;
  EXPECT_STREQ(MessageBoxCaption(MB_ICONQUESTION), "Вопрос");
}

}  // namespace
}  // namespace rtd
