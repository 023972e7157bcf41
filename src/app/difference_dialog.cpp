#include "app/difference_dialog.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace rtd::app {

namespace {
QString Text(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

DifferenceDialog::DifferenceDialog(const shell::DifferenceListing& listing, QWidget* owner)
    : QDialog(owner), listing_(listing) {
  setObjectName("DifferenceDialog");
  setWindowTitle(Text(listing.title));
  setSizeGripEnabled(true);

  ranges_ = new QListWidget(this);
  ranges_->setObjectName("DifferenceRanges");
  for (const std::string& range : listing.ranges) ranges_->addItem(Text(range));
  ranges_->setFixedWidth(ranges_->sizeHintForColumn(0) + 2 * ranges_->frameWidth() + 24);

  text_ = new QPlainTextEdit(this);
  text_->setObjectName("DifferenceListing");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  text_->setFont(fixed);
  QString all;
  for (const std::string& line : listing.lines) all += Text(line) + '\n';
  all.chop(1);
  text_->setPlainText(all);

  copy_ = new QPushButton(Text(listing.copy_caption), this);
  copy_->setObjectName("DifferenceCopy");
  auto* close = new QPushButton(Text(listing.close_caption), this);
  close->setObjectName("DifferenceClose");
  close->setDefault(true);

  auto* sides = new QHBoxLayout;
  sides->addWidget(ranges_);
  sides->addWidget(text_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(copy_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(sides, 1);
  layout->addLayout(buttons);

  const QFontMetrics metrics(fixed);
  resize(ranges_->width() + metrics.horizontalAdvance(QString(110, 'W')) + 60, 480);

  connect(ranges_, &QListWidget::currentRowChanged, this, &DifferenceDialog::ScrollToRange);
  connect(copy_, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(Text(listing_.Text())); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void DifferenceDialog::ScrollToRange(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= listing_.range_lines.size()) return;
  // The text scrolls by lines: the range's first line at the top.
  text_->verticalScrollBar()->setValue(static_cast<int>(listing_.range_lines[row]));
}

}  // namespace rtd::app
