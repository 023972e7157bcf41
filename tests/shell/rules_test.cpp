// The window's rules that need no window: buttons, gauge, toolbar notice,
// placement of boxes and dialogs, the language index.

#include <gtest/gtest.h>

#include "i18n/lang.h"
#include "shell/buttons.h"
#include "shell/differences.h"
#include "shell/gauge.h"
#include "shell/language.h"
#include "shell/placement.h"
#include "shell/service_menu.h"

namespace rtd::shell {
namespace {

TEST(ButtonRuleTest, ConnectionAndIdentifiedFlashDecideWhatIsEnabled) {
  const ButtonStates none{};
  EXPECT_EQ(SetButtonsStateRule(true, true, true), none);
  EXPECT_EQ(SetButtonsStateRule(false, false, true), none);
  ButtonStates programmer_only{};
  programmer_only[Index(ToolButton::SpeedButtonReset)] = true;
  programmer_only[Index(ToolButton::SpeedButtonGetTouchParam)] = true;
  programmer_only[Index(ToolButton::SpeedButtonConnect)] = true;
  EXPECT_EQ(SetButtonsStateRule(false, true, false), programmer_only);
  ButtonStates all;
  all.fill(true);
  EXPECT_EQ(SetButtonsStateRule(false, true, true), all);
}

TEST(ServiceMenuRuleTest, ItemsFollowTheirButtonButNoneWhileAnOperationRuns) {
  ButtonStates read_only{};
  read_only[Index(ToolButton::SpeedButtonRead)] = true;
  ServiceStates reads{};
  reads[Index(ServiceItem::MenuItemServiceReadTwice)] = true;
  reads[Index(ServiceItem::MenuItemServiceBlankCheck)] = true;
  EXPECT_EQ(ServiceItemStates(read_only, false, false), reads);
  ServiceStates folder_only{};
  folder_only[Index(ServiceItem::MenuItemServiceBackupFolder)] = true;
  EXPECT_EQ(ServiceItemStates(read_only, true, true), folder_only);
}

// Where the brackets of a differing run go: within a line, at its last
// byte, and across two lines; and the note once the listing is full.
TEST(DifferenceListingTest, BracketsEncloseEachRunAndALongListingEndsInANote) {
  const int32_t saved = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  ServiceCommands::Differences d;
  d.file.assign(32 + 16 * kMaxDifferenceLines, 0x11);
  d.flash = d.file;
  d.flash[15] = d.flash[16] = 0x22;
  d.ranges = {{15, 16}, {32, static_cast<uint32_t>(d.file.size() - 1)}};
  for (std::size_t i = 32; i < d.file.size(); ++i) d.flash[i] = 0x33;
  d.differing = static_cast<unsigned long>(d.file.size() - 32 + 2);
  const DifferenceListing listing = ListDifferences(d);
  CurrentLanguage = saved;

  const std::string plain = " 11 11 11 11 11 11 11 11 11 11 11 11 11 11 11";
  ASSERT_GE(listing.lines.size(), 4u);
  EXPECT_EQ(listing.lines[0].find('|'), listing.lines[2].find('|'));
  EXPECT_EQ(listing.lines[2], "0x000000 " + plain + "[11] |" + plain + "[22]");
  EXPECT_EQ(listing.lines[3],
            "0x000010 [11]11 11 11 11 11 11 11 11 11 11 11 11 11 11 11  |"
            "[22]11 11 11 11 11 11 11 11 11 11 11 11 11 11 11 ");
  EXPECT_EQ(listing.range_lines, (std::vector<std::size_t>{1, 4}));
  EXPECT_EQ(listing.lines[listing.lines.size() - 2], "2 more lines not shown");
  EXPECT_EQ(listing.Text().substr(0, listing.lines[0].size() + 1), listing.lines[0] + "\n");
}

// Buffers of the image's own size: a read past them is caught by ASan.
TEST(DifferenceListingTest, AnImageEndingMidLineShowsOnlyItsOwnBytes) {
  ServiceCommands::Differences d;
  d.file.assign(20, 0x11);
  d.flash = d.file;
  d.flash[17] = d.flash[18] = 0x22;
  d.ranges = {{17, 18}};
  const DifferenceListing listing = ListDifferences(d);
  ASSERT_EQ(listing.lines.size(), 4u);
  const std::string blank(37, ' ');
  EXPECT_EQ(listing.lines[2], "0x000010  11[11 11]11" + blank + " | 11[22 22]11" + blank);
}

TEST(GaugeTest, AStepAboveTheMaximumFillsTheGaugeAndLaterStepsAreIgnored) {
  ProgressGauge g;
  g.Start(200, "FLASH Read", 256, 0);
  EXPECT_EQ(g.StepTo(50, 10), ProgressGauge::Step::kMoved);
  EXPECT_EQ(g.Percent(), 25);
  EXPECT_EQ(g.StepTo(500, 20), ProgressGauge::Step::kMoved);
  EXPECT_EQ(g.value(), 200);
  EXPECT_EQ(g.Percent(), 100);
  EXPECT_EQ(g.StepTo(10, 30), ProgressGauge::Step::kIgnored);
  EXPECT_EQ(g.value(), 200);
}

TEST(GaugeTest, AMaximumOfZeroKeepsThePreviousOne) {
  ProgressGauge g;
  g.Start(300, "a", 0, 0);
  g.Start(0, "b", 0, 0);
  EXPECT_EQ(g.maximum(), 300);
  EXPECT_EQ(g.value(), 0);
  EXPECT_EQ(g.SavedProgressCaption(), "b");
}

TEST(GaugeTest, AGaugeHiddenByThePollComesBackWithItsOperationsTitle) {
  ProgressGauge g;
  g.Start(100, "FLASH write", 256, 0);
  g.Hide();
  EXPECT_EQ(g.StepTo(1, 5), ProgressGauge::Step::kShownAgain);
  EXPECT_TRUE(g.visible());
  EXPECT_EQ(g.SavedProgressCaption(), "FLASH write");
}

TEST(GaugeTest, TransfersShowSpeedAndTimeLeftAfterThePercent) {
  const int32_t saved = CurrentLanguage;
  CurrentLanguage = kLanguageEnglish;
  ProgressGauge g;
  g.Start(2048, "FLASH Read", 256, 1000);  // 256-byte blocks
  g.StepTo(512, 2000);                // 128 KiB in a second, three quarters left
  EXPECT_EQ(g.Text(), "25 %   128.0 KiB/s   00:03 left");
  g.Start(10000, "Waiting for connection", 0, 0);
  g.StepTo(2500, 2500);
  EXPECT_EQ(g.Text(), "25 %");
  CurrentLanguage = saved;
}

TEST(ToolbarNoticeTest, BlinksForItsDurationThenLeavesAnEmptyVisiblePanel) {
  ToolbarNoticeState n;
  n.Show(2500, 250, "The file is written");
  EXPECT_EQ(n.caption(), "The file is written");
  EXPECT_EQ(n.end_timer_ms(), 2500u);
  EXPECT_EQ(n.blink_timer_ms(), 250u);
  n.Blink();
  EXPECT_FALSE(n.panel_visible());
  n.End();
  EXPECT_TRUE(n.panel_visible());
  EXPECT_EQ(n.caption(), "");
  EXPECT_EQ(n.end_timer_ms(), 0u);
  EXPECT_EQ(n.blink_timer_ms(), 0u);
}

TEST(PlacementTest, ABoxSitsCentredAndFiftyPixelsBelowTheCentre) {
  const Rect main{100, 50, 647, 480};
  EXPECT_EQ(MessageBoxPosition(main, Size{301, 121}), (Point{100 + 323 - 150, 50 + 240 - 60 + 50}));
  // Without the box's size: 200 up and left of the centre, then 50 down.
  EXPECT_EQ(MessageBoxPosition(main, std::nullopt), (Point{223, 140}));
  // Halving truncates toward zero, also left of the screen.
  EXPECT_EQ(CentredOver(Rect{-301, -11, 3, 3}, Size{5, 5}), (Point{-301 + 1 - 2, -11 + 1 - 2}));
}

TEST(PlacementTest, ADialogIsHeldForFiftyTicksThatFindItsWindow) {
  FileDialogCentring c;
  c.Start();
  bool keep = false;
  EXPECT_FALSE(c.Tick(false, &keep));
  EXPECT_TRUE(keep);
  for (int i = 0; i < 49; ++i) {
    EXPECT_TRUE(c.Tick(true, &keep));
    EXPECT_TRUE(keep);
  }
  EXPECT_TRUE(c.Tick(true, &keep));
  EXPECT_FALSE(keep);
}

TEST(LanguageTest, MinusOneAsksOneIsEnglishAnythingElseRussian) {
  EXPECT_EQ(LanguageForIndex(-1, kLanguageEnglish), kLanguageEnglish);
  EXPECT_EQ(LanguageForIndex(1, kLanguageRussian), kLanguageEnglish);
  EXPECT_EQ(LanguageForIndex(0, kLanguageEnglish), kLanguageRussian);
  EXPECT_EQ(LanguageForIndex(5, kLanguageEnglish), kLanguageRussian);
}

}  // namespace
}  // namespace rtd::shell
