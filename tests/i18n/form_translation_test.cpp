#include <gtest/gtest.h>

#include "i18n/form_translation.h"
#include "i18n/lang.h"

namespace rtd {
namespace {

struct LanguageGuard {
  int32_t saved = CurrentLanguage;
  ~LanguageGuard() { CurrentLanguage = saved; }
};

TEST(FormTranslationTable, EveryRowFoundByItsOwnKeyThenTheEndRow) {
  for (int i = 0; i < kFormTranslationRows - 1; ++i) {
    const TranslationEntry& row = FormTranslationTable[i];
    ASSERT_NE(row.key[0], '\0') << i;
    EXPECT_EQ(FindTranslation(row.key, FormTranslationTable), &row) << row.key;
  }
  const TranslationEntry& end = FormTranslationTable[kFormTranslationRows - 1];
  EXPECT_STREQ(end.key, "");
  EXPECT_STREQ(end.russian, "");
  EXPECT_STREQ(end.english, "");
}

TEST(IsUntranslatedKey, LooksAtTheCharacterBeforeTheLastUnderscore) {
  EXPECT_TRUE(IsUntranslatedKey("MainForm_MenuItemLanguagex_Caption"));
  EXPECT_TRUE(IsUntranslatedKey("MainForm_SpeedButtonLanguageMakerx_Hint"));
  EXPECT_TRUE(IsUntranslatedKey("DeleteKeyx_Caption"));
  EXPECT_TRUE(IsUntranslatedKey("x_"));
  EXPECT_FALSE(IsUntranslatedKey("MainForm_MenuItemLanguageX_Caption"));
  EXPECT_FALSE(IsUntranslatedKey("MainForm_Boxx"));
  EXPECT_FALSE(IsUntranslatedKey("Keyx"));
  EXPECT_FALSE(IsUntranslatedKey("_Hint"));
  EXPECT_FALSE(IsUntranslatedKey(""));
}

TEST(FindTranslation, FirstExactMatchUpToTheEndRowAndNeverForXNames) {
  const TranslationEntry table[] = {
      {"F_Ax_Caption", "a", "A"},       {"F_B_Hint", "first", "First"},
      {"F_B_Hint", "second", "Second"}, {"", "", ""},
      {"F_C_Hint", "after", "After"},
  };
  EXPECT_STREQ(FindTranslation("F_B_Hint", table)->russian, "first");
  EXPECT_EQ(FindTranslation("F_b_Hint", table), nullptr);
  EXPECT_EQ(FindTranslation("F_B_Hint ", table), nullptr);
  EXPECT_EQ(FindTranslation("F_C_Hint", table), nullptr);
  EXPECT_EQ(FindTranslation("F_Ax_Caption", table), nullptr);
  EXPECT_EQ(FindTranslation("", table), nullptr);
}

TEST(TranslationText, PicksByLanguageAndKeepsAnEmptyTextEmpty) {
  LanguageGuard guard;
  const TranslationEntry row = {"F_A_Caption", "Отладка", ""};
  CurrentLanguage = kLanguageRussian;
  EXPECT_STREQ(TranslationText(row), "Отладка");
  CurrentLanguage = kLanguageEnglish;
  EXPECT_STREQ(TranslationText(row), "");
}

}  // namespace
}  // namespace rtd
