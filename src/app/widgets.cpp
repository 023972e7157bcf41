#include <QPainter>

#include "app/gauge_widget.h"
#include "app/panel.h"

namespace rtd::app {

void Panel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (text_.isEmpty()) return;
  QPainter p(this);
  p.setFont(font());
  p.drawText(contentsRect(), Qt::AlignCenter, text_);
}

void GaugeWidget::Show(const shell::ProgressGauge& gauge, bool restarted) {
  const int percent = gauge.Percent();
  if (!restarted && percent == percent_) return;
  percent_ = percent;
  text_ = QString::fromStdString(gauge.Text());
  update();
}

void GaugeWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect all = rect().adjusted(0, 0, -1, -1);
  const int filled = all.width() * std::max(percent_, 0) / 100;
  const QRect bar(all.left(), all.top(), filled, all.height());
  p.fillRect(all, Qt::white);
  p.fillRect(bar, Qt::black);
  p.setPen(Qt::gray);
  p.drawRect(all);
  // The text in black over white and in white over the bar.
  p.setPen(Qt::black);
  p.drawText(all, Qt::AlignCenter, text_);
  p.setClipRect(bar);
  p.setPen(Qt::white);
  p.drawText(all, Qt::AlignCenter, text_);
}

}  // namespace rtd::app
