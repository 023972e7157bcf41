#include "app/translate_form.h"

#include <QAction>
#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QListWidget>
#include <QPointer>
#include <QSignalBlocker>
#include <QTabBar>
#include <QToolButton>
#include <QVariant>
#include <QWidget>
#include <cstring>
#include <vector>

#include "app/own_controls.h"

namespace rtd::app {
namespace {

// The rows found for one control.
struct Entries {
  const TranslationEntry* caption = nullptr;
  const TranslationEntry* items = nullptr;
  const TranslationEntry* hint = nullptr;
};

QString Text(const TranslationEntry& entry) { return QString::fromUtf8(TranslationText(entry)); }

// A list text split into items at line breaks (CR LF, LF or CR); a break at
// the very end adds no empty item, and an empty text is an empty list.
QStringList Lines(const TranslationEntry& entry) {
  QString text = Text(entry);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"))
      .replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.last().isEmpty()) lines.removeLast();
  return lines;
}

void SetHint(QWidget* control, const Entries& e) {
  if (e.hint == nullptr) return;
  const QString hint = Text(*e.hint);
  control->setProperty("hint", hint);
  control->setProperty("showHint", true);
  control->setToolTip(hint);
}

// Caption, hint, nothing kept: the controls whose caption is one text.
template <typename Control, auto kSetCaption>
void CaptionAndHint(QObject* object, const Entries& e) {
  auto* control = static_cast<Control*>(object);
  if (e.caption != nullptr) (control->*kSetCaption)(Text(*e.caption));
  SetHint(control, e);
}

void HintOnly(QObject* object, const Entries& e) { SetHint(static_cast<QWidget*>(object), e); }

void Panel(QObject* object, const Entries& e) {
  // rtd::app::Panel shows its caption through its "text" property.
  if (e.caption != nullptr) object->setProperty("text", Text(*e.caption));
  SetHint(static_cast<QWidget*>(object), e);
}

void MenuItem(QObject* object, const Entries& e) {
  auto* action = static_cast<QAction*>(object);
  if (e.caption != nullptr) action->setText(Text(*e.caption));
  if (e.hint != nullptr) {
    const QString hint = Text(*e.hint);
    action->setProperty("hint", hint);
    action->setToolTip(hint);
    action->setStatusTip(hint);
  }
}

void CheckBox(QObject* object, const Entries& e) {
  auto* box = static_cast<QCheckBox*>(object);
  const Qt::CheckState state = box->checkState();
  if (e.caption != nullptr) box->setText(Text(*e.caption));
  SetHint(box, e);
  box->setCheckState(state);
}

// The list controls keep their selection; their signals are held while the
// list is rebuilt, so a handler sees no passing empty selection.
void TabControl(QObject* object, const Entries& e) {
  auto* tabs = static_cast<QTabBar*>(object);
  const QSignalBlocker hold(tabs);
  const int selected = tabs->currentIndex();
  if (e.caption != nullptr) {
    while (tabs->count() > 0) tabs->removeTab(tabs->count() - 1);
    for (const QString& line : Lines(*e.caption)) tabs->addTab(line);
  }
  SetHint(tabs, e);
  tabs->setCurrentIndex(selected);
}

void ComboBox(QObject* object, const Entries& e) {
  auto* combo = static_cast<QComboBox*>(object);
  const QSignalBlocker hold(combo);
  const int selected = combo->currentIndex();
  if (e.caption != nullptr) {
    combo->clear();
    combo->addItems(Lines(*e.caption));
  }
  SetHint(combo, e);
  combo->setCurrentIndex(selected);
}

void CheckListBox(QObject* object, const Entries& e) {
  auto* list = static_cast<QListWidget*>(object);
  const QSignalBlocker hold(list);
  // Every item's state is kept by position, however long the list.
  std::vector<Qt::CheckState> states;
  states.reserve(static_cast<size_t>(list->count()));
  for (int k = 0; k < list->count(); ++k) states.push_back(list->item(k)->checkState());
  if (e.caption != nullptr) {
    list->clear();
    for (const QString& line : Lines(*e.caption)) {
      auto* item = new QListWidgetItem(line, list);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Unchecked);
    }
  }
  SetHint(list, e);
  for (int k = 0; k < list->count() && k < static_cast<int>(states.size()); ++k) {
    list->item(k)->setCheckState(states[static_cast<size_t>(k)]);
  }
}

