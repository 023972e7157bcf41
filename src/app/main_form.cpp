#include "app/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/difference_dialog.h"
#include "app/gauge_widget.h"
#include "app/panel.h"
#include "app/toolkit_language.h"
#include "app/translate_form.h"
#include "i18n/form_translation.h"
#include "i18n/lang.h"
#include "shell/buttons.h"
#include "shell/form_layout.h"
#include "shell/language.h"

// The glyphs and the icon are compiled into the form's library; a static
// library's resources must be registered by hand, from outside any namespace.
static void InitFormResources() { Q_INIT_RESOURCE(rtdprog); }

namespace rtd::app {

namespace {

// Sizes of the form, in pixels at 96 dpi (Qt scales them on high-dpi screens).
using namespace shell::form_layout;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The designed hint of a control: shown as its tooltip only while showHint
// is true (the translation of the window switches it on).
void SetDesignedHint(QWidget* control, const char* hint, bool show_hint) {
  control->setProperty("hint", QString::fromUtf8(hint));
  control->setProperty("showHint", show_hint);
  control->setToolTip(show_hint ? QString::fromUtf8(hint) : QString());
}

// A message box that puts itself over the main window once its size is
// known, before it appears.
class PlacedMessageBox : public QMessageBox {
 public:
  PlacedMessageBox(QWidget* owner, std::function<void(QMessageBox&)> on_shown)
      : QMessageBox(owner), on_shown_(std::move(on_shown)) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    // The placement flag: once per box.
    if (placed_) return;
    placed_ = true;
    on_shown_(*this);
  }

 private:
  std::function<void(QMessageBox&)> on_shown_;
  bool placed_ = false;
};

}  // namespace

MainForm::MainForm(std::unique_ptr<HidPlatform> platform, Clock& clock,
                   const shell::SessionPaths& paths, WindowSeams* seams)
    : seams_(seams), run_timers_(seams == nullptr || seams->run_timers) {
  BuildForm();
  shell_ = std::make_unique<shell::WindowShell>(std::move(platform), clock, paths, *this);
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const auto button = static_cast<ToolButton>(i);
    connect(buttons_[i], &QToolButton::clicked, this, [this, button] { shell_->Click(button); });
  }
  shell_->Start();
}

MainForm::~MainForm() {
  // The timers are children of the window and die with it; make sure none
  // fires into a half-destroyed form.
  for (QTimer* t : {TimerQELPADTest, TimerOnShow, UniversalTimer, TimerFlash}) t->stop();
}

// --- the form as designed ---

