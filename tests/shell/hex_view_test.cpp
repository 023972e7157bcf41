// The hex view without a window: its rows, its search, moving and
// selecting, what its status line says, and what it opens and saves.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/output_services.h"
#include "i18n/lang.h"
#include "recording_output.h"
#include "shell/hex_search.h"
#include "shell/hex_view.h"
#include "shell/hex_viewer.h"
#include "temp_dir.h"

namespace rtd::shell {
namespace {

using Bytes = std::vector<uint8_t>;

// English texts for the test's length.
class English {
 public:
  English() : saved_(CurrentLanguage) { CurrentLanguage = kLanguageEnglish; }
  ~English() { CurrentLanguage = saved_; }

 private:
  int32_t saved_;
};

Bytes Counting(uint32_t size) {
  Bytes b(size);
  for (uint32_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

HexSource Of(const Bytes& b, std::string name = "") {
  return {std::move(name), b.data(), static_cast<uint32_t>(b.size())};
}

TEST(HexRowTest, ARowShowsItsAddressHexAndTextAndLeavesBytesPastTheEndBlank) {
  const English english;
  Bytes b = Counting(20);
  b[16] = 'O';
  b[17] = 'K';
  const HexView view({Of(b)});
  EXPECT_EQ(view.VisibleRow(0)->text,
            "0x000000  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................");
  EXPECT_EQ(view.VisibleRow(1)->text,
            "0x000010  4F 4B 12 13" + std::string(39, ' ') + "OK.." + std::string(12, ' '));
  EXPECT_FALSE(view.VisibleRow(2));
  EXPECT_EQ(view.Header(),
            "Address   00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  0123456789ABCDEF");
}

// Differing bytes are marked in both sources, joined across the spaces of a
// run; the cursor's byte only in its own source.
TEST(HexRowTest, TwoSourcesSideBySideMarkTheirDifferingRuns) {
  const English english;
  const Bytes file = Counting(16);
  Bytes flash = file;
  flash[2] = flash[3] = 0xFF;
  flash[15] = 0x41;
  const HexView view({Of(file, "File"), Of(flash, "FLASH")});
  const HexRowText row = *view.VisibleRow(0);
  const HexLayout& l = view.layout();
  EXPECT_EQ(row.text.substr(0, 10), "0x000000  ");
  EXPECT_EQ(row.text.substr(static_cast<std::size_t>(l.HexColumn(0, 15)), 10), "0F | 00 01");
  EXPECT_EQ(row.text.substr(static_cast<std::size_t>(l.TextColumn(1, 0))), "...............A");
  const uint8_t d = kHexDiffers;
  EXPECT_EQ(row.spans, (std::vector<HexSpan>{
                           {l.HexColumn(0, 0), 2, kHexCursor},
                           {l.HexColumn(0, 2), 5, d},
                           {l.HexColumn(0, 15), 2, d},
                           {l.HexColumn(1, 2), 5, d},
                           {l.HexColumn(1, 15), 2, d},
                           {l.TextColumn(0, 0), 1, kHexCursor},
                           {l.TextColumn(0, 2), 2, d},
                           {l.TextColumn(0, 15), 1, d},
                           {l.TextColumn(1, 2), 2, d},
                           {l.TextColumn(1, 15), 1, d},
                       }));
  EXPECT_EQ(view.Header().find("FLASH"), static_cast<std::size_t>(l.HexColumn(1, 0)));
}

TEST(HexLayoutTest, EveryColumnOfACellLeadsBackToItsByte) {
  for (int sources : {1, 2}) {
    const HexLayout l(sources);
    EXPECT_EQ(l.Width(), sources == 1 ? 76 : 144);
    EXPECT_FALSE(l.CellAt(3));  // the address
    for (int s = 0; s < sources; ++s) {
      for (uint32_t i = 0; i < kHexRowBytes; ++i) {
        const HexLayout::Cell cell{s, i};
        EXPECT_EQ(l.CellAt(l.HexColumn(s, i)), cell);
        EXPECT_EQ(l.CellAt(l.HexColumn(s, i) + 2), cell);  // the space after its digits
        EXPECT_EQ(l.CellAt(l.TextColumn(s, i)), cell);
      }
    }
  }
}

TEST(HexSearchTest, NumbersAndByteStringsAreReadAsTyped) {
  EXPECT_EQ(ParseHexNumber(" 1f000 "), 0x1F000u);
  EXPECT_EQ(ParseHexNumber("0xFFFFFFFF"), 0xFFFFFFFFu);
  for (const char* bad : {"", "0x", "12G", "100000000", "-1"}) EXPECT_FALSE(ParseHexNumber(bad)) << bad;
  for (const char* typed : {"55 AA", "55aa", "0x55 0xAA", " 55  AA "})
    EXPECT_EQ(ParseHexBytes(typed), (Bytes{0x55, 0xAA})) << typed;
  for (const char* bad : {"", "5", "55 A", "5 5", "55 ZZ", "OK"}) EXPECT_FALSE(ParseHexBytes(bad)) << bad;
}

TEST(HexSearchTest, MatchesAreFoundFromTheCursorBothWays) {
  const std::string text = "ok..OK..oK";
  const Bytes data(text.begin(), text.end());
  const HexPattern any_case{{'o', 'k'}, true};
  const HexPattern exact{{'O', 'K'}, false};
  struct Case {
    const HexPattern& pattern;
    bool backwards;
    uint32_t from;
    std::optional<uint32_t> at;
  } cases[] = {
      {any_case, false, 0, 0u}, {any_case, false, 1, 4u},  {any_case, false, 9, std::nullopt},
      {exact, false, 0, 4u},    {exact, false, 5, std::nullopt},
      {any_case, true, 9, 8u},  {any_case, true, 7, 4u},   {exact, true, 3, std::nullopt},
  };
  for (const Case& c : cases) {
    const auto found = c.backwards ? FindBackward(data.data(), 10, c.from, c.pattern)
                                   : FindForward(data.data(), 10, c.from, c.pattern);
    EXPECT_EQ(found, c.at) << c.backwards << " from " << c.from;
  }
}

TEST(HexSearchTest, DifferencesAreVisitedRunByRun) {
  // Runs at 2..3 and 7; equal elsewhere.
  const Bytes a(10, 0);
  Bytes b = a;
  b[2] = b[3] = b[7] = 1;
  struct Case {
    uint32_t from;
    std::optional<uint32_t> next, previous;
  } cases[] = {{0, 2u, std::nullopt}, {2, 7u, std::nullopt}, {3, 7u, std::nullopt},
               {5, 7u, 2u},           {7, std::nullopt, 2u}, {9, std::nullopt, 7u}};
  for (const Case& c : cases) {
    EXPECT_EQ(NextDifference(a.data(), b.data(), 10, c.from), c.next) << c.from;
    EXPECT_EQ(PreviousDifference(a.data(), b.data(), 10, c.from), c.previous) << c.from;
  }
}

// Two sources of unequal sizes: bytes past the shorter one are compared
// with nothing, from wherever the cursor stands in the longer one. Each
// buffer is exactly its size, so a read past it is caught under the
// sanitizers.
TEST(HexSearchTest, UnequalSourcesAreComparedOverTheirCommonSizeFromAnywhere) {
  const English english;
  // The shorter ends at 12; runs at 3 and 10..11.
  struct Case {
    uint32_t size_a, size_b, from;
    std::optional<uint32_t> next, previous;
  } cases[] = {
      {20, 12, 5, 10u, 3u},          {20, 12, 11, std::nullopt, 3u},
      {20, 12, 12, std::nullopt, 10u}, {20, 12, 19, std::nullopt, 10u},
      {12, 20, 16, std::nullopt, 10u}, {12, 20, 31, std::nullopt, 10u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size_a << " and " << c.size_b << " from " << c.from);
    const Bytes a(c.size_a, 0);
    Bytes b(c.size_b, 0);
    b[3] = b[10] = b[11] = 1;
    const uint32_t common = std::min(c.size_a, c.size_b);
    EXPECT_EQ(NextDifference(a.data(), b.data(), common, c.from), c.next);
    EXPECT_EQ(PreviousDifference(a.data(), b.data(), common, c.from), c.previous);
    // The view, its cursor in the longer source (clicked there: its rows
    // show both), goes where the search says.
    if (c.from >= std::max(c.size_a, c.size_b)) continue;
    for (const bool backwards : {false, true}) {
      HexView view({Of(a, "File"), Of(b, "FLASH")});
      const int longer = c.size_a > c.size_b ? 0 : 1;
      view.Press(static_cast<int32_t>(c.from / kHexRowBytes),
                 view.layout().HexColumn(longer, c.from % kHexRowBytes), false);
      ASSERT_EQ(view.Cursor(), c.from);
      view.NextDifference(backwards);
      const auto expected = backwards ? c.previous : c.next;
      EXPECT_EQ(view.Cursor(), expected.value_or(c.from)) << backwards;
      if (!expected) {
        EXPECT_NE(view.StatusLine().find(FormatText("No difference after 0x%06X", c.from)),
                  std::string::npos);
      }
    }
  }
}

// The wheel in the systems' units, 120 a notch (negative: towards the
// user, down the rows), from the tenth row.
TEST(HexViewTest, SmallWheelStepsAddUpToRowsAndATurnBackStartsAfresh) {
  struct Case {
    std::vector<int32_t> deltas;
    uint32_t top;
  } cases[] = {
      {{-120}, 13},                 {{120}, 7},           {{-240}, 16},
      {{-15, -15}, 10},             {{-15, -15, -15}, 11},
      {std::vector<int32_t>(8, -15), 13},  // a touchpad's notch in eighths
      {std::vector<int32_t>(16, 8), 7},    // and in still smaller steps
      {{-30, 30, -30}, 10},         {{-39, 39, -39}, 10}, {{-60, -60}, 13},
  };
  const Bytes b(100 * kHexRowBytes, 0);
  for (const Case& c : cases) {
    HexView view({Of(b)});
    view.SetVisibleRows(10);
    view.ScrollTo(10);
    for (const int32_t delta : c.deltas) view.Wheel(delta);
    EXPECT_EQ(view.TopRow(), c.top) << testing::PrintToString(c.deltas);
  }
}

TEST(HexViewTest, KeysMoveTheCursorPageTheRowsAndShiftSelects) {
  // 100 rows, 10 on show; the last row holds 4 bytes (0x630..0x633).
  const Bytes b(0x634, 0);
  struct Case {
    uint32_t from;
    HexKey key;
    bool ctrl, shift;
    uint32_t cursor, top;
  } cases[] = {
      {0x00, HexKey::kLeft, false, false, 0x00, 0},     {0x05, HexKey::kRight, false, false, 0x06, 0},
      {0x05, HexKey::kUp, false, false, 0x05, 0},       {0x95, HexKey::kDown, false, false, 0xA5, 9},
      // Down into the short last row: its last byte.
      {0x625, HexKey::kDown, false, false, 0x633, 90},  {0x633, HexKey::kDown, false, false, 0x633, 90},
      {0x618, HexKey::kDown, false, false, 0x628, 90},  {0x05, HexKey::kPageDown, false, false, 0xA5, 10},
      {0x5F5, HexKey::kPageDown, false, false, 0x633, 90},
      {0xA5, HexKey::kPageUp, false, false, 0x05, 0},   {0x25, HexKey::kHome, false, false, 0x20, 2},
      {0x25, HexKey::kEnd, false, false, 0x2F, 2},      {0x25, HexKey::kEnd, true, false, 0x633, 90},
      {0x625, HexKey::kHome, true, false, 0x00, 0},     {0x25, HexKey::kRight, false, true, 0x26, 2},
  };
  for (const Case& c : cases) {
    HexView view({Of(b)});
    view.SetVisibleRows(10);
    ASSERT_TRUE(view.GoTo(FormatText("%X", c.from)));  // its row on top, as far as it goes
    view.Key(c.key, c.ctrl, c.shift);
    SCOPED_TRACE(testing::Message() << "from 0x" << std::hex << c.from << " key "
                                    << static_cast<int>(c.key));
    EXPECT_EQ(view.Cursor(), c.cursor);
    EXPECT_EQ(view.TopRow(), c.top);
    EXPECT_EQ(view.Selection().has_value(), c.shift);
  }
}

TEST(HexViewTest, AClickPutsTheCursorInTheSourceClickedAndADragSelects) {
  const Bytes file = Counting(64), flash = Counting(64);
  HexView view({Of(file, "File"), Of(flash, "FLASH")});
  view.SetVisibleRows(2);
  view.ScrollTo(1);
  const HexLayout& l = view.layout();
  view.Press(1, l.TextColumn(1, 3), false);
  EXPECT_EQ(view.Cursor(), 0x23u);
  EXPECT_EQ(view.CursorSource(), 1);
  EXPECT_FALSE(view.Selection());
  view.Drag(0, l.HexColumn(1, 14));
  view.Release();
  EXPECT_EQ(view.Selection(), (HexView::Range{0x1E, 0x23}));
  view.Press(0, l.HexColumn(1, 2), true);  // shift extends from the same end
  EXPECT_EQ(view.Selection(), (HexView::Range{0x12, 0x23}));
  view.Press(0, 2, false);                 // on the address: the row's first byte
  EXPECT_EQ(view.Cursor(), 0x10u);
  view.Press(5, l.HexColumn(0, 9), false);  // below the last row: its byte there
  EXPECT_EQ(view.Cursor(), 0x39u);
  EXPECT_EQ(view.CursorSource(), 0);
}

TEST(HexViewTest, GoToFindAndTheRangeFieldsSayWhatIsWrong) {
  const English english;
  Bytes b(0x20000, 0xFF);
  const std::string name = "PANEL V1.2";
  std::copy(name.begin(), name.end(), b.begin() + 0x12340);
  HexView view({Of(b)});
  view.SetVisibleRows(8);

  EXPECT_FALSE(view.GoTo("12G"));
  EXPECT_EQ(view.StatusLine(),
            "0x000000 in the 64 KiB range 0x000000...0x00FFFF. \"12G\" is not a hex address: "
            "type it in the digits 0-9 and A-F, e.g. 1F000");
  EXPECT_FALSE(view.GoTo("20000"));
  EXPECT_NE(view.StatusLine().find("0x020000 lies past the end: the last address is 0x01FFFF"),
            std::string::npos);
  EXPECT_TRUE(view.GoTo("0x1234F"));
  EXPECT_EQ(view.TopRow(), 0x1234u);
  EXPECT_EQ(view.StatusLine(), "0x01234F in the 64 KiB range 0x010000...0x01FFFF");

  view.Find("panel v1", false, true);
  EXPECT_EQ(view.Cursor(), 0x12340u);
  EXPECT_EQ(view.StatusLine(), "0x012340 in the 64 KiB range 0x010000...0x01FFFF; selected "
                               "0x012340...0x012347, length 0x8");
  EXPECT_EQ(view.SelectionStartText(), "0x012340");
  EXPECT_EQ(view.SelectionLengthText(), "0x8");
  EXPECT_EQ(view.VisibleRow(0)->spans.front().marks, kHexCursor | kHexSelected | kHexFound);
  // Where the bases part (0x12 is 18): the status line and the fields give
  // the same, and the fields read back give the selection.
  view.Select(0x12340, 0x12351);
  EXPECT_NE(view.StatusLine().find("selected 0x012340...0x012351, length 0x12"), std::string::npos);
  EXPECT_EQ(view.SelectionLengthText(), "0x12");
  EXPECT_EQ(view.RangeFromFields(view.SelectionStartText(), view.SelectionLengthText()),
            (HexView::Range{0x12340, 0x12351}));
  view.GoTo("12340");
  view.Find("50 41", true, false);  // "PA" again, after the match it stands on
  EXPECT_NE(view.StatusLine().find("Not found after 0x012340"), std::string::npos);
  view.Find("5 0", true, false);
  EXPECT_NE(view.StatusLine().find("\"5 0\" is not hex bytes"), std::string::npos);

  EXPECT_EQ(view.RangeFromFields("1FF00", "100"), (HexView::Range{0x1FF00, 0x1FFFF}));
  EXPECT_FALSE(view.RangeFromFields("1FF00", "101"));
  EXPECT_NE(view.StatusLine().find("The range 0x01FF00 of length 0x101 goes past the end"),
            std::string::npos);
  EXPECT_FALSE(view.RangeFromFields("", "10"));
  EXPECT_FALSE(view.RangeFromFields("0", "0"));
  EXPECT_NE(view.StatusLine().find("\"0\" is not a hex length"), std::string::npos);
}

// Only the rows on show are made: the end of the largest chip is one key
// away, and its last row is the last one on show.
TEST(HexViewTest, TheLargestChipsEndIsOneKeyAway) {
  const Bytes b(16u << 20, 0x5A);
  HexView view({Of(b)});
  view.SetVisibleRows(30);
  view.Key(HexKey::kEnd, true, false);
  EXPECT_EQ(view.Cursor(), 0xFFFFFFu);
  EXPECT_EQ(view.TopRow(), view.RowCount() - 30);
  EXPECT_EQ(view.VisibleRow(29)->text.substr(0, 8), "0xFFFFF0");
  EXPECT_FALSE(view.VisibleRow(30));
}

class ShownViews : public HexViewWindow {
 public:
  std::function<void(HexViewDialog&)> in_view;
  int shown = 0;
  void ShowHexView(HexViewDialog& dialog) override {
    ++shown;
    if (in_view) in_view(dialog);
  }
  void EndHexView() override {}
};

TEST(HexViewerTest, TheLatestOfTheProgramsOwnBackupsIsTheOneToView) {
  test::TempDir dir;
  EXPECT_EQ(LatestBackup(dir.File("none")), "");
  for (const char* name : {"20260101-100000_EF4013_00000001.bin", "20270101-090000_EF4013_00000002.bin",
                           "20280101-000000_EF4013_00000003.bin.unverified", "zz.bin"})
    test::WriteBytes(dir.File(name), "x");
  EXPECT_EQ(LatestBackup(dir.path()), dir.File("20270101-090000_EF4013_00000002.bin"));
}

// A file that cannot be one is refused with its reason; a range of one
// that can is saved as safely as a dump, and a refused save says why.
TEST(HexViewerTest, AFileOpensInTheViewAndARangeOfItIsSaved) {
  const English english;
  test::TempDir dir;
  test::RecordingOutput out;
  ShownViews window;
  HexViewer viewer(out, out, window);
  test::WriteBytes(dir.File("empty.bin"), "");
  for (const std::string name : {"missing.bin", "empty.bin"}) {
    out.open_answer = dir.File(name);
    viewer.ViewChosenFile();
  }
  EXPECT_EQ(window.shown, 0);
  ASSERT_EQ(out.Boxes().size(), 2u);
  const std::string not_opened = "0x10 Error: Unable to open the file " + dir.File("missing.bin") + ": ";
  EXPECT_GT(out.Boxes()[0].size(), not_opened.size());  // and the system's reason
  EXPECT_EQ(out.Boxes()[0].rfind(not_opened, 0), 0u) << out.Boxes()[0];
  EXPECT_EQ(out.Boxes()[1], "0x10 Error: The file " + dir.File("empty.bin") + " is empty");

  test::WriteBytes(dir.File("dump.bin"), "0123456789");
  test::WriteBytes(dir.File("kept.bin"), "kept");
  std::filesystem::permissions(dir.File("kept.bin"), std::filesystem::perms::owner_read);
  out.open_answer = dir.File("dump.bin");
  window.in_view = [&](HexViewDialog& d) {
    EXPECT_EQ(d.texts().title, "View: " + dir.File("dump.bin"));
    EXPECT_TRUE(d.CopyText().empty());
    out.save_answer = dir.File("part.bin");
    d.Save("2", "3");
    EXPECT_NE(d.view().StatusLine().find("0x000002...0x000004 (length 0x3) saved to "),
              std::string::npos);
    out.save_answer = dir.File("kept.bin");
    d.Save("0", "A");
  };
  viewer.ViewChosenFile();
  EXPECT_EQ(window.shown, 1);
  EXPECT_EQ(test::ReadBytes(dir.File("part.bin")), "234");
  EXPECT_EQ(test::ReadBytes(dir.File("kept.bin")), "kept");
  const std::string not_written = "0x10 Error: The file " + dir.File("kept.bin") + " is not written: ";
  EXPECT_GT(out.Boxes().back().size(), not_written.size());
  EXPECT_EQ(out.Boxes().back().rfind(not_written, 0), 0u) << out.Boxes().back();
}

TEST(HexViewerTest, ACompareOpensOnItsFirstDifferenceWithItsRangesAndCopy) {
  test::RecordingOutput out;
  ShownViews window;
  HexViewer viewer(out, out, window);
  ServiceCommands::Differences found;
  found.file = Counting(64);
  found.flash = found.file;
  found.flash[0x21] = found.flash[0x22] = 0;
  found.flash[0x30] = 0;
  found.ranges = {{0x21, 0x22}, {0x30, 0x30}};
  found.differing = 3;
  window.in_view = [&](HexViewDialog& d) {
    EXPECT_EQ(d.ranges().size(), 2u);
    EXPECT_EQ(d.view().Selection(), (HexView::Range{0x21, 0x22}));
    d.view().NextDifference(false);
    EXPECT_EQ(d.view().Cursor(), 0x30u);
    d.ChooseRange(0);
    EXPECT_EQ(d.view().Cursor(), 0x21u);
    EXPECT_NE(d.CopyText().find("0x000020 "), std::string::npos);
  };
  viewer.ViewDifferences(found);
  EXPECT_EQ(window.shown, 1);
}

}  // namespace
}  // namespace rtd::shell
