// The Windows window's form: its controls made from the shared form
// description, the translation walk over them, and what the shell draws
// into the log, the status bar, the gauge, the notice panel and the
// toolbar's buttons.
#include <stdexcept>

#include "i18n/form_translation.h"
#include "i18n/lang.h"
#include "shell/form/form.h"
#include "shell/language.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commctrl.h>

#include "winapp/glyphs.h"
#include "winapp/text.h"

namespace rtd::winapp {

namespace {

using namespace shell::form;

// Whether the font draws Cyrillic: one letter is drawn and looked at. A
// face that only claims it (Fixedsys as some systems ship it) would leave
// every Russian log line blank.
bool DrawsCyrillic(HFONT font) {
  constexpr int kSide = 48;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateSquareBitmap(dc, kSide, &bits);
  if (bitmap == nullptr) {
    ::DeleteDC(dc);
    return true;  // cannot tell: keep the designed font
  }
  HGDIOBJ old_bitmap = ::SelectObject(dc, bitmap);
  HGDIOBJ old_font = ::SelectObject(dc, font);
  RECT all{0, 0, kSide, kSide};
  ::FillRect(dc, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkMode(dc, TRANSPARENT);
  ::TextOutW(dc, 2, 2, L"\x0416", 1);
  ::GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  bool inked = false;
  for (int i = 0; i < kSide * kSide && !inked; ++i) inked = (pixels[i] & 0xFFFFFF) != 0xFFFFFF;
  ::SelectObject(dc, old_font);
  ::SelectObject(dc, old_bitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  return inked;
}

// The log's and the toolbar's font: Fixedsys, Cyrillic; where the system's
// Fixedsys cannot draw Cyrillic, its fixed-pitch neighbour Courier New.
HFONT MakeFixedFont(int height) {
  for (const wchar_t* face : {L"Fixedsys", L"Courier New"}) {
    HFONT font = ::CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               FIXED_PITCH | FF_MODERN, face);
    if (font != nullptr && DrawsCyrillic(font)) return font;
    if (font != nullptr) ::DeleteObject(font);
  }
  return static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
}


}  // namespace

// --- the form as designed ---

RECT MainWindow::Place(int left, int top, int width, int height) const {
  return Box(Scale(left), Scale(top), Scale(width), Scale(height));
}

Component& MainWindow::AddComponent(const std::string& name, const std::string& kind, HWND w) {
  Component c;
  c.name = name;
  c.kind = kind;
  c.window = w;
  components_.push_back(std::move(c));
  return components_.back();
}

Component& MainWindow::Item(const std::string& name) {
  for (Component& c : components_)
    if (c.name == name) return c;
  throw std::logic_error("no component " + name);
}

const Component* MainWindow::Find(const std::string& name) const {
  for (const Component& c : components_)
    if (c.name == name) return &c;
  return nullptr;
}

void MainWindow::SetHint(Component& c, const std::string& hint, bool show) {
  c.hint = hint;
  c.show_hint = show;
  if (c.window == nullptr || tooltip_ == nullptr) return;
  std::wstring text = W(hint);
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = window_;
  info.uId = reinterpret_cast<UINT_PTR>(c.window);
  info.lpszText = text.data();
  ::SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  if (show && !hint.empty()) ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

void MainWindow::BuildForm() {
  // The toolbar's and the log's font: Fixedsys, 13 pixels, Cyrillic.
  fixed_font_ = MakeFixedFont(Scale(kFixedFontPixels));
  form_font_ = ::CreateFontW(-::MulDiv(kFormFontPoints, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE,
                             FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  const auto font = [](HWND w, HFONT f) {
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  };

  icon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                          ::GetSystemMetrics(SM_CXICON),
                                          ::GetSystemMetrics(SM_CYICON), 0));
  small_icon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON),
                                                ::GetSystemMetrics(SM_CYSMICON), 0));
  if (icon_ != nullptr) ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  if (small_icon_ != nullptr)
    ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));

  AddComponent("MainForm", "TMainForm", window_);
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               instance_, nullptr);
  if (tooltip_ != nullptr) ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(600));

  MainToolBar = CreateToolBarStrip(window_, kIdToolBar, Place(0, 0, kClientWidth, kToolBarHeight));
  font(MainToolBar, fixed_font_);
  AddComponent("MainToolBar", "TToolBar", MainToolBar);
  BuildToolBar();

  StatusBar = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"",
                                WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                                0, Scale(kClientHeight - kStatusBarHeight), Scale(kClientWidth),
                                Scale(kStatusBarHeight), window_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatusBar)), instance_, nullptr);
  font(StatusBar, form_font_);
  int parts[1] = {Scale(kStatusPanelWidth)};
  ::SendMessageW(StatusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));
  AddComponent("StatusBar", "TStatusBar", StatusBar);

  const int panel_height = kClientHeight - kToolBarHeight - kStatusBarHeight;
  MainPanel = CreatePanel(window_, kIdMainPanel, Place(0, kToolBarHeight, kClientWidth, panel_height),
                          false);
  font(MainPanel, fixed_font_);
  AddComponent("MainPanel", "TPanel", MainPanel);
  Memo = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                               ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                           0, 0, Scale(kClientWidth), Scale(panel_height), MainPanel,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdMemo)), instance_, nullptr);
  font(Memo, fixed_font_);
  // No limit but memory: the log is only ever cleared as a whole.
  ::SendMessageW(Memo, EM_SETLIMITTEXT, 0, 0);
  ::SetWindowSubclass(Memo, MemoProc, 1, 0);
  AddComponent("Memo", "TMemo", Memo);

  for (int t = 0; t < shell::kWindowTimerCount; ++t)
    AddComponent(TimerName(static_cast<shell::WindowTimer>(t)), "TTimer", nullptr);
  BuildMenu();
}

