#include "app/hex_view_dialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/hex_rows_widget.h"

namespace rtd::app {

namespace {
QString Text(const std::string& text) { return QString::fromStdString(text); }
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
  status_ = new QLabel(this);
  status_->setObjectName("HexStatus");
  // Paths and typed text in it are shown as they are, never as markup.
  status_->setTextFormat(Qt::PlainText);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(MakeSearchLine());
  layout->addLayout(MakeRows(), 1);
  layout->addWidget(status_);
  layout->addLayout(MakeRangeLine());
  resize((ranges_ != nullptr ? ranges_->width() + 8 : 0) + rows_->LineWidth() + 24, 520);
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

// The rows, and a compare's ranges on their left.
QLayout* HexViewDialog::MakeRows() {
  rows_ = new HexRowsWidget(model_.view(), this);
  rows_->setObjectName("HexRows");
  connect(rows_, &HexRowsWidget::Changed, this, &HexViewDialog::Refresh);
  auto* line = new QHBoxLayout;
  if (!model_.ranges().empty()) {
    ranges_ = new QListWidget(this);
    ranges_->setObjectName("HexRanges");
    for (const std::string& range : model_.ranges()) ranges_->addItem(Text(range));
    ranges_->setFixedWidth(ranges_->sizeHintForColumn(0) + 2 * ranges_->frameWidth() + 24);
    line->addWidget(ranges_);
    connect(ranges_, &QListWidget::currentRowChanged, this, [this](int row) {
      if (row < 0) return;
      model_.ChooseRange(static_cast<std::size_t>(row));
      Refresh();
    });
  }
  line->addWidget(rows_, 1);
  return line;
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
  status_->setText(Text(view.StatusLine()));
  if (view.SelectionSerial() != shown_selection_) {
    shown_selection_ = view.SelectionSerial();
    start_->setText(Text(view.SelectionStartText()));
    length_->setText(Text(view.SelectionLengthText()));
  }
}

}  // namespace rtd::app
