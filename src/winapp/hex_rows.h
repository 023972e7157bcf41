// The rows of the hex view as a control of its own: the header above, only
// the rows on show below it in the window's fixed font, each run of marked
// bytes in the colours the shell gives; the scroll bars follow the view,
// and every key, click, drag and turn of the wheel goes to it, after which
// the control tells its parent (WM_COMMAND with kHexRowsChanged).
// Include after every header of the core (windows.h defines macros with
// the names of some of its constants).
#pragma once

#include "core/windows_api.h"
#include "shell/hex_view.h"

namespace rtd::winapp {

inline constexpr wchar_t kHexRowsClass[] = L"THexRows";
// The notification code of the control's WM_COMMAND.
inline constexpr WORD kHexRowsChanged = 1;

// Once per process; false with GetLastError() set when it cannot be made.
bool RegisterHexRowsClass(HINSTANCE instance);
HWND CreateHexRows(HWND parent, int id, HINSTANCE instance, shell::HexView& view, HFONT font);
// The scroll bars and the rows drawn again, after the view changed.
void RefreshHexRows(HWND rows);
// The middle of a column of a row on show, in the control's client pixels.
POINT HexRowsPoint(HWND rows, int visible_row, int column);
// The width the whole line needs, the scroll bar and the border included.
int HexRowsLineWidth(HWND rows);

}  // namespace rtd::winapp
