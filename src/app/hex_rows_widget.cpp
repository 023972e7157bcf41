#include "app/hex_rows_widget.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <QtMath>

#include <optional>

namespace rtd::app {

namespace {

constexpr int kMargin = 4;

QColor Colour(uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

std::optional<shell::HexKey> KeyOf(int key) {
  switch (key) {
    case Qt::Key_Left: return shell::HexKey::kLeft;
    case Qt::Key_Right: return shell::HexKey::kRight;
    case Qt::Key_Up: return shell::HexKey::kUp;
    case Qt::Key_Down: return shell::HexKey::kDown;
    case Qt::Key_PageUp: return shell::HexKey::kPageUp;
    case Qt::Key_PageDown: return shell::HexKey::kPageDown;
    case Qt::Key_Home: return shell::HexKey::kHome;
    case Qt::Key_End: return shell::HexKey::kEnd;
    default: return std::nullopt;
  }
}

}  // namespace

HexRowsWidget::HexRowsWidget(shell::HexView& view, QWidget* parent)
    : QAbstractScrollArea(parent), view_(view) {
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(13);
  setFont(fixed);
  viewport()->setFont(fixed);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
}

int HexRowsWidget::LineHeight() const { return fontMetrics().height(); }
qreal HexRowsWidget::CharWidth() const {
  return QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0'));
}

int HexRowsWidget::LineWidth() const {
  return 2 * kMargin + qCeil(view_.layout().Width() * CharWidth()) +
         verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
}

QPoint HexRowsWidget::PointOf(int visible_row, int column) const {
  return {kMargin + qFloor((column + 0.5) * CharWidth()) - horizontalScrollBar()->value(),
          HeaderHeight() + visible_row * LineHeight() + LineHeight() / 2};
}

void HexRowsWidget::CellAt(const QPoint& at, int* row, int* column) const {
  const int y = at.y() - HeaderHeight();
  *row = y < 0 ? -1 : y / LineHeight();
  const int x = at.x() - kMargin + horizontalScrollBar()->value();
  *column = x < 0 ? -1 : qFloor(x / CharWidth());
}

void HexRowsWidget::Refresh() {
  updating_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, static_cast<int>(view_.MaxTopRow()));
  v->setPageStep(static_cast<int>(view_.VisibleRows()));
  v->setValue(static_cast<int>(view_.TopRow()));
  QScrollBar* h = horizontalScrollBar();
  const int line = 2 * kMargin + qCeil(view_.layout().Width() * CharWidth());
  h->setRange(0, std::max(0, line - viewport()->width()));
  h->setPageStep(viewport()->width());
  h->setSingleStep(qCeil(CharWidth()));
  updating_ = false;
  viewport()->update();
}

void HexRowsWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const int room = viewport()->height() - HeaderHeight();
  view_.SetVisibleRows(static_cast<uint32_t>(std::max(room / LineHeight(), 1)));
  Refresh();
}

void HexRowsWidget::scrollContentsBy(int, int) {
  if (!updating_) {
    view_.ScrollTo(static_cast<uint32_t>(verticalScrollBar()->value()));
    emit Changed();
  }
  viewport()->update();
}

void HexRowsWidget::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.setFont(font());
  const int line = LineHeight(), ascent = fontMetrics().ascent();
  const qreal w = CharWidth();
  const qreal left = kMargin - horizontalScrollBar()->value();
  // The header over the rows, apart by a line.
  p.fillRect(0, 0, viewport()->width(), HeaderHeight() - 1, palette().window());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(QPointF(left, ascent + 1), QString::fromStdString(view_.Header()));
  p.setPen(palette().color(QPalette::Mid));
  p.drawLine(0, HeaderHeight() - 1, viewport()->width(), HeaderHeight() - 1);
  for (uint32_t i = 0; i < view_.VisibleRows(); ++i) {
    const auto row = view_.VisibleRow(i);
    if (!row) break;
    const int top = HeaderHeight() + static_cast<int>(i) * line;
    p.setPen(Qt::black);
    p.drawText(QPointF(left, top + ascent),
               QString::fromLatin1(row->text.data(), static_cast<int>(row->text.size())));
    for (const shell::HexSpan& span : row->spans) {
      const shell::HexInk ink = shell::InkOf(span.marks);
      const QRectF cells(left + span.column * w, top, span.length * w, line);
      p.fillRect(cells, Colour(ink.background));
      p.setPen(Colour(ink.text));
      p.drawText(QPointF(cells.left(), top + ascent),
                 QString::fromLatin1(row->text.data() + span.column, span.length));
    }
  }
}

void HexRowsWidget::keyPressEvent(QKeyEvent* event) {
  const auto key = KeyOf(event->key());
  if (!key) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  view_.Key(*key, event->modifiers() & Qt::ControlModifier, event->modifiers() & Qt::ShiftModifier);
  Refresh();
  emit Changed();
}

void HexRowsWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  int row = 0, column = 0;
  CellAt(event->position().toPoint(), &row, &column);
  if (row < 0) return;  // the header
  view_.Press(row, column, event->modifiers() & Qt::ShiftModifier);
  Refresh();
  emit Changed();
}

void HexRowsWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  int row = 0, column = 0;
  CellAt(event->position().toPoint(), &row, &column);
  view_.Drag(row, column);
  Refresh();
  emit Changed();
}

void HexRowsWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) view_.Release();
}

void HexRowsWidget::wheelEvent(QWheelEvent* event) {
  // Qt's eighths of a degree: 120 a notch, as the view counts.
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  view_.Wheel(delta);
  Refresh();
  emit Changed();
}

}  // namespace rtd::app
