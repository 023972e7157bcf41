// The Windows window's hex view: a line to go to an address and to find,
// the rows (with a compare's ranges above them), the status line (as many
// lines high as its text needs), the
// range to save, and for a compare the next and previous difference and a
// Copy that puts the listing of the differences on the clipboard; placed by
// the shell's rule and shut by a close of the window.
#include <algorithm>

#include "i18n/lang.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commctrl.h>

#include "winapp/hex_rows.h"
#include "winapp/text.h"

namespace rtd::winapp {

namespace {

// Posted once the dialog is up: the tests' seam runs from its own loop.
constexpr UINT kHexShown = WM_APP + 7;

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

std::string TextOf(HWND dialog, int id) { return WithoutCr(WindowText(::GetDlgItem(dialog, id))); }

// The labels, by their place.
enum Label { kAddressLabel, kFindLabel, kStartLabel, kLengthLabel, kLabelCount };

// The rows of a compare's ranges on show, at most; more go into further
// columns.
constexpr int kRangeRows = 4;

// As the static control draws its text: broken at words, and a word longer
// than the line (a file's path) broken where the line ends.
constexpr UINT kWrapped = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;

// The height a control's text takes, wrapped to width pixels.
int WrappedHeight(HWND control, int width) {
  const std::wstring text = WindowText(control);
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, std::max(width, 1), 0};
  ::DrawTextW(dc, text.empty() ? L" " : text.c_str(), text.empty() ? 1 : static_cast<int>(text.size()),
              &r, kWrapped | DT_CALCRECT);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  return r.bottom - r.top;
}

// The width of the widest of a list box's items.
int WidestItem(HWND list) {
  HDC dc = ::GetDC(list);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
  int widest = 0;
  const auto count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(::SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    const auto length = ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, item.c_str(), static_cast<int>(std::max<LRESULT>(length, 0)), &size);
    widest = std::max<int>(widest, size.cx);
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(list, dc);
  return widest;
}

// A compare's ranges, kRangeRows high at most, and the room for the scroll
// bar when their columns are wider than width.
int RangesHeight(HWND list, int width) {
  const auto count = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
  const int item = static_cast<int>(::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  RECT first{};
  ::SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  const int columns = (count + kRangeRows - 1) / kRangeRows;
  const int edges = 2 * ::GetSystemMetrics(SM_CYEDGE);
  const bool scrolls = columns * (first.right - first.left) > width - edges;
  return std::min(count, kRangeRows) * item + edges + (scrolls ? ::GetSystemMetrics(SM_CYHSCROLL) : 0);
}

}  // namespace

void MainWindow::ShowHexView(shell::HexViewDialog& dialog) {
  EmptyDialogTemplate design{};
  // Visible from its making: the modal loop would show it only once idle,
  // after the seam below has run.
  design.dialog.style =
      DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  hex_ = &dialog;
  hex_selection_shown_ = 0;
  const INT_PTR shown = ::DialogBoxIndirectParamW(instance_, &design.dialog, window_,
                                                  HexViewDialogProc, reinterpret_cast<LPARAM>(this));
  hex_ = nullptr;
  hex_dialog_ = nullptr;
  if (shown == -1) shell_->MessageBoxPrintf(MB_ICONERROR, PickLangText(kDialogFailed));
}

void MainWindow::BuildHexView(HWND dialog) {
  hex_dialog_ = dialog;
  const shell::HexViewTexts& t = hex_->texts();
  ::SetWindowTextW(dialog, W(t.title).c_str());
  const auto child = [&](const wchar_t* cls, DWORD style, DWORD ex_style, int id,
                         const std::string& text) {
    HWND c = ::CreateWindowExW(ex_style, cls, W(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0,
                               10, 10, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               instance_, nullptr);
    ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(form_font_), FALSE);
    return c;
  };
  const auto button = [&](int id, const std::string& text) {
    child(WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, 0, id, text);
  };
  const auto edit = [&](int id) {
    child(WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, id, "");
  };
  const std::string labels[kLabelCount] = {t.address, t.find, t.start, t.length};
  for (int i = 0; i < kLabelCount; ++i) child(WC_STATICW, SS_LEFT, 0, kIdHexFirstLabel + i, labels[i]);
  edit(kIdHexAddress);
  button(kIdHexGo, t.go);
  edit(kIdHexFind);
  child(WC_BUTTONW, WS_TABSTOP | BS_AUTOCHECKBOX, 0, kIdHexFindHex, t.hex);
  button(kIdHexFindPrevious, t.previous);
  button(kIdHexFindNext, t.next);
  if (!hex_->ranges().empty()) {
    HWND ranges = child(WC_LISTBOXW,
                        WS_TABSTOP | LBS_NOTIFY | LBS_MULTICOLUMN | WS_HSCROLL | LBS_NOINTEGRALHEIGHT,
                        WS_EX_CLIENTEDGE, kIdHexRanges, "");
    for (const std::string& range : hex_->ranges())
      ::SendMessageW(ranges, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(range).c_str()));
    ::SendMessageW(ranges, LB_SETCOLUMNWIDTH, static_cast<WPARAM>(WidestItem(ranges) + Scale(16)), 0);
  }
  CreateHexRows(dialog, kIdHexRows, instance_, hex_->view(), fixed_font_);
  child(WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 0, kIdHexStatus, "");
  edit(kIdHexStart);
  edit(kIdHexLength);
  button(kIdHexSave, t.save);
  if (hex_->view().Compares()) {
    button(kIdHexPreviousDifference, t.previous_difference);
    button(kIdHexNextDifference, t.next_difference);
  }
  if (!hex_->CopyText().empty()) button(kIdHexCopy, t.copy);
  button(IDCANCEL, t.close);

