#include "app/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/gauge_widget.h"
#include "app/panel.h"
#include "app/toolkit_language.h"
#include "app/translate_form.h"
#include "i18n/form_translation.h"
#include "shell/buttons.h"
#include "shell/form/form.h"
#include "shell/language.h"

// The icon is compiled into the form's library; a static library's
// resources must be registered by hand, from outside any namespace.
static void InitFormResources() { Q_INIT_RESOURCE(rtdprog); }

namespace rtd::app {

namespace {

// Sizes of the form, in pixels at 96 dpi (Qt scales them on high-dpi screens).
using namespace shell::form;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The designed hint of a control: shown as its tooltip only while showHint
// is true (the translation of the window switches it on).
void SetDesignedHint(QWidget* control, const char* hint, bool show_hint) {
  control->setProperty("hint", QString::fromUtf8(hint));
  control->setProperty("showHint", show_hint);
  control->setToolTip(show_hint ? QString::fromUtf8(hint) : QString());
}

}  // namespace

MainForm::MainForm(std::unique_ptr<HidPlatform> platform, Clock& clock,
                   const shell::SessionPaths& paths, WindowSeams* seams)
    : seams_(seams), run_timers_(seams == nullptr || seams->run_timers) {
  BuildForm();
  shell_ = std::make_unique<shell::WindowShell>(std::move(platform), clock, paths, *this, *this,
                                               *this, this);
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
  move(kDesignLeft, kDesignTop);
  setWindowTitle(Text(shell::WindowCaption()));

  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(kFixedFontPixels);

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
  BuildToolBar(strip, fixed);
  BuildMenu();

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setSizeGripEnabled(false);
  StatusBar->setFixedHeight(kStatusBarHeight);
  StatusPanel = new QLabel(StatusBar);
  StatusPanel->setObjectName("StatusBarPanel0");
  // It names devices, processes and paths: a name that looks like markup
  // is shown as it is, never rendered.
  StatusPanel->setTextFormat(Qt::PlainText);
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

  const auto make_timer = [this](shell::WindowTimer which, void (MainForm::*tick)()) {
    auto* t = new QTimer(this);
    t->setObjectName(shell::form::TimerName(which));
    t->setInterval(static_cast<int>(shell::form::DesignedInterval(which)));
    connect(t, &QTimer::timeout, this, tick);
    return t;
  };
  using T = shell::WindowTimer;
  TimerQELPADTest = make_timer(T::TimerQELPADTest, &MainForm::TimerQELPADTestTimer);
  TimerOnShow = make_timer(T::TimerOnShow, &MainForm::TimerOnShowTimer);
  UniversalTimer = make_timer(T::UniversalTimer, &MainForm::UniversalTimerTimer);
  TimerFlash = make_timer(T::TimerFlash, &MainForm::TimerFlashTimer);
}

void MainForm::BuildToolBar(QWidget* strip, const QFont& fixed) {
  // The controls sit at their designed places on one strip.
  for (const shell::form::ToolButtonDesign& d : shell::form::kToolButtons) {
    auto* b = new QToolButton(strip);
    b->setObjectName(d.name);
    b->setGeometry(d.left, kControlTop, kButtonWidth, kButtonHeight);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRaise(true);
    b->setIconSize(QSize(kGlyphSize, kGlyphSize));
    b->setIcon(QIcon(QPixmap(d.glyph.lines)));
    SetDesignedHint(b, d.hint, d.show_hint);
    connect(b, &QToolButton::clicked, this, [this, button = d.button] { shell_->Click(button); });
    buttons_[static_cast<std::size_t>(d.button)] = b;
  }
  for (const shell::form::SpacerDesign& d : shell::form::kSpacers) {
    auto* bevel = new QFrame(strip);
    bevel->setObjectName(d.name);
    bevel->setGeometry(d.left, kControlTop, d.width, kButtonHeight);
  }

  const auto& maker = shell::form::kLanguageMaker;
  SpeedButtonLanguageMakerx = new QToolButton(strip);
  SpeedButtonLanguageMakerx->setObjectName(maker.name);
  SpeedButtonLanguageMakerx->setText(maker.caption);
  SpeedButtonLanguageMakerx->setGeometry(maker.left, kControlTop, kButtonWidth, kButtonHeight);
  SpeedButtonLanguageMakerx->setFocusPolicy(Qt::NoFocus);
  SpeedButtonLanguageMakerx->setVisible(false);
  connect(SpeedButtonLanguageMakerx, &QToolButton::clicked, this,
          [this] { shell_->SpeedButtonLanguageMakerxClick(); });

  const auto& panel = shell::form::kPanelMenu;
  PanelMenu = new Panel(strip);
  PanelMenu->setObjectName(panel.name);
  PanelMenu->setFrameShape(QFrame::NoFrame);
  PanelMenu->setGeometry(panel.left, kControlTop, panel.width, kButtonHeight);
  PanelMenu->setFont(fixed);
  PanelMenu->setCursor(Qt::WhatsThisCursor);
  PanelMenu->setContextMenuPolicy(Qt::CustomContextMenu);
  SetDesignedHint(PanelMenu, panel.hint, panel.show_hint);
  connect(PanelMenu, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu->popup(PanelMenu->mapToGlobal(at)); });

  CGaugeProgressProcent = new GaugeWidget(PanelMenu);
  CGaugeProgressProcent->setObjectName("CGaugeProgressProcent");
  CGaugeProgressProcent->setGeometry(0, 0, panel.gauge_width, kButtonHeight);
  CGaugeProgressProcent->setFont(fixed);
  CGaugeProgressProcent->setVisible(false);
}

// The popup menu of PanelMenu, item by item as designed. Switches check
// themselves when clicked; the shell draws every mark again at once.
void MainForm::BuildMenu() {
  using shell::form::MenuItem;
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName("PopupMenu");
  std::array<QMenu*, shell::form::kMenuItemCount> submenus{};
  for (const shell::form::MenuItemDesign& d : shell::form::kMenu) {
    QMenu* into = d.parent == MenuItem::kNone ? PopupMenu : submenus[shell::form::Index(d.parent)];
    if (d.separator_before) into->addSeparator();
    QAction* action = nullptr;
    if (d.kind == shell::form::MenuKind::kSubmenu) {
      QMenu* sub = new QMenu(QString::fromUtf8(d.caption), this);
      submenus[shell::form::Index(d.item)] = sub;
      action = into->addMenu(sub);
    } else {
      action = new QAction(QString::fromUtf8(d.caption), this);
      action->setCheckable(d.kind == shell::form::MenuKind::kSwitch);
      into->addAction(action);
      connect(action, &QAction::triggered, this, [this, item = d.item] { shell_->MenuClick(item); });
    }
    action->setObjectName(d.name);
    menu_[shell::form::Index(d.item)] = action;
  }
}

// --- close ---

void MainForm::closeEvent(QCloseEvent* event) {
  if (shell_->CloseRequested())
    event->accept();
  else
    event->ignore();
}

void MainForm::FinishClose() { close(); }

// --- menu and language ---

void MainForm::DrawMenu(const shell::form::MenuStates& items) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    menu_[i]->setVisible(items[i].visible);
    if (menu_[i]->isCheckable()) menu_[i]->setChecked(items[i].checked);
    menu_[i]->setEnabled(items[i].enabled);
  }
}

void MainForm::DrawLanguage(int32_t language, const std::string& caption) {
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
    shell_->MemoDblClick();
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

}  // namespace rtd::app
