// The window's own controls, each a window class named after the form
// component kind it stands for: the flat speed button, the plain panel
// with a centred caption, the bar gauge, the toolbar strip and its spacers.
// Include after every header of the core (windows.h defines macros with
// the names of some of its constants).
#pragma once

#include <string>

#include "core/windows_api.h"

#include "winapp/xpm.h"

namespace rtd::winapp {

inline constexpr wchar_t kSpeedButtonClass[] = L"TSpeedButton";
inline constexpr wchar_t kPanelClass[] = L"TPanel";
inline constexpr wchar_t kGaugeClass[] = L"TCGauge";
inline constexpr wchar_t kToolBarClass[] = L"TToolBar";
inline constexpr wchar_t kBevelClass[] = L"TBevel";

// Once per process; false with GetLastError() set when a class cannot be made.
bool RegisterControlClasses(HINSTANCE instance);

// A flat button that never takes the keyboard focus: raised while the
// mouse is over it, sunk while pressed. A click sends WM_COMMAND (id,
// BN_CLICKED) to notify at once, so a stop click counts for the operation
// that runs now; the window starts an operation from its message loop, not
// from inside the button's mouse message. glyph may be null (a text
// button); glyph_size is the glyph's side in device pixels.
HWND CreateSpeedButton(HWND parent, int id, const RECT& place, HWND notify, const Picture* glyph,
                       int glyph_size, const std::wstring& caption);

// A panel: button face with its window text centred in its font
// (WM_SETFONT). With help_cursor the mouse shows the question mark over it.
// A right click asks the top-level window for its menu: WM_CONTEXTMENU
// with the panel as wParam.
HWND CreatePanel(HWND parent, int id, const RECT& place, bool help_cursor);

// The bar gauge: black on white, the bar as wide as the percent.
HWND CreateGauge(HWND parent, int id, const RECT& place);
// New percent and text; repaints only when either changed.
void SetGauge(HWND gauge, int percent, const std::wstring& text);
int GaugePercent(HWND gauge);
std::wstring GaugeText(HWND gauge);

HWND CreateToolBarStrip(HWND parent, int id, const RECT& place);
HWND CreateBevel(HWND parent, int id, const RECT& place);

std::wstring WindowText(HWND window);

// A 32-bit top-down bitmap side x side whose pixels are at *bits; null
// when it cannot be made.
HBITMAP CreateSquareBitmap(HDC dc, int side, void** bits);

}  // namespace rtd::winapp
