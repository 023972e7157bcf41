// rtdprog-screenshot.exe DIR: opens the Windows window on a virtual
// programmer, lets the watch announce it, checks the link, reads the flash
// into a file and saves pictures of the window (frame included) into DIR as
// 24-bit BMP files: window-windows.bmp after the read,
// window-windows-hexview.bmp of the hex view of a full compare with a
// slightly changed file (its second range chosen), window-windows-ru.bmp
// after a switch to Russian. scripts/screenshot.sh runs it under Wine on a
// virtual display and turns the pictures into PNG.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/utf8_path.h"
#include "config/windows_files.h"
#include "core/clock.h"
#include "shell/form/form.h"
#include "shell/session.h"
#include "sim/sample_board.h"
#include "sim/virtual_programmer.h"
#include "winapp/main_window.h"
#include "winapp/window_picture.h"

namespace {

// Lets the window run for a while: timers tick, paints happen.
void RunFor(rtd::winapp::MainWindow& window, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    window.PumpMessages();
    ::Sleep(5);
  }
}

// A window as the screen shows it, caption and frame included.
bool SaveBmp(rtd::winapp::MainWindow& main, const std::string& path, HWND window = nullptr) {
  // Painted afresh, and time for the system to put the paint on the screen
  // (Wine hands a window's drawing to the display when its queue is idle).
  if (window == nullptr) window = main.hwnd();
  ::RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RunFor(main, 300);
  if (rtd::winapp::SaveWindowPicture(window, path)) return true;
  std::fprintf(stderr, "rtdprog-screenshot: cannot write %s\n", path.c_str());
  return false;
}

void Click(rtd::winapp::MainWindow& window, rtd::ToolButton button) {
  HWND b = window.Button(button);
  ::SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
  ::SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: rtdprog-screenshot DIR\n");
    return 2;
  }
  const std::string out_dir = argv[1];
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() / ("rtdprog-shot-" + std::to_string(::GetCurrentProcessId()));
  std::filesystem::create_directories(scratch);
  const std::string dir = rtd::Utf8FromPath(scratch);
  std::ofstream(scratch / "rtdprog.ini") << "[MainSettings]\r\nLang=1\r\nMainLeft=40\r\nMainTop=40\r\n";

  rtd::SystemClock clock;
  rtd::sim::SimConfig config;  // a Winbond W25Q40, 512 KiB
  auto device = std::make_unique<rtd::sim::VirtualProgrammer>(config, clock);
  std::ofstream(scratch / "changed.bin", std::ios::binary) << rtd::sim::PutSampleFirmware(device->Flash());

  rtd::winapp::WindowSeams seams;
  auto paths = rtd::shell::ProgramPaths(nullptr);
  paths.settings = dir + "\\rtdprog.ini";
  bool ok = true;
  {
    rtd::winapp::MainWindow window(std::move(device), clock, paths, &seams);
    std::string error;
    if (!window.Create(::GetModuleHandleW(nullptr), &error)) {
      std::fprintf(stderr, "rtdprog-screenshot: %s\n", error.c_str());
      return 1;
    }
    ::ShowWindow(window.hwnd(), SW_SHOW);
    RunFor(window, 700);
    Click(window, rtd::ToolButton::SpeedButtonConnect);
    RunFor(window, 500);
    seams.file_names.push_back(dir + "\\board.bin");
    Click(window, rtd::ToolButton::SpeedButtonRead);
    RunFor(window, 200);
    while (window.shell().OperationRunning()) RunFor(window, 50);
    // The notice held still for the picture (it blinks), and everything the
    // closed file dialog covered painted again.
    window.shell().ToolbarNotice(0, 0, "%s", window.PanelCaption());
    RunFor(window, 600);
    ok = SaveBmp(window, out_dir + "\\window-windows.bmp") && ok;
    // The full compare from the Service submenu: the compare's box of the
    // first difference, then the hex view of the file and the chip, its
    // second range chosen.
    window.shell().ToolbarNotice(0, 0, "");
    seams.file_names.push_back(dir + "\\changed.bin");
    seams.box_answers.push_back(IDOK);  // windows.h names it as the core does
    seams.on_modal_shown = [&](HWND shown) {
      HWND ranges = ::GetDlgItem(shown, rtd::winapp::kIdHexRanges);
      if (ranges == nullptr) return;
      ::SendMessageW(ranges, LB_SETCURSEL, 1, 0);
      ::SendMessageW(shown, WM_COMMAND, MAKEWPARAM(rtd::winapp::kIdHexRanges, LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(ranges));
      ok = SaveBmp(window, out_dir + "\\window-windows-hexview.bmp", shown) && ok;
      ::PostMessageW(shown, WM_COMMAND, IDCANCEL, 0);
    };
    window.MenuCommand(rtd::winapp::kCmdFirstMenuItem +
                       static_cast<int>(rtd::shell::form::Index(rtd::shell::form::MenuItem::MenuItemServiceCompare)));
    RunFor(window, 200);
    while (window.shell().OperationRunning()) RunFor(window, 50);
    seams.on_modal_shown = nullptr;
    // The same window in Russian: the watch announces the programmer again
    // in the new language, and a connect check follows.
    window.shell().ToolbarNotice(0, 0, "");
    window.shell().SetLanguage(0);
    RunFor(window, 1200);
    Click(window, rtd::ToolButton::SpeedButtonConnect);
    RunFor(window, 1000);
    ok = SaveBmp(window, out_dir + "\\window-windows-ru.bmp") && ok;
  }
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
  return ok ? 0 : 1;
}
