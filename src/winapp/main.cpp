// rtdprog.exe: the window on Windows. rtdprog --simulate[=FILE] runs it on
// the virtual programmer (the same configuration file as the command line's).
#include <memory>
#include <string>
#include <vector>

#include "config/windows_files.h"
#include "core/clock.h"
#include "shell/form/command_line.h"
#include "shell/session.h"
#include "winapp/main_window.h"

namespace {

// A window program has no console: what it has to say goes into a box.
void Tell(const std::string& text, UINT kind) {
  ::MessageBoxW(nullptr, rtd::win::Widen(text).c_str(), L"rtdprog", kind);
}

// Sharp at every scaling: the layout is scaled by the window itself. The
// manifest says so too; this covers a copy of the program without it.
void DeclareDpiAwareness() {
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  using SetContext = BOOL(WINAPI*)(HANDLE);
  auto set_context = reinterpret_cast<SetContext>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_SYSTEM_AWARE
  if (set_context != nullptr && set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-2)))) return;
  using SetAware = BOOL(WINAPI*)();
  auto set_aware = reinterpret_cast<SetAware>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "SetProcessDPIAware")));
  if (set_aware != nullptr) set_aware();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const rtd::shell::WindowCommandLine line =
      rtd::shell::ReadWindowCommandLine(rtd::win::CommandLineArguments());
  using Action = rtd::shell::WindowCommandLine::Action;
  if (line.action != Action::kRun) {
    const bool wrong = line.action == Action::kWrong;
    Tell(line.text, wrong ? MB_ICONERROR : MB_ICONINFORMATION);
    return wrong ? 2 : 0;
  }
  DeclareDpiAwareness();

  try {
    rtd::SystemClock clock;
    std::string error;
    auto platform = rtd::shell::MakePlatform(line.choice, clock, &error);
    if (!platform) {
      Tell(error, MB_ICONERROR);
      return 2;
    }
    std::string folder_error;
    const rtd::shell::SessionPaths paths = rtd::shell::ProgramPaths(&folder_error);
    // Said and carried on: the window works without its settings, and every
    // write that fails later says so again.
    if (!folder_error.empty()) Tell(folder_error, MB_ICONWARNING);
    // The window lives until the message loop has ended, so no handler
    // still running below a close ever finds it destroyed.
    rtd::winapp::MainWindow window(std::move(platform), clock, paths);
    if (!window.Create(instance, &error)) {
      Tell("The window cannot be opened: " + error, MB_ICONERROR);
      return 1;
    }
    ::ShowWindow(window.hwnd(), show);
    ::UpdateWindow(window.hwnd());
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  } catch (const std::exception& e) {
    Tell(e.what(), MB_ICONERROR);
  }
  return 0;
}
