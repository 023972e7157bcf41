#include "shell/differences.h"

#include <algorithm>
#include <cstdint>

#include "core/output_services.h"
#include "i18n/lang.h"

namespace rtd::shell {

namespace {

constexpr uint32_t kLineBytes = 16;

constexpr LangText kTitle =
    LANG_TEXT("Различия файла и FLASH", "Differences between the file and the FLASH");
// As the log names a range; the view's list gives its length in hex, as
// the Length field beside it takes it (18 bytes: "0x12", never "18").
constexpr LangText kRange =
    LANG_TEXT("Различие 0x%06X...0x%06X, длина %lu", "Differs 0x%06X...0x%06X, length %lu");
constexpr LangText kListedRange =
    LANG_TEXT("Различие 0x%06X...0x%06X, длина 0x%X", "Differs 0x%06X...0x%06X, length 0x%X");
constexpr LangText kAddress = LANG_TEXT("Адрес", "Address");
constexpr LangText kFile = LANG_TEXT("Файл", "File");
constexpr LangText kMoreLines = LANG_TEXT("Ещё строк не показано: %lu", "%lu more lines not shown");
constexpr LangText kMoreRanges =
    LANG_TEXT("Ещё диапазонов различий: %lu", "%lu more differing ranges not listed");
constexpr LangText kAll = LANG_TEXT("Всего различных байт: %lu", "Differing bytes in all: %lu");

// count (at most 16) bytes as "xx" with one separator before each and one
// after the last, in the width of 16; a run of differing bytes is enclosed
// in brackets held by the separators.
std::string Cells(const uint8_t* bytes, const uint8_t* other, uint32_t count) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string cells(kLineBytes * 3 + 1, ' ');
  for (uint32_t i = 0; i < count; ++i) {
    cells[i * 3 + 1] = kHex[bytes[i] >> 4];
    cells[i * 3 + 2] = kHex[bytes[i] & 0xF];
    const bool differs = bytes[i] != other[i];
    const bool before = i > 0 && bytes[i - 1] != other[i - 1];
    const bool after = i + 1 < count && bytes[i + 1] != other[i + 1];
    if (differs && !before) cells[i * 3] = '[';
    if (differs && !after) cells[i * 3 + 3] = ']';
  }
  return cells;
}

// Pads text (UTF-8) with spaces to width characters.
std::string Padded(std::string text, std::size_t width) {
  const auto chars = static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  if (chars < width) text.append(width - chars, ' ');
  return text;
}

}  // namespace

std::string DifferenceListing::Text() const {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

DifferenceListing ListDifferences(const ServiceCommands::Differences& d) {
  DifferenceListing listing;
  listing.title = PickLangText(kTitle);
  // Under "0x000000 " and the file's cells, then " |" and the flash's.
  listing.lines.push_back(Padded(PickLangText(kAddress), 9) +
                          Padded(" " + std::string(PickLangText(kFile)), kLineBytes * 3 + 2) +
                          "| FLASH");
  const uint32_t length = static_cast<uint32_t>(std::min(d.file.size(), d.flash.size()));
  std::size_t hex_lines = 0;
  unsigned long not_shown = 0;
  for (const ServiceCommands::Range& r : d.ranges) {
    listing.ranges.push_back(
        FormatText(PickLangText(kListedRange), r.first, r.last, r.last - r.first + 1));
    listing.lines.push_back(FormatText(PickLangText(kRange), r.first, r.last,
                                       static_cast<unsigned long>(r.last - r.first + 1)));
    for (uint32_t line = r.first / kLineBytes * kLineBytes; line <= r.last && line < length;
         line += kLineBytes) {
      if (hex_lines == kMaxDifferenceLines) {
        ++not_shown;
        continue;
      }
      ++hex_lines;
      const uint8_t* file = d.file.data() + line;
      const uint8_t* flash = d.flash.data() + line;
      // The image's last line may be short.
      const uint32_t count = std::min(kLineBytes, length - line);
      listing.lines.push_back(FormatText("0x%06X", static_cast<unsigned>(line)) + " " +
                              Cells(file, flash, count) + " |" + Cells(flash, file, count));
    }
  }
  if (not_shown != 0) listing.lines.push_back(FormatText(PickLangText(kMoreLines), not_shown));
  if (d.unlisted != 0) listing.lines.push_back(FormatText(PickLangText(kMoreRanges), d.unlisted));
  listing.lines.push_back(FormatText(PickLangText(kAll), d.differing));
  return listing;
}

}  // namespace rtd::shell
