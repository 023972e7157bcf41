// The translation table of the main window's designed captions and hints.
//
// The window is designed in Russian. Each row names one property of one
// control ("MainForm_SpeedButtonRead_Hint": form name, control name and
// property joined by underscores) and gives its Russian and English text.
// The language switch applies the table after every change, so the Russian
// rows are applied as well as the English ones. The walk over the window
// itself is TranslateForm (app/translate_form.h); this part is Qt-free.
#pragma once

#include <string_view>

namespace rtd {

struct TranslationEntry {
  const char* key;      // "Form_Control_Property" or "Form_Property"; empty ends a table
  const char* russian;  // text for language 0
  const char* english;  // text for language 1
};

// The main window's rows, ended by a row whose key and texts are empty.
inline constexpr int kFormTranslationRows = 23;
extern const TranslationEntry FormTranslationTable[kFormTranslationRows];

// True when the key has an underscore and the character just before its
// last underscore is a lower-case "x": controls named "...x" (the language
// menu items, whose captions are bilingual or language names) are never
// translated.
bool IsUntranslatedKey(std::string_view key);

// The first row of the table whose key equals key byte for byte, or nullptr.
// The search stops at the first row with an empty key. Always nullptr for a
// key that IsUntranslatedKey accepts.
const TranslationEntry* FindTranslation(std::string_view key, const TranslationEntry* table);

// The row's text for CurrentLanguage: English for 1, Russian otherwise. An
// empty text is returned as it is (unlike PickLangText, no "(null)").
const char* TranslationText(const TranslationEntry& entry);

}  // namespace rtd