void MainWindow::BuildToolBar() {
  const auto font = [](HWND w, HFONT f) {
    ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  };
  const int glyph = Scale(kGlyphSize);
  for (const ToolButtonDesign& d : kToolButtons) {
    const auto i = static_cast<std::size_t>(d.button);
    buttons_[i] = CreateSpeedButton(MainToolBar, kIdFirstButton + static_cast<int>(i),
                                    Place(d.left, kControlTop, kButtonWidth, kButtonHeight), window_,
                                    &Glyph(d.button), glyph, L"");
    SetHint(AddComponent(d.name, "TSpeedButton", buttons_[i]), d.hint, d.show_hint);
  }
  int bevel = kIdFirstBevel;
  for (const SpacerDesign& d : kSpacers)
    AddComponent(d.name, "TBevel",
                 CreateBevel(MainToolBar, bevel++, Place(d.left, kControlTop, d.width, kButtonHeight)));

  SpeedButtonLanguageMakerx = CreateSpeedButton(
      MainToolBar, kIdLanguageMaker,
      Place(kLanguageMaker.left, kControlTop, kButtonWidth, kButtonHeight), window_, nullptr, 0,
      W(kLanguageMaker.caption));
  font(SpeedButtonLanguageMakerx, fixed_font_);
  ::ShowWindow(SpeedButtonLanguageMakerx, SW_HIDE);
  AddComponent(kLanguageMaker.name, "TSpeedButton", SpeedButtonLanguageMakerx);

  PanelMenu = CreatePanel(MainToolBar, kIdPanelMenu,
                          Place(kPanelMenu.left, kControlTop, kPanelMenu.width, kButtonHeight), true);
  font(PanelMenu, fixed_font_);
  SetHint(AddComponent(kPanelMenu.name, "TPanel", PanelMenu), kPanelMenu.hint, kPanelMenu.show_hint);
  CGaugeProgressProcent =
      CreateGauge(PanelMenu, kIdGauge, Place(0, 0, kPanelMenu.gauge_width, kButtonHeight));
  font(CGaugeProgressProcent, fixed_font_);
  ::ShowWindow(CGaugeProgressProcent, SW_HIDE);
  AddComponent("CGaugeProgressProcent", "TCGauge", CGaugeProgressProcent);
}

// --- language, the translation walk ---

void MainWindow::DrawLanguage(int32_t, const std::string& caption) {
  ::SetWindowTextW(window_, W(caption).c_str());
  TranslateForm();
}

// Every component whose form name has a row takes what its kind takes:
// captions, and hints with their tooltip switched on (a menu item's hint
// switches nothing on). Names ending in "x" have no row by rule.
void MainWindow::TranslateForm() {
  const std::string form = "MainForm";
  if (const TranslationEntry* e = FindTranslation(form + "_Caption", FormTranslationTable))
    ::SetWindowTextW(window_, W(TranslationText(*e)).c_str());
  for (Component& c : components_) {
    if (c.name == form) continue;
    const std::string prefix = form + "_" + c.name;
    const TranslationEntry* caption = FindTranslation(prefix + "_Caption", FormTranslationTable);
    const TranslationEntry* hint = FindTranslation(prefix + "_Hint", FormTranslationTable);
    const bool takes_caption =
        c.kind == "TSpeedButton" || c.kind == "TPanel" || c.kind == "TMenuItem";
    const bool takes_hint = takes_caption || c.kind == "TToolBar";
    if (caption != nullptr && takes_caption) {
      c.caption = TranslationText(*caption);
      if (c.window != nullptr) ::SetWindowTextW(c.window, W(c.caption).c_str());
    }
    if (hint != nullptr && takes_hint)
      SetHint(c, TranslationText(*hint), c.kind != "TMenuItem" || c.show_hint);
  }
}

