// The scenarios' driver for the Windows window: its real controls, boxes
// and file dialogs under Wine, answered through the window's seams.

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/windows_files.h"
#include "shell/form/form.h"
#include "window_driver.h"
// windows.h (through main_window.h) after the core's headers.
#include "winapp/main_window.h"

#include <commdlg.h>

#include "winapp/hex_rows.h"

namespace rtd::test {
namespace {

std::string Text(HWND w) { return win::Narrow(winapp::WindowText(w)); }

std::string WithoutCr(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\r') out += c;
  return out;
}

shell::Rect RectOf(HWND w) {
  RECT r{};
  ::GetWindowRect(w, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class WinWindowDriver : public WindowDriver {
 public:
  ~WinWindowDriver() override { window_.reset(); }

  void Start(std::unique_ptr<HidPlatform> programmer, Clock& clock,
             const shell::SessionPaths& paths) override {
    window_.reset();
    seams_ = {};
    seams_.run_timers = false;
    seams_.on_pump = [this] {
      ++pumps_;
      if (on_pump) on_pump(pumps_);
    };
    seams_.on_modal_shown = [this](HWND w) { ModalShown(w); };
    seams_.open_folder = [this](const std::string& folder) {
      opened_folders.push_back(folder);
      return folders_open;
    };
    window_ = std::make_unique<winapp::MainWindow>(std::move(programmer), clock, paths, &seams_);
    std::string error;
    if (!window_->Create(::GetModuleHandleW(nullptr), &error)) throw std::runtime_error(error);
    ::ShowWindow(window_->hwnd(), SW_SHOWNA);
  }

  shell::WindowShell& Shell() override { return window_->shell(); }

  void Click(ToolButton button) override {
    pumps_ = 0;
    ClickNow(button);
    // What the click started, and anything it left queued behind it.
    for (int i = 0; i < 3; ++i) Pump();
  }
  void ClickNow(ToolButton button) override {
    HWND b = window_->Button(button);
    ::SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    ::SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  }
  void ChooseMenuItem(const std::string& name) override {
    window_->MenuCommand(window_->Find(name)->command);
  }
  void ChooseServiceItem(const std::string& name) override {
    pumps_ = 0;
    ChooseMenuItem(name);
    for (int i = 0; i < 3; ++i) Pump();
  }
  void DoubleClickLog() override {
    ::SendMessageW(window_->Find("Memo")->window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  }
  bool Close() override {
    ::SendMessageW(window_->hwnd(), WM_CLOSE, 0, 0);
    return window_->destroyed();
  }
  void Tick(shell::WindowTimer timer) override {
    ::SendMessageW(window_->hwnd(), WM_TIMER, static_cast<WPARAM>(timer) + 1, 0);
  }

  std::vector<std::string> Log() override {
    std::vector<std::string> lines;
    const std::string text = window_->LogText();
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find('\n', at), text.size());
      if (end > at) lines.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return lines;
  }
  std::string Status() override { return window_->StatusText(); }
  std::vector<ToolButton> EnabledButtons() override {
    std::vector<ToolButton> on;
    for (int i = 0; i < static_cast<int>(shell::kToolButtonCount); ++i)
      if (::IsWindowEnabled(window_->Button(static_cast<ToolButton>(i))))
        on.push_back(static_cast<ToolButton>(i));
    return on;
  }
  std::string Caption() override { return Text(window_->hwnd()); }
  std::string PanelCaption() override { return window_->PanelCaption(); }
  bool PanelVisible() override { return window_->PanelVisible(); }
  bool GaugeVisible() override { return window_->GaugeVisible(); }
  std::string Hint(const std::string& control) override { return window_->Tooltip(control); }
  // The menu items as the popup menu would show them now.
  std::string MenuText(const std::string& item) override {
    return Menu(item, [](HMENU m, UINT pos) {
      wchar_t text[256] = {};
      ::GetMenuStringW(m, pos, text, 256, MF_BYPOSITION);
      return win::Narrow(text);
    });
  }
  bool MenuChecked(const std::string& item) override {
    return !Menu(item, [](HMENU m, UINT pos) {
              return std::string((::GetMenuState(m, pos, MF_BYPOSITION) & MF_CHECKED) ? "1" : "");
            }).empty();
  }
  bool MenuVisible(const std::string& item) override {
    return !Menu(item, [](HMENU, UINT) { return std::string("1"); }).empty();
  }
  bool MenuEnabled(const std::string& item) override {
    return !Menu(item, [](HMENU m, UINT pos) {
              return std::string((::GetMenuState(m, pos, MF_BYPOSITION) & MF_GRAYED) ? "" : "1");
            }).empty();
  }
  bool TimerRunning(shell::WindowTimer timer) override { return Shell().TimerArmed(timer); }
  uint32_t TimerInterval(shell::WindowTimer timer) override {
    return Shell().TimerArmed(timer) ? Shell().TimerInterval(timer) : shell::form::DesignedInterval(timer);
  }
  bool Closed() override { return window_->shell().Closed(); }
  shell::Rect WindowRect() override { return window_->WindowRect(); }
  shell::Rect WorkArea() override { return window_->WorkArea(); }
  bool TakesInput() override { return ::IsWindowEnabled(window_->hwnd()) != 0; }

  ShownHexView HexView() override {
    ShownHexView shown;
    shown.title = Text(hex_);
    shown.rect = RectOf(hex_);
    if (HWND ranges = ::GetDlgItem(hex_, winapp::kIdHexRanges)) {
      const auto count = ::SendMessageW(ranges, LB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(ranges, LB_GETTEXTLEN, i, 0)) + 1,
                          L'\0');
        ::SendMessageW(ranges, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        item.resize(item.size() - 1);
        shown.ranges.push_back(win::Narrow(item));
      }
    }
    // The rows the control draws: those on show.
    const shell::HexView& view = window_->OpenHexView()->view();
    for (uint32_t i = 0; i < view.VisibleRows(); ++i)
      if (const auto row = view.VisibleRow(i)) shown.rows.push_back(*row);
    SCROLLINFO scroll{};
    scroll.cbSize = sizeof(scroll);
    scroll.fMask = SIF_ALL;
    ::GetScrollInfo(::GetDlgItem(hex_, winapp::kIdHexRows), SB_VERT, &scroll);
    shown.scroll = scroll.nPos;
    shown.scroll_end = scroll.nMax - static_cast<int>(scroll.nPage) + 1;
    shown.status = Text(::GetDlgItem(hex_, winapp::kIdHexStatus));
    shown.start = Text(::GetDlgItem(hex_, winapp::kIdHexStart));
    shown.length = Text(::GetDlgItem(hex_, winapp::kIdHexLength));
    SCROLLINFO across{};
    across.cbSize = sizeof(across);
    across.fMask = SIF_ALL;
    ::GetScrollInfo(::GetDlgItem(hex_, winapp::kIdHexRows), SB_HORZ, &across);
    shown.line_whole = across.nMax < static_cast<int>(across.nPage);
    shown.status_whole = Whole(::GetDlgItem(hex_, winapp::kIdHexStatus));
    RECT status, rows;
    ::GetWindowRect(::GetDlgItem(hex_, winapp::kIdHexStatus), &status);
    ::GetWindowRect(::GetDlgItem(hex_, winapp::kIdHexRows), &rows);
    shown.status_below_rows = status.top >= rows.bottom;
    return shown;
  }
  void HexKey(shell::HexKey key, bool ctrl, bool shift) override {
    static const WPARAM kKeys[] = {VK_LEFT,  VK_RIGHT, VK_UP,   VK_DOWN,
                                   VK_PRIOR, VK_NEXT,  VK_HOME, VK_END};
    // Held down as the control reads them, for this one key.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    const BYTE saved_control = keys[VK_CONTROL], saved_shift = keys[VK_SHIFT];
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    ::SetKeyboardState(keys);
    ::SendMessageW(::GetDlgItem(hex_, winapp::kIdHexRows), WM_KEYDOWN, kKeys[static_cast<int>(key)], 1);
    keys[VK_CONTROL] = saved_control;
    keys[VK_SHIFT] = saved_shift;
    ::SetKeyboardState(keys);
  }
  void HexClick(int visible_row, int column, bool shift) override {
    HWND rows = ::GetDlgItem(hex_, winapp::kIdHexRows);
    const POINT at = winapp::HexRowsPoint(rows, visible_row, column);
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ::SendMessageW(rows, WM_LBUTTONDOWN, MK_LBUTTON | (shift ? MK_SHIFT : 0), where);
    ::SendMessageW(rows, WM_LBUTTONUP, shift ? MK_SHIFT : 0, where);
  }
  void HexGoTo(const std::string& address) override {
    ::SetDlgItemTextW(hex_, winapp::kIdHexAddress, win::Widen(address).c_str());
    Press(winapp::kIdHexGo);
  }
  void HexFind(const std::string& what, bool hex, bool backwards) override {
    ::SetDlgItemTextW(hex_, winapp::kIdHexFind, win::Widen(what).c_str());
    ::CheckDlgButton(hex_, winapp::kIdHexFindHex, hex ? BST_CHECKED : BST_UNCHECKED);
    Press(backwards ? winapp::kIdHexFindPrevious : winapp::kIdHexFindNext);
  }
  void HexDifference(bool backwards) override {
    Press(backwards ? winapp::kIdHexPreviousDifference : winapp::kIdHexNextDifference);
  }
  void HexChooseRange(int index) override {
    HWND ranges = ::GetDlgItem(hex_, winapp::kIdHexRanges);
    ::SendMessageW(ranges, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(hex_, WM_COMMAND, MAKEWPARAM(winapp::kIdHexRanges, LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(ranges));
  }
  void HexSaveRange(const std::string& start, const std::string& length) override {
    if (!start.empty()) ::SetDlgItemTextW(hex_, winapp::kIdHexStart, win::Widen(start).c_str());
    if (!length.empty()) ::SetDlgItemTextW(hex_, winapp::kIdHexLength, win::Widen(length).c_str());
    Press(winapp::kIdHexSave);
  }
  void HexResize(int width, int height) override {
    ::SetWindowPos(hex_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
  }

 private:
  // A button of the hex view, clicked.
  void Press(int id) {
    ::SendMessageW(hex_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(hex_, id)));
  }

  // Whether a static control's text, drawn as the control draws it (broken
  // at words, a long word where the line ends), fits its height.
  static bool Whole(HWND control) {
    RECT room;
    ::GetClientRect(control, &room);
    const std::wstring text = winapp::WindowText(control);
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, room.right, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return needed.right <= room.right && needed.bottom <= room.bottom;
  }

  void Pump() {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
  }

  // Finds the item in the popup menu as built now (its submenus included;
  // a submenu by its caption) and reads it; "" when the menu does not hold it.
  template <typename Read>
  std::string Menu(const std::string& item, Read read) {
    const winapp::Component* c = window_->Find(item);
    if (c == nullptr) return {};
    HMENU menu = window_->BuildPopupMenu();
    std::string result;
    std::vector<HMENU> menus = {menu};
    for (int pos = 0; pos < ::GetMenuItemCount(menu); ++pos)
      if (HMENU sub = ::GetSubMenu(menu, pos)) menus.push_back(sub);
    for (HMENU m : menus) {
      for (int pos = 0; pos < ::GetMenuItemCount(m) && result.empty(); ++pos) {
        const bool submenu = ::GetSubMenu(m, pos) != nullptr;
        wchar_t text[256] = {};
        ::GetMenuStringW(m, static_cast<UINT>(pos), text, 256, MF_BYPOSITION);
        const bool match = c->command != 0 ? ::GetMenuItemID(m, pos) == static_cast<UINT>(c->command)
                                           : submenu && win::Narrow(text) == c->caption;
        if (match) result = read(m, static_cast<UINT>(pos));
      }
      if (!result.empty()) break;
    }
    ::DestroyMenu(menu);
    return result;
  }

  void ModalShown(HWND w) {
    if (::GetDlgItem(w, winapp::kIdHexRows) != nullptr) {
      hex_ = w;
      ShownHexView shown = HexView();
      if (::GetDlgItem(w, winapp::kIdHexCopy) != nullptr) {
        Press(winapp::kIdHexCopy);
        if (::OpenClipboard(nullptr)) {
          if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* copied = static_cast<const wchar_t*>(::GlobalLock(data))) {
              shown.copied = WithoutCr(win::Narrow(copied));
              ::GlobalUnlock(data);
            }
          }
          ::CloseClipboard();
        }
      }
      hex_views.push_back(shown);
      if (on_modal_shown) on_modal_shown();
      if (in_hex_view) in_hex_view();
      hex_ = nullptr;
      ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    HWND text = ::GetDlgItem(w, 0xFFFF);  // the static text every message box has
    if (text != nullptr) {
      ShownBox shown;
      shown.caption = Text(w);
      shown.text = WithoutCr(Text(text));
      for (HWND child = ::GetWindow(w, GW_CHILD); child != nullptr;
           child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        ::GetClassNameW(child, cls, 32);
        // The box itself is not shown yet: the button's own style says.
        if (std::wstring(cls) == L"Button" && (::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) {
          ++shown.buttons;
          shown.button_texts.push_back(Text(child));
        }
      }
      shown.rect = RectOf(w);
      shown.window = RectOf(window_->hwnd());
      shown.watch_running = TimerRunning(shell::WindowTimer::TimerQELPADTest);
      boxes.push_back(shown);
      if (on_modal_shown) on_modal_shown();
      if (!box_answers.empty()) {
        seams_.box_answers.push_back(box_answers.front());
        box_answers.pop_front();
      }
      return;
    }
    ShownDialog shown;
    shown.title = Text(w);
    wchar_t folder[MAX_PATH] = {};
    ::SendMessageW(w, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
    shown.start_dir = win::Narrow(folder);
    dialogs.push_back(shown);
    if (on_modal_shown) on_modal_shown();
    // Where it stands when it is answered.
    dialogs.back().rect = RectOf(w);
    dialogs.back().window = RectOf(window_->hwnd());
    if (!file_names.empty()) {
      seams_.file_names.push_back(file_names.front());
      file_names.pop_front();
    }
  }

  winapp::WindowSeams seams_;
  std::unique_ptr<winapp::MainWindow> window_;
  HWND hex_ = nullptr;  // while a hex view is open
  int pumps_ = 0;
};

}  // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver() { return std::make_unique<WinWindowDriver>(); }

}  // namespace rtd::test
