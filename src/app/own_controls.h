// Controls of ours for roles that Qt fills with no class of their own, so
// that the window's translation (translate_form.h) can tell them by class
// name: a titled group of radio buttons chosen by index, a tab page whose
// caption is its tab's text, and a surface its owner paints on.
#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

class QButtonGroup;
class QPainter;
class QTabWidget;
class QVBoxLayout;

namespace rtd::app {

// A group box holding one exclusive radio button per item, one under the
// other; the title is the caption.
class RadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  explicit RadioGroup(QWidget* parent = nullptr);

  // Replaces the buttons by one per item; none is selected afterwards.
  void setItems(const QStringList& items);
  QStringList items() const;

  // The selected item, -1 for none. An index outside the items selects none.
  int itemIndex() const;
  void setItemIndex(int index);

 private:
  QButtonGroup* buttons_;
  QVBoxLayout* layout_;
};

// A page of a QTabWidget whose caption is the text of its tab.
class TabSheet : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  // Sets the page's tab text (and its window title, which keeps the caption
  // while the page is in no tab widget).
  void setCaption(const QString& caption);
  QString caption() const;

 private:
  QTabWidget* tabWidget() const;
};

// A plain surface whose content onPaint draws whenever it is repainted.
class PaintBox : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  std::function<void(QPainter&)> onPaint;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace rtd::app
