#include "app/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

#include "app/gauge_widget.h"
#include "app/panel.h"
#include "app/toolkit_language.h"
#include "app/translate_form.h"
#include "i18n/form_translation.h"
#include "i18n/lang.h"
#include "shell/buttons.h"
#include "shell/language.h"

// The glyphs and the icon are compiled into the form's library; a static
// library's resources must be registered by hand, from outside any namespace.
static void InitFormResources() { Q_INIT_RESOURCE(rtdprog); }

namespace rtd::app {

namespace {

// Sizes of the form, in pixels at 96 dpi (Qt scales them on high-dpi screens).
constexpr int kClientWidth = 631;
constexpr int kClientHeight = 441;
constexpr int kToolBarHeight = 29;
constexpr int kStatusBarHeight = 19;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
constexpr int kPanelMenuLeft = 217;
constexpr int kPanelMenuWidth = 412;
constexpr int kGaugeWidth = 413;
constexpr int kStatusPanelWidth = 800;

constexpr LangText kOpenTitle = LANG_TEXT("Выбор файла", "The choice of file");
constexpr LangText kSaveTitle = LANG_TEXT("Сохранение файла", "Saving the File");
constexpr LangText kHandlerFailed =
    LANG_TEXT("Непредвиденная ошибка: %s", "Unexpected error: %s");

// The windows' flag for a box that stays above other windows.
constexpr uint32_t MB_TOPMOST = 0x40000;

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
    : clock_(clock), seams_(seams), run_timers_(seams == nullptr || seams->run_timers) {
  BuildForm();
  session_ = std::make_unique<shell::Session>(std::move(platform), clock, *this, paths);
  watch_ = std::make_unique<shell::ConnectionWatch>(session_->programmer(), *this);
  FormCreate();
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
  PopupMenu->addMenu(LanguageMenu);
  connect(MenuItemDebug, &QAction::triggered, this, &MainForm::MenuItemDebugClick);
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

// --- start-up and close ---

void MainForm::FormCreate() {
  using B = ToolButton;
  // Clicks run from the event loop, not inside the button's own mouse
  // handling, so a long operation never sits inside a half-finished click.
  const std::pair<B, void (MainForm::*)()> handlers[] = {
      {B::SpeedButtonReset, &MainForm::SpeedButtonResetClick},
      {B::SpeedButtonConnect, &MainForm::SpeedButtonConnectClick},
      {B::SpeedButtonRead, &MainForm::SpeedButtonReadClick},
      {B::SpeedButtonWrite, &MainForm::SpeedButtonWriteClick},
      {B::SpeedButtonCompare, &MainForm::SpeedButtonCompareClick},
      {B::SpeedButtonCompareFast, &MainForm::SpeedButtonCompareFastClick},
      {B::SpeedButtonResetRTD2662, &MainForm::SpeedButtonResetRTD2662Click},
      {B::SpeedButtonGetTouchParam, &MainForm::SpeedButtonGetTouchParamClick},
  };
  for (const auto& [button, handler] : handlers)
    connect(Button(button), &QToolButton::clicked, this, handler, Qt::QueuedConnection);

  LoadSettings();
  ShowDebugItems(MenuItemDebug->isChecked());
  session_->programmer().ProgrammerInfo = {};
  SetButtonsState(false);
  EnableTimer(TimerQELPADTest, true);
}

void MainForm::LoadSettings() {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const QRect outer = frameGeometry();
  const auto loaded =
      session_->settings().LoadSettings(screen.width(), screen.height(), outer.width(), outer.height());
  if (!loaded) return;
  move(loaded->left, loaded->top);
  MenuItemLog->setChecked(loaded->log);
  MenuItemDebug->setChecked(loaded->debug);
  SetLanguage(loaded->lang);
}

void MainForm::SaveSettings() {
  MainSettingsValues values;
  const QRect outer = frameGeometry();
  values.top = outer.top();
  values.left = outer.left();
  values.lang = SetLanguage(-1);
  values.log = MenuItemLog->isChecked();
  values.debug = MenuItemDebug->isChecked();
  session_->settings().SaveSettings(values);
}

void MainForm::closeEvent(QCloseEvent* event) {
  // A second close request while the first one waits is the same request.
  if (closing_) {
    event->ignore();
    return;
  }
  FormCloseQuery();
  closed_ = true;
  event->accept();
}

void MainForm::FormCloseQuery() {
  closing_ = true;
  IdleFlag = 1;  // a running operation stops before its next block
  DelayWithMessages(100);
  EnableTimer(TimerQELPADTest, false);
  session_->link().transport().LinkClose();
  DelayWithMessages(100);
  SaveSettings();
}

// --- language, caption, debug items ---

int32_t MainForm::SetLanguage(int32_t index) {
  if (index == -1) return CurrentLanguage;
  CurrentLanguage = shell::LanguageForIndex(index, CurrentLanguage);
  const bool english = CurrentLanguage == kLanguageEnglish;
  MenuItemLanguageRussianx->setChecked(!english);
  MenuItemLanguageEnglishx->setChecked(english);
  watch_->ControllerConnected = false;
  UpdateCaption();
  RetranslateWindow();
  return CurrentLanguage;
}

void MainForm::RetranslateWindow() {
  TranslateForm(FormTranslationTable, this);
  // Qt's own texts (the boxes' Yes/No/OK, the file dialogs' labels) follow
  // too; without Qt's Russian translations they stay English.
  ApplyToolkitLanguage(CurrentLanguage);
}

void MainForm::UpdateCaption() { setWindowTitle(Text(shell::WindowCaption())); }

void MainForm::ShowDebugItems(bool visible) {
  MenuItemDebug->setVisible(visible);
  MenuItemLog->setVisible(visible);
}

void MainForm::MenuItemDebugClick() { ShowDebugItems(MenuItemDebug->isChecked()); }

void MainForm::MenuItemLanguageRussianxClick() { SetLanguage(0); }

void MainForm::MenuItemLanguageEnglishxClick() { SetLanguage(1); }

void MainForm::SpeedButtonLanguageMakerxClick() { SetLanguage(0); }

// --- the operations ---

void MainForm::RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kHandlerFailed), e.what());
    // Whatever ran is over: reopen the gate and the buttons.
    IdleFlag = 1;
    ProgressHide();
    SetButtonsState(false);
  } catch (...) {
    MessageBoxPrintf(MB_ICONERROR, PickLangText(kHandlerFailed), "?");
    IdleFlag = 1;
    ProgressHide();
    SetButtonsState(false);
  }
}

