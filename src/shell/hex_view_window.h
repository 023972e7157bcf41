// What a window does for the hex view: a dialog of its own over the main
// window. The dialog holds a line to go to an address and to find bytes or
// a text, the rows with the header above them, a status line, the range to
// save, and for a compare the list of differing ranges on the left with
// the next and previous difference and Copy. It draws only the rows on
// show, from the view, and hands the view every key, click, scroll and
// button; after each it draws the rows, the scroll bar and the status line
// again, and puts a new selection into the range fields.
#pragma once

namespace rtd::shell {

class HexViewDialog;

class HexViewWindow {
 public:
  virtual ~HexViewWindow() = default;

  // The dialog, placed by DialogPlacement, modal over the main window until
  // the user closes it.
  virtual void ShowHexView(HexViewDialog& dialog) = 0;
  // The user has closed the main window while the dialog is open: shut it,
  // as its Close would, so the handler that opened it can return.
  virtual void EndHexView() = 0;
};

}  // namespace rtd::shell
