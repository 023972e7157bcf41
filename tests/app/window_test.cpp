// What only the Qt window has: Qt's own texts in the boxes follow the
// window's language (the Windows window leaves them to the system). The
// window's behaviour itself is in the shared scenarios (tests/window).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "i18n/lang.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"
#include "window_driver.h"

namespace rtd::test {
namespace {

TEST(QtWindowTest, AfterASwitchQtsOwnBoxButtonsSpeakTheNewLanguage) {
  const int32_t saved = CurrentLanguage;
  TempDir dir;
  ManualClock clock{1000, 1};
  sim::SimConfig config;
  config.attached = false;
  auto window = MakeWindowDriver();
  window->Start(std::make_unique<sim::VirtualProgrammer>(config, clock), clock,
                shell::SessionPaths{dir.File("jedec.ini"), dir.File("rtdprog.ini")});
  window->ChooseMenuItem("MenuItemLanguageRussianx");
  window->box_answers = {IDNO};
  window->Shell().MessageBoxPrintf(MB_ICONWARNING, "?");
  ASSERT_EQ(window->boxes.size(), 1u);
  const auto& texts = window->boxes[0].button_texts;
  // Qt's Russian translations are in the package list.
  EXPECT_NE(std::find(texts.begin(), texts.end(), "&Да"), texts.end());
  window.reset();
  CurrentLanguage = saved;
}

}  // namespace
}  // namespace rtd::test
