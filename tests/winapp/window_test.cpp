// The Windows window on the virtual programmer, under Wine: its real
// controls, boxes and file dialogs, answered through the window's seams,
// with a hand-driven clock and hand-ticked timers.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "config/windows_files.h"
#include "i18n/lang.h"
#include "shell/placement.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"
#include "winapp/main_window.h"

namespace rtd::test {
namespace {

constexpr uint32_t kFlashSize = 64 * 1024;
using B = ToolButton;
using shell::WindowTimer;

std::string Pattern(uint8_t seed) {
  std::string s(kFlashSize, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i * 7 + (i >> 8) + seed) & 0xFF);
  return s;
}

std::string Title(HWND w) { return win::Narrow(winapp::WindowText(w)); }

shell::Rect RectOf(HWND w) {
  RECT r;
  ::GetWindowRect(w, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class WinWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    WriteBytes(dir_.File("jedec.ini"),
               "[EF4013]\r\nManufacturer=Winbond W25Q40\r\nSizeInBytes=65536\r\n");
    seams_.run_timers = false;
  }
  void TearDown() override {
    window_.reset();
    CurrentLanguage = saved_language_;
  }

  void Open(bool attached = true, const std::string& settings = "Lang=1") {
    window_.reset();
    WriteBytes(dir_.File("rtdprog.ini"), "[MainSettings]\r\n" + settings + "\r\n");
    sim::SimConfig config;
    config.size = kFlashSize;
    config.attached = attached;
    config.erase_ms = 0;
    auto device = std::make_unique<sim::VirtualProgrammer>(config, clock_);
    device_ = device.get();
    window_ = std::make_unique<winapp::MainWindow>(
        std::move(device), clock_,
        shell::SessionPaths{dir_.File("jedec.ini"), dir_.File("rtdprog.ini")}, &seams_);
    std::string error;
    ASSERT_TRUE(window_->Create(::GetModuleHandleW(nullptr), &error)) << error;
    ::ShowWindow(window_->hwnd(), SW_SHOWNA);
  }
  void Tick() { window_->Tick(WindowTimer::TimerQELPADTest); }
  // A click as the user makes it: down and up on the button; the handler
  // runs from the message loop.
  void Click(B button) { ClickNow(window_->Button(button)); Pump(); }
  static void ClickNow(HWND b) {
    ::SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  }
  void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
  }
  void Connect() {
    Tick();
    Click(B::SpeedButtonConnect);
    ASSERT_TRUE(window_->session().ops().CurrentFlash.Identified()) << window_->LogText();
  }
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    std::string text = window_->LogText();
    for (std::size_t at = 0; at <= text.size();) {
      const std::size_t end = std::min(text.find('\n', at), text.size());
      if (end > at) lines.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return lines;
  }
  bool Logged(const std::string& line) const {
    const auto lines = Log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::vector<B> Enabled() const {
    std::vector<B> on;
    for (int i = 0; i < 8; ++i)
      if (::IsWindowEnabled(window_->Button(static_cast<B>(i)))) on.push_back(static_cast<B>(i));
    return on;
  }
  std::string Flash() const {
    const auto f = device_->Flash();
    return std::string(f.begin(), f.end());
  }
  void AtPump(int pump, std::function<void()> f) {
    seams_.on_pump = [pump, f, n = 0]() mutable {
      if (++n == pump) f();
    };
  }
  // Every box shown, as "caption: text".
  void RecordBoxes() {
    seams_.on_modal_shown = [this](HWND w) {
      HWND text = ::GetDlgItem(w, 0xFFFF);  // the static text of a message box
      if (text == nullptr) return;            // a file dialog
      boxes_.push_back(Title(w) + ": " + (text != nullptr ? Title(text) : std::string()));
    };
  }

  ManualClock clock_{1000, 1};
  TempDir dir_;
  winapp::WindowSeams seams_;
  sim::VirtualProgrammer* device_ = nullptr;
  std::unique_ptr<winapp::MainWindow> window_;
  std::vector<std::string> boxes_;

 private:
  int32_t saved_language_ = 0;
};

TEST_F(WinWindowTest, StartsWithTheDesignedLayoutEveryButtonOffAndTheLinkStatusAtTheFirstTick) {
  Open(false);
  EXPECT_EQ(Title(window_->hwnd()).rfind("Programmer RTD2662. Version 1.03", 0), 0u);
  RECT client;
  ::GetClientRect(window_->hwnd(), &client);
  const int dpi = ::GetDeviceCaps(::GetDC(nullptr), LOGPIXELSY);
  EXPECT_EQ(client.right, ::MulDiv(631, dpi, 96));
  EXPECT_EQ(client.bottom, ::MulDiv(441, dpi, 96));
  const LONG style = ::GetWindowLongW(window_->hwnd(), GWL_STYLE);
  EXPECT_TRUE((style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME));
  for (const char* name : {"SpeedButtonReset", "SpeedButtonGetTouchParam", "SpeedButtonLanguageMakerx"}) {
    ASSERT_NE(window_->Find(name), nullptr) << name;
    wchar_t cls[64];
    ::GetClassNameW(window_->Find(name)->window, cls, 64);
    EXPECT_EQ(std::wstring(cls), L"TSpeedButton");
  }
  EXPECT_FALSE(::IsWindowVisible(window_->Find("SpeedButtonLanguageMakerx")->window));
  EXPECT_TRUE(Enabled().empty());
  EXPECT_TRUE(window_->LogText().empty());
  EXPECT_TRUE(window_->shell().TimerArmed(WindowTimer::TimerQELPADTest));
  Tick();
  EXPECT_EQ(window_->StatusText(), "Controller is disconnected");
}

TEST_F(WinWindowTest, ConnectThenReadIntoAFileChosenInACentredSaveDialogThenCompare) {
  Open();
  const std::string content = Pattern(1);
  std::copy(content.begin(), content.end(), device_->Flash().begin());
  Connect();
  EXPECT_TRUE(Logged("JEDEC ID: EF4013 Winbond W25Q40 64 KBytes")) << window_->LogText();
  EXPECT_EQ(Enabled().size(), 8u);

  // Typed without an extension: the dialog adds BIN.
  seams_.file_names.push_back(dir_.File("dump"));
  std::string title;
  shell::Rect placed{}, main{};
  seams_.on_modal_shown = [&](HWND w) {
    title = Title(w);
    window_->Tick(WindowTimer::TimerOnShow);
    placed = RectOf(w);
    main = RectOf(window_->hwnd());
  };
  Click(B::SpeedButtonRead);
  EXPECT_EQ(title, "Saving the File");
  const shell::Point want = shell::CentredOver(main, shell::Size{placed.width, placed.height});
  EXPECT_EQ((shell::Point{placed.left, placed.top}), want);
  EXPECT_EQ(ReadBytes(dir_.File("dump.BIN")), Pattern(1));
  EXPECT_TRUE(Logged("FLASH read ok")) << window_->LogText();
  EXPECT_EQ(window_->PanelCaption(), "The file is written");
  EXPECT_EQ(window_->session().ops().out().IdleFlag, 1);
  EXPECT_EQ(Enabled().size(), 8u);

  seams_.file_names.push_back(dir_.File("dump.BIN"));
  seams_.on_modal_shown = nullptr;
  Click(B::SpeedButtonCompare);
  EXPECT_TRUE(Logged("FLASH content and file the same")) << window_->LogText();
}

TEST_F(WinWindowTest, TheWriteErasesOnlyAfterYesInAWarningBoxPlacedBelowTheCentre) {
  Open();
  Connect();
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  RecordBoxes();
  std::vector<bool> placed_right, watch_on;
  const auto record = seams_.on_modal_shown;
  seams_.on_modal_shown = [&](HWND w) {
    if (::GetDlgItem(w, 0xFFFF) == nullptr) return;
    record(w);
    const shell::Rect box = RectOf(w);
    const shell::Point want =
        shell::MessageBoxPosition(RectOf(window_->hwnd()), shell::Size{box.width, box.height});
    placed_right.push_back(box.left == want.x && box.top == want.y);
    watch_on.push_back(window_->shell().TimerArmed(WindowTimer::TimerQELPADTest));
  };
  seams_.file_names = {dir_.File("image.bin")};
  seams_.box_answers = {IDNO};
  Click(B::SpeedButtonWrite);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Warning: It will erase and write FLASH\r\nContinue?"}));
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
  seams_.box_answers = {IDYES};
  Click(B::SpeedButtonWrite);
  EXPECT_EQ(Flash(), Pattern(7));
  EXPECT_TRUE(Logged("Write FLASH successfully")) << window_->LogText();
  EXPECT_EQ(placed_right, (std::vector<bool>{true, true}));
  EXPECT_EQ(watch_on, (std::vector<bool>{false, false}));
  EXPECT_TRUE(window_->shell().TimerArmed(WindowTimer::TimerQELPADTest));
}

TEST_F(WinWindowTest, ASecondClickOnTheRunningReadStopsIt) {
  Open();
  Connect();
  RecordBoxes();
  seams_.box_answers = {IDOK};
  AtPump(20, [this] {
    EXPECT_EQ(Enabled(), (std::vector<B>{B::SpeedButtonRead}));
    EXPECT_TRUE(window_->GaugeVisible());
    ClickNow(window_->Button(B::SpeedButtonRead));
  });
  Click(B::SpeedButtonRead);
  EXPECT_EQ(boxes_, (std::vector<std::string>{"Error: User terminate"}));
  EXPECT_EQ(window_->session().ops().out().IdleFlag, 1);
  EXPECT_EQ(Enabled().size(), 8u);
}

TEST_F(WinWindowTest, ClosingDuringAReadStopsItAndDestroysTheWindowOnlyAfterTheReadHasEnded) {
  Open(true, "Lang=1\r\nDebug=1");
  Connect();
  RecordBoxes();
  bool alive_below = false;
  AtPump(20, [&] {
    ::SendMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
    alive_below = ::IsWindow(window_->hwnd()) != 0;
  });
  Click(B::SpeedButtonRead);
  EXPECT_TRUE(alive_below);
  EXPECT_TRUE(window_->destroyed());
  EXPECT_TRUE(boxes_.empty());
  EXPECT_FALSE(window_->session().link().transport().IsOpen());
  const std::string ini = ReadBytes(dir_.File("rtdprog.ini"));
  for (const char* key : {"MainTop=", "MainLeft=", "Lang=1", "Log=0", "Debug=1"})
    EXPECT_NE(ini.find(key), std::string::npos) << key << " in\n" << ini;
}

TEST_F(WinWindowTest, TheLanguageSwitchTranslatesCaptionHintsAndMenuAndIsSaved) {
  Open(true, "Lang=1\r\nDebug=1");
  EXPECT_TRUE(window_->Find("MenuItemLanguageEnglishx")->checked);
  EXPECT_EQ(window_->Find("SpeedButtonRead")->hint, "FLASH Read");
  // Designed without a visible hint; the translation at start shows it.
  EXPECT_TRUE(window_->Find("SpeedButtonGetTouchParam")->show_hint);
  EXPECT_TRUE(window_->Find("PanelMenu")->show_hint);
  EXPECT_EQ(window_->Find("MenuItemLog")->caption, "Communication log");
  EXPECT_EQ(window_->Find("MenuItemLanguagex")->caption, "Язык/Language");
  Tick();
  window_->shell().SetLanguage(0);
  EXPECT_EQ(Title(window_->hwnd()).rfind("Программатор RTD2662. Версия 1.03", 0), 0u);
  EXPECT_EQ(window_->Find("SpeedButtonRead")->hint, "Чтение памяти");
  EXPECT_EQ(window_->Find("MenuItemDebug")->caption, "Отладка");
  Tick();
  EXPECT_EQ(Log().front(), "************* Контроллер подключен ************");
  ::SendMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("Lang=0"), std::string::npos);
}

TEST_F(WinWindowTest, ANoticeBlinksThenLeavesTheEmptyPanelAndADoubleClickClearsTheLog) {
  Open();
  Tick();
  window_->shell().ToolbarNotice(2500, 250, "The file is written");
  EXPECT_TRUE(window_->shell().TimerArmed(WindowTimer::TimerFlash));
  EXPECT_TRUE(window_->shell().TimerArmed(WindowTimer::UniversalTimer));
  window_->Tick(WindowTimer::TimerFlash);
  EXPECT_FALSE(window_->PanelVisible());
  window_->Tick(WindowTimer::UniversalTimer);
  EXPECT_TRUE(window_->PanelVisible());
  EXPECT_EQ(window_->PanelCaption(), "");
  EXPECT_FALSE(window_->shell().TimerArmed(WindowTimer::TimerFlash));

  ASSERT_FALSE(window_->LogText().empty());
  ::SendMessageW(window_->Find("Memo")->window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_TRUE(window_->LogText().empty());
  Tick();
  EXPECT_TRUE(window_->LogText().empty());
}

}  // namespace
}  // namespace rtd::test
