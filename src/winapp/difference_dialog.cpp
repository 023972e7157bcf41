// The Windows window's list of differences: the ranges beside the hex
// lines, a Copy button that puts the whole listing on the clipboard, placed
// by the shell's rule and shut by a close of the window.
#include <algorithm>

#include "i18n/lang.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commctrl.h>

#include "winapp/text.h"

namespace rtd::winapp {

namespace {


// A dialog template without controls: they are made in WM_INITDIALOG, in
// pixels. The three empty words: no menu, the system's dialog class, no
// title (the caption is set after).
struct EmptyDialogTemplate {
  DLGTEMPLATE dialog;
  WORD menu = 0;
  WORD window_class = 0;
  WORD title = 0;
};

bool PutOnClipboard(HWND owner, const std::wstring& text) {
  if (!::OpenClipboard(owner)) return false;
  ::EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool done = false;
  if (memory != nullptr) {
    if (void* at = ::GlobalLock(memory)) {
      std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(at));
      ::GlobalUnlock(memory);
      done = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!done) ::GlobalFree(memory);
  }
  ::CloseClipboard();
  return done;
}

}  // namespace

void MainWindow::ShowDifferences(const shell::DifferenceListing& listing) {
  EmptyDialogTemplate design{};
  design.dialog.style = DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                        WS_THICKFRAME;
  differences_ = &listing;
  const INT_PTR shown = ::DialogBoxIndirectParamW(instance_, &design.dialog, window_,
                                                  DifferenceDialogProc, reinterpret_cast<LPARAM>(this));
  differences_ = nullptr;
  difference_dialog_ = nullptr;
  if (shown == -1) shell_->MessageBoxPrintf(MB_ICONERROR, PickLangText(kDialogFailed));
}

INT_PTR CALLBACK MainWindow::DifferenceDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  const auto layout = [dialog] {
    RECT r;
    ::GetClientRect(dialog, &r);
    const int w = r.right, h = r.bottom;
    const int gap = 8, button_w = 96, button_h = 26, list_w = 300;
    const int body_h = std::max(0, h - 3 * gap - button_h);
    ::MoveWindow(::GetDlgItem(dialog, kIdDiffRanges), gap, gap, list_w, body_h, TRUE);
    ::MoveWindow(::GetDlgItem(dialog, kIdDiffListing), 2 * gap + list_w, gap,
                 std::max(0, w - 3 * gap - list_w), body_h, TRUE);
    ::MoveWindow(::GetDlgItem(dialog, kIdDiffCopy), w - 2 * (gap + button_w), h - gap - button_h,
                 button_w, button_h, TRUE);
    ::MoveWindow(::GetDlgItem(dialog, IDCANCEL), w - gap - button_w, h - gap - button_h, button_w,
                 button_h, TRUE);
  };
  switch (message) {
    case WM_INITDIALOG: {
      self = reinterpret_cast<MainWindow*>(lparam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      self->difference_dialog_ = dialog;
      const shell::DifferenceListing& listing = *self->differences_;
      ::SetWindowTextW(dialog, W(listing.title).c_str());
      const auto child = [&](const wchar_t* cls, DWORD style, int id, const std::string& text) {
        const bool button = id == kIdDiffCopy || id == IDCANCEL;
        HWND c = ::CreateWindowExW(button ? 0 : WS_EX_CLIENTEDGE, cls,
                                   W(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0,
                                   0, 10, 10, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   self->instance_, nullptr);
        ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(self->form_font_), TRUE);
        return c;
      };
      HWND ranges = child(WC_LISTBOXW, LBS_NOTIFY | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                          kIdDiffRanges, "");
      for (const std::string& range : listing.ranges)
        ::SendMessageW(ranges, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(range).c_str()));
      std::string text;
      for (const std::string& line : listing.lines) text += (text.empty() ? "" : "\r\n") + line;
      HWND edit = child(WC_EDITW,
                        ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
                            WS_VSCROLL | WS_HSCROLL,
                        kIdDiffListing, "");
      ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
      ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(self->fixed_font_), TRUE);
      ::SetWindowTextW(edit, W(text).c_str());
      child(WC_BUTTONW, BS_PUSHBUTTON, kIdDiffCopy, listing.copy_caption);
      child(WC_BUTTONW, BS_DEFPUSHBUTTON, IDCANCEL, listing.close_caption);
      const shell::Rect at = shell::DialogPlacement(
          self->WindowRect(), {self->Scale(1100), self->Scale(520)}, self->WorkArea());
      ::SetWindowPos(dialog, nullptr, at.left, at.top, at.width, at.height, SWP_NOZORDER);
      layout();
      if (self->seams_ != nullptr && self->seams_->on_modal_shown)
        self->seams_->on_modal_shown(dialog);
      return TRUE;
    }
    case WM_SIZE:
      layout();
      return TRUE;
    case WM_COMMAND:
      if (self == nullptr) return FALSE;
      switch (LOWORD(wparam)) {
        case kIdDiffRanges:
          if (HIWORD(wparam) == LBN_SELCHANGE) {
            // The range's first line to the top of the listing.
            const auto row = ::SendMessageW(reinterpret_cast<HWND>(lparam), LB_GETCURSEL, 0, 0);
            const auto& lines = self->differences_->range_lines;
            if (row >= 0 && static_cast<std::size_t>(row) < lines.size()) {
              HWND edit = ::GetDlgItem(dialog, kIdDiffListing);
              const auto first = ::SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
              ::SendMessageW(edit, EM_LINESCROLL, 0,
                             static_cast<LPARAM>(lines[static_cast<std::size_t>(row)]) - first);
            }
          }
          return TRUE;
        case kIdDiffCopy:
          PutOnClipboard(dialog, WithCrLf(self->differences_->Text()));
          return TRUE;
        case IDCANCEL:
        case IDOK:
          ::EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace rtd::winapp
