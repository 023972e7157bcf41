// The window's rules that need no window: buttons, gauge, toolbar notice,
// placement of boxes and dialogs, the language index.

#include <gtest/gtest.h>

#include "i18n/lang.h"
#include "shell/buttons.h"
#include "shell/differences.h"
#include "shell/form/command_line.h"
#include "shell/form/form.h"
#include "shell/form/message_box.h"
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
  EXPECT_EQ(ServiceItemStates(ButtonStates{}, false, true), folder_only);
  EXPECT_EQ(ServiceItemStates(read_only, true, true), ServiceStates{});
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
  // The view's list gives a length in hex as the Length field beside it;
  // the copy, in decimal as the log.
  const std::vector<std::string> listed = {"Differs 0x00000F...0x000010, length 0x2",
                                           "Differs 0x000020...0x01001F, length 0x10000"};
  EXPECT_EQ(listing.ranges, listed);
  EXPECT_EQ(listing.lines[4], "Differs 0x000020...0x01001F, length 65536");
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
  const Rect screen{0, 0, 1920, 1040};
  EXPECT_EQ(MessageBoxPosition(main, Size{301, 121}, screen),
            (Point{100 + 323 - 150, 50 + 240 - 60 + 50}));
  // Without the box's size: 200 up and left of the centre, then 50 down.
  EXPECT_EQ(MessageBoxPosition(main, std::nullopt, screen), (Point{223, 140}));
  // A window half off the screen's corner: its box is moved just inside.
  EXPECT_EQ(MessageBoxPosition(Rect{1700, 900, 647, 480}, Size{301, 121}, screen),
            (Point{1920 - 301, 1040 - 121}));
  // Halving truncates toward zero, also left of the screen.
  EXPECT_EQ(CentredOver(Rect{-301, -11, 3, 3}, Size{5, 5}), (Point{-301 + 1 - 2, -11 + 1 - 2}));
}

// The least move into the work area, on each axis alone; a window larger
// than the area keeps its caption's corner in it.
TEST(PlacementTest, AWindowIsMovedTheLeastIntoTheWorkArea) {
  const Rect area{-1280, 40, 1280, 984};  // a second screen left of the first, a bar on top
  struct Case {
    Point at;
    Size size;
    Point kept;
  } const cases[] = {
      {{-1000, 100}, {400, 300}, {-1000, 100}},   // inside: stays
      {{-100, 100}, {400, 300}, {-400, 100}},     // off the right edge
      {{-1300, 900}, {400, 300}, {-1280, 724}},   // off the left and the bottom
      {{-1000, 0}, {400, 300}, {-1000, 40}},      // under the bar
      {{-1000, 100}, {1500, 1200}, {-1280, 40}},  // larger than the area
  };
  for (const Case& c : cases) EXPECT_EQ(KeptInside(c.at, c.size, area), c.kept);
  const Rect dialog = DialogPlacement(Rect{-700, 600, 600, 400}, Size{1400, 500}, area);
  EXPECT_EQ((Point{dialog.left, dialog.top}), (Point{-1280, 40 + 984 - 500}));
  EXPECT_EQ(dialog.width, 1280);
  EXPECT_EQ(dialog.height, 500);
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

// Both windows index the form's tables by their enums and build submenus
// in table order: a row out of place would give an item another's caption.
TEST(FormTest, EveryRowStandsAtItsOwnPlaceAndEachSubmenuBeforeItsItems) {
  for (std::size_t i = 0; i < form::kToolButtons.size(); ++i)
    EXPECT_EQ(Index(form::kToolButtons[i].button), i) << form::kToolButtons[i].name;
  for (std::size_t i = 0; i < form::kMenu.size(); ++i) {
    const form::MenuItemDesign& d = form::kMenu[i];
    EXPECT_EQ(form::Index(d.item), i) << d.name;
    if (d.parent == form::MenuItem::kNone) continue;
    EXPECT_LT(form::Index(d.parent), i) << d.name;
    EXPECT_EQ(form::Design(d.parent).kind, form::MenuKind::kSubmenu) << d.name;
  }
  for (const ServiceItem item : kServiceItems)
    EXPECT_EQ(form::ServiceItemOf(form::MenuItemOf(item)), item);
}

TEST(MessageBoxTest, TheKindBecomesAnIconAndItsButtons) {
  struct Case {
    uint32_t kind;
    BoxIcon icon;
    BoxButtons buttons;
    int safe_answer;  // what a closing window answers
    int default_answer;
  } const cases[] = {
      {MB_ICONWARNING, BoxIcon::kWarning, BoxButtons::kYesNo, IDNO, IDYES},
      {MB_ICONWARNING | MB_DEFAULT_NO, BoxIcon::kWarning, BoxButtons::kYesNo, IDNO, IDNO},
      {MB_ICONQUESTION, BoxIcon::kQuestion, BoxButtons::kYesNo, IDNO, IDYES},
      {MB_ICONWARNING | MB_OKONLY, BoxIcon::kWarning, BoxButtons::kOk, IDOK, IDOK},
      {MB_ICONERROR, BoxIcon::kError, BoxButtons::kOk, IDOK, IDOK},
      {MB_ICONINFORMATION, BoxIcon::kInformation, BoxButtons::kOk, IDOK, IDOK},
      {0, BoxIcon::kNone, BoxButtons::kOk, IDOK, IDOK},
  };
  for (const Case& c : cases) {
    const BoxDesign box = DescribeBox(c.kind, "caption", "text");
    EXPECT_EQ(box.icon, c.icon) << c.kind;
    EXPECT_EQ(box.buttons, c.buttons) << c.kind;
    EXPECT_EQ(box.SafeAnswer(), c.safe_answer) << c.kind;
    EXPECT_EQ(box.default_answer, c.default_answer) << c.kind;
  }
}

TEST(WindowCommandLineTest, SimulateHelpVersionAndAnythingElseWrong) {
  using A = WindowCommandLine::Action;
  struct Case {
    std::vector<std::string> args;
    A action;
    bool simulate;
    std::string file;
  } const cases[] = {
      {{}, A::kRun, false, ""},
      {{"--simulate"}, A::kRun, true, ""},
      {{"--simulate=board.ini"}, A::kRun, true, "board.ini"},
      {{"--simulate", "-h"}, A::kHelp, false, ""},
      {{"--version"}, A::kVersion, false, ""},
      {{"--simulate="}, A::kWrong, false, ""},
      {{"--simulate", "board.ini"}, A::kWrong, false, ""},
  };
  for (const Case& c : cases) {
    const WindowCommandLine line = ReadWindowCommandLine(c.args);
    EXPECT_EQ(line.action, c.action);
    EXPECT_EQ(line.choice.simulate, c.simulate);
    EXPECT_EQ(line.choice.simulate_file, c.file);
  }
  EXPECT_NE(ReadWindowCommandLine({"-x"}).text.find("unknown argument '-x'\nUsage: rtdprog"),
            std::string::npos);
}

TEST(LanguageTest, MinusOneAsksOneIsEnglishAnythingElseRussian) {
  EXPECT_EQ(LanguageForIndex(-1, kLanguageEnglish), kLanguageEnglish);
  EXPECT_EQ(LanguageForIndex(1, kLanguageRussian), kLanguageEnglish);
  EXPECT_EQ(LanguageForIndex(0, kLanguageEnglish), kLanguageRussian);
  EXPECT_EQ(LanguageForIndex(5, kLanguageEnglish), kLanguageRussian);
}

}  // namespace
}  // namespace rtd::shell
