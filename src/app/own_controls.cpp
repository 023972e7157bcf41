#include "app/own_controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QPainter>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace rtd::app {

RadioGroup::RadioGroup(QWidget* parent)
    : QGroupBox(parent), buttons_(new QButtonGroup(this)), layout_(new QVBoxLayout(this)) {}

void RadioGroup::setItems(const QStringList& items) {
  for (QAbstractButton* button : buttons_->buttons()) {
    buttons_->removeButton(button);
    delete button;
  }
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_->addButton(button, i);
    layout_->addWidget(button);
  }
}

QStringList RadioGroup::items() const {
  QStringList items;
  for (const QAbstractButton* button : buttons_->buttons()) items.append(button->text());
  return items;
}

int RadioGroup::itemIndex() const { return buttons_->checkedId(); }

void RadioGroup::setItemIndex(int index) {
  if (QAbstractButton* button = buttons_->button(index)) {
    button->setChecked(true);
  } else if (QAbstractButton* checked = buttons_->checkedButton()) {
    // An exclusive group refuses to uncheck its last checked button.
    buttons_->setExclusive(false);
    checked->setChecked(false);
    buttons_->setExclusive(true);
  }
}

void TabSheet::setCaption(const QString& caption) {
  setWindowTitle(caption);
  if (QTabWidget* tabs = tabWidget()) tabs->setTabText(tabs->indexOf(this), caption);
}

QString TabSheet::caption() const {
  const QTabWidget* tabs = tabWidget();
  return tabs != nullptr ? tabs->tabText(tabs->indexOf(this)) : windowTitle();
}

QTabWidget* TabSheet::tabWidget() const {
  // A page sits in the tab widget's internal stack, not in the tab widget.
  for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
    auto* tabs = qobject_cast<QTabWidget*>(w);
    if (tabs != nullptr && tabs->indexOf(this) >= 0) return tabs;
  }
  return nullptr;
}

void PaintBox::paintEvent(QPaintEvent* /*event*/) {
  if (!onPaint) return;
  QPainter painter(this);
  onPaint(painter);
}

}  // namespace rtd::app
