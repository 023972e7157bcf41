#include "app/hex_view_dialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>

#include "app/hex_rows_widget.h"

namespace rtd::app {

namespace {
QString Text(const std::string& text) { return QString::fromStdString(text); }
// The rows of ranges on show, at most; more go into further columns.
constexpr int kRangeRows = 4;

// The status line: plain text to select and copy, looking like a label,
// wrapped at words and a word longer than the line (a file's path) where
// the line ends. It asks for the height of its lines but needs only one:
// the dialog keeps its size whatever the line says, and where the dialog
// has no room for all the lines the rest is scrolled to.
class StatusLine final : public QTextEdit {
 public:
  explicit StatusLine(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setAcceptRichText(false);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::ClickFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document()->setDocumentMargin(0);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colours.color(QPalette::Window));
    setPalette(colours);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void Show(const QString& text) {
    if (text == toPlainText()) return;
    setPlainText(text);
    FitHeight();
  }
  QSize sizeHint() const override { return {0, needed_}; }
  QSize minimumSizeHint() const override { return {0, OneLine()}; }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QTextEdit::resizeEvent(event);
    FitHeight();
  }

 private:
  int OneLine() const { return fontMetrics().height() + 2 * frameWidth(); }
  void FitHeight() {
    const int needed =
        std::max(qCeil(document()->size().height()) + 2 * frameWidth(), OneLine());
    if (needed == needed_) return;
    needed_ = needed;
    setMaximumHeight(needed);
    updateGeometry();
  }
  int needed_ = 0;
};
}  // namespace

QPushButton* HexViewDialog::AddButton(const std::string& caption, const char* name) {
  auto* b = new QPushButton(Text(caption), this);
  b->setObjectName(name);
  // Return in a field does what the field is for, never closes the dialog.
  b->setAutoDefault(false);
  return b;
}

QPushButton* HexViewDialog::Button(const char* name) const {
  return findChild<QPushButton*>(QString::fromLatin1(name));
}

HexViewDialog::HexViewDialog(shell::HexViewDialog& model, QWidget* owner)
    : QDialog(owner), model_(model) {
  setObjectName("HexViewDialog");
  setWindowTitle(Text(model.texts().title));
  setSizeGripEnabled(true);
  status_ = new StatusLine(this);
  status_->setObjectName("HexStatus");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(MakeSearchLine());
  if (QWidget* ranges = MakeRanges()) layout->addWidget(ranges);
  layout->addWidget(MakeRows(), 1);
  layout->addWidget(status_);
  layout->addLayout(MakeRangeLine());
  // As wide as the whole line of the rows: a compare's ranges stand above
  // them, so the file's and the chip's columns fit a screen 1280 wide.
  const QMargins margins = layout->contentsMargins();
  resize(rows_->LineWidth() + margins.left() + margins.right(),
         520 + (ranges_ != nullptr ? ranges_->height() + layout->spacing() : 0));
  rows_->setFocus();
  Refresh();
}

// Go to an address, find bytes or a text.
QLayout* HexViewDialog::MakeSearchLine() {
  const shell::HexViewTexts& t = model_.texts();
  address_ = new QLineEdit(this);
  address_->setObjectName("HexAddress");
  address_->setMaximumWidth(fontMetrics().horizontalAdvance(QString(12, '0')));
  find_ = new QLineEdit(this);
  find_->setObjectName("HexFind");
  hex_ = new QCheckBox(Text(t.hex), this);
  hex_->setObjectName("HexFindHex");
  QPushButton* go = AddButton(t.go, "HexGo");
  QPushButton* previous = AddButton(t.previous, "HexFindPrevious");
  QPushButton* next = AddButton(t.next, "HexFindNext");
  auto* line = new QHBoxLayout;
  line->addWidget(new QLabel(Text(t.address), this));
  line->addWidget(address_);
  line->addWidget(go);
  line->addSpacing(16);
  line->addWidget(new QLabel(Text(t.find), this));
  line->addWidget(find_, 1);
  line->addWidget(hex_);
  line->addWidget(previous);
  line->addWidget(next);

  const auto go_to = [this] {
    if (model_.view().GoTo(address_->text().trimmed().toStdString())) rows_->setFocus();
    Refresh();
  };
  const auto find = [this](bool backwards) {
    model_.view().Find(find_->text().toStdString(), hex_->isChecked(), backwards);
    Refresh();
  };
  connect(go, &QPushButton::clicked, this, go_to);
  connect(address_, &QLineEdit::returnPressed, this, go_to);
  connect(next, &QPushButton::clicked, this, [find] { find(false); });
  connect(find_, &QLineEdit::returnPressed, this, [find] { find(false); });
  connect(previous, &QPushButton::clicked, this, [find] { find(true); });
  return line;
}

