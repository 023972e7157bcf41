// The scenarios' driver for the Qt window: its real widgets on Qt's
// offscreen platform, answered through the window's seams.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "app/gauge_widget.h"
#include "app/hex_rows_widget.h"
#include "app/hex_view_dialog.h"
#include "app/main_form.h"
#include "shell/form/form.h"
#include "window_driver.h"

namespace rtd::test {
namespace {

shell::Rect RectOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

// The text a label or a box shows: what Qt takes for markup, as rendered.
std::string Shown(const QString& text, Qt::TextFormat format) {
  if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)))
    return text.toStdString();
  QTextDocument rendered;
  rendered.setHtml(text);
  return rendered.toPlainText().toStdString();
}

class QtWindowDriver : public WindowDriver {
 public:
  ~QtWindowDriver() override { form_.reset(); }

  void Start(std::unique_ptr<HidPlatform> programmer, Clock& clock,
             const shell::SessionPaths& paths) override {
    form_.reset();
    seams_ = {};
    seams_.run_timers = false;
    seams_.on_pump = [this] {
      ++pumps_;
      if (on_pump) on_pump(pumps_);
    };
    seams_.on_modal_shown = [this](QWidget* w) { ModalShown(w); };
    seams_.open_folder = [this](const std::string& folder) {
      opened_folders.push_back(folder);
      return folders_open;
    };
    form_ = std::make_unique<app::MainForm>(std::move(programmer), clock, paths, &seams_);
  }

  shell::WindowShell& Shell() override { return form_->shell(); }

  void Click(ToolButton button) override {
    pumps_ = 0;
    form_->Button(button)->click();
    // What the click started, and anything it left queued behind it.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  void ClickNow(ToolButton button) override { form_->Button(button)->click(); }
  void ChooseMenuItem(const std::string& name) override { Action(name)->trigger(); }
  void ChooseServiceItem(const std::string& name) override {
    pumps_ = 0;
    Action(name)->trigger();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  void DoubleClickLog() override {
    auto* viewport = form_->findChild<QPlainTextEdit*>("Memo")->viewport();
    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5),
                      viewport->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &click);
  }
  // Qt answers a close asked inside another close's handling with true
  // without asking the window again; what counts is whether it went.
  bool Close() override {
    const bool accepted = form_->close();
    return accepted && form_->shell().Closed();
  }
  void Tick(shell::WindowTimer timer) override {
    switch (timer) {
      case shell::WindowTimer::TimerQELPADTest: form_->TimerQELPADTestTimer(); break;
      case shell::WindowTimer::TimerOnShow: form_->TimerOnShowTimer(); break;
      case shell::WindowTimer::UniversalTimer: form_->UniversalTimerTimer(); break;
      case shell::WindowTimer::TimerFlash: form_->TimerFlashTimer(); break;
    }
  }

  std::vector<std::string> Log() override {
    std::vector<std::string> lines;
    for (const QString& line : form_->LogText().split('\n', Qt::SkipEmptyParts))
      lines.push_back(line.toStdString());
    return lines;
  }
  std::string Status() override {
    return Shown(form_->StatusText(),
                 form_->findChild<QLabel*>("StatusBarPanel0")->textFormat());
  }
  std::vector<ToolButton> EnabledButtons() override {
    std::vector<ToolButton> on;
    for (int i = 0; i < static_cast<int>(shell::kToolButtonCount); ++i)
      if (form_->Button(static_cast<ToolButton>(i))->isEnabled())
        on.push_back(static_cast<ToolButton>(i));
    return on;
  }
  std::string Caption() override { return form_->windowTitle().toStdString(); }
  std::string PanelCaption() override { return form_->PanelCaption().toStdString(); }
  bool PanelVisible() override { return !form_->findChild<QWidget*>("PanelMenu")->isHidden(); }
  bool GaugeVisible() override { return !form_->Gauge().isHidden(); }
  std::string Hint(const std::string& control) override {
    return form_->findChild<QWidget*>(QString::fromStdString(control))->toolTip().toStdString();
  }
  std::string MenuText(const std::string& item) override {
    return Action(item)->text().toStdString();
  }
  bool MenuChecked(const std::string& item) override { return Action(item)->isChecked(); }
  bool MenuVisible(const std::string& item) override { return Action(item)->isVisible(); }
  bool MenuEnabled(const std::string& item) override { return Action(item)->isEnabled(); }
  bool TimerRunning(shell::WindowTimer timer) override {
    return form_->TimerEnabled(form_->findChild<QTimer*>(shell::form::TimerName(timer)));
  }
  uint32_t TimerInterval(shell::WindowTimer timer) override {
    return static_cast<uint32_t>(form_->findChild<QTimer*>(shell::form::TimerName(timer))->interval());
  }
  bool Closed() override { return form_->shell().Closed(); }
  shell::Rect WindowRect() override { return form_->WindowRect(); }
  shell::Rect WorkArea() override { return form_->WorkArea(); }
  bool TakesInput() override {
    const QWidget* modal = QApplication::activeModalWidget();
    return form_->isEnabled() && (modal == nullptr || modal == form_.get());
  }

