// The rows of the hex view in the window's fixed font: the header above,
// only the rows on show below it, each run of marked bytes in the colours
// the shell gives; the scroll bars follow the view, and every key, click,
// drag and turn of the wheel goes to it.
#pragma once

#include <QAbstractScrollArea>

#include "shell/hex_view.h"

namespace rtd::app {

class HexRowsWidget : public QAbstractScrollArea {
  Q_OBJECT

 public:
  HexRowsWidget(shell::HexView& view, QWidget* parent);

  // The scroll bars and the rows drawn again, after the view changed.
  void Refresh();
  // The middle of a column of a row on show, in the viewport (for tests).
  QPoint PointOf(int visible_row, int column) const;
  // The width the whole line needs, scroll bar included.
  int LineWidth() const;

 signals:
  // The user did something in the rows: the dialog shows the status anew.
  void Changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int LineHeight() const;
  // A fixed font's advance is seldom a whole pixel: every column is placed
  // by the exact one, so the coloured runs sit on the characters of the line.
  qreal CharWidth() const;
  int HeaderHeight() const { return LineHeight() + 3; }
  // The row on show and the column under a point of the viewport.
  void CellAt(const QPoint& at, int* row, int* column) const;

  shell::HexView& view_;
  bool updating_ = false;  // the scroll bars are being set from the view
};

}  // namespace rtd::app
