#include <algorithm>
#include <optional>
#include <string>

#include "config/windows_files.h"
// windows.h last: its macros carry the names of some of the core's constants.
#include "winapp/hex_rows.h"

namespace rtd::winapp {

namespace {

constexpr int kMargin = 4;
static_assert(WHEEL_DELTA == shell::HexView::kWheelNotch, "the wheel's notch as the view counts it");

struct HexRows {
  shell::HexView* view = nullptr;
  HFONT font = nullptr;
  int char_width = 8;
  int line_height = 16;
  int left = 0;  // the horizontal scroll, in pixels
};

HexRows* DataOf(HWND window) {
  return reinterpret_cast<HexRows*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

int HeaderHeight(const HexRows& r) { return r.line_height + 3; }

COLORREF Colour(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::optional<shell::HexKey> KeyOf(WPARAM key) {
  switch (key) {
    case VK_LEFT: return shell::HexKey::kLeft;
    case VK_RIGHT: return shell::HexKey::kRight;
    case VK_UP: return shell::HexKey::kUp;
    case VK_DOWN: return shell::HexKey::kDown;
    case VK_PRIOR: return shell::HexKey::kPageUp;
    case VK_NEXT: return shell::HexKey::kPageDown;
    case VK_HOME: return shell::HexKey::kHome;
    case VK_END: return shell::HexKey::kEnd;
    default: return std::nullopt;
  }
}

void Changed(HWND window) {
  RefreshHexRows(window);
  ::SendMessageW(::GetParent(window), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(window), kHexRowsChanged),
                 reinterpret_cast<LPARAM>(window));
}

// The row on show and the column under a point of the client area.
void CellAt(const HexRows& r, int x, int y, int* row, int* column) {
  const int below = y - HeaderHeight(r);
  *row = below < 0 ? -1 : below / r.line_height;
  const int across = x - kMargin + r.left;
  *column = across < 0 ? -1 : across / r.char_width;
}

void Paint(HWND window, HexRows& r) {
  PAINTSTRUCT ps;
  HDC screen = ::BeginPaint(window, &ps);
  RECT client;
  ::GetClientRect(window, &client);
  // Drawn off the screen first, so scrolling does not flicker.
  HDC dc = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, std::max<LONG>(client.right, 1),
                                            std::max<LONG>(client.bottom, 1));
  HGDIOBJ old_bitmap = ::SelectObject(dc, bitmap);
  HGDIOBJ old_font = ::SelectObject(dc, r.font);
  ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  const int x0 = kMargin - r.left;
  // The header over the rows, apart by a line.
  RECT header{0, 0, client.right, HeaderHeight(r) - 1};
  ::FillRect(dc, &header, ::GetSysColorBrush(COLOR_BTNFACE));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  const std::wstring title = win::Widen(r.view->Header());
  ::TextOutW(dc, x0, 1, title.c_str(), static_cast<int>(title.size()));
  RECT rule{0, HeaderHeight(r) - 1, client.right, HeaderHeight(r)};
  ::FillRect(dc, &rule, ::GetSysColorBrush(COLOR_BTNSHADOW));
  for (uint32_t i = 0; i < r.view->VisibleRows(); ++i) {
    const auto row = r.view->VisibleRow(i);
    if (!row) break;
    const int top = HeaderHeight(r) + static_cast<int>(i) * r.line_height;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::TextOutA(dc, x0, top, row->text.c_str(), static_cast<int>(row->text.size()));
    for (const shell::HexSpan& span : row->spans) {
      const shell::HexInk ink = shell::InkOf(span.marks);
      RECT cells{x0 + span.column * r.char_width, top,
                 x0 + (span.column + span.length) * r.char_width, top + r.line_height};
      ::SetBkColor(dc, Colour(ink.background));
      ::SetTextColor(dc, Colour(ink.text));
      ::ExtTextOutA(dc, cells.left, top, ETO_OPAQUE | ETO_CLIPPED, &cells,
                    row->text.c_str() + span.column, static_cast<UINT>(span.length), nullptr);
    }
  }
  ::BitBlt(screen, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
  ::SelectObject(dc, old_font);
  ::SelectObject(dc, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  ::EndPaint(window, &ps);
}

// The scroll bar's new top row for a WM_VSCROLL; its thumb carries 32 bits.
uint32_t VerticalScroll(HWND window, const shell::HexView& view, WORD request) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  ::GetScrollInfo(window, SB_VERT, &info);
  const int64_t top = view.TopRow(), page = view.VisibleRows();
  switch (request) {
    case SB_LINEUP: return static_cast<uint32_t>(std::max<int64_t>(top - 1, 0));
    case SB_LINEDOWN: return static_cast<uint32_t>(top + 1);
    case SB_PAGEUP: return static_cast<uint32_t>(std::max<int64_t>(top - page, 0));
    case SB_PAGEDOWN: return static_cast<uint32_t>(top + page);
    case SB_TOP: return 0;
    case SB_BOTTOM: return view.MaxTopRow();
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: return static_cast<uint32_t>(std::max(info.nTrackPos, 0));
    default: return view.TopRow();
  }
}

int HorizontalScroll(HWND window, const HexRows& r, WORD request) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  ::GetScrollInfo(window, SB_HORZ, &info);
  switch (request) {
    case SB_LINELEFT: return r.left - r.char_width;
    case SB_LINERIGHT: return r.left + r.char_width;
    case SB_PAGELEFT: return r.left - static_cast<int>(info.nPage);
    case SB_PAGERIGHT: return r.left + static_cast<int>(info.nPage);
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: return info.nTrackPos;
    default: return r.left;
  }
}

LRESULT CALLBACK HexRowsProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  HexRows* r = DataOf(window);
  if (r == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  shell::HexView& view = *r->view;
  switch (message) {
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_PAINT:
      Paint(window, *r);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE: {
      const int room = HIWORD(lparam) - HeaderHeight(*r);
      view.SetVisibleRows(static_cast<uint32_t>(std::max(room / r->line_height, 1)));
      RefreshHexRows(window);
      return 0;
    }
    case WM_VSCROLL:
      view.ScrollTo(VerticalScroll(window, view, LOWORD(wparam)));
      Changed(window);
      return 0;
    case WM_HSCROLL:
      r->left = HorizontalScroll(window, *r, LOWORD(wparam));
      RefreshHexRows(window);
      return 0;
    case WM_MOUSEWHEEL:
      // WHEEL_DELTA a notch, as the view counts; a touchpad's smaller steps
      // add up there.
      view.Wheel(GET_WHEEL_DELTA_WPARAM(wparam));
      Changed(window);
      return 0;
    case WM_KEYDOWN:
      if (const auto key = KeyOf(wparam)) {
        view.Key(*key, ::GetKeyState(VK_CONTROL) < 0, ::GetKeyState(VK_SHIFT) < 0);
        Changed(window);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN: {
      ::SetFocus(window);
      int row = 0, column = 0;
      CellAt(*r, static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)), &row,
             &column);
      if (row < 0) return 0;  // the header
      ::SetCapture(window);
      view.Press(row, column, (wparam & MK_SHIFT) != 0);
      Changed(window);
      return 0;
    }
    case WM_MOUSEMOVE:
      if ((wparam & MK_LBUTTON) && ::GetCapture() == window) {
        int row = 0, column = 0;
        CellAt(*r, static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)), &row,
               &column);
        view.Drag(row, column);
        Changed(window);
      }
      return 0;
    case WM_LBUTTONUP:
      if (::GetCapture() == window) ::ReleaseCapture();
      view.Release();
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete r;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

bool RegisterHexRowsClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = HexRowsProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_IBEAM);
  wc.lpszClassName = kHexRowsClass;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateHexRows(HWND parent, int id, HINSTANCE instance, shell::HexView& view, HFONT font) {
  auto* r = new HexRows;
  r->view = &view;
  r->font = font;
  HDC dc = ::GetDC(parent);
  HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  SIZE zero{};
  ::GetTextExtentPoint32W(dc, L"0", 1, &zero);
  ::SelectObject(dc, old);
  ::ReleaseDC(parent, dc);
  r->char_width = std::max<int>(zero.cx, 1);
  r->line_height = std::max<int>(metrics.tmHeight, 1);
  HWND window = ::CreateWindowExW(WS_EX_CLIENTEDGE, kHexRowsClass, L"",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, 0,
                                  0, 10, 10, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                  nullptr);
  if (window == nullptr) {
    delete r;
    return nullptr;
  }
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(r));
  return window;
}

