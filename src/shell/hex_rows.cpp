#include "shell/hex_rows.h"

#include <algorithm>

namespace rtd::shell {

namespace {

constexpr int kAddressWidth = 8;  // "0x000010"
constexpr int kGap = 2;
// Sixteen "XX " cells and one more space between the two halves, less the
// last cell's space.
constexpr int kHexWidth = 3 * static_cast<int>(kHexRowBytes);
constexpr int kBetweenSources = 3;  // " | "

}  // namespace

HexLayout::HexLayout(int sources) : sources_(sources == 2 ? 2 : 1) {}

int HexLayout::HexStart(int source) const {
  return kAddressWidth + kGap + source * (kHexWidth + kBetweenSources);
}

int HexLayout::TextStart(int source) const {
  const int hex_end = HexStart(sources_ - 1) + kHexWidth;
  return hex_end + kGap + source * (static_cast<int>(kHexRowBytes) + 1);
}

int HexLayout::HexColumn(int source, uint32_t byte) const {
  return HexStart(source) + 3 * static_cast<int>(byte) + (byte >= kHexRowBytes / 2 ? 1 : 0);
}

int HexLayout::TextColumn(int source, uint32_t byte) const {
  return TextStart(source) + static_cast<int>(byte);
}

int HexLayout::Width() const { return TextStart(sources_ - 1) + static_cast<int>(kHexRowBytes); }

std::optional<HexLayout::Cell> HexLayout::CellAt(int column) const {
  for (int source = 0; source < sources_; ++source) {
    const int hex = column - HexStart(source);
    // Each cell with the space after it; the one between the halves goes
    // with the byte before it.
    if (hex >= 0 && hex <= kHexWidth) {
      const int half = 3 * static_cast<int>(kHexRowBytes / 2);
      const int byte = hex <= half ? std::min(hex / 3, half / 3 - 1) : (hex - 1) / 3;
      return Cell{source, static_cast<uint32_t>(byte)};
    }
    const int text = column - TextStart(source);
    if (text >= 0 && text < static_cast<int>(kHexRowBytes))
      return Cell{source, static_cast<uint32_t>(text)};
  }
  return std::nullopt;
}

HexInk InkOf(uint8_t marks) {
  HexInk ink;
  if (marks & kHexDiffers) ink = {0xC00000, 0xFFD8D8};
  if (marks & kHexFound) ink.background = 0xFFE66E;
  if (marks & kHexSelected) ink.background = 0xADD6FF;
  if (marks & kHexCursor) ink = {marks & kHexDiffers ? 0xFFB0B0u : 0xFFFFFFu, 0x0054A6};
  return ink;
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The runs of one area (a source's hex or its text), neighbouring bytes
// with the same marks joined across the spaces between their cells.
void AddRuns(std::vector<HexSpan>& spans, const uint8_t* marks, uint32_t count,
             const std::function<int(uint32_t)>& column_of, int width) {
  for (uint32_t i = 0; i < count; ++i) {
    if (marks[i] == 0) continue;
    const int column = column_of(i);
    if (i > 0 && marks[i - 1] == marks[i] && !spans.empty())
      spans.back().length = column + width - spans.back().column;
    else
      spans.push_back({column, width, marks[i]});
  }
}

// Text (UTF-8) placed at a column of line, padded with spaces up to it by
// characters, not bytes.
void PutAt(std::string& line, int& columns, int column, const std::string& text) {
  if (columns < column) {
    line.append(static_cast<std::size_t>(column - columns), ' ');
    columns = column;
  }
  line += text;
  columns += static_cast<int>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace

HexRowText MakeHexRow(const HexLayout& layout, const std::vector<HexSource>& sources,
                      uint32_t row, const HexMarksOf& marks_of) {
  HexRowText out;
  out.text.assign(static_cast<std::size_t>(layout.Width()), ' ');
  const uint32_t first = row * kHexRowBytes;
  static constexpr char kAddress[] = "0x";
  std::copy(kAddress, kAddress + 2, out.text.begin());
  for (int shift = 20, at = 2; shift >= 0; shift -= 4, ++at)
    out.text[static_cast<std::size_t>(at)] = kHexDigits[(first >> shift) & 0xF];
  if (layout.sources() == 2) out.text[static_cast<std::size_t>(layout.HexColumn(1, 0) - 2)] = '|';

  std::vector<HexSpan> hex_spans, text_spans;
  for (int s = 0; s < layout.sources() && s < static_cast<int>(sources.size()); ++s) {
    const HexSource& source = sources[static_cast<std::size_t>(s)];
    const uint32_t count =
        first >= source.size ? 0 : std::min<uint32_t>(kHexRowBytes, source.size - first);
    uint8_t marks[kHexRowBytes] = {};
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t byte = source.data[first + i];
      const auto hex = static_cast<std::size_t>(layout.HexColumn(s, i));
      out.text[hex] = kHexDigits[byte >> 4];
      out.text[hex + 1] = kHexDigits[byte & 0xF];
      out.text[static_cast<std::size_t>(layout.TextColumn(s, i))] =
          byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
      marks[i] = marks_of ? marks_of(s, first + i) : 0;
    }
    AddRuns(hex_spans, marks, count, [&](uint32_t i) { return layout.HexColumn(s, i); }, 2);
    AddRuns(text_spans, marks, count, [&](uint32_t i) { return layout.TextColumn(s, i); }, 1);
  }
  out.spans = std::move(hex_spans);
  out.spans.insert(out.spans.end(), text_spans.begin(), text_spans.end());
  return out;
}

std::string MakeHexHeader(const HexLayout& layout, const std::vector<HexSource>& sources,
                          const std::string& address_title) {
  std::string line;
  int columns = 0;
  PutAt(line, columns, 0, address_title);
  if (layout.sources() == 1) {
    for (uint32_t i = 0; i < kHexRowBytes; ++i)
      PutAt(line, columns, layout.HexColumn(0, i), std::string{'0', kHexDigits[i]});
    PutAt(line, columns, layout.TextColumn(0, 0), std::string(kHexDigits, kHexRowBytes));
    return line;
  }
  for (int s = 0; s < layout.sources() && s < static_cast<int>(sources.size()); ++s) {
    if (s == 1) PutAt(line, columns, layout.HexColumn(1, 0) - 2, "|");
    PutAt(line, columns, layout.HexColumn(s, 0), sources[static_cast<std::size_t>(s)].name);
  }
  for (int s = 0; s < layout.sources() && s < static_cast<int>(sources.size()); ++s)
    PutAt(line, columns, layout.TextColumn(s, 0), sources[static_cast<std::size_t>(s)].name);
  return line;
}

}  // namespace rtd::shell
