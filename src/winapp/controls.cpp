#include "winapp/controls.h"

#include <algorithm>
#include <vector>

namespace rtd::winapp {

namespace {

HINSTANCE g_instance = nullptr;

template <typename T>
T* DataOf(HWND window) {
  return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

template <typename T>
void Attach(HWND window, T* data) {
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

}  // namespace

HBITMAP CreateSquareBitmap(HDC dc, int side, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = side;
  info.bmiHeader.biHeight = -side;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

namespace {

// A 32-bit top-down DIB with premultiplied alpha, the picture scaled to
// size x size by repeating pixels, so it stays sharp at every scaling.
HBITMAP MakeGlyphBitmap(const Picture& picture, int size, bool disabled) {
  void* bits = nullptr;
  HBITMAP bitmap = CreateSquareBitmap(nullptr, size, &bits);
  if (bitmap == nullptr || picture.width <= 0) return bitmap;
  auto* out = static_cast<uint32_t*>(bits);
  const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      uint32_t argb = picture.pixels[static_cast<std::size_t>(y * picture.height / size) *
                                         picture.width +
                                     x * picture.width / size];
      if ((argb >> 24) == 0) {
        out[y * size + x] = 0;
        continue;
      }
      if (disabled) {
        // A disabled button shows its glyph as a flat grey shape.
        const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        const uint32_t luma = (r * 30 + g * 59 + b * 11) / 100;
        argb = luma > 0xE0 ? 0xFFFFFFFFu
                           : 0xFF000000u | (GetRValue(shadow) << 16) | (GetGValue(shadow) << 8) |
                                 GetBValue(shadow);
      }
      out[y * size + x] = argb;
    }
  }
  ::GdiFlush();
  return bitmap;
}

void DrawGlyph(HDC dc, HBITMAP bitmap, int size, int x, int y) {
  HDC memory = ::CreateCompatibleDC(dc);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::GdiAlphaBlend(dc, x, y, size, size, memory, 0, 0, size, size, blend);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
}

// --- speed button ---

struct SpeedButton {
  HWND notify = nullptr;
  int id = 0;
  HBITMAP normal = nullptr;
  HBITMAP disabled = nullptr;
  int glyph_size = 0;
  bool hot = false;
  bool pressed = false;
  bool captured = false;
  HFONT font = nullptr;
};

bool Inside(HWND window, LPARAM lparam) {
  RECT r;
  ::GetClientRect(window, &r);
  const POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  return ::PtInRect(&r, p) != 0;
}

void PaintSpeedButton(HWND window, SpeedButton& b) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(window, &ps);
  RECT r;
  ::GetClientRect(window, &r);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  const bool enabled = ::IsWindowEnabled(window) != 0;
  const bool down = enabled && b.pressed;
  if (down)
    ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  else if (enabled && b.hot)
    ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  const int shift = down ? 1 : 0;
  if (b.normal != nullptr) {
    const int x = (r.right - b.glyph_size) / 2 + shift;
    const int y = (r.bottom - b.glyph_size) / 2 + shift;
    DrawGlyph(dc, enabled ? b.normal : b.disabled, b.glyph_size, x, y);
  } else {
    const std::wstring text = WindowText(window);
    HGDIOBJ old = b.font != nullptr ? ::SelectObject(dc, b.font) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    ::OffsetRect(&r, shift, shift);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (old != nullptr) ::SelectObject(dc, old);
  }
  ::EndPaint(window, &ps);
}

LRESULT CALLBACK SpeedButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  SpeedButton* b = DataOf<SpeedButton>(window);
  if (b == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_PAINT:
      PaintSpeedButton(window, *b);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      if (!b->hot) {
        b->hot = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
        ::TrackMouseEvent(&track);
        ::InvalidateRect(window, nullptr, FALSE);
      }
      if (b->captured && b->pressed != Inside(window, lparam)) {
        b->pressed = !b->pressed;
        ::InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      b->hot = false;
      ::InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (!::IsWindowEnabled(window)) return 0;
      b->captured = true;
      b->pressed = true;
      ::SetCapture(window);
      ::InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      const bool click = b->captured && b->pressed && Inside(window, lparam);
      b->captured = false;
      b->pressed = false;
      if (::GetCapture() == window) ::ReleaseCapture();
      ::InvalidateRect(window, nullptr, FALSE);
      if (click && ::IsWindowEnabled(window))
        ::SendMessageW(b->notify, WM_COMMAND, MAKEWPARAM(b->id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(window));
      return 0;
    }
    case WM_CAPTURECHANGED:
      b->captured = false;
      b->pressed = false;
      ::InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ENABLE:
      b->hot = b->pressed = false;
      ::InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_SETFONT:
      b->font = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_SETTEXT: {
      const LRESULT done = ::DefWindowProcW(window, message, wparam, lparam);
      ::InvalidateRect(window, nullptr, FALSE);
      return done;
    }
    case WM_NCDESTROY:
      if (b->normal != nullptr) ::DeleteObject(b->normal);
      if (b->disabled != nullptr) ::DeleteObject(b->disabled);
      Attach<SpeedButton>(window, nullptr);
      delete b;
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// --- panel ---

struct PanelData {
  HFONT font = nullptr;
  bool help_cursor = false;
};

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  PanelData* p = DataOf<PanelData>(window);
  if (p == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      RECT r;
      ::GetClientRect(window, &r);
      ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
      const std::wstring text = WindowText(window);
      if (!text.empty()) {
        HGDIOBJ old = p->font != nullptr ? ::SelectObject(dc, p->font) : nullptr;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (old != nullptr) ::SelectObject(dc, old);
      }
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETCURSOR:
      if (p->help_cursor && LOWORD(lparam) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HELP));
        return TRUE;
      }
      break;
    case WM_CONTEXTMENU:
      if (p->help_cursor) {
        ::SendMessageW(::GetAncestor(window, GA_ROOT), WM_CONTEXTMENU,
                       reinterpret_cast<WPARAM>(window), lparam);
        return 0;
      }
      break;
    case WM_SETFONT:
      p->font = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_SETTEXT: {
      const LRESULT done = ::DefWindowProcW(window, message, wparam, lparam);
      ::InvalidateRect(window, nullptr, FALSE);
      return done;
    }
    case WM_NCDESTROY:
      Attach<PanelData>(window, nullptr);
      delete p;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// --- gauge ---

struct GaugeData {
  int percent = -1;
  std::wstring text;
  HFONT font = nullptr;
};

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  GaugeData* g = DataOf<GaugeData>(window);
  if (g == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window, &ps);
      RECT all;
      ::GetClientRect(window, &all);
      RECT bar = all;
      bar.right = all.left + (all.right - all.left) * std::clamp(g->percent, 0, 100) / 100;
      ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      ::FillRect(dc, &bar, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
      ::FrameRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
      HGDIOBJ old = g->font != nullptr ? ::SelectObject(dc, g->font) : nullptr;
      ::SetBkMode(dc, TRANSPARENT);
      const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
      // Black over the white part, white over the bar.
      ::SetTextColor(dc, RGB(0, 0, 0));
      ::DrawTextW(dc, g->text.c_str(), static_cast<int>(g->text.size()), &all, format);
      const int saved = ::SaveDC(dc);
      ::IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
      ::SetTextColor(dc, RGB(255, 255, 255));
      ::DrawTextW(dc, g->text.c_str(), static_cast<int>(g->text.size()), &all, format);
      ::RestoreDC(dc, saved);
      if (old != nullptr) ::SelectObject(dc, old);
      ::EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SETFONT:
      g->font = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_NCDESTROY:
      Attach<GaugeData>(window, nullptr);
      delete g;
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// --- toolbar strip and spacers: button face and nothing else ---

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND || message == WM_CONTEXTMENU) {
    // Clicks of the buttons on the strip go to the window, not the strip.
    return ::SendMessageW(::GetAncestor(window, GA_ROOT), message, wparam, lparam);
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

bool Register(const wchar_t* name, WNDPROC proc, UINT style) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = g_instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateChild(const wchar_t* cls, HWND parent, int id, const RECT& place, const wchar_t* text,
                 DWORD style = 0) {
  return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                           place.left, place.top, place.right - place.left,
                           place.bottom - place.top, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

}  // namespace

bool RegisterControlClasses(HINSTANCE instance) {
  g_instance = instance;
  return Register(kSpeedButtonClass, SpeedButtonProc, 0) && Register(kPanelClass, PanelProc, 0) &&
         Register(kGaugeClass, GaugeProc, 0) && Register(kToolBarClass, PlainProc, 0) &&
         Register(kBevelClass, PlainProc, 0);
}

HWND CreateSpeedButton(HWND parent, int id, const RECT& place, HWND notify, const Picture* glyph,
                       int glyph_size, const std::wstring& caption) {
  HWND window = CreateChild(kSpeedButtonClass, parent, id, place, caption.c_str());
  if (window == nullptr) return nullptr;
  auto* b = new SpeedButton;
  b->notify = notify;
  b->id = id;
  if (glyph != nullptr) {
    b->glyph_size = glyph_size;
    b->normal = MakeGlyphBitmap(*glyph, glyph_size, false);
    b->disabled = MakeGlyphBitmap(*glyph, glyph_size, true);
  }
  Attach(window, b);
  return window;
}

HWND CreatePanel(HWND parent, int id, const RECT& place, bool help_cursor) {
  HWND window = CreateChild(kPanelClass, parent, id, place, L"", WS_CLIPCHILDREN);
  if (window == nullptr) return nullptr;
  auto* p = new PanelData;
  p->help_cursor = help_cursor;
  Attach(window, p);
  return window;
}

HWND CreateGauge(HWND parent, int id, const RECT& place) {
  HWND window = CreateChild(kGaugeClass, parent, id, place, L"");
  if (window == nullptr) return nullptr;
  Attach(window, new GaugeData);
  return window;
}

void SetGauge(HWND gauge, int percent, const std::wstring& text) {
  GaugeData* g = DataOf<GaugeData>(gauge);
  if (g == nullptr || (g->percent == percent && g->text == text)) return;
  g->percent = percent;
  g->text = text;
  ::InvalidateRect(gauge, nullptr, FALSE);
}

int GaugePercent(HWND gauge) {
  const GaugeData* g = DataOf<GaugeData>(gauge);
  return g != nullptr ? g->percent : -1;
}

std::wstring GaugeText(HWND gauge) {
  const GaugeData* g = DataOf<GaugeData>(gauge);
  return g != nullptr ? g->text : std::wstring();
}

HWND CreateToolBarStrip(HWND parent, int id, const RECT& place) {
  return CreateChild(kToolBarClass, parent, id, place, L"", WS_CLIPCHILDREN);
}

HWND CreateBevel(HWND parent, int id, const RECT& place) {
  return CreateChild(kBevelClass, parent, id, place, L"");
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(),
                                                        static_cast<int>(text.size()))));
  return text;
}

}  // namespace rtd::winapp
