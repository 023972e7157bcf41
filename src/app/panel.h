// A plain panel that shows one line of text in its middle: the toolbar's
// notice panel and the panel that holds the log.
#pragma once

#include <QFrame>
#include <QString>

namespace rtd::app {

class Panel : public QFrame {
  Q_OBJECT
  Q_PROPERTY(QString text READ text WRITE setText)

 public:
  explicit Panel(QWidget* parent = nullptr) : QFrame(parent) {}

  QString text() const { return text_; }
  void setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
};

}  // namespace rtd::app