// --- log ---

void MainWindow::AppendLog(const std::string& line) {
  // No pumping here: logging inside loops stays cheap.
  const int length = ::GetWindowTextLengthW(Memo);
  const std::wstring text = (length > 0 ? L"\r\n" : L"") + WithCrLf(line);
  ::SendMessageW(Memo, EM_SETSEL, length, length);
  ::SendMessageW(Memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  ::SendMessageW(Memo, EM_SCROLLCARET, 0, 0);
}

void MainWindow::ClearLog() { ::SetWindowTextW(Memo, L""); }

std::string MainWindow::LogText() const { return WithoutCr(WindowText(Memo)); }

LRESULT CALLBACK MainWindow::MemoProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR, DWORD_PTR) {
  if (message == WM_LBUTTONDBLCLK && current_ != nullptr) {
    current_->shell_->MemoDblClick();
    return 0;
  }
  if (message == WM_NCDESTROY) ::RemoveWindowSubclass(window, MemoProc, 1);
  return ::DefSubclassProc(window, message, wparam, lparam);
}

// --- status bar, gauge, notice, buttons ---

void MainWindow::DrawStatus(const std::string& text) {
  ::SendMessageW(StatusBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(W(text).c_str()));
}

std::string MainWindow::StatusText() const {
  const auto length = LOWORD(::SendMessageW(StatusBar, SB_GETTEXTLENGTHW, 0, 0));
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  ::SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length);
  return win::Narrow(text);
}

void MainWindow::DrawGauge(const shell::ProgressGauge& gauge, bool restarted) {
  if (restarted) {
    // The panel and its gauge reach to 5 pixels before the toolbar's end.
    RECT bar, panel;
    ::GetClientRect(MainToolBar, &bar);
    ::GetWindowRect(PanelMenu, &panel);
    ::MapWindowPoints(nullptr, MainToolBar, reinterpret_cast<POINT*>(&panel), 2);
    const int width = bar.right - panel.left - Scale(5);
    const int height = panel.bottom - panel.top;
    ::SetWindowPos(PanelMenu, nullptr, 0, 0, width, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(CGaugeProgressProcent, nullptr, 0, 0, width, height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The gauge repaints only when its whole percent (or its text) changes.
  if (gauge.visible()) SetGauge(CGaugeProgressProcent, gauge.Percent(), W(gauge.Text()));
  ::ShowWindow(CGaugeProgressProcent, gauge.visible() ? SW_SHOWNA : SW_HIDE);
}

bool MainWindow::GaugeVisible() const { return ::IsWindowVisible(CGaugeProgressProcent) != 0; }

std::string MainWindow::GaugeText() const {
  return win::Narrow(rtd::winapp::GaugeText(CGaugeProgressProcent));
}

void MainWindow::DrawNotice(const std::string& caption, bool panel_visible) {
  ::ShowWindow(PanelMenu, panel_visible ? SW_SHOWNA : SW_HIDE);
  ::SetWindowTextW(PanelMenu, W(caption).c_str());
}

std::string MainWindow::Tooltip(const std::string& name) const {
  const Component* c = Find(name);
  if (c == nullptr || c->window == nullptr || tooltip_ == nullptr) return {};
  std::wstring text(1024, L'\0');
  TOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.hwnd = window_;
  info.uId = reinterpret_cast<UINT_PTR>(c->window);
  info.lpszText = text.data();
  if (!::SendMessageW(tooltip_, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&info))) return {};
  info.lpszText = text.data();
  ::SendMessageW(tooltip_, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&info));
  return win::Narrow(text.c_str());
}

bool MainWindow::PanelVisible() const {
  return (::GetWindowLongW(PanelMenu, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::string MainWindow::PanelCaption() const { return win::Narrow(WindowText(PanelMenu)); }

void MainWindow::DrawButtons(const shell::ButtonStates& enabled) {
  for (std::size_t i = 0; i < buttons_.size(); ++i)
    ::EnableWindow(buttons_[i], enabled[i] ? TRUE : FALSE);
}
}  // namespace rtd::winapp
