// rtdprog-window-probe.exe: the device test's eyes on a running rtdprog.exe
// in the virtual machine. It reads the window from outside, as a user looks
// at it, through the messages every window answers:
//   wait TEXT SECONDS  waits until the status bar holds TEXT and prints what
//                      it holds; exit status 1 when the time ran out first
//   log                prints the log
//   picture FILE       saves the window, frame included, as a BMP file
//   close              closes the window, as its close box does
// Exit status 2 when there is no window.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/utf8.h"
#include "core/windows_api.h"
// clang-format off: commctrl.h needs windows.h first.
#include <commctrl.h>
// clang-format on

#include "winapp/window_picture.h"

namespace {

HWND MainWindow() { return ::FindWindowW(L"TMainForm", nullptr); }

// A control's text, asked across the process boundary (WM_GETTEXT is
// carried over it; a status bar answers with its first part).
std::string TextOf(HWND control) {
  const LRESULT length = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  const LRESULT got = ::SendMessageW(control, WM_GETTEXT, text.size(),
                                     reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return rtd::Utf16ToUtf8(text);
}

// The first child of this class, at any depth.
HWND ChildOfClass(HWND parent, const wchar_t* class_name) {
  struct Search {
    const wchar_t* name;
    HWND found;
  } search{class_name, nullptr};
  ::EnumChildWindows(
      parent,
      [](HWND child, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        wchar_t name[64] = {};
        ::GetClassNameW(child, name, 64);
        if (::lstrcmpiW(name, s->name) != 0) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int Wait(const std::string& wanted, DWORD seconds) {
  const DWORD start = ::GetTickCount();
  std::string status;
  for (;;) {
    const HWND window = MainWindow();
    if (window != nullptr) status = TextOf(ChildOfClass(window, STATUSCLASSNAMEW));
    if (status.find(wanted) != std::string::npos) break;
    if (::GetTickCount() - start >= seconds * 1000) {
      std::printf("%s\n", status.c_str());
      return 1;
    }
    ::Sleep(200);
  }
  std::printf("%s\n", status.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "wait" && argc == 4) return Wait(argv[2], static_cast<DWORD>(std::atoi(argv[3])));
  const HWND window = MainWindow();
  if (window == nullptr) {
    std::fprintf(stderr, "rtdprog-window-probe: no window\n");
    return 2;
  }
  if (command == "log" && argc == 2) {
    std::printf("%s\n", TextOf(ChildOfClass(window, L"Edit")).c_str());
    return 0;
  }
  if (command == "picture" && argc == 3) {
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    ::Sleep(500);  // time for the window to paint itself
    return rtd::winapp::SaveWindowPicture(window, argv[2]) ? 0 : 1;
  }
  if (command == "close" && argc == 2) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  std::fprintf(stderr, "Usage: rtdprog-window-probe wait TEXT SECONDS | log | picture FILE | close\n");
  return 2;
}
