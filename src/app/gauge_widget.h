// The progress gauge: a black bar on white with the whole percent done, and
// for transfers the speed and the time left.
#pragma once

#include <QString>
#include <QWidget>

#include "shell/gauge.h"

namespace rtd::app {

class GaugeWidget : public QWidget {
  Q_OBJECT

 public:
  explicit GaugeWidget(QWidget* parent = nullptr) : QWidget(parent) {}

  // Takes the gauge's state; repaints only when the whole percent changed
  // (or the gauge restarted), so a step costs next to nothing.
  void Show(const shell::ProgressGauge& gauge, bool restarted);

  int percent() const { return percent_; }
  const QString& text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int percent_ = -1;
  QString text_;
};

}  // namespace rtd::app
