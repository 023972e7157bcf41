#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include "app/hex_view_dialog.h"
#include "app/main_form.h"

// The window's modal parts: its message boxes, its file choosers and the
// hex view, each placed by the shell's rule, answered through
// the seams in tests, and ended by a close.
namespace rtd::app {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A message box that puts itself over the main window once its size is
// known, before it appears.
class PlacedMessageBox : public QMessageBox {
 public:
  PlacedMessageBox(QWidget* owner, std::function<void(QMessageBox&)> on_shown)
      : QMessageBox(owner), on_shown_(std::move(on_shown)) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    // The placement flag: once per box.
    if (placed_) return;
    placed_ = true;
    on_shown_(*this);
  }

 private:
  std::function<void(QMessageBox&)> on_shown_;
  bool placed_ = false;
};

}  // namespace

// --- message boxes ---

namespace {

QMessageBox::StandardButton ButtonOf(int answer) {
  return answer == IDYES ? QMessageBox::Yes : answer == IDNO ? QMessageBox::No : QMessageBox::Ok;
}

QMessageBox::Icon IconOf(shell::BoxIcon icon) {
  switch (icon) {
    case shell::BoxIcon::kError: return QMessageBox::Critical;
    case shell::BoxIcon::kQuestion: return QMessageBox::Question;
    case shell::BoxIcon::kWarning: return QMessageBox::Warning;
    case shell::BoxIcon::kInformation: return QMessageBox::Information;
    case shell::BoxIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

int MainForm::RunMessageBox(const shell::BoxDesign& design) {
  PlacedMessageBox box(this, [this, &design](QMessageBox& shown) {
    const QSize size = shown.frameGeometry().size();
    const std::optional<shell::Size> box_size =
        size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt;
    const shell::Point at = shell::MessageBoxPosition(WindowRect(), box_size, WorkArea());
    shown.move(at.x, at.y);
    shown.raise();
    shown.activateWindow();
    if (seams_ == nullptr) return;
    if (seams_->on_modal_shown) seams_->on_modal_shown(&shown);
    const std::optional<int> answer = seams_->NextBoxAnswer(design);
    if (!answer) return;  // a person answers
    QTimer::singleShot(0, &shown, [&shown, wanted = ButtonOf(*answer)] {
      QAbstractButton* b = shown.button(wanted);
      if (b == nullptr) b = shown.escapeButton();
      if (b != nullptr) b->click();
    });
  });
  box.setWindowTitle(Text(design.caption));
  // Reasons, paths and names from outside are shown as they are.
  box.setTextFormat(Qt::PlainText);
  box.setText(Text(design.text));
  // The box stays above other windows.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.setIcon(IconOf(design.icon));
  box.setStandardButtons(design.buttons == shell::BoxButtons::kYesNo
                             ? QMessageBox::Yes | QMessageBox::No
                             : QMessageBox::Ok);
  box.setDefaultButton(ButtonOf(design.default_answer));
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return IDCANCEL;
  }
}

// --- file choosers ---

std::string MainForm::RunFileDialog(bool save, const std::string& title,
                                    const std::string& start_dir) {
  // Qt's own dialog, so it can be moved; without an owner, but modal over
  // every window of the program.
  QFileDialog dialog(nullptr, Text(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The filter shows as "*.BIN" and takes .bin in any letter case.
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter("*.BIN (*.[Bb][Ii][Nn])");
  dialog.setDefaultSuffix("BIN");
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setSizeGripEnabled(true);
  if (!start_dir.empty()) dialog.setDirectory(Text(start_dir));
  current_dialog_ = &dialog;
  if (seams_ != nullptr) {
    QTimer::singleShot(0, &dialog, [this, &dialog] {
      if (seams_->on_modal_shown) seams_->on_modal_shown(&dialog);
      // Left to a person, or shut meanwhile (the window was closed).
      const std::optional<std::string> name = seams_->NextFileName();
      if (!name || !dialog.isVisible()) return;
      if (name->empty()) {
        dialog.reject();
        return;
      }
      dialog.selectFile(Text(*name));
      static_cast<QDialog&>(dialog).accept();  // as the Save or Open button does
    });
  }
  const bool confirmed = dialog.exec() == QDialog::Accepted;
  current_dialog_ = nullptr;
  if (!confirmed) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

shell::DialogWindow MainForm::FileDialog() const {
  if (current_dialog_ == nullptr) return {};
  const QSize size = current_dialog_->frameGeometry().size();
  return {current_dialog_->isVisible(),
          size.isValid() ? std::optional<shell::Size>({size.width(), size.height()}) : std::nullopt};
}

void MainForm::MoveFileDialog(shell::Point at) {
  if (current_dialog_ != nullptr) current_dialog_->move(at.x, at.y);
}

// --- the hex view, the backup folder ---

void MainForm::ShowHexView(shell::HexViewDialog& model) {
  HexViewDialog dialog(model, this);
  // Placed once shown, when its frame is known.
  QTimer::singleShot(0, &dialog, [this, &dialog] {
    const QRect frame = dialog.frameGeometry();
    const shell::Rect at =
        shell::DialogPlacement(WindowRect(), {frame.width(), frame.height()}, WorkArea());
    dialog.resize(dialog.width() - (frame.width() - at.width),
                  dialog.height() - (frame.height() - at.height));
    dialog.move(at.left, at.top);
  });
  if (seams_ != nullptr && seams_->on_modal_shown)
    QTimer::singleShot(0, &dialog, [this, &dialog] { seams_->on_modal_shown(&dialog); });
  hex_dialog_ = &dialog;
  dialog.exec();
  hex_dialog_ = nullptr;
}

void MainForm::EndHexView() {
  if (hex_dialog_ != nullptr) hex_dialog_->reject();
}

void MainForm::EndModalParts() {
  if (current_dialog_ != nullptr) current_dialog_->reject();
}

bool MainForm::OpenFolder(const std::string& path) {
  if (seams_ != nullptr && seams_->open_folder) return seams_->open_folder(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(Text(path)));
}

}  // namespace rtd::app
