// Applies a translation table (i18n/form_translation.h) to a window.
//
//   TranslateForm(FormTranslationTable, mainWindow);
//
// The language switch calls this after every change of CurrentLanguage,
// including the first one at start-up: the window is designed in Russian,
// and the walk is also what switches on the hints the design leaves hidden.
//
// Keys are "<form>_<control>_<Property>" with the objectName of the form and
// of each control, Property one of Caption, Items, Hint. Which control takes
// which key, and what it keeps across the change, is the table beside
// TranslateForm in translate_form.cpp. Controls are matched by their exact
// class name: a subclass under another name takes nothing. Controls whose
// name ends in a lower-case "x" are never touched.
//
// Hints: a control keeps its hint in the dynamic property "hint" (QString);
// the bool dynamic property "showHint" says whether it shows as the tooltip.
// A hint from the table sets "hint", "showHint" = true and the toolTip; a
// menu item (QAction) gets "hint", its toolTip and statusTip, no "showHint".
#pragma once

#include "i18n/form_translation.h"

class QWidget;

namespace rtd::app {

// Sets the captions, item lists and hints of form and of every object it
// owns (children at any depth, menus and their QActions included) for which
// table has a row, in the text of CurrentLanguage. table ends with a row
// whose key is empty. Rows without a control, and controls of other classes,
// are passed over silently.
void TranslateForm(const TranslationEntry* table, QWidget* form);

}  // namespace rtd::app
