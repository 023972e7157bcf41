// The translation walk and the toolkit's texts over real Qt widgets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontComboBox>
#include <QFrame>
#include <QLabel>
#include <QLibraryInfo>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <memory>

#include "app/own_controls.h"
#include "app/panel.h"
#include "app/toolkit_language.h"
#include "app/translate_form.h"
#include "i18n/lang.h"

namespace rtd::app {

namespace {

struct QtEnvironment : ::testing::Environment {
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }
  int argc = 1;
  char name[8] = "test";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};
const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString Hint(const QObject* control) { return control->property("hint").toString(); }

class TranslateFormTest : public ::testing::Test {
 protected:
  TranslateFormTest() { form_.setObjectName(QStringLiteral("MainForm")); }
  ~TranslateFormTest() override { CurrentLanguage = saved_; }

  template <typename Control, typename... Args>
  Control* Add(const char* name, Args... args) {
    auto* control = new Control(args..., &form_);
    control->setObjectName(QLatin1String(name));
    return control;
  }
  void Translate(int32_t language, const TranslationEntry* table = FormTranslationTable) {
    CurrentLanguage = language;
    TranslateForm(table, &form_);
  }

  QWidget form_;

 private:
  int32_t saved_ = CurrentLanguage;
};

// The main window's translated controls as designed: Russian hints, shown
// by the first seven buttons only.
class MainFormTest : public TranslateFormTest {
 protected:
  MainFormTest() {
    for (int i = 0; i < 9; ++i) {
      const QString name = QString::fromUtf8(FormTranslationTable[i].key).section('_', 1, 1);
      QWidget* control = i < 8 ? static_cast<QWidget*>(new QToolButton(&form_)) : new Panel(&form_);
      control->setObjectName(name);
      control->setProperty("hint", QString::fromUtf8(FormTranslationTable[i].russian));
      control->setProperty("showHint", i < 7);
      if (i < 7) control->setToolTip(Hint(control));
      hinted_.push_back(control);
    }
    debug_->setObjectName(QStringLiteral("MenuItemDebug"));
    log_->setObjectName(QStringLiteral("MenuItemLog"));
  }
  std::vector<QWidget*> hinted_;
  QMenu* menu_ = new QMenu(&form_);
  QAction* debug_ = menu_->addAction(QStringLiteral("Отладка"));
  QAction* log_ = menu_->addAction(QStringLiteral("Лог обмена"));
};

TEST_F(MainFormTest, EnglishRussianEnglishLeavesExactlyTheTableTexts) {
  for (int32_t language : {kLanguageEnglish, kLanguageRussian, kLanguageEnglish}) {
    Translate(language);
  }
  for (size_t i = 0; i < hinted_.size(); ++i) {
    const QString english = QString::fromUtf8(FormTranslationTable[i].english);
    EXPECT_EQ(Hint(hinted_[i]), english);
    EXPECT_EQ(hinted_[i]->toolTip(), english);
  }
  EXPECT_EQ(debug_->text(), QStringLiteral("Debug"));
  EXPECT_EQ(log_->text(), QStringLiteral("Communication log"));
  EXPECT_FALSE(debug_->property("showHint").isValid());
}

TEST_F(MainFormTest, TheTwoHiddenHintsShowOnlyAfterTheFirstTranslation) {
  EXPECT_TRUE(hinted_[7]->toolTip().isEmpty());
  EXPECT_TRUE(hinted_[8]->toolTip().isEmpty());
  Translate(kLanguageRussian);
  for (QWidget* control : {hinted_[7], hinted_[8]}) {
    EXPECT_TRUE(control->property("showHint").toBool());
    EXPECT_EQ(control->toolTip(), Hint(control));
  }
  EXPECT_EQ(hinted_[8]->toolTip(),
            QStringLiteral("Выберите параметры в меню, после нажатия правой кнопки мыши"));
}

TEST_F(TranslateFormTest, NamesEndingInXAndUnlistedClassesAreNeverTouched) {
  const TranslationEntry table[] = {
      {"MainForm_MenuItemLanguageRussianx_Caption", "Р", "R"},
      {"MainForm_SpeedButtonLanguageMakerx_Hint", "Я", "Y"},
      {"MainForm_Fonts_Caption", "Ш", "F"},  // a QComboBox under another class name
      {"MainForm_Memo_Hint", "Лог", "Log"},
      {"", "", ""},
  };
  auto* item = Add<QAction>("MenuItemLanguageRussianx", QStringLiteral("Русский"));
  auto* maker = Add<QToolButton>("SpeedButtonLanguageMakerx");
  auto* fonts = Add<QFontComboBox>("Fonts");
  const int fontCount = fonts->count();
  auto* memo = Add<QPlainTextEdit>("Memo");
  Translate(kLanguageEnglish, table);
  EXPECT_EQ(item->text(), QStringLiteral("Русский"));
  EXPECT_TRUE(maker->toolTip().isEmpty());
  EXPECT_EQ(fonts->count(), fontCount);
  EXPECT_TRUE(memo->toolTip().isEmpty());
}

TEST_F(TranslateFormTest, EachRoleTakesItsCaptionAndKeepsItsState) {
  const TranslationEntry table[] = {
      {"MainForm_Caption", "Окно", "Window"},
      {"MainForm_Panel_Caption", "Панель", "Panel"},
      {"MainForm_Label_Caption", "Метка", "Label"},
      {"MainForm_Check_Caption", "Флажок", "Check"},
      {"MainForm_Sheet_Caption", "Лист", "Sheet"},
      {"MainForm_Tabs_Caption", "1\n2\n3", "A\nB\nC"},
      {"", "", ""},
  };
  auto* panel = Add<Panel>("Panel");
  auto* label = Add<QLabel>("Label");
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
  Translate(kLanguageEnglish, table);
  EXPECT_EQ(form_.windowTitle(), QStringLiteral("Window"));
  EXPECT_EQ(panel->property("text").toString(), QStringLiteral("Panel"));
  EXPECT_EQ(label->text(), QStringLiteral("Label"));
  EXPECT_EQ(check->text(), QStringLiteral("Check"));
  EXPECT_TRUE(check->isChecked());
  EXPECT_EQ(pages->tabText(1), QStringLiteral("Sheet"));
  EXPECT_EQ(tabs->tabText(1), QStringLiteral("B"));
  EXPECT_EQ(tabs->currentIndex(), 2);
}

TEST_F(TranslateFormTest, AComboBoxTakesItsListFromCaptionKeepsItsSelectionAndIgnoresItems) {
  const TranslationEntry table[] = {{"MainForm_Combo_Items", "Ж", "Z"},
                                    {"MainForm_Combo_Caption", "а\r\nб\nв\n", "a\r\nb\nc\n"},
                                    {"", "", ""}};
  auto* combo = Add<QComboBox>("Combo");
  combo->addItems({"1", "2", "3"});
  combo->setCurrentIndex(2);
  int changes = 0;
  QObject::connect(combo, &QComboBox::currentIndexChanged, [&changes] { ++changes; });
  Translate(kLanguageEnglish, table);
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(2), QStringLiteral("c"));
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_EQ(changes, 0);
}