void MainForm::RunOperation(OpResult (FlashOperations::*click)()) {
  if (closing_) return;
  RunHandler([this, click] { (session_->ops().*click)(); });
}

void MainForm::SpeedButtonResetClick() { RunOperation(&FlashOperations::SpeedButtonResetClick); }
void MainForm::SpeedButtonConnectClick() {
  RunOperation(&FlashOperations::SpeedButtonConnectClick);
}
void MainForm::SpeedButtonReadClick() { RunOperation(&FlashOperations::SpeedButtonReadClick); }
void MainForm::SpeedButtonWriteClick() { RunOperation(&FlashOperations::SpeedButtonWriteClick); }
void MainForm::SpeedButtonCompareClick() {
  RunOperation(&FlashOperations::SpeedButtonCompareClick);
}
void MainForm::SpeedButtonCompareFastClick() {
  RunOperation(&FlashOperations::SpeedButtonCompareFastClick);
}
void MainForm::SpeedButtonResetRTD2662Click() {
  RunOperation(&FlashOperations::SpeedButtonResetRTD2662Click);
}
void MainForm::SpeedButtonGetTouchParamClick() {
  RunOperation(&FlashOperations::SpeedButtonGetTouchParamClick);
}

// --- log ---

void MainForm::AppendLogLine(const std::string& line) {
  // No pumping here: logging inside loops stays cheap.
  Memo->appendPlainText(Text(line));
  Memo->verticalScrollBar()->setValue(Memo->verticalScrollBar()->maximum());
}

void MainForm::ClearLog() { Memo->clear(); }

void MainForm::MemoDblClick() { ClearLog(); }

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    MemoDblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

QString MainForm::LogText() const { return Memo->toPlainText(); }

// --- status bar, gauge, notice, buttons ---

void MainForm::SetStatusText(const std::string& text) { StatusPanel->setText(Text(text)); }

QString MainForm::StatusText() const { return StatusPanel->text(); }

