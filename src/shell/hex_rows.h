// The rows of the hex view: where each byte of a row stands in a line of
// fixed-pitch characters, and a row as text with the runs of marked bytes
// (differing, selected, found, under the cursor) that a window colours.
// Only the rows a window shows are ever made, so a view of the largest chip
// costs no more than a view of the smallest.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rtd::shell {

inline constexpr uint32_t kHexRowBytes = 16;

// One source of the bytes shown: a file, a dump, a backup; in a compare the
// file and the chip.
struct HexSource {
  std::string name;  // its column's title ("File", "FLASH")
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// What marks a byte, as bits: a window picks the colours.
enum HexMark : uint8_t {
  kHexDiffers = 1,   // the two sources differ here (the text colour)
  kHexSelected = 2,  // inside the selection (the background)
  kHexFound = 4,     // the match just found
  kHexCursor = 8,    // under the cursor
};

// Columns [column, column + length) of a row drawn with these marks.
struct HexSpan {
  int column = 0;
  int length = 0;
  uint8_t marks = 0;
  friend bool operator==(const HexSpan&, const HexSpan&) = default;
};

// The colours of a run by its marks, as 0xRRGGBB, the same in every window:
// the cursor dark, the selection light blue, a match yellow, and differing
// bytes red on pink wherever the rest leaves them their colour.
struct HexInk {
  uint32_t text = 0x000000;
  uint32_t background = 0xFFFFFF;
};
HexInk InkOf(uint8_t marks);

struct HexRowText {
  std::string text;            // ASCII: a window's fixed font draws it column by column
  std::vector<HexSpan> spans;  // the marked runs only, left to right
};

// Where a byte's cell lies in the view's line, for one source:
//   "0x000010  4F 4B 00 FF 11 22 33 44  55 66 77 88 99 AA BB CC  OK.."3DUfw....."
// and for two, the hex of each side by side, then the text of each:
//   "0x000010  <hex of the file> | <hex of the FLASH>  <text> <text>"
class HexLayout {
 public:
  explicit HexLayout(int sources);

  int sources() const { return sources_; }
  // The first of the byte's two hex digits; its character in the text.
  int HexColumn(int source, uint32_t byte) const;
  int TextColumn(int source, uint32_t byte) const;
  // The line's width in characters.
  int Width() const;

  // The byte whose cell holds this column: its hex digits and the space
  // after them, or its character. None on the address and between sources.
  struct Cell {
    int source = 0;
    uint32_t byte = 0;  // 0 to 15 within the row
    friend bool operator==(const Cell&, const Cell&) = default;
  };
  std::optional<Cell> CellAt(int column) const;

 private:
  int HexStart(int source) const;
  int TextStart(int source) const;

  int sources_;
};

// The marks of one byte of one source, by its address.
using HexMarksOf = std::function<uint8_t(int source, uint32_t address)>;

// The row of bytes row * 16 to row * 16 + 15: the address, then the hex
// and the text of each source as the layout places them; a source that ends
// within the row leaves its cells blank.
HexRowText MakeHexRow(const HexLayout& layout, const std::vector<HexSource>& sources,
                      uint32_t row, const HexMarksOf& marks);

// The line above the rows: the address's title, and over the cells the
// byte offsets (one source) or each source's name (two).
std::string MakeHexHeader(const HexLayout& layout, const std::vector<HexSource>& sources,
                          const std::string& address_title);

}  // namespace rtd::shell