TEST_F(TranslateFormTest, ACheckListKeepsEachItemsStateByPosition) {
  const TranslationEntry table[] = {{"MainForm_List_Caption", "один\nдва", "one\ntwo\nthree"},
                                    {"", "", ""}};
  auto* list = Add<QListWidget>("List");
  for (Qt::CheckState state : {Qt::Checked, Qt::Unchecked, Qt::Checked}) {
    auto* item = new QListWidgetItem(QStringLiteral("?"), list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(state);
  }
  Translate(kLanguageEnglish, table);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("two"));
  EXPECT_EQ(list->item(2)->checkState(), Qt::Checked);
  Translate(kLanguageRussian, table);  // shorter: the two left keep theirs
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
  EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
}

TEST_F(TranslateFormTest, ARadioGroupWithBothRowsGetsCaptionAndItemsAndKeepsItsSelection) {
  const TranslationEntry table[] = {{"MainForm_Speed_Caption", "Скорость", "Speed"},
                                    {"MainForm_Speed_Items", "Медленно\nБыстро", "Slow\nFast"},
                                    {"", "", ""}};
  auto* group = Add<RadioGroup>("Speed");
  group->setItems({"1", "2"});
  group->setItemIndex(1);
  Translate(kLanguageEnglish, table);
  EXPECT_EQ(group->title(), QStringLiteral("Speed"));
  EXPECT_EQ(group->items(), QStringList({"Slow", "Fast"}));
  EXPECT_EQ(group->itemIndex(), 1);
}

TEST(ApplyToolkitLanguage, MessageBoxButtonsFollowTheLanguage) {
  const QString catalogue =
      QDir(QLibraryInfo::path(QLibraryInfo::TranslationsPath)).filePath("qtbase_ru.qm");
  if (!QFile::exists(catalogue)) GTEST_SKIP() << "no " << catalogue.toStdString();
  auto yes = [] {
    QMessageBox box(QMessageBox::Warning, "", "", QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
  };
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageRussian));
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageRussian));
  EXPECT_EQ(yes(), QStringLiteral("&Да"));
  ASSERT_TRUE(ApplyToolkitLanguage(kLanguageEnglish));
  EXPECT_EQ(yes(), QStringLiteral("&Yes"));
}

}  // namespace
}  // namespace rtd::app