void RefreshHexRows(HWND window) {
  HexRows* r = DataOf(window);
  if (r == nullptr) return;
  const shell::HexView& view = *r->view;
  RECT client;
  ::GetClientRect(window, &client);
  SCROLLINFO v{};
  v.cbSize = sizeof(v);
  v.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  v.nMin = 0;
  v.nMax = static_cast<int>(std::max<uint32_t>(view.RowCount(), 1) - 1);
  v.nPage = view.VisibleRows();
  v.nPos = static_cast<int>(view.TopRow());
  ::SetScrollInfo(window, SB_VERT, &v, TRUE);
  const int line = 2 * kMargin + view.layout().Width() * r->char_width;
  r->left = std::clamp(r->left, 0, std::max(0, line - static_cast<int>(client.right)));
  SCROLLINFO h{};
  h.cbSize = sizeof(h);
  h.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  h.nMin = 0;
  h.nMax = line - 1;
  h.nPage = static_cast<UINT>(std::max<LONG>(client.right, 0));
  h.nPos = r->left;
  ::SetScrollInfo(window, SB_HORZ, &h, TRUE);
  ::InvalidateRect(window, nullptr, FALSE);
}

POINT HexRowsPoint(HWND window, int visible_row, int column) {
  const HexRows* r = DataOf(window);
  if (r == nullptr) return {};
  return {kMargin - r->left + column * r->char_width + r->char_width / 2,
          HeaderHeight(*r) + visible_row * r->line_height + r->line_height / 2};
}

int HexRowsLineWidth(HWND window) {
  const HexRows* r = DataOf(window);
  if (r == nullptr) return 0;
  return 2 * kMargin + r->view->layout().Width() * r->char_width +
         ::GetSystemMetrics(SM_CXVSCROLL) + 2 * ::GetSystemMetrics(SM_CXEDGE);
}

}  // namespace rtd::winapp
