// The translation walk over real Qt widgets, on the offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <memory>

#include "app/own_controls.h"
#include "app/toolkit_language.h"
#include "app/translate_form.h"
#include "i18n/form_translation.h"
#include "i18n/lang.h"

namespace rtd::app {

// Stands in for the main window's panel, which shows its caption through a
// "text" property; only its class name and the property matter here.
class Panel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString text MEMBER text_)

 public:
  using QFrame::QFrame;

 private:
  QString text_;
};

namespace test {

// A tool button under a class name of its own.
class DerivedButton : public QToolButton {
  Q_OBJECT

 public:
  using QToolButton::QToolButton;
};

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "translate_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

class TranslateFormTest : public ::testing::Test {
 protected:
  ~TranslateFormTest() override { CurrentLanguage = saved_; }

  template <typename Control, typename... Args>
  Control* Add(const char* name, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., &form_);
    control->setObjectName(QLatin1String(name));
    return control;
  }

  void Translate(const TranslationEntry* table, int32_t language) {
    CurrentLanguage = language;
    TranslateForm(table, &form_);
  }

  QWidget form_;

 private:
  int32_t saved_ = CurrentLanguage;
};

QString Hint(const QObject* control) { return control->property("hint").toString(); }

// The main window's translated controls as designed: Russian hints, the
// last two buttons and the panel with their hints switched off.
struct MainFormControls {
  QWidget form;
  std::vector<QToolButton*> buttons;
  Panel* panel = new Panel(&form);
  QMenu* menu = new QMenu(&form);
  QAction* debug = menu->addAction(QStringLiteral("Отладка"));
  QAction* log = menu->addAction(QStringLiteral("Лог обмена"));

  MainFormControls() {
    form.setObjectName(QStringLiteral("MainForm"));
    auto* toolbar = new QToolBar(&form);
    for (int i = 0; i < 8; ++i) {
      const TranslationEntry& row = FormTranslationTable[i];
      auto* button = new QToolButton(toolbar);
      QString name = QString::fromUtf8(row.key).section(QLatin1Char('_'), 1, 1);
      button->setObjectName(name);
      button->setProperty("hint", QString::fromUtf8(row.russian));
      button->setProperty("showHint", i < 7);
      if (i < 7) button->setToolTip(QString::fromUtf8(row.russian));
      buttons.push_back(button);
    }
    panel->setObjectName(QStringLiteral("PanelMenu"));
    panel->setProperty("hint", QString::fromUtf8(FormTranslationTable[8].russian));
    panel->setProperty("showHint", false);
    debug->setObjectName(QStringLiteral("MenuItemDebug"));
    log->setObjectName(QStringLiteral("MenuItemLog"));
  }
};

class MainFormTest : public ::testing::Test {
 protected:
  ~MainFormTest() override { CurrentLanguage = saved_; }
  void Translate(int32_t language) {
    CurrentLanguage = language;
    TranslateForm(FormTranslationTable, &main_.form);
  }
  MainFormControls main_;

 private:
  int32_t saved_ = CurrentLanguage;
};

TEST_F(MainFormTest, EnglishRussianEnglishLeavesExactlyTheTableTexts) {
  Translate(kLanguageEnglish);
  Translate(kLanguageRussian);
  Translate(kLanguageEnglish);
  for (int i = 0; i < 9; ++i) {
    const QString english = QString::fromUtf8(FormTranslationTable[i].english);
    QWidget* control = i < 8 ? static_cast<QWidget*>(main_.buttons[static_cast<size_t>(i)])
                             : main_.panel;
    EXPECT_EQ(Hint(control), english);
    EXPECT_EQ(control->toolTip(), english);
    EXPECT_TRUE(control->property("showHint").toBool());
  }
  EXPECT_EQ(main_.debug->text(), QStringLiteral("Debug"));
  EXPECT_EQ(main_.log->text(), QStringLiteral("Communication log"));
  EXPECT_FALSE(main_.debug->property("showHint").isValid());
}

TEST_F(MainFormTest, TheTwoHiddenHintsShowOnlyAfterTheFirstTranslation) {
  QToolButton* touch = main_.buttons[7];
  EXPECT_TRUE(touch->toolTip().isEmpty());
  EXPECT_TRUE(main_.panel->toolTip().isEmpty());
  Translate(kLanguageRussian);
  EXPECT_TRUE(touch->property("showHint").toBool());
  EXPECT_EQ(touch->toolTip(), QStringLiteral("Получить параметры калибровки QEL_TOUCH_I2C_SIMPLE"));
  EXPECT_TRUE(main_.panel->property("showHint").toBool());
  EXPECT_EQ(main_.panel->toolTip(),
            QStringLiteral("Выберите параметры в меню, после нажатия правой кнопки мыши"));
}