  // As wide as the whole line where the screen lets it: a compare's ranges
  // stand above the rows, so the file's and the chip's columns fit a screen
  // 1280 wide.
  HWND rows = ::GetDlgItem(dialog, kIdHexRows);
  const int wanted = HexRowsLineWidth(rows) + Scale(12) + 2 * ::GetSystemMetrics(SM_CXSIZEFRAME);
  HWND ranges = ::GetDlgItem(dialog, kIdHexRanges);
  const int height = Scale(560) + (ranges != nullptr ? RangesHeight(ranges, wanted) + Scale(6) : 0);
  const shell::Rect at = shell::DialogPlacement(WindowRect(), {wanted, height}, WorkArea());
  ::SetWindowPos(dialog, nullptr, at.left, at.top, at.width, at.height, SWP_NOZORDER);
  LayOutHexView();
  RefreshHexView();
  ::SetFocus(rows);
}

void MainWindow::LayOutHexView() {
  HWND dialog = hex_dialog_;
  RECT client;
  ::GetClientRect(dialog, &client);
  const int w = client.right, h = client.bottom;
  const int gap = Scale(6), line = Scale(23);
  HDC dc = ::GetDC(dialog);
  HGDIOBJ old = ::SelectObject(dc, form_font_);
  const auto text_width = [&](int id) {
    const std::wstring text = WindowText(::GetDlgItem(dialog, id));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  const auto width_of = [&](int id) {
    if (id >= kIdHexFirstLabel) return text_width(id) + Scale(4);
    if (id == kIdHexFindHex) return text_width(id) + Scale(24);
    if (id == kIdHexAddress || id == kIdHexStart || id == kIdHexLength) return Scale(84);
    return std::max(Scale(75), text_width(id) + Scale(20));
  };
  const auto place = [&](int id, int x, int y, int width, int height) {
    if (HWND c = ::GetDlgItem(dialog, id)) ::MoveWindow(c, x, y, std::max(width, 0), height, TRUE);
  };
  // Left to right from x; the controls that are there.
  const auto row = [&](std::initializer_list<int> ids, int x, int y) {
    for (int id : ids) {
      if (::GetDlgItem(dialog, id) == nullptr) continue;
      const int width = width_of(id);
      place(id, x, id >= kIdHexFirstLabel ? y + Scale(4) : y, width, line);
      x += width + gap;
    }
    return x;
  };
  // Right to left from the right edge.
  const auto row_right = [&](std::initializer_list<int> ids, int y) {
    int x = w - gap;
    for (auto id = std::rbegin(ids); id != std::rend(ids); ++id) {
      if (::GetDlgItem(dialog, *id) == nullptr) continue;
      x -= width_of(*id);
      place(*id, x, y, width_of(*id), line);
      x -= gap;
    }
    return x;
  };
  const int top = gap;
  const int find_at =
      row({kIdHexFirstLabel + kAddressLabel, kIdHexAddress, kIdHexGo, kIdHexFirstLabel + kFindLabel},
          gap, top) + Scale(10);
  const int find_end = row_right({kIdHexFindHex, kIdHexFindPrevious, kIdHexFindNext}, top);
  place(kIdHexFind, find_at, top, find_end - gap - find_at, line);
  const int bottom = h - gap - line;
  row({kIdHexFirstLabel + kStartLabel, kIdHexStart, kIdHexFirstLabel + kLengthLabel, kIdHexLength,
       kIdHexSave},
      gap, bottom);
  row_right({kIdHexPreviousDifference, kIdHexNextDifference, kIdHexCopy, IDCANCEL}, bottom);
  int body = top + line + gap;
  if (HWND ranges = ::GetDlgItem(dialog, kIdHexRanges)) {
    const int ranges_h = RangesHeight(ranges, w - 2 * gap);
    place(kIdHexRanges, gap, body, w - 2 * gap, ranges_h);
    body += ranges_h + gap;
  }
  // The status takes the lines its text needs but leaves the rows a line:
  // in a dialog made small a long note is cut, never laid over the rows.
  const int wrapped = WrappedHeight(::GetDlgItem(dialog, kIdHexStatus), w - 2 * gap);
  const int status = std::max(Scale(18), std::min(wrapped, bottom - gap - line - gap - body));
  const int status_top = bottom - gap - status;
  place(kIdHexStatus, gap, status_top, w - 2 * gap, status);
  place(kIdHexRows, gap, body, w - 2 * gap, status_top - gap - body);
  ::SelectObject(dc, old);
  ::ReleaseDC(dialog, dc);
}

void MainWindow::RefreshHexView() {
  HWND dialog = hex_dialog_;
  const shell::HexView& view = hex_->view();
  RefreshHexRows(::GetDlgItem(dialog, kIdHexRows));
  HWND status = ::GetDlgItem(dialog, kIdHexStatus);
  ::SetWindowTextW(status, W(view.StatusLine()).c_str());
  // A note on more lines (or fewer) than the status had: its room follows.
  RECT room;
  ::GetClientRect(status, &room);
  if (std::max(Scale(18), WrappedHeight(status, room.right)) != room.bottom) LayOutHexView();
  if (view.SelectionSerial() != hex_selection_shown_) {
    hex_selection_shown_ = view.SelectionSerial();
    ::SetDlgItemTextW(dialog, kIdHexStart, W(view.SelectionStartText()).c_str());
    ::SetDlgItemTextW(dialog, kIdHexLength, W(view.SelectionLengthText()).c_str());
  }
}

void MainWindow::HexViewCommand(int id, int code, HWND control) {
  HWND dialog = hex_dialog_;
  shell::HexView& view = hex_->view();
  // Return in a field does what the field is for, never closes the view.
  if (id == IDOK) {
    const int focus = ::GetDlgCtrlID(::GetFocus());
    if (focus == kIdHexAddress) id = kIdHexGo;
    else if (focus == kIdHexFind) id = kIdHexFindNext;
    else return;
    code = BN_CLICKED;
  }
  switch (id) {
    case kIdHexGo:
      if (view.GoTo(TextOf(dialog, kIdHexAddress))) ::SetFocus(::GetDlgItem(dialog, kIdHexRows));
      break;
    case kIdHexFindNext:
    case kIdHexFindPrevious:
      view.Find(TextOf(dialog, kIdHexFind),
                ::IsDlgButtonChecked(dialog, kIdHexFindHex) == BST_CHECKED, id == kIdHexFindPrevious);
      break;
    case kIdHexRanges:
      if (code != LBN_SELCHANGE) return;
      if (const auto row = ::SendMessageW(control, LB_GETCURSEL, 0, 0); row >= 0)
        hex_->ChooseRange(static_cast<std::size_t>(row));
      break;
    case kIdHexPreviousDifference:
    case kIdHexNextDifference:
      view.NextDifference(id == kIdHexPreviousDifference);
      break;
    case kIdHexSave:
      hex_->Save(TextOf(dialog, kIdHexStart), TextOf(dialog, kIdHexLength));
      break;
    case kIdHexCopy:
      PutOnClipboard(dialog, WithCrLf(hex_->CopyText()));
      return;
    case kIdHexRows:
      if (code != kHexRowsChanged) return;
      break;
    default:
      return;
  }
  RefreshHexView();
}

INT_PTR CALLBACK MainWindow::HexViewDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      self = reinterpret_cast<MainWindow*>(lparam);
      ::SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      self->BuildHexView(dialog);
      ::PostMessageW(dialog, kHexShown, 0, 0);
      return FALSE;  // the focus is set: on the rows
    case kHexShown:
      if (self->seams_ != nullptr && self->seams_->on_modal_shown) self->seams_->on_modal_shown(dialog);
      return TRUE;
    case WM_SIZE:
      if (self != nullptr && self->hex_dialog_ == dialog) self->LayOutHexView();
      return TRUE;
    case WM_COMMAND:
      if (self == nullptr || self->hex_ == nullptr) return FALSE;
      if (LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(dialog, 0);
        return TRUE;
      }
      self->HexViewCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace rtd::winapp