  ShownHexView HexView() override {
    app::HexViewDialog& d = *hex_;
    // The layout as the event loop would settle it after the last change.
    for (int i = 0; i < 3; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ShownHexView shown;
    shown.title = d.windowTitle().toStdString();
    shown.rect = RectOf(d.frameGeometry());
    if (d.Ranges() != nullptr)
      for (int i = 0; i < d.Ranges()->count(); ++i)
        shown.ranges.push_back(d.Ranges()->item(i)->text().toStdString());
    // The rows the widget draws: those on show.
    const shell::HexView& view = d.model().view();
    for (uint32_t i = 0; i < view.VisibleRows(); ++i)
      if (const auto row = view.VisibleRow(i)) shown.rows.push_back(*row);
    shown.scroll = d.Rows()->verticalScrollBar()->value();
    shown.scroll_end = d.Rows()->verticalScrollBar()->maximum();
    shown.status = d.Status()->toPlainText().toStdString();
    shown.start = d.StartField()->text().toStdString();
    shown.length = d.LengthField()->text().toStdString();
    shown.line_whole = d.Rows()->horizontalScrollBar()->maximum() == 0;
    // The text as laid out, against the room it is shown in.
    const QTextEdit* status = d.Status();
    const QSizeF text = status->document()->size();
    shown.status_whole = text.width() <= status->viewport()->width() &&
                         text.height() <= status->viewport()->height();
    shown.status_below_rows = status->geometry().top() > d.Rows()->geometry().bottom();
    return shown;
  }
  void HexKey(shell::HexKey key, bool ctrl, bool shift) override {
    static const int kKeys[] = {Qt::Key_Left,   Qt::Key_Right,    Qt::Key_Up,   Qt::Key_Down,
                                Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
    const Qt::KeyboardModifiers modifiers = (ctrl ? Qt::ControlModifier : Qt::NoModifier) |
                                            (shift ? Qt::ShiftModifier : Qt::NoModifier);
    QKeyEvent press(QEvent::KeyPress, kKeys[static_cast<int>(key)], modifiers);
    QCoreApplication::sendEvent(hex_->Rows(), &press);
  }
  void HexClick(int visible_row, int column, bool shift) override {
    QWidget* viewport = hex_->Rows()->viewport();
    const QPointF at = hex_->Rows()->PointOf(visible_row, column);
    const Qt::KeyboardModifiers modifiers = shift ? Qt::ShiftModifier : Qt::NoModifier;
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, modifiers);
      QCoreApplication::sendEvent(viewport, &click);
    }
  }
  void HexGoTo(const std::string& address) override {
    hex_->AddressField()->setText(QString::fromStdString(address));
    hex_->Button("HexGo")->click();
  }
  void HexFind(const std::string& what, bool hex, bool backwards) override {
    hex_->FindField()->setText(QString::fromStdString(what));
    hex_->FindHex()->setChecked(hex);
    hex_->Button(backwards ? "HexFindPrevious" : "HexFindNext")->click();
  }
  void HexDifference(bool backwards) override {
    hex_->Button(backwards ? "HexPreviousDifference" : "HexNextDifference")->click();
  }
  void HexChooseRange(int index) override { hex_->Ranges()->setCurrentRow(index); }
  void HexSaveRange(const std::string& start, const std::string& length) override {
    if (!start.empty()) hex_->StartField()->setText(QString::fromStdString(start));
    if (!length.empty()) hex_->LengthField()->setText(QString::fromStdString(length));
    hex_->Button("HexSave")->click();
  }
  void HexResize(int width, int height) override {
    const QRect frame = hex_->frameGeometry();
    hex_->resize(width - (frame.width() - hex_->width()), height - (frame.height() - hex_->height()));
  }

 private:
  QAction* Action(const std::string& name) {
    return form_->findChild<QAction*>(QString::fromStdString(name));
  }

  void ModalShown(QWidget* w) {
    if (auto* view = qobject_cast<app::HexViewDialog*>(w)) {
      hex_ = view;
      ShownHexView shown = HexView();
      if (QPushButton* copy = view->Button("HexCopy")) {
        QGuiApplication::clipboard()->clear();
        copy->click();
        shown.copied = QGuiApplication::clipboard()->text().toStdString();
      }
      hex_views.push_back(shown);
      if (on_modal_shown) on_modal_shown();
      if (in_hex_view) in_hex_view();
      hex_ = nullptr;
      view->accept();
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      ShownBox shown;
      shown.caption = box->windowTitle().toStdString();
      shown.text = Shown(box->text(), box->textFormat());
      shown.buttons = static_cast<int>(box->buttons().size());
      for (auto* b : box->buttons()) shown.button_texts.push_back(b->text().toStdString());
      shown.rect = RectOf(box->frameGeometry());
      shown.window = RectOf(form_->frameGeometry());
      shown.watch_running = TimerRunning(shell::WindowTimer::TimerQELPADTest);
      boxes.push_back(shown);
      if (on_modal_shown) on_modal_shown();
      if (!box_answers.empty()) {
        seams_.box_answers.push_back(box_answers.front());
        box_answers.pop_front();
      }
      return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
      ShownDialog shown;
      shown.title = dialog->windowTitle().toStdString();
      shown.start_dir = dialog->directory().absolutePath().toStdString();
      dialogs.push_back(shown);
      if (on_modal_shown) on_modal_shown();
      // Where it stands when it is answered.
      dialogs.back().rect = RectOf(dialog->frameGeometry());
      dialogs.back().window = RectOf(form_->frameGeometry());
      if (!file_names.empty()) {
        seams_.file_names.push_back(file_names.front());
        file_names.pop_front();
      }
    }
  }

  app::WindowSeams seams_;
  std::unique_ptr<app::MainForm> form_;
  app::HexViewDialog* hex_ = nullptr;  // while a hex view is open
  int pumps_ = 0;
};

}  // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver() { return std::make_unique<QtWindowDriver>(); }

}  // namespace rtd::test
