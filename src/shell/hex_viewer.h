// What the hex view shows and where it comes from: a file chosen by the
// user, the dump a read has just saved, the latest backup, or the file and
// the chip of a full compare side by side. The dialog's texts, the list of
// differing ranges with their Copy, and the save of a range (the same safe
// save as a dump) are decided here; a window only shows the dialog
// (hex_view_window.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/output_services.h"
#include "flash/service_commands.h"
#include "shell/hex_view.h"
#include "shell/hex_view_window.h"

namespace rtd::shell {

// The captions of the dialog's controls, in the language of its opening.
struct HexViewTexts {
  std::string title;
  std::string address, go;
  std::string find, hex, previous, next;
  std::string start, length, save;
  std::string previous_difference, next_difference, copy;
  std::string close;
};

class HexViewDialog {
 public:
  // Saves a range of the cursor's source.
  using SaveRange = std::function<void(HexViewDialog&, const HexView::Range&)>;

  HexViewDialog(std::string title, std::vector<HexSource> sources, SaveRange save);

  const HexViewTexts& texts() const { return texts_; }
  HexView& view() { return view_; }
  const HexView& view() const { return view_; }

  // A compare's differing ranges, as the log names them; choosing one
  // selects it.
  const std::vector<std::string>& ranges() const { return range_names_; }
  void ChooseRange(std::size_t index);
  void SetRanges(std::vector<std::string> names, std::vector<ServiceCommands::Range> ranges);
  // The compare's listing as Copy puts it on the clipboard; empty: no Copy.
  const std::string& CopyText() const { return copy_text_; }
  void SetCopyText(std::string text) { copy_text_ = std::move(text); }

  // The Save button, with the range fields as typed.
  void Save(const std::string& start, const std::string& length);

 private:
  HexViewTexts texts_;
  HexView view_;
  SaveRange save_;
  std::vector<std::string> range_names_;
  std::vector<ServiceCommands::Range> ranges_;
  std::string copy_text_;
};

// The newest backup of the folder (the names sort by time), or empty when
// it holds none or cannot be read.
std::string LatestBackup(const std::string& folder);

class HexViewer {
 public:
  // shown: where a saved range is logged; ask: its boxes and choosers.
  HexViewer(OperationDisplay& shown, UserQuestions& ask, HexViewWindow& window)
      : shown_(shown), ask_(ask), window_(window) {}

  // The Service items.
  void ViewChosenFile();
  void ViewLastDump() { ViewFile(last_dump_); }
  void ViewLatestBackup() { ViewFile(latest_backup_); }
  // The full compare's file and chip, after a compare that found differences.
  void ViewDifferences(const ServiceCommands::Differences& found);

  // What there is to view: a read has saved its dump at path; the backup
  // folder may hold a new backup (after any operation).
  void DumpSaved(const std::string& path) { last_dump_ = path; }
  void LookForBackup(const std::string& folder) { latest_backup_ = LatestBackup(folder); }
  bool HasDump() const { return !last_dump_.empty(); }
  bool HasBackup() const { return !latest_backup_.empty(); }

 private:
  void ViewFile(const std::string& path);
  void SaveRange(HexViewDialog& dialog, const HexView::Range& range);

  OperationDisplay& shown_;
  UserQuestions& ask_;
  HexViewWindow& window_;
  std::string last_dump_;
  std::string latest_backup_;
};

}  // namespace rtd::shell