void MainForm::BuildForm() {
  InitFormResources();
  setObjectName("MainForm");
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon(":/rtdprog/icon.svg"));
  setFixedSize(kClientWidth, kClientHeight);
  setBackgroundRole(QPalette::Button);
  // Designed position; the settings replace it at start.
  move(537, 516);
  setWindowTitle(Text(shell::WindowCaption()));

  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(13);

  MainToolBar = new QToolBar(this);
  MainToolBar->setObjectName("MainToolBar");
  MainToolBar->setMovable(false);
  MainToolBar->setFloatable(false);
  MainToolBar->setFixedHeight(kToolBarHeight);
  MainToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
  MainToolBar->setFont(fixed);
  MainToolBar->setContentsMargins(0, 0, 0, 0);
  MainToolBar->setStyleSheet("QToolBar { border: 0px; padding: 0px; spacing: 0px; }");
  addToolBar(Qt::TopToolBarArea, MainToolBar);
  // The controls sit at their designed places on one strip.
  auto* strip = new QWidget(MainToolBar);
  strip->setObjectName("MainToolBarStrip");
  strip->setFixedSize(kClientWidth, kToolBarHeight);
  MainToolBar->addWidget(strip);

  using B = ToolButton;
  auto set = [this](B b, QToolButton* button) { buttons_[static_cast<std::size_t>(b)] = button; };
  set(B::SpeedButtonReset, AddSpeedButton(strip, "SpeedButtonReset", 0, "reset",
                                          "Сброс программатора", true));
  auto* bevel2 = new QFrame(strip);
  bevel2->setObjectName("Bevel2");
  bevel2->setGeometry(23, 2, 5, kButtonHeight);
  set(B::SpeedButtonConnect, AddSpeedButton(strip, "SpeedButtonConnect", 28, "connect",
                                            "Проверка связи", true));
  set(B::SpeedButtonRead,
      AddSpeedButton(strip, "SpeedButtonRead", 51, "read", "Чтение памяти", true));
  set(B::SpeedButtonWrite,
      AddSpeedButton(strip, "SpeedButtonWrite", 74, "write", "Запись памяти", true));
  set(B::SpeedButtonCompare, AddSpeedButton(strip, "SpeedButtonCompare", 97, "compare",
                                            "Полное сравнение с оригиналом", true));
  set(B::SpeedButtonCompareFast,
      AddSpeedButton(strip, "SpeedButtonCompareFast", 120, "compare_fast",
                     "Быстрое сравнение с оригиналом по CRC", true));
  set(B::SpeedButtonResetRTD2662, AddSpeedButton(strip, "SpeedButtonResetRTD2662", 143,
                                                 "reset_rtd2662", "Сброс RTD2662", true));
  // Designed without its tooltip switched on; the translation switches it on.
  set(B::SpeedButtonGetTouchParam,
      AddSpeedButton(strip, "SpeedButtonGetTouchParam", 166, "touch",
                     "Получить параметры калибровки QEL_TOUCH_I2C_SIMPLE", false));
  auto* bevel1 = new QFrame(strip);
  bevel1->setObjectName("Bevel1");
  bevel1->setGeometry(189, 2, 5, kButtonHeight);

  SpeedButtonLanguageMakerx = new QToolButton(strip);
  SpeedButtonLanguageMakerx->setObjectName("SpeedButtonLanguageMakerx");
  SpeedButtonLanguageMakerx->setText("L");
  SpeedButtonLanguageMakerx->setGeometry(194, 2, kButtonWidth, kButtonHeight);
  SpeedButtonLanguageMakerx->setFocusPolicy(Qt::NoFocus);
  SpeedButtonLanguageMakerx->setVisible(false);
  connect(SpeedButtonLanguageMakerx, &QToolButton::clicked, this,
          &MainForm::SpeedButtonLanguageMakerxClick);

  PanelMenu = new Panel(strip);
  PanelMenu->setObjectName("PanelMenu");
  PanelMenu->setFrameShape(QFrame::NoFrame);
  PanelMenu->setGeometry(kPanelMenuLeft, 2, kPanelMenuWidth, kButtonHeight);
  PanelMenu->setFont(fixed);
  PanelMenu->setCursor(Qt::WhatsThisCursor);
  PanelMenu->setContextMenuPolicy(Qt::CustomContextMenu);
  SetDesignedHint(PanelMenu, "Выберите параметры в меню, после нажатия правой кнопки мыши", false);

  CGaugeProgressProcent = new GaugeWidget(PanelMenu);
  CGaugeProgressProcent->setObjectName("CGaugeProgressProcent");
  CGaugeProgressProcent->setGeometry(0, 0, kGaugeWidth, kButtonHeight);
  CGaugeProgressProcent->setFont(fixed);
  CGaugeProgressProcent->setVisible(false);

  // The popup menu of PanelMenu.
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  MenuItemDebug = new QAction(QString::fromUtf8("Отладка"), this);
  MenuItemDebug->setObjectName("MenuItemDebug");
  MenuItemDebug->setCheckable(true);
  MenuItemLog = new QAction(QString::fromUtf8("Лог обмена"), this);
  MenuItemLog->setObjectName("MenuItemLog");
  MenuItemLog->setCheckable(true);
  MenuItemLog->setVisible(false);
  MenuItemBackup = new QAction(QString::fromUtf8("Резервная копия перед стиранием"), this);
  MenuItemBackup->setObjectName("MenuItemBackup");
  MenuItemBackup->setCheckable(true);
  MenuItemBackup->setChecked(true);
  ServiceMenu = new QMenu(QString::fromUtf8("Сервис"), this);
  ServiceMenu->setObjectName("ServiceMenu");
  MenuItemService = ServiceMenu->menuAction();
  MenuItemService->setObjectName("MenuItemService");
  {
    using S = shell::ServiceItem;
    for (const S item : shell::kServiceItems) {
      auto* action =
          new QAction(QString::fromUtf8(shell::ServiceItemDesignedCaption(item)), this);
      action->setObjectName(shell::ServiceItemName(item));
      action->setEnabled(false);
      if (item == S::MenuItemServiceBackupFolder) ServiceMenu->addSeparator();
      ServiceMenu->addAction(action);
      service_items_[shell::Index(item)] = action;
      connect(action, &QAction::triggered, this, [this, item] { shell_->ServiceClick(item); });
    }
  }
  LanguageMenu = new QMenu(QString::fromUtf8("Язык/Language"), this);
  LanguageMenu->setObjectName("LanguageMenu");
  MenuItemLanguagex = LanguageMenu->menuAction();
  MenuItemLanguagex->setObjectName("MenuItemLanguagex");
  MenuItemLanguageRussianx = new QAction(QString::fromUtf8("Русский"), this);
  MenuItemLanguageRussianx->setObjectName("MenuItemLanguageRussianx");
  MenuItemLanguageRussianx->setCheckable(true);
  MenuItemLanguageEnglishx = new QAction("English", this);
  MenuItemLanguageEnglishx->setObjectName("MenuItemLanguageEnglishx");
  MenuItemLanguageEnglishx->setCheckable(true);
  LanguageMenu->addAction(MenuItemLanguageRussianx);
  LanguageMenu->addAction(MenuItemLanguageEnglishx);
  PopupMenu->addAction(MenuItemDebug);
  PopupMenu->addAction(MenuItemLog);
  PopupMenu->addAction(MenuItemBackup);
  PopupMenu->addMenu(ServiceMenu);
  PopupMenu->addMenu(LanguageMenu);
  connect(MenuItemDebug, &QAction::triggered, this, &MainForm::MenuItemDebugClick);
  connect(MenuItemLog, &QAction::triggered, this, &MainForm::MenuItemLogClick);
  connect(MenuItemBackup, &QAction::triggered, this, &MainForm::MenuItemBackupClick);
  connect(MenuItemLanguageRussianx, &QAction::triggered, this,
          &MainForm::MenuItemLanguageRussianxClick);
  connect(MenuItemLanguageEnglishx, &QAction::triggered, this,
          &MainForm::MenuItemLanguageEnglishxClick);
  connect(PanelMenu, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu->popup(PanelMenu->mapToGlobal(at)); });

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setSizeGripEnabled(false);
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusPanel = new QLabel(StatusBar);
  StatusPanel->setObjectName("StatusBarPanel0");
  StatusPanel->setFixedWidth(kStatusPanelWidth);
  StatusBar->addWidget(StatusPanel);
  setStatusBar(StatusBar);

  MainPanel = new Panel(this);
  MainPanel->setObjectName("MainPanel");
  MainPanel->setFont(fixed);
  auto* layout = new QVBoxLayout(MainPanel);
  layout->setContentsMargins(0, 0, 0, 0);
  Memo = new QPlainTextEdit(MainPanel);
  Memo->setObjectName("Memo");
  Memo->setFont(fixed);
  Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo->viewport()->installEventFilter(this);
  layout->addWidget(Memo);
  setCentralWidget(MainPanel);

  auto make_timer = [this](const char* name, int interval_ms, void (MainForm::*tick)()) {
    auto* t = new QTimer(this);
    t->setObjectName(name);
    t->setInterval(interval_ms);
    connect(t, &QTimer::timeout, this, tick);
    return t;
  };
  TimerQELPADTest = make_timer("TimerQELPADTest", static_cast<int>(shell::kWatchIntervalMs),
                               &MainForm::TimerQELPADTestTimer);
  TimerOnShow = make_timer("TimerOnShow", 1, &MainForm::TimerOnShowTimer);
  UniversalTimer = make_timer("UniversalTimer", 100, &MainForm::UniversalTimerTimer);
  TimerFlash = make_timer("TimerFlash", 250, &MainForm::TimerFlashTimer);
}