TEST_F(TranslateFormTest, NamesEndingInXAreNeverTouchedEvenWhenARowNamesThem) {
  const TranslationEntry table[] = {
      {"Form_MenuItemLanguageRussianx_Caption", "Р", "R"},
      {"Form_SpeedButtonLanguageMakerx_Caption", "Я", "Y"},
      {"Form_SpeedButtonLanguageMakerx_Hint", "Подсказка", "Hint"},
      {"", "", ""},
  };
  auto* item = Add<QAction>("MenuItemLanguageRussianx", QStringLiteral("Русский"));
  auto* maker = Add<QToolButton>("SpeedButtonLanguageMakerx");
  maker->setText(QStringLiteral("L"));
  Translate(table, kLanguageEnglish);
  EXPECT_EQ(item->text(), QStringLiteral("Русский"));
  EXPECT_EQ(maker->text(), QStringLiteral("L"));
  EXPECT_TRUE(maker->toolTip().isEmpty());
  EXPECT_FALSE(maker->property("hint").isValid());
}

TEST_F(TranslateFormTest, AKeyThatDiffersOnlyInLetterCaseMatchesNothing) {
  const TranslationEntry table[] = {{"Form_speedButtonRead_Hint", "Чтение", "Read"},
                                    {"form_SpeedButtonRead_Caption", "Ч", "R"},
                                    {"", "", ""}};
  form_.setObjectName(QStringLiteral("Form"));
  auto* button = Add<QToolButton>("SpeedButtonRead");
  Translate(table, kLanguageEnglish);
  EXPECT_TRUE(button->text().isEmpty());
  EXPECT_TRUE(button->toolTip().isEmpty());
}

TEST_F(TranslateFormTest, OnlyTheExactClassesTakeTheirRows) {
  const TranslationEntry table[] = {
      {"Form_Derived_Caption", "Д", "D"},  {"Form_Derived_Hint", "Д", "D"},
      {"Form_Memo_Hint", "Лог", "Log"},    {"Form_StatusBar_Hint", "С", "S"},
      {"Form_Button_Caption", "К", "B"},   {"", "", ""},
  };
  form_.setObjectName(QStringLiteral("Form"));
  auto* derived = Add<DerivedButton>("Derived");
  auto* memo = Add<QPlainTextEdit>("Memo");
  auto* status = Add<QStatusBar>("StatusBar");
  auto* push = Add<QPushButton>("Button");
  Translate(table, kLanguageEnglish);
  EXPECT_TRUE(derived->text().isEmpty());
  EXPECT_TRUE(derived->toolTip().isEmpty());
  EXPECT_TRUE(memo->toolTip().isEmpty());
  EXPECT_TRUE(status->toolTip().isEmpty());
  EXPECT_TRUE(push->text().isEmpty());
}

