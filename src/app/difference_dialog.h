// The list of differences of a full compare: the ranges on the side, the
// hex lines of the file and the flash in a fixed-pitch text beside them
// (choosing a range scrolls there), and a button that copies the listing.
#pragma once

#include <QDialog>

#include "shell/differences.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace rtd::app {

class DifferenceDialog : public QDialog {
  Q_OBJECT

 public:
  DifferenceDialog(const shell::DifferenceListing& listing, QWidget* owner);

  QListWidget* Ranges() const { return ranges_; }
  QPlainTextEdit* Listing() const { return text_; }
  QPushButton* CopyButton() const { return copy_; }

 private:
  void ScrollToRange(int row);

  const shell::DifferenceListing& listing_;
  QListWidget* ranges_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QPushButton* copy_ = nullptr;
};

}  // namespace rtd::app