QToolButton* MainForm::AddSpeedButton(QWidget* bar, const char* name, int x, const char* glyph,
                                      const char* hint, bool show_hint) {
  auto* b = new QToolButton(bar);
  b->setObjectName(name);
  b->setGeometry(x, 2, kButtonWidth, kButtonHeight);
  b->setFocusPolicy(Qt::NoFocus);
  b->setAutoRaise(true);
  b->setIconSize(QSize(16, 16));
  b->setIcon(QIcon(QString(":/rtdprog/glyphs/%1.xpm").arg(glyph)));
  SetDesignedHint(b, hint, show_hint);
  return b;
}

// --- close ---

void MainForm::closeEvent(QCloseEvent* event) {
  if (shell_->CloseRequested())
    event->accept();
  else
    event->ignore();
}

void MainForm::FinishClose() { close(); }

// --- switches and language ---

void MainForm::MenuItemDebugClick() { shell_->MenuItemDebugClick(MenuItemDebug->isChecked()); }

void MainForm::MenuItemLogClick() { shell_->MenuItemLogClick(MenuItemLog->isChecked()); }

void MainForm::MenuItemBackupClick() {
  shell_->RunHandler([this] { shell_->MenuItemBackupClick(MenuItemBackup->isChecked()); });
}

void MainForm::DrawServiceMenu(bool backup, const shell::ServiceStates& enabled) {
  MenuItemBackup->setChecked(backup);
  for (std::size_t i = 0; i < service_items_.size(); ++i) service_items_[i]->setEnabled(enabled[i]);
}

