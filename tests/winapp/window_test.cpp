// What only the Windows window has, under Wine: the designed layout in
// device pixels, its controls by their form names and kinds, and the hidden
// "L" button. Its behaviour is the shared window scenarios' (tests/window/).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/virtual_programmer.h"
#include "temp_dir.h"
// windows.h (through main_window.h) after the core's headers.
#include "winapp/main_window.h"

namespace rtd::test {
namespace {

TEST(WinWindow, HasTheDesignedLayoutScaledAndEveryControlUnderItsFormName) {
  TempDir dir;
  ManualClock clock{1000, 1};
  winapp::WindowSeams seams;
  seams.run_timers = false;
  winapp::MainWindow window(std::make_unique<sim::VirtualProgrammer>(sim::SimConfig{}, clock), clock,
                            shell::SessionPaths{dir.File("jedec.ini"), dir.File("rtdprog.ini")},
                            &seams);
  std::string error;
  ASSERT_TRUE(window.Create(::GetModuleHandleW(nullptr), &error)) << error;

  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  const auto px = [dpi](int at96) { return ::MulDiv(at96, dpi, 96); };
  RECT client;
  ::GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, px(631));
  EXPECT_EQ(client.bottom, px(441));
  const LONG style = ::GetWindowLongW(window.hwnd(), GWL_STYLE);
  EXPECT_TRUE((style & WS_MINIMIZEBOX) && !(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME));

  struct Place {
    const char* name;
    const wchar_t* kind;
    int x, y, w, h;
  };
  const Place places[] = {
      {"SpeedButtonReset", L"TSpeedButton", 0, 2, 23, 22},
      {"SpeedButtonConnect", L"TSpeedButton", 28, 2, 23, 22},
      {"SpeedButtonGetTouchParam", L"TSpeedButton", 166, 2, 23, 22},
      {"SpeedButtonLanguageMakerx", L"TSpeedButton", 194, 2, 23, 22},
      {"PanelMenu", L"TPanel", 217, 2, 412, 22},
      {"MainToolBar", L"TToolBar", 0, 0, 631, 29},
      {"MainPanel", L"TPanel", 0, 29, 631, 393},
  };
  for (const Place& p : places) {
    SCOPED_TRACE(p.name);
    const winapp::Component* c = window.Find(p.name);
    ASSERT_NE(c, nullptr);
    wchar_t kind[64] = {};
    ::GetClassNameW(c->window, kind, 64);
    EXPECT_EQ(std::wstring(kind), p.kind);
    RECT r;
    ::GetWindowRect(c->window, &r);
    ::MapWindowPoints(nullptr, ::GetParent(c->window), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, px(p.x));
    EXPECT_EQ(r.top, px(p.y));
    EXPECT_EQ(r.right - r.left, px(p.w));
    EXPECT_EQ(r.bottom - r.top, px(p.h));
  }
  EXPECT_FALSE(::IsWindowVisible(window.Find("SpeedButtonLanguageMakerx")->window));
  // The help cursor over the notice panel.
  const winapp::Component* panel = window.Find("PanelMenu");
  ::SendMessageW(panel->window, WM_SETCURSOR, reinterpret_cast<WPARAM>(panel->window),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HELP));
}

}  // namespace
}  // namespace rtd::test
