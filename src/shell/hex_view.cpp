#include "shell/hex_view.h"

#include <algorithm>

#include "core/output_services.h"
#include "i18n/lang.h"
#include "shell/hex_search.h"

namespace rtd::shell {

namespace {

constexpr uint32_t kRangeBytes = 64 * 1024;
constexpr int32_t kWheelRows = 3;  // a notch of the wheel

constexpr LangText kAddressTitle = LANG_TEXT("Адрес", "Address");
constexpr LangText kPosition =
    LANG_TEXT("0x%06X в диапазоне 64 КБ 0x%06X...0x%06X", "0x%06X in the 64 KiB range 0x%06X...0x%06X");
constexpr LangText kSelected =
    LANG_TEXT("выделено 0x%06X...0x%06X, длина 0x%X", "selected 0x%06X...0x%06X, length 0x%X");
constexpr LangText kNotAnAddress =
    LANG_TEXT("«%s» не шестнадцатеричный адрес: введите его цифрами 0-9 и A-F, например 1F000",
              "\"%s\" is not a hex address: type it in the digits 0-9 and A-F, e.g. 1F000");
constexpr LangText kPastTheEnd =
    LANG_TEXT("0x%06X лежит за концом: последний адрес 0x%06X",
              "0x%06X lies past the end: the last address is 0x%06X");
constexpr LangText kNothingToFind =
    LANG_TEXT("Введите байты (шестнадцатеричные) или текст для поиска",
              "Type the bytes (in hex) or the text to find");
constexpr LangText kNotHexBytes =
    LANG_TEXT("«%s» не шестнадцатеричные байты: введите пары цифр, например 55 AA",
              "\"%s\" is not hex bytes: type pairs of digits, e.g. 55 AA");
constexpr LangText kNotFoundAfter = LANG_TEXT("После 0x%06X не найдено", "Not found after 0x%06X");
constexpr LangText kNotFoundBefore = LANG_TEXT("До 0x%06X не найдено", "Not found before 0x%06X");
constexpr LangText kNoDifferenceAfter =
    LANG_TEXT("После 0x%06X различий нет", "No difference after 0x%06X");
constexpr LangText kNoDifferenceBefore =
    LANG_TEXT("До 0x%06X различий нет", "No difference before 0x%06X");
constexpr LangText kNotAStart =
    LANG_TEXT("«%s» не шестнадцатеричное начало диапазона: выделите диапазон или введите его "
              "начало, например 10000",
              "\"%s\" is not a hex start: select a range or type its start, e.g. 10000");
constexpr LangText kNotALength =
    LANG_TEXT("«%s» не шестнадцатеричная длина: выделите диапазон или введите его длину больше "
              "0, например 100",
              "\"%s\" is not a hex length: select a range or type a length above 0, e.g. 100");
constexpr LangText kRangePastTheEnd =
    LANG_TEXT("Диапазон 0x%06X длиной 0x%X выходит за конец: последний адрес 0x%06X",
              "The range 0x%06X of length 0x%X goes past the end: the last address is 0x%06X");

}  // namespace

HexView::HexView(std::vector<HexSource> sources)
    : sources_(std::move(sources)), layout_(static_cast<int>(sources_.size())) {
  if (sources_.empty()) sources_.push_back({});
  if (Compares()) compared_ = std::min(sources_[0].size, sources_[1].size);
}

uint32_t HexView::Size() const { return sources_[static_cast<std::size_t>(cursor_source_)].size; }

uint32_t HexView::RowCount() const {
  uint32_t size = 0;
  for (const HexSource& s : sources_) size = std::max(size, s.size);
  return static_cast<uint32_t>((uint64_t{size} + kHexRowBytes - 1) / kHexRowBytes);
}

// --- the rows on show ---

void HexView::SetVisibleRows(uint32_t rows) {
  visible_rows_ = std::max<uint32_t>(rows, 1);
  top_row_ = std::min(top_row_, MaxTopRow());
}

uint32_t HexView::MaxTopRow() const {
  return RowCount() > visible_rows_ ? RowCount() - visible_rows_ : 0;
}

void HexView::ScrollTo(uint32_t top_row) { top_row_ = std::min(top_row, MaxTopRow()); }

void HexView::ScrollBy(int32_t rows) {
  const int64_t top = std::max<int64_t>(int64_t{top_row_} + rows, 0);
  ScrollTo(static_cast<uint32_t>(std::min<int64_t>(top, UINT32_MAX)));
}

void HexView::Wheel(int32_t delta) {
  if ((delta > 0 && wheel_rest_ < 0) || (delta < 0 && wheel_rest_ > 0)) wheel_rest_ = 0;
  constexpr int32_t kPerRow = kWheelNotch / kWheelRows;
  const int64_t turn = int64_t{wheel_rest_} + delta;
  const int64_t rows = turn / kPerRow;
  wheel_rest_ = static_cast<int32_t>(turn - rows * kPerRow);
  ScrollBy(static_cast<int32_t>(-rows));
}

std::optional<HexRowText> HexView::VisibleRow(uint32_t visible_row) const {
  const uint64_t row = uint64_t{top_row_} + visible_row;
  if (row >= RowCount()) return std::nullopt;
  return MakeHexRow(layout_, sources_, static_cast<uint32_t>(row),
                    [this](int source, uint32_t address) { return MarksOf(source, address); });
}

std::string HexView::Header() const {
  return MakeHexHeader(layout_, sources_, PickLangText(kAddressTitle));
}

uint8_t HexView::MarksOf(int source, uint32_t address) const {
  uint8_t marks = 0;
  if (address < compared_ && sources_[0].data[address] != sources_[1].data[address])
    marks |= kHexDiffers;
  const auto inside = [address](const std::optional<Range>& r) {
    return r && address >= r->first && address <= r->last;
  };
  if (source == found_source_ && inside(found_)) marks |= kHexFound;
  if (source != cursor_source_) return marks;
  if (inside(Selection())) marks |= kHexSelected;
  if (address == cursor_) marks |= kHexCursor;
  return marks;
}

// --- moving ---

void HexView::BringIntoView(uint32_t address) {
  const uint32_t row = address / kHexRowBytes;
  if (row < top_row_) top_row_ = row;
  if (row >= top_row_ + visible_rows_) top_row_ = row - visible_rows_ + 1;
  top_row_ = std::min(top_row_, MaxTopRow());
}

void HexView::MoveTo(uint32_t address, bool shift) {
  if (shift) {
    if (!anchor_) anchor_ = cursor_;
    ++selection_serial_;
  } else {
    anchor_.reset();
  }
  cursor_ = address;
  note_.clear();
  BringIntoView(address);
}

void HexView::Key(HexKey key, bool ctrl, bool shift) {
  const uint32_t size = Size();
  if (size == 0) return;
  const uint32_t last = size - 1;
  const uint32_t row = cursor_ / kHexRowBytes;
  const uint32_t column = cursor_ % kHexRowBytes;
  const uint32_t last_row = last / kHexRowBytes;
  // The same column of another row; the last byte where that row is short.
  const auto at_row = [&](uint64_t r) {
    return static_cast<uint32_t>(std::min<uint64_t>(r * kHexRowBytes + column, last));
  };
  uint32_t to = cursor_;
  switch (key) {
    case HexKey::kLeft: to = cursor_ > 0 ? cursor_ - 1 : 0; break;
    case HexKey::kRight: to = std::min(cursor_ + 1, last); break;
    case HexKey::kUp: to = row > 0 ? at_row(row - 1) : cursor_; break;
    case HexKey::kDown: to = row < last_row ? at_row(row + 1) : cursor_; break;
    case HexKey::kPageUp:
      to = at_row(row >= visible_rows_ ? row - visible_rows_ : 0);
      ScrollBy(-static_cast<int32_t>(visible_rows_));
      break;
    case HexKey::kPageDown:
      to = at_row(std::min(uint64_t{row} + visible_rows_, uint64_t{last_row}));
      ScrollBy(static_cast<int32_t>(visible_rows_));
      break;
    case HexKey::kHome: to = ctrl ? 0 : row * kHexRowBytes; break;
    case HexKey::kEnd: to = ctrl ? last : row * kHexRowBytes + (kHexRowBytes - 1); break;
  }
  MoveTo(std::min(to, last), shift);
}

std::optional<uint32_t> HexView::AddressAt(int32_t visible_row, int column, int* source) const {
  if (RowCount() == 0) return std::nullopt;
  const auto cell = layout_.CellAt(column);
  // Left of the first cell (the address) means the row's first byte.
  if (!cell && column >= layout_.HexColumn(0, 0)) return std::nullopt;
  *source = cell ? cell->source : cursor_source_;
  const int64_t row = std::clamp<int64_t>(int64_t{top_row_} + visible_row, 0, RowCount() - 1);
  const uint64_t address = static_cast<uint64_t>(row) * kHexRowBytes + (cell ? cell->byte : 0);
  const uint32_t size = sources_[static_cast<std::size_t>(*source)].size;
  if (size == 0) return std::nullopt;
  return static_cast<uint32_t>(std::min<uint64_t>(address, size - 1));
}

void HexView::Press(int32_t visible_row, int column, bool shift) {
  int source = cursor_source_;
  const auto address = AddressAt(visible_row, column, &source);
  if (!address) return;
  if (source != cursor_source_) {
    // A selection lies in one source.
    cursor_source_ = source;
    anchor_.reset();
    shift = false;
  }
  MoveTo(*address, shift);
  press_ = *address;
}

void HexView::Drag(int32_t visible_row, int column) {
  int source = cursor_source_;
  const auto address = AddressAt(visible_row, column, &source);
  if (!press_ || !address || source != cursor_source_ || *address == cursor_) return;
  if (!anchor_) anchor_ = *press_;
  ++selection_serial_;
  cursor_ = *address;
  note_.clear();
  BringIntoView(cursor_);
}

void HexView::Select(uint32_t first, uint32_t last) {
  const uint32_t size = Size();
  if (size == 0) return;
  SelectRun(std::min(first, size - 1), std::min(last, size - 1));
  note_.clear();
}

void HexView::SelectRun(uint32_t first, uint32_t last) {
  // Out of view, its first row comes in as the third on show, the two
  // before it for context; its last rows as far as there is room.
  const uint32_t row = first / kHexRowBytes;
  if (row < top_row_ || row >= top_row_ + visible_rows_) ScrollTo(row > 2 ? row - 2 : 0);
  BringIntoView(first);
  cursor_ = first;
  anchor_ = last;
  ++selection_serial_;
}

bool HexView::GoTo(std::string_view text) {
  const auto address = ParseHexNumber(text);
  const uint32_t size = Size();
  if (!address) {
    note_ = FormatText(PickLangText(kNotAnAddress), std::string(text));
    return false;
  }
  if (*address >= size) {
    note_ = FormatText(PickLangText(kPastTheEnd), *address, size == 0 ? 0u : size - 1);
    return false;
  }
  MoveTo(*address, false);
  // Its row at the top, where the eye looks first.
  ScrollTo(*address / kHexRowBytes);
  return true;
}

void HexView::Find(std::string_view what, bool hex, bool backwards) {
  HexPattern pattern;
  if (what.empty()) {
    note_ = PickLangText(kNothingToFind);
    return;
  }
  if (hex) {
    const auto bytes = ParseHexBytes(what);
    if (!bytes) {
      note_ = FormatText(PickLangText(kNotHexBytes), std::string(what));
      return;
    }
    pattern.bytes = *bytes;
  } else {
    pattern.bytes.assign(what.begin(), what.end());
    pattern.any_case = true;
  }
  const HexSource& source = sources_[static_cast<std::size_t>(cursor_source_)];
  std::optional<uint32_t> at;
  if (backwards) {
    if (cursor_ > 0) at = FindBackward(source.data, source.size, cursor_ - 1, pattern);
  } else {
    // Past a match the cursor stands on, so Next goes on to the next one.
    const bool on_match = found_ && found_->first == cursor_;
    at = FindForward(source.data, source.size, on_match ? cursor_ + 1 : cursor_, pattern);
  }
  if (!at) {
    note_ = FormatText(PickLangText(backwards ? kNotFoundBefore : kNotFoundAfter), cursor_);
    return;
  }
  const uint32_t last = *at + static_cast<uint32_t>(pattern.bytes.size()) - 1;
  found_ = Range{*at, last};
  found_source_ = cursor_source_;
  SelectRun(*at, last);
  note_.clear();
}

void HexView::NextDifference(bool backwards) {
  if (!Compares()) return;
  const uint8_t* a = sources_[0].data;
  const uint8_t* b = sources_[1].data;
  const auto at = backwards ? shell::PreviousDifference(a, b, compared_, cursor_)
                            : shell::NextDifference(a, b, compared_, cursor_);
  if (!at) {
    note_ = FormatText(PickLangText(backwards ? kNoDifferenceBefore : kNoDifferenceAfter), cursor_);
    return;
  }
  uint32_t last = *at;
  while (last + 1 < compared_ && a[last + 1] != b[last + 1]) ++last;
  SelectRun(*at, last);
  note_.clear();
}

// --- what is shown ---

std::optional<HexView::Range> HexView::Selection() const {
  if (!anchor_) return std::nullopt;
  return Range{std::min(*anchor_, cursor_), std::max(*anchor_, cursor_)};
}

std::string HexView::SelectionStartText() const {
  const auto s = Selection();
  return s ? FormatText("0x%06X", s->first) : std::string();
}

std::string HexView::SelectionLengthText() const {
  const auto s = Selection();
  return s ? FormatText("0x%X", s->last - s->first + 1) : std::string();
}

std::string HexView::StatusLine() const {
  if (Size() == 0) return note_;
  const uint32_t range = cursor_ / kRangeBytes * kRangeBytes;
  const uint32_t range_last = std::min(range + kRangeBytes, Size()) - 1;
  std::string line = FormatText(PickLangText(kPosition), cursor_, range, range_last);
  if (Compares()) {
    for (const HexSource& s : sources_)
      if (cursor_ < s.size) line += FormatText(", %s %02X", s.name, s.data[cursor_]);
  }
  if (const auto s = Selection())
    line += "; " + FormatText(PickLangText(kSelected), s->first, s->last, s->last - s->first + 1);
  if (!note_.empty()) line += ". " + note_;
  return line;
}

std::optional<HexView::Range> HexView::RangeFromFields(std::string_view start,
                                                        std::string_view length) {
  const auto first = ParseHexNumber(start);
  if (!first) {
    note_ = FormatText(PickLangText(kNotAStart), std::string(start));
    return std::nullopt;
  }
  const auto count = ParseHexNumber(length);
  if (!count || *count == 0) {
    note_ = FormatText(PickLangText(kNotALength), std::string(length));
    return std::nullopt;
  }
  const uint32_t size = Size();
  if (uint64_t{*first} + *count > size) {
    note_ = FormatText(PickLangText(kRangePastTheEnd), *first, *count, size == 0 ? 0u : size - 1);
    return std::nullopt;
  }
  return Range{*first, *first + *count - 1};
}

}  // namespace rtd::shell
