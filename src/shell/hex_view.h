// The hex view without a window: the content of one source (a file, a
// dump, a backup) or of two compared byte by byte (the file and the chip),
// the cursor and the selection, the rows on show, and what the user does in
// it (keys, clicks, scrolling, go to, find, next difference). A window
// draws the rows and the status line this gives and hands it the user's
// keys and clicks as rows and columns of its fixed font.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/hex_rows.h"

namespace rtd::shell {

// The keys that move the cursor; with Ctrl, Home and End go to the first
// and the last byte, with Shift every key extends the selection.
enum class HexKey { kLeft, kRight, kUp, kDown, kPageUp, kPageDown, kHome, kEnd };

class HexView {
 public:
  // One source, or two of which the first is compared with the second.
  // The sources' bytes must outlive the view.
  explicit HexView(std::vector<HexSource> sources);

  const HexLayout& layout() const { return layout_; }
  const std::vector<HexSource>& sources() const { return sources_; }
  bool Compares() const { return sources_.size() == 2; }
  uint32_t RowCount() const;

  // --- the rows on show ---
  // How many whole rows the window has room for (at least one).
  void SetVisibleRows(uint32_t rows);
  uint32_t VisibleRows() const { return visible_rows_; }
  uint32_t TopRow() const { return top_row_; }
  uint32_t MaxTopRow() const;
  // The scroll bar or the wheel; the cursor stays where it is.
  void ScrollTo(uint32_t top_row);
  void ScrollBy(int32_t rows);
  // A turn of the wheel in the systems' units, kWheelNotch a notch away
  // from the user (up the rows): three rows a notch. A touchpad's steps
  // are smaller and add up until they make a row; a turn the other way
  // starts afresh.
  static constexpr int32_t kWheelNotch = 120;
  void Wheel(int32_t delta);
  // The row shown visible_row rows below the top (none past the end).
  std::optional<HexRowText> VisibleRow(uint32_t visible_row) const;
  std::string Header() const;

  // --- the user ---
  void Key(HexKey key, bool ctrl, bool shift);
  // A press of the mouse on a row on show (0: the top one) and a column of
  // the line; with shift it extends the selection. A drag with the button
  // held selects from the press on; the release ends the drag.
  void Press(int32_t visible_row, int column, bool shift);
  void Drag(int32_t visible_row, int column);
  void Release() { press_.reset(); }
  // An address typed in hex; false (and the status says why) when it is
  // not one or lies past the end.
  bool GoTo(std::string_view address);
  // The next match after the cursor (or the one before it) of a byte
  // string typed in hex, or of a text; the match is selected.
  void Find(std::string_view what, bool hex, bool backwards);
  // Compared sources: the next (previous) run of differing bytes, selected.
  void NextDifference(bool backwards);
  // Selects first..last and brings it into view (a range of the list).
  void Select(uint32_t first, uint32_t last);

  // --- what is shown ---
  uint32_t Cursor() const { return cursor_; }
  int CursorSource() const { return cursor_source_; }
  struct Range {
    uint32_t first = 0;
    uint32_t last = 0;
    friend bool operator==(const Range&, const Range&) = default;
  };
  std::optional<Range> Selection() const;
  // Changes whenever a new selection is made (the range fields follow it).
  uint64_t SelectionSerial() const { return selection_serial_; }
  // The selection as the range fields show it: its start and length in hex
  // with 0x before them, as the status line gives them ("0x8010", "0x12").
  std::string SelectionStartText() const;
  std::string SelectionLengthText() const;
  // Where the cursor is and which 64 KiB range holds it, the bytes under it
  // when two sources are compared, the selection, and what the last action
  // had to say.
  std::string StatusLine() const;

  // The range the fields give (start and length in hex), within the
  // cursor's source; none, with the reason in the status, when they do not
  // give one.
  std::optional<Range> RangeFromFields(std::string_view start, std::string_view length);
  // What the last action tells the user (shown after the position).
  void SetNote(std::string note) { note_ = std::move(note); }

 private:
  uint32_t Size() const;  // of the cursor's source
  uint8_t MarksOf(int source, uint32_t address) const;
  // Moves the cursor; shift keeps (or starts) the selection from where the
  // cursor was, otherwise the selection ends.
  void MoveTo(uint32_t address, bool shift);
  void BringIntoView(uint32_t address);
  void SelectRun(uint32_t first, uint32_t last);
  std::optional<uint32_t> AddressAt(int32_t visible_row, int column, int* source) const;

  std::vector<HexSource> sources_;
  HexLayout layout_;
  uint32_t compared_ = 0;  // the common size of two sources
  uint32_t cursor_ = 0;
  int cursor_source_ = 0;
  std::optional<uint32_t> anchor_;  // the selection's other end
  std::optional<uint32_t> press_;   // where a drag began
  std::optional<Range> found_;  // the last match, in its source
  int found_source_ = 0;
  uint32_t top_row_ = 0;
  uint32_t visible_rows_ = 16;  // until the window tells its room
  int32_t wheel_rest_ = 0;      // the wheel's turn not yet a whole row
  uint64_t selection_serial_ = 0;
  std::string note_;
};

}  // namespace rtd::shell