void MainForm::DrawSwitches(bool log, bool debug) {
  MenuItemLog->setChecked(log);
  MenuItemDebug->setChecked(debug);
  MenuItemDebug->setVisible(debug);
  MenuItemLog->setVisible(debug);
}

void MainForm::LanguageItemClick(int32_t index) {
  const bool english = SetLanguage(index) == kLanguageEnglish;
  MenuItemLanguageRussianx->setChecked(!english);
  MenuItemLanguageEnglishx->setChecked(english);
}

void MainForm::DrawLanguage(int32_t language, const std::string& caption) {
  const bool english = language == kLanguageEnglish;
  MenuItemLanguageRussianx->setChecked(!english);
  MenuItemLanguageEnglishx->setChecked(english);
  setWindowTitle(Text(caption));
  TranslateForm(FormTranslationTable, this);
  // Qt's own texts (the boxes' Yes/No/OK, the file dialogs' labels) follow
  // too; without Qt's Russian translations they stay English.
  ApplyToolkitLanguage(language);
}

// --- log ---

void MainForm::AppendLog(const std::string& line) {
  // No pumping here: logging inside loops stays cheap.
  Memo->appendPlainText(Text(line));
  Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

void MainForm::ClearLog() { Memo->clear(); }

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    MemoDblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

QString MainForm::LogText() const { return Memo->toPlainText(); }

// --- status bar, gauge, notice, buttons ---

void MainForm::DrawStatus(const std::string& text) { StatusPanel->setText(Text(text)); }

QString MainForm::StatusText() const { return StatusPanel->text(); }

void MainForm::DrawGauge(const shell::ProgressGauge& gauge, bool restarted) {
  if (restarted) {
    const int panel_width = MainToolBar->width() - PanelMenu->x() - 5;
    PanelMenu->resize(panel_width, PanelMenu->height());
    CGaugeProgressProcent->resize(panel_width, CGaugeProgressProcent->height());
  }
  if (gauge.visible()) CGaugeProgressProcent->Show(gauge, restarted);
  CGaugeProgressProcent->setVisible(gauge.visible());
}

void MainForm::DrawNotice(const std::string& caption, bool panel_visible) {
  PanelMenu->setVisible(panel_visible);
  PanelMenu->setText(Text(caption));
}

QString MainForm::PanelCaption() const { return PanelMenu->text(); }

void MainForm::DrawButtons(const shell::ButtonStates& enabled) {
  for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setEnabled(enabled[i]);
}

// --- the window ---

shell::Rect MainForm::WindowRect() const {
  const QRect r = frameGeometry();
  return {r.left(), r.top(), r.width(), r.height()};
}

shell::Size MainForm::ScreenSize() const {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  return {screen.width(), screen.height()};
}

shell::Rect MainForm::WorkArea() const {
  const QScreen* on = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
  const QRect area = on->availableGeometry();
  return {area.left(), area.top(), area.width(), area.height()};
}

void MainForm::MoveWindow(int32_t left, int32_t top) { move(left, top); }

// --- timers and the event loop ---

QTimer* MainForm::TimerOf(shell::WindowTimer timer) const {
  switch (timer) {
    case shell::WindowTimer::TimerQELPADTest: return TimerQELPADTest;
    case shell::WindowTimer::TimerOnShow: return TimerOnShow;
    case shell::WindowTimer::UniversalTimer: return UniversalTimer;
    case shell::WindowTimer::TimerFlash: return TimerFlash;
  }
  return TimerQELPADTest;
}

void MainForm::SetTimer(shell::WindowTimer which, uint32_t interval_ms) {
  QTimer* timer = TimerOf(which);
  timer->setProperty("enabled", interval_ms != 0);
  if (interval_ms != 0) timer->setInterval(static_cast<int>(interval_ms));
  if (!run_timers_) return;
  if (interval_ms != 0)
    timer->start();  // restarts the interval
  else
    timer->stop();
}

bool MainForm::TimerEnabled(const QTimer* timer) const {
  return timer->property("enabled").toBool();
}

void MainForm::PumpMessages() {
  QCoreApplication::processEvents();
  if (seams_ != nullptr && seams_->on_pump) seams_->on_pump();
}

void MainForm::Post(std::function<void()> task) {
  // Run from the event loop, not inside the button's own mouse handling,
  // so a long operation never sits inside a half-finished click.
  QTimer::singleShot(0, this, std::move(task));
}

// --- message boxes ---

int MainForm::RunMessageBox(uint32_t kind, const std::string& caption, const std::string& text) {
  PlacedMessageBox box(this, [this, kind](QMessageBox& shown) {
    const QSize size = shown.frameGeometry().size();
    const std::optional<shell::Size> box_size =
        size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt;
    const shell::Point at = shell::MessageBoxPosition(WindowRect(), box_size, WorkArea());
    shown.move(at.x, at.y);
    shown.raise();
    shown.activateWindow();
    if (seams_ == nullptr) return;
    if (seams_->on_modal_shown) seams_->on_modal_shown(&shown);
    // A box with one OK button asks nothing: it takes no planned answer.
    const bool notice = (kind & MB_OKONLY) != 0;
    if (!notice && seams_->box_answers.empty()) return;
    int answer = IDOK;
    if (!notice) {
      answer = seams_->box_answers.front();
      seams_->box_answers.pop_front();
    }
    const auto wanted = answer == IDYES  ? QMessageBox::Yes
                        : answer == IDNO ? QMessageBox::No
                                         : QMessageBox::Ok;
    QTimer::singleShot(0, &shown, [&shown, wanted] {
      QAbstractButton* b = shown.button(wanted);
      if (b == nullptr) b = shown.escapeButton();
      if (b != nullptr) b->click();
    });
  });
  box.setWindowTitle(Text(caption));
  box.setText(Text(text));
  // The box stays above other windows.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  switch (kind & 0xFF) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      if (kind & MB_OKONLY)
        box.setStandardButtons(QMessageBox::Ok);
      else
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    default:
      box.setIcon(QMessageBox::NoIcon);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return IDCANCEL;
  }
}

