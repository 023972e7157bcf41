// The Windows window itself: made and destroyed, its place on the screen,
// its timers and event loop, its close, and the window procedure that hands
// the controls' clicks to the shell. The form, the menu, the boxes and
// choosers, and the hex view have files of their own.
#include <utility>

#include "shell/form/form.h"
#include "shell/language.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commctrl.h>

#include "winapp/hex_rows.h"
#include "winapp/text.h"

namespace rtd::winapp {

namespace {

// Runs the next task handed to Post.
constexpr UINT kRunPosted = WM_APP + 1;

constexpr wchar_t kWindowClass[] = L"TMainForm";

}  // namespace

MainWindow* MainWindow::current_ = nullptr;

MainWindow::MainWindow(std::unique_ptr<HidPlatform> platform, Clock& clock,
                       const shell::SessionPaths& paths, WindowSeams* seams)
    : seams_(seams), run_timers_(seams == nullptr || seams->run_timers) {
  shell_ = std::make_unique<shell::WindowShell>(std::move(platform), clock, paths, *this, *this,
                                               *this, this);
}

MainWindow::~MainWindow() {
  Destroy();
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(fixed_font_), static_cast<HGDIOBJ>(form_font_)})
    if (o != nullptr) ::DeleteObject(o);
  if (icon_ != nullptr) ::DestroyIcon(icon_);
  if (small_icon_ != nullptr) ::DestroyIcon(small_icon_);
  if (current_ == this) current_ = nullptr;
}

void MainWindow::Destroy() {
  if (window_ == nullptr || destroyed_) return;
  destroyed_ = true;
  ::DestroyWindow(window_);
}

int MainWindow::Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }

// --- the form as designed ---

bool MainWindow::Create(HINSTANCE instance, std::string* error) {
  instance_ = instance;
  current_ = this;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
  ::InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if ((::RegisterClassExW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) ||
      !RegisterControlClasses(instance) || !RegisterHexRowsClass(instance)) {
    *error = win::SystemErrorText(::GetLastError());
    return false;
  }
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer = Place(0, 0, shell::form::kClientWidth, shell::form::kClientHeight);
  ::AdjustWindowRectEx(&outer, style, FALSE, 0);
  // Designed position; the settings replace it at start.
  window_ = ::CreateWindowExW(0, kWindowClass, W(shell::WindowCaption()).c_str(), style,
                              shell::form::kDesignLeft, shell::form::kDesignTop,
                              outer.right - outer.left, outer.bottom - outer.top, nullptr,
                              nullptr, instance, this);
  if (window_ == nullptr) {
    *error = win::SystemErrorText(::GetLastError());
    return false;
  }
  BuildForm();
  shell_->Start();
  return true;
}

void MainWindow::MoveWindow(int32_t left, int32_t top) {
  ::SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

shell::Rect MainWindow::WindowRect() const {
  RECT r;
  ::GetWindowRect(window_, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

shell::Size MainWindow::ScreenSize() const {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

shell::Rect MainWindow::WorkArea() const {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  RECT r{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &info))
    r = info.rcWork;
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The shell has run the close sequence below a handler that has now
// returned: the window goes.
void MainWindow::FinishClose() {
  ::ShowWindow(window_, SW_HIDE);
  Destroy();
}

void MainWindow::EndModalParts() {
  // As their Cancel would; the hooks see no dialog any more.
  if (current_dialog_ != nullptr) ::PostMessageW(current_dialog_, WM_COMMAND, IDCANCEL, 0);
  current_dialog_ = nullptr;
}

void MainWindow::EndHexView() {
  if (hex_dialog_ != nullptr) ::PostMessageW(hex_dialog_, WM_COMMAND, IDCANCEL, 0);
}

// --- timers and the event loop ---

void MainWindow::SetTimer(shell::WindowTimer timer, uint32_t interval_ms) {
  if (!run_timers_ || window_ == nullptr || destroyed_) return;
  const auto id = static_cast<UINT_PTR>(timer) + 1;
  if (interval_ms != 0)
    ::SetTimer(window_, id, interval_ms, nullptr);  // restarts the interval
  else
    ::KillTimer(window_, id);
}

void MainWindow::PumpMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: the outer loop ends on it.
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (seams_ != nullptr && seams_->on_pump) seams_->on_pump();
}

void MainWindow::Post(std::function<void()> task) {
  // Run from the event loop, not inside the button's own mouse handling.
  posted_.push_back(std::move(task));
  ::PostMessageW(window_, kRunPosted, 0, 0);
}

// --- the window's messages ---

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id >= kIdFirstButton && id < kIdFirstButton + static_cast<int>(buttons_.size()))
        shell_->Click(static_cast<ToolButton>(id - kIdFirstButton));
      else if (id == kIdLanguageMaker)
        shell_->SpeedButtonLanguageMakerxClick();
      return 0;
    }
    case kRunPosted:
      if (!posted_.empty()) {
        const std::function<void()> task = std::move(posted_.front());
        posted_.pop_front();
        task();
      }
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) == PanelMenu) {
        int x = static_cast<short>(LOWORD(lparam)), y = static_cast<short>(HIWORD(lparam));
        if (lparam == -1) {
          RECT r;
          ::GetWindowRect(PanelMenu, &r);
          x = r.left;
          y = r.bottom;
        }
        ShowPopupMenu(x, y);
      }
      return 0;
    case WM_TIMER:
      if (wparam >= 1 && wparam <= static_cast<WPARAM>(shell::kWindowTimerCount))
        shell_->TimerTick(static_cast<shell::WindowTimer>(wparam - 1));
      return 0;
    case WM_CLOSE:
      // Refused while a handler runs: the shell finishes the close later.
      if (shell_->CloseRequested()) Destroy();
      return 0;
    case WM_DESTROY:
      destroyed_ = true;
      // The program's loop ends with the window; a test's window leaves
      // the test's queue alone.
      if (seams_ == nullptr) ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wparam, lparam);
  }
}

}  // namespace rtd::winapp