// A compare's differing ranges, in columns across the dialog a few rows
// high; choosing one selects it.
QWidget* HexViewDialog::MakeRanges() {
  if (model_.ranges().empty()) return nullptr;
  ranges_ = new QListWidget(this);
  ranges_->setObjectName("HexRanges");
  int widest = 0;
  for (const std::string& range : model_.ranges()) {
    ranges_->addItem(Text(range));
    widest = std::max(widest, ranges_->fontMetrics().horizontalAdvance(Text(range)));
  }
  const int count = static_cast<int>(model_.ranges().size());
  const int item = ranges_->sizeHintForRow(0);
  int height = std::min(count, kRangeRows) * item + 2 * ranges_->frameWidth();
  if (count > kRangeRows) {
    ranges_->setFlow(QListView::TopToBottom);
    ranges_->setWrapping(true);
    ranges_->setResizeMode(QListView::Adjust);
    ranges_->setGridSize(QSize(widest + 24, item));
    ranges_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ranges_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A column takes the rows that fit strictly inside it: half a row more
    // makes it kRangeRows.
    height += item / 2 + ranges_->horizontalScrollBar()->sizeHint().height();
  }
  ranges_->setFixedHeight(height);
  connect(ranges_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    model_.ChooseRange(static_cast<std::size_t>(row));
    Refresh();
  });
  return ranges_;
}

QWidget* HexViewDialog::MakeRows() {
  rows_ = new HexRowsWidget(model_.view(), this);
  rows_->setObjectName("HexRows");
  connect(rows_, &HexRowsWidget::Changed, this, &HexViewDialog::Refresh);
  return rows_;
}

// The range to save; a compare's differences and Copy; Close.
QLayout* HexViewDialog::MakeRangeLine() {
  const shell::HexViewTexts& t = model_.texts();
  start_ = new QLineEdit(this);
  start_->setObjectName("HexStart");
  length_ = new QLineEdit(this);
  length_->setObjectName("HexLength");
  for (QLineEdit* field : {start_, length_})
    field->setMaximumWidth(fontMetrics().horizontalAdvance(QString(12, '0')));
  QPushButton* save = AddButton(t.save, "HexSave");
  auto* line = new QHBoxLayout;
  line->addWidget(new QLabel(Text(t.start), this));
  line->addWidget(start_);
  line->addWidget(new QLabel(Text(t.length), this));
  line->addWidget(length_);
  line->addWidget(save);
  line->addStretch(1);
  connect(save, &QPushButton::clicked, this, [this] {
    model_.Save(start_->text().toStdString(), length_->text().toStdString());
    Refresh();
  });
  if (model_.view().Compares()) {
    for (const bool backwards : {true, false}) {
      QPushButton* b = AddButton(backwards ? t.previous_difference : t.next_difference,
                                 backwards ? "HexPreviousDifference" : "HexNextDifference");
      line->addWidget(b);
      connect(b, &QPushButton::clicked, this, [this, backwards] {
        model_.view().NextDifference(backwards);
        Refresh();
      });
    }
  }
  if (!model_.CopyText().empty()) {
    QPushButton* copy = AddButton(t.copy, "HexCopy");
    line->addWidget(copy);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Text(model_.CopyText())); });
  }
  QPushButton* close = AddButton(t.close, "HexClose");
  line->addWidget(close);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  return line;
}

void HexViewDialog::Refresh() {
  rows_->Refresh();
  const shell::HexView& view = model_.view();
  static_cast<StatusLine*>(status_)->Show(Text(view.StatusLine()));
  if (view.SelectionSerial() != shown_selection_) {
    shown_selection_ = view.SelectionSerial();
    start_->setText(Text(view.SelectionStartText()));
    length_->setText(Text(view.SelectionLengthText()));
  }
}

}  // namespace rtd::app