// --- file choosers ---

std::string MainForm::RunFileDialog(bool save, const std::string& title,
                                    const std::string& start_dir) {
  // Qt's own dialog, so it can be moved; no owner, as designed.
  QFileDialog dialog(nullptr, Text(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The filter shows as "*.BIN" and takes .bin in any letter case.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter("*.BIN (*.[Bb][Ii][Nn])");
  dialog.setDefaultSuffix("BIN");
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setSizeGripEnabled(true);
  if (!start_dir.empty()) dialog.setDirectory(Text(start_dir));
  current_dialog_ = &dialog;
  if (seams_ != nullptr) {
    QTimer::singleShot(0, &dialog, [this, &dialog] {
      if (seams_->on_modal_shown) seams_->on_modal_shown(&dialog);
      if (seams_->file_names.empty()) return;  // a person answers
      const std::string name = seams_->file_names.front();
      seams_->file_names.pop_front();
      if (name.empty()) {
        dialog.reject();
        return;
      }
      dialog.selectFile(Text(name));
      static_cast<QDialog&>(dialog).accept();  // as the Save or Open button does
    });
  }
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  current_dialog_ = nullptr;
  if (!confirmed) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

shell::DialogWindow MainForm::FileDialog() const {
  if (current_dialog_ == nullptr) return {};
  const QSize size = current_dialog_->frameGeometry().size();
  return {current_dialog_->isVisible(),
          size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt};
}

void MainForm::MoveFileDialog(shell::Point at) {
  if (current_dialog_ != nullptr) current_dialog_->move(at.x, at.y);
}

// --- the list of differences, the backup folder ---

void MainForm::ShowDifferences(const shell::DifferenceListing& listing) {
  DifferenceDialog dialog(listing, this);
  // Placed once shown, when its frame is known.
  QTimer::singleShot(0, &dialog, [this, &dialog] {
    const QRect frame = dialog.frameGeometry();
    const shell::Rect at =
        shell::DialogPlacement(WindowRect(), {frame.width(), frame.height()}, WorkArea());
    dialog.resize(dialog.width() - (frame.width() - at.width),
                  dialog.height() - (frame.height() - at.height));
    dialog.move(at.left, at.top);
  });
  if (seams_ != nullptr && seams_->on_modal_shown)
    QTimer::singleShot(0, &dialog, [this, &dialog] { seams_->on_modal_shown(&dialog); });
  dialog.exec();
}

bool MainForm::OpenFolder(const std::string& path) {
  if (seams_ != nullptr && seams_->open_folder) return seams_->open_folder(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(Text(path)));
}

}  // namespace rtd::app