void MainForm::StartProgress(int32_t maximum, const std::string& status_text) {
  SetStatusText(status_text);
  gauge_.Start(maximum, status_text, clock_.TickCount());
  const int panel_width = MainToolBar->width() - PanelMenu->x() - 5;
  PanelMenu->resize(panel_width, PanelMenu->height());
  CGaugeProgressProcent->resize(panel_width, CGaugeProgressProcent->height());
  CGaugeProgressProcent->Show(gauge_, true);
  CGaugeProgressProcent->setVisible(true);
  ProcessMessages();
}

void MainForm::ProgressStep(int32_t value) {
  const auto step = gauge_.StepTo(value, clock_.TickCount());
  if (step == shell::ProgressGauge::Step::kIgnored) return;
  if (step == shell::ProgressGauge::Step::kShownAgain) {
    SetStatusText(gauge_.SavedProgressCaption());
    CGaugeProgressProcent->setVisible(true);
  }
  CGaugeProgressProcent->Show(gauge_, false);
  ProcessMessages();
}

void MainForm::ProgressHide() {
  gauge_.Hide();
  CGaugeProgressProcent->setVisible(false);
}

void MainForm::ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms, const std::string& text) {
  ArmUniversalTimer(nullptr, 0);
  notice_.Show(duration_ms, blink_ms, text);
  PanelMenu->setVisible(notice_.panel_visible());
  PanelMenu->setText(Text(notice_.caption()));
  if (notice_.end_timer_ms() != 0)
    ArmUniversalTimer([this] { ToolbarNoticeEnd(); }, notice_.end_timer_ms());
  if (notice_.blink_timer_ms() != 0) {
    TimerFlash->setInterval(static_cast<int>(notice_.blink_timer_ms()));
    EnableTimer(TimerFlash, true);
  } else {
    EnableTimer(TimerFlash, false);
    PanelMenu->setVisible(true);
  }
}

void MainForm::ToolbarNoticeEnd() {
  EnableTimer(TimerFlash, false);
  ArmUniversalTimer(nullptr, 0);
  notice_.End();
  PanelMenu->setVisible(notice_.panel_visible());
  PanelMenu->setText(Text(notice_.caption()));
}

void MainForm::TimerFlashTimer() {
  notice_.Blink();
  PanelMenu->setVisible(notice_.panel_visible());
}

QString MainForm::PanelCaption() const { return PanelMenu->text(); }

void MainForm::ArmUniversalTimer(std::function<void()> callback, uint32_t interval_ms) {
  if (callback && interval_ms != 0) {
    universal_callback_ = std::move(callback);
    UniversalTimer->setInterval(static_cast<int>(interval_ms));
    EnableTimer(UniversalTimer, true);
  } else {
    EnableTimer(UniversalTimer, false);
  }
}

void MainForm::UniversalTimerTimer() {
  if (universal_callback_) universal_callback_();
}

void MainForm::SetButtonsState(bool busy) {
  const shell::ButtonStates on = shell::SetButtonsStateRule(
      busy, watch_->ControllerConnected, session_->ops().CurrentFlash.Identified());
  for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setEnabled(on[i]);
}

void MainForm::EnableButton(ToolButton button) { Button(button)->setEnabled(true); }

bool MainForm::CommLogEnabled() const { return MenuItemLog->isChecked(); }

// --- timers and waiting ---

void MainForm::EnableTimer(QTimer* timer, bool enabled) {
  timer->setProperty("enabled", enabled);
  if (!run_timers_) return;
  if (enabled)
    timer->start();  // restarts the interval
  else
    timer->stop();
}

bool MainForm::TimerEnabled(const QTimer* timer) const {
  return timer->property("enabled").toBool();
}

void MainForm::SetWatchTimerEnabled(bool enabled) { EnableTimer(TimerQELPADTest, enabled); }

void MainForm::TimerQELPADTestTimer() {
  RunHandler([this] { watch_->TimerQELPADTestTimer(); });
}

void MainForm::ProcessMessages() {
  QCoreApplication::processEvents();
  if (seams_ != nullptr && seams_->on_pump) seams_->on_pump();
}

void MainForm::DelayWithMessages(uint32_t ms) {
  const uint32_t start = clock_.TickCount();
  while (clock_.TickCount() - start < ms) {
    ProcessMessages();
    // A short sleep between pumps keeps the wait from burning a core.
    clock_.SleepMicroseconds(1000);
  }
}

