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
  const shell::HexViewTexts& t = model.texts();
  shell::HexView& view = model.view();
  setObjectName("HexViewDialog");
  setWindowTitle(Text(t.title));
  setSizeGripEnabled(true);

  // Go to an address, find bytes or a text.
  address_ = new QLineEdit(this);
  address_->setObjectName("HexAddress");
  address_->setMaximumWidth(fontMetrics().horizontalAdvance(QString(12, '0')));
  find_ = new QLineEdit(this);
  find_->setObjectName("HexFind");
  hex_ = new QCheckBox(Text(t.hex), this);
  hex_->setObjectName("HexFindHex");
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(Text(t.address), this));
  top->addWidget(address_);
  QPushButton* go = AddButton(t.go, "HexGo");
  top->addWidget(go);
  top->addSpacing(16);
  top->addWidget(new QLabel(Text(t.find), this));
  top->addWidget(find_, 1);
  top->addWidget(hex_);
  QPushButton* previous = AddButton(t.previous, "HexFindPrevious");
  QPushButton* next = AddButton(t.next, "HexFindNext");
  top->addWidget(previous);
  top->addWidget(next);

  // The rows, and a compare's ranges on their left.
  rows_ = new HexRowsWidget(view, this);
  rows_->setObjectName("HexRows");
  auto* middle = new QHBoxLayout;
  if (!model.ranges().empty()) {
    ranges_ = new QListWidget(this);
    ranges_->setObjectName("HexRanges");
    for (const std::string& range : model.ranges()) ranges_->addItem(Text(range));
    ranges_->setFixedWidth(ranges_->sizeHintForColumn(0) + 2 * ranges_->frameWidth() + 24);
    middle->addWidget(ranges_);
    connect(ranges_, &QListWidget::currentRowChanged, this, [this](int row) {
      if (row < 0) return;
      model_.ChooseRange(static_cast<std::size_t>(row));
      Refresh();
    });
  }
  middle->addWidget(rows_, 1);

  status_ = new QLabel(this);
  status_->setObjectName("HexStatus");
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  // The range to save; a compare's differences; Close.
  start_ = new QLineEdit(this);
  start_->setObjectName("HexStart");
  length_ = new QLineEdit(this);
  length_->setObjectName("HexLength");
  for (QLineEdit* field : {start_, length_})
    field->setMaximumWidth(fontMetrics().horizontalAdvance(QString(12, '0')));
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(new QLabel(Text(t.start), this));
  bottom->addWidget(start_);
  bottom->addWidget(new QLabel(Text(t.length), this));
  bottom->addWidget(length_);
  QPushButton* save = AddButton(t.save, "HexSave");
  bottom->addWidget(save);
  bottom->addStretch(1);
  if (view.Compares()) {
    QPushButton* previous_difference = AddButton(t.previous_difference, "HexPreviousDifference");
    QPushButton* next_difference = AddButton(t.next_difference, "HexNextDifference");
    bottom->addWidget(previous_difference);
    bottom->addWidget(next_difference);
    connect(previous_difference, &QPushButton::clicked, this, [this] {
      model_.view().NextDifference(true);
      Refresh();
    });
    connect(next_difference, &QPushButton::clicked, this, [this] {
      model_.view().NextDifference(false);
      Refresh();
    });
  }
  if (!model.CopyText().empty()) {
    QPushButton* copy = AddButton(t.copy, "HexCopy");
    bottom->addWidget(copy);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(Text(model_.CopyText())); });
  }
  QPushButton* close = AddButton(t.close, "HexClose");
  bottom->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(middle, 1);
  layout->addWidget(status_);
  layout->addLayout(bottom);

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
  connect(save, &QPushButton::clicked, this, [this] {
    model_.Save(start_->text().toStdString(), length_->text().toStdString());
    Refresh();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(rows_, &HexRowsWidget::Changed, this, &HexViewDialog::Refresh);

  resize((ranges_ != nullptr ? ranges_->width() + 8 : 0) + rows_->LineWidth() + 24, 520);
  rows_->setFocus();
  Refresh();
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