void RadioGroupControl(QObject* object, const Entries& e) {
  auto* group = static_cast<RadioGroup*>(object);
  const QSignalBlocker hold(group);
  const int selected = group->itemIndex();
  if (e.caption != nullptr) group->setTitle(Text(*e.caption));
  if (e.items != nullptr) group->setItems(Lines(*e.items));
  SetHint(group, e);
  group->setItemIndex(selected);
}

// Which Qt class plays each role of the designed window, what it takes from
// the table and what it keeps across the change. Classes are matched by
// their exact class name (QMetaObject::className). Only a radio group takes
// an _Items row; the other lists take their whole list, one item per line,
// from the _Caption row. A control not listed here is left alone.
//
//   role           class                  _Caption sets       _Items  _Hint  keeps
//   speed button   QToolButton            text                -       yes    -
//   panel          rtd::app::Panel        "text" property    -       yes    -
//   menu item      QAction                text                -       *      -
//   toolbar        QToolBar               -                   -       yes    -
//   label          QLabel                 text                -       yes    -
//   group box      QGroupBox              title               -       yes    -
//   tab sheet      rtd::app::TabSheet     its tab's text      -       yes    -
//   tab control    QTabBar                the tabs            -       yes    current tab
//   combo box      QComboBox              the items           -       yes    current item
//   check box      QCheckBox              text                -       yes    check state
//   check list     QListWidget            the checkable items -       yes    each item's state
//   radio group    rtd::app::RadioGroup   title               buttons yes    selected item
//   up-down        QSpinBox               -                   -       yes    -
//   paint box      rtd::app::PaintBox     -                   -       yes    -
//   scroll bar     QScrollBar             -                   -       yes    -
//
// "yes": "hint", "showHint" = true and the toolTip; "*": a menu item has no
// show switch of its own, it takes "hint", toolTip and statusTip. A submenu
// is reached through its QMenu::menuAction(), which carries the name.
struct ClassRule {
  const char* className;
  void (*apply)(QObject* control, const Entries& e);
};

constexpr ClassRule kClassRules[] = {
    {"QToolButton", CaptionAndHint<QToolButton, &QToolButton::setText>},
    {"rtd::app::Panel", Panel},
    {"QAction", MenuItem},
    {"QToolBar", HintOnly},
    {"QLabel", CaptionAndHint<QLabel, &QLabel::setText>},
    {"QGroupBox", CaptionAndHint<QGroupBox, &QGroupBox::setTitle>},
    {"rtd::app::TabSheet", CaptionAndHint<TabSheet, &TabSheet::setCaption>},
    {"QTabBar", TabControl},
    {"QComboBox", ComboBox},
    {"QCheckBox", CheckBox},
    {"QListWidget", CheckListBox},
    {"rtd::app::RadioGroup", RadioGroupControl},
    {"QSpinBox", HintOnly},
    {"rtd::app::PaintBox", HintOnly},
    {"QScrollBar", HintOnly},
};

const ClassRule* RuleFor(const QObject& control) {
  const char* name = control.metaObject()->className();
  for (const ClassRule& rule : kClassRules) {
    if (std::strcmp(rule.className, name) == 0) return &rule;
  }
  return nullptr;
}

const TranslationEntry* Find(const TranslationEntry* table, const QString& prefix,
                             const char* property) {
  const QByteArray key = (prefix + QLatin1Char('_') + QLatin1String(property)).toUtf8();
  return FindTranslation(std::string_view(key.constData(), static_cast<size_t>(key.size())), table);
}

}  // namespace

void TranslateForm(const TranslationEntry* table, QWidget* form) {
  const QString formName = form->objectName();
  if (const TranslationEntry* caption = Find(table, formName, "Caption")) {
    form->setWindowTitle(Text(*caption));
  }
  // Every object the form owns, depth first in creation order. A list
  // rebuild deletes its own old children (radio buttons), so each entry is
  // guarded.
  std::vector<QPointer<QObject>> owned;
  for (QObject* object : form->findChildren<QObject*>()) owned.emplace_back(object);
  for (const QPointer<QObject>& control : owned) {
    if (control.isNull() || control->objectName().isEmpty()) continue;
    const QString prefix = formName + QLatin1Char('_') + control->objectName();
    Entries e;
    e.caption = Find(table, prefix, "Caption");
    e.items = Find(table, prefix, "Items");
    e.hint = Find(table, prefix, "Hint");
    if (e.caption == nullptr && e.items == nullptr && e.hint == nullptr) continue;
    if (const ClassRule* rule = RuleFor(*control)) rule->apply(control.data(), e);
  }
}

}  // namespace rtd::app