// --- message boxes ---

shell::Rect MainForm::MainWindowRect() const {
  const QRect r = frameGeometry();
  return {r.left(), r.top(), r.width(), r.height()};
}

int MainForm::ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) {
  if (closed_) {
    // The window is gone: an operation stopped by the close ends quietly,
    // and a question gets the safe answer.
    const uint32_t low = kind & 0xFF;
    const bool question =
        (low == MB_ICONWARNING || low == MB_ICONQUESTION) && (kind & MB_OKONLY) == 0;
    return question ? IDNO : IDOK;
  }
  SetWatchTimerEnabled(false);
  while (session_->link().ExchangeBusy) ProcessMessages();
  const int answer = CenteredMessageBox(text, caption, kind | MB_TOPMOST);
  // A box during the close (a settings file that cannot be written) must
  // not bring the watch back to a programmer that has just been closed.
  if (!closing_) SetWatchTimerEnabled(true);
  return answer;
}

int MainForm::CenteredMessageBox(const std::string& text, const std::string& caption,
                                 uint32_t flags) {
  PlacedMessageBox box(this, [this, flags](QMessageBox& shown) {
    const QSize size = shown.frameGeometry().size();
    const std::optional<shell::Size> box_size =
        size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt;
    const shell::Point at = shell::MessageBoxPosition(MainWindowRect(), box_size);
    shown.move(at.x, at.y);
    shown.raise();
    shown.activateWindow();
    if (seams_ == nullptr) return;
    if (seams_->on_modal_shown) seams_->on_modal_shown(&shown);
    // A box with one OK button asks nothing: it takes no planned answer.
    const bool notice = (flags & MB_OKONLY) != 0;
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
  if (flags & MB_TOPMOST) box.setWindowFlag(Qt::WindowStaysOnTopHint);
  switch (flags & 0xFF) {
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
      if (flags & MB_OKONLY)
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

std::string MainForm::ChooseImageToOpen() { return ChooseImage(false); }

std::string MainForm::ChooseImageToSave() { return ChooseImage(true); }

std::string MainForm::ChooseImage(bool save) {
  const std::optional<std::string> start = session_->settings().ChooserStartDirectory();
  if (!start) return {};
  // Qt's own dialog, so it can be moved; no owner, as designed.
  QFileDialog dialog(nullptr, QString::fromUtf8(PickLangText(save ? kSaveTitle : kOpenTitle)));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The filter shows as "*.BIN" and takes .bin in any letter case.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter("*.BIN (*.[Bb][Ii][Nn])");
  dialog.setDefaultSuffix("BIN");
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setSizeGripEnabled(true);
  if (!start->empty()) dialog.setDirectory(Text(*start));
  if (!RunFileDialog(dialog)) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

bool MainForm::RunFileDialog(QFileDialog& dialog) {
  current_dialog_ = &dialog;
  centring_.Start();
  EnableTimer(TimerOnShow, true);
  if (seams_ != nullptr && !seams_->file_names.empty()) {
    const std::string name = seams_->file_names.front();
    seams_->file_names.pop_front();
    QTimer::singleShot(0, &dialog, [this, &dialog, name] {
      if (seams_->on_modal_shown) seams_->on_modal_shown(&dialog);
      if (name.empty()) {
        dialog.reject();
        return;
      }
      dialog.selectFile(Text(name));
      static_cast<QDialog&>(dialog).accept();  // as the Save or Open button does
    });
  }
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  EnableTimer(TimerOnShow, false);
  current_dialog_ = nullptr;
  return confirmed;
}

void MainForm::TimerOnShowTimer() { CentreFileDialog(); }

void MainForm::CentreFileDialog() {
  if (current_dialog_ == nullptr) return;
  bool keep_timer = true;
  const bool move_now = centring_.Tick(current_dialog_->isVisible(), &keep_timer);
  if (!keep_timer) EnableTimer(TimerOnShow, false);
  if (!move_now) return;
  const QSize size = current_dialog_->frameGeometry().size();
  const std::optional<shell::Size> dialog_size =
      size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt;
  const shell::Point at = shell::CentredOver(MainWindowRect(), dialog_size);
  current_dialog_->move(at.x, at.y);
}

}  // namespace rtd::app
