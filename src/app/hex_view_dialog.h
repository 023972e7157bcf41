// The hex view's dialog: a line to go to an address and to find bytes or a
// text, the rows (with the list of differing ranges above them for a
// compare), the status line (wrapped when long), and the range to save; for a compare also the
// next and previous difference and Copy, which puts the listing of the
// differences on the clipboard.
#pragma once

#include <QDialog>

#include "shell/hex_viewer.h"

class QCheckBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace rtd::app {

class HexRowsWidget;

class HexViewDialog : public QDialog {
  Q_OBJECT

 public:
  HexViewDialog(shell::HexViewDialog& model, QWidget* owner);

  shell::HexViewDialog& model() { return model_; }
  HexRowsWidget* Rows() const { return rows_; }
  QListWidget* Ranges() const { return ranges_; }  // null without a compare
  QTextEdit* Status() const { return status_; }
  QLineEdit* AddressField() const { return address_; }
  QLineEdit* FindField() const { return find_; }
  QCheckBox* FindHex() const { return hex_; }
  QLineEdit* StartField() const { return start_; }
  QLineEdit* LengthField() const { return length_; }
  // By its object name: "HexGo", "HexFindNext", "HexSave", "HexCopy", ...
  QPushButton* Button(const char* name) const;

  // The rows, the status line and a new selection's range drawn again.
  void Refresh();

 private:
  QPushButton* AddButton(const std::string& caption, const char* name);
  QLayout* MakeSearchLine();
  QWidget* MakeRanges();  // null without a compare
  QWidget* MakeRows();
  QLayout* MakeRangeLine();

  shell::HexViewDialog& model_;
  HexRowsWidget* rows_ = nullptr;
  QListWidget* ranges_ = nullptr;
  QTextEdit* status_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* find_ = nullptr;
  QCheckBox* hex_ = nullptr;
  QLineEdit* start_ = nullptr;
  QLineEdit* length_ = nullptr;
  uint64_t shown_selection_ = 0;
};

}  // namespace rtd::app