TEST_F(TranslateFormTest, EachRoleTakesItsCaptionAndKeepsItsState) {
  const TranslationEntry table[] = {
      {"Form_Caption", "Окно", "Window"},
      {"Form_Panel_Caption", "Панель", "Panel"},
      {"Form_Label_Caption", "Метка", "Label"},
      {"Form_Group_Caption", "Группа", "Group"},
      {"Form_Check_Caption", "Флажок", "Check"},
      {"Form_Sheet_Caption", "Лист", "Sheet"},
      {"Form_Tabs_Caption", "Один\nДва\nТри", "One\nTwo\nThree"},
      {"Form_Spin_Hint", "Счётчик", "Counter"},
      {"", "", ""},
  };
  form_.setObjectName(QStringLiteral("Form"));
  auto* panel = Add<Panel>("Panel");
  auto* label = Add<QLabel>("Label");
  auto* group = Add<QGroupBox>("Group");
  auto* check = Add<QCheckBox>("Check");
  check->setChecked(true);
  auto* pages = new QTabWidget(&form_);
  auto* sheet = new TabSheet;
  sheet->setObjectName(QStringLiteral("Sheet"));
  pages->addTab(new QWidget, QStringLiteral("Первый"));
  pages->addTab(sheet, QStringLiteral("Второй"));
  auto* tabs = Add<QTabBar>("Tabs");
  for (const char* tab : {"1", "2", "3"}) tabs->addTab(QLatin1String(tab));
  tabs->setCurrentIndex(2);
  auto* spin = Add<QSpinBox>("Spin");
  Translate(table, kLanguageEnglish);
  EXPECT_EQ(form_.windowTitle(), QStringLiteral("Window"));
  EXPECT_EQ(panel->property("text").toString(), QStringLiteral("Panel"));
  EXPECT_EQ(label->text(), QStringLiteral("Label"));
  EXPECT_EQ(group->title(), QStringLiteral("Group"));
  EXPECT_EQ(check->text(), QStringLiteral("Check"));
  EXPECT_TRUE(check->isChecked());
  EXPECT_EQ(pages->tabText(1), QStringLiteral("Sheet"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("Two"));
  EXPECT_EQ(tabs->currentIndex(), 2);
  EXPECT_EQ(spin->toolTip(), QStringLiteral("Counter"));
}

TEST_F(TranslateFormTest, AComboBoxTakesItsListFromCaptionKeepsItsSelectionAndIgnoresItems) {
  const TranslationEntry table[] = {
      {"Form_Combo_Items", "Ж", "Z"},
      {"Form_Combo_Caption", "а\r\nб\nв\n", "a\r\nb\nc\n"},
      {"", "", ""},
  };
  form_.setObjectName(QStringLiteral("Form"));
  auto* combo = Add<QComboBox>("Combo");
  combo->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
  combo->setCurrentIndex(2);
  int changes = 0;
  QObject::connect(combo, &QComboBox::currentIndexChanged, [&changes] { ++changes; });
  Translate(table, kLanguageEnglish);
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(0), QStringLiteral("a"));
  EXPECT_EQ(combo->itemText(2), QStringLiteral("c"));
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_EQ(changes, 0);
}

TEST_F(TranslateFormTest, ACheckListKeepsEveryItemsStateByPosition) {
  QString english;
  for (int k = 0; k < 250; ++k) english += QStringLiteral("item %1\n").arg(k);
  const QByteArray text = english.toUtf8();
  const TranslationEntry table[] = {{"Form_List_Caption", "один\nдва", text.constData()},
                                    {"", "", ""}};
  form_.setObjectName(QStringLiteral("Form"));
  auto* list = Add<QListWidget>("List");
  for (int k = 0; k < 250; ++k) {
    auto* item = new QListWidgetItem(QString::number(k), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(k % 3 == 0 ? Qt::Checked : Qt::Unchecked);
  }
  Translate(table, kLanguageEnglish);
  ASSERT_EQ(list->count(), 250);
  for (int k = 0; k < 250; ++k) {
    EXPECT_EQ(list->item(k)->checkState(), k % 3 == 0 ? Qt::Checked : Qt::Unchecked) << k;
  }
  // A shorter list keeps the states of the items it still has.
  Translate(table, kLanguageRussian);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("два"));
}

TEST_F(TranslateFormTest, ARadioGroupWithBothRowsGetsCaptionAndItemsAndKeepsItsSelection) {
  const TranslationEntry table[] = {
      {"Form_Speed_Caption", "Скорость", "Speed"},
      {"Form_Speed_Items", "Медленно\nБыстро", "Slow\nFast"},
      {"", "", ""},
  };
  form_.setObjectName(QStringLiteral("Form"));
  auto* group = Add<RadioGroup>("Speed");
  group->setItems({QStringLiteral("1"), QStringLiteral("2")});
  group->setItemIndex(1);
  Translate(table, kLanguageEnglish);
  EXPECT_EQ(group->title(), QStringLiteral("Speed"));
  EXPECT_EQ(group->items(), QStringList({QStringLiteral("Slow"), QStringLiteral("Fast")}));
  EXPECT_EQ(group->itemIndex(), 1);
}

TEST(ApplyToolkitLanguage, MessageBoxButtonsFollowTheLanguage) {
  const QString catalogue =
      QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).filePath("qtbase_ru.qm");
  if (!QFile::exists(catalogue)) GTEST_SKIP() << "no " << catalogue.toStdString();
  auto yes = [] {
    QMessageBox box(QMessageBox::Warning, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
  };
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageRussian));
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageRussian));
  EXPECT_EQ(yes(), QStringLiteral("&Да"));
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageEnglish));
  EXPECT_EQ(yes(), QStringLiteral("&Yes"));
}

}  // namespace test
}  // namespace rtd::app

#include "translate_form_test.moc"
