#include <algorithm>
#include <cwchar>
#include <exception>
#include <utility>

#include "i18n/form_translation.h"
#include "i18n/lang.h"
#include "shell/buttons.h"
#include "shell/form_layout.h"
#include "shell/language.h"
#include "config/windows_files.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shellapi.h>

#include "winapp/glyphs.h"

namespace rtd::winapp {

namespace {

// Sizes of the form, in pixels at 96 dpi; scaled to the screen's dpi.
using namespace shell::form_layout;
constexpr int kGlyphSize = 16;

// Child and command ids.
constexpr int kIdToolBar = 10;
constexpr int kIdPanelMenu = 11;
constexpr int kIdGauge = 12;
constexpr int kIdStatusBar = 13;
constexpr int kIdMainPanel = 14;
constexpr int kIdMemo = 15;
constexpr int kIdBevel1 = 16;
constexpr int kIdBevel2 = 17;
constexpr int kIdFirstButton = 100;  // + ToolButton
constexpr int kIdLanguageMaker = 120;
constexpr int kCmdDebug = 200;
constexpr int kCmdLog = 201;
constexpr int kCmdRussian = 202;
constexpr int kCmdEnglish = 203;
constexpr int kCmdBackup = 204;
constexpr int kCmdFirstService = 210;  // + ServiceItem
// Runs the next task handed to Post.
constexpr UINT kRunPosted = WM_APP + 1;

constexpr LangText kDialogFailed =
    LANG_TEXT("Ошибка создания формы диалога", "Failed to create the dialog");

constexpr wchar_t kWindowClass[] = L"TMainForm";

// The one window: the hooks of the boxes and dialogs have no other way to
// find it.
MainWindow* g_window = nullptr;

struct ButtonDesign {
  ToolButton button;
  const char* name;
  int x;
  const char* hint;
  bool show_hint;
};

// In toolbar order; the touch button is designed without its tooltip
// switched on (the translation at start switches it on).
constexpr ButtonDesign kButtons[] = {
    {ToolButton::SpeedButtonReset, "SpeedButtonReset", 0, "Сброс программатора", true},
    {ToolButton::SpeedButtonConnect, "SpeedButtonConnect", 28, "Проверка связи", true},
    {ToolButton::SpeedButtonRead, "SpeedButtonRead", 51, "Чтение памяти", true},
    {ToolButton::SpeedButtonWrite, "SpeedButtonWrite", 74, "Запись памяти", true},
    {ToolButton::SpeedButtonCompare, "SpeedButtonCompare", 97, "Полное сравнение с оригиналом",
     true},
    {ToolButton::SpeedButtonCompareFast, "SpeedButtonCompareFast", 120,
     "Быстрое сравнение с оригиналом по CRC", true},
    {ToolButton::SpeedButtonResetRTD2662, "SpeedButtonResetRTD2662", 143, "Сброс RTD2662", true},
    {ToolButton::SpeedButtonGetTouchParam, "SpeedButtonGetTouchParam", 166,
     "Получить параметры калибровки QEL_TOUCH_I2C_SIMPLE", false},
};

std::wstring W(const std::string& utf8) { return win::Widen(utf8); }

// The log and the boxes take line breaks as CR LF.
std::wstring WithCrLf(const std::string& utf8) {
  std::wstring in = W(utf8), out;
  out.reserve(in.size() + 8);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == L'\n' && (i == 0 || in[i - 1] != L'\r')) out += L'\r';
    out += in[i];
  }
  return out;
}

std::string WithoutCr(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text)
    if (c != L'\r') out += c;
  return win::Narrow(out);
}

RECT Box(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

// Whether the font draws Cyrillic: one letter is drawn and looked at. A
// face that only claims it (Fixedsys as some systems ship it) would leave
// every Russian log line blank.
bool DrawsCyrillic(HFONT font) {
  constexpr int kSide = 48;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kSide;
  info.bmiHeader.biHeight = -kSide;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
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

MainWindow::MainWindow(std::unique_ptr<HidPlatform> platform, Clock& clock,
                       const shell::SessionPaths& paths, WindowSeams* seams)
    : seams_(seams), run_timers_(seams == nullptr || seams->run_timers) {
  shell_ = std::make_unique<shell::WindowShell>(std::move(platform), clock, paths, *this);
}

MainWindow::~MainWindow() {
  Destroy();
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(fixed_font_), static_cast<HGDIOBJ>(form_font_)})
    if (o != nullptr) ::DeleteObject(o);
  if (icon_ != nullptr) ::DestroyIcon(icon_);
  if (small_icon_ != nullptr) ::DestroyIcon(small_icon_);
  if (g_window == this) g_window = nullptr;
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
  g_window = this;
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
      !RegisterControlClasses(instance)) {
    *error = win::SystemErrorText(::GetLastError());
    return false;
  }
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT outer = Box(0, 0, Scale(kClientWidth), Scale(kClientHeight));
  ::AdjustWindowRectEx(&outer, style, FALSE, 0);
  // Designed position; the settings replace it at start.
  window_ = ::CreateWindowExW(0, kWindowClass, W(shell::WindowCaption()).c_str(), style, 537, 516,
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
  fixed_font_ = MakeFixedFont(Scale(13));
  form_font_ = ::CreateFontW(-::MulDiv(8, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
  const auto font = [](HWND w, HFONT f) { ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE); };

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

  MainToolBar = CreateToolBarStrip(window_, kIdToolBar, Box(0, 0, Scale(kClientWidth), Scale(kToolBarHeight)));
  font(MainToolBar, fixed_font_);
  AddComponent("MainToolBar", "TToolBar", MainToolBar);

  const int glyph = Scale(kGlyphSize);
  for (const ButtonDesign& d : kButtons) {
    const auto i = static_cast<std::size_t>(d.button);
    buttons_[i] = CreateSpeedButton(
        MainToolBar, kIdFirstButton + static_cast<int>(i),
        Box(Scale(d.x), Scale(2), Scale(kButtonWidth), Scale(kButtonHeight)), window_,
        &Glyph(static_cast<int>(i)), glyph, L"");
    SetHint(AddComponent(d.name, "TSpeedButton", buttons_[i]), d.hint, d.show_hint);
    if (d.button == ToolButton::SpeedButtonReset)
      AddComponent("Bevel2", "TBevel",
                   CreateBevel(MainToolBar, kIdBevel2, Box(Scale(23), Scale(2), Scale(5), Scale(kButtonHeight))));
  }
  AddComponent("Bevel1", "TBevel",
               CreateBevel(MainToolBar, kIdBevel1, Box(Scale(189), Scale(2), Scale(5), Scale(kButtonHeight))));
  SpeedButtonLanguageMakerx = CreateSpeedButton(
      MainToolBar, kIdLanguageMaker, Box(Scale(194), Scale(2), Scale(kButtonWidth), Scale(kButtonHeight)),
      window_, nullptr, 0, L"L");
  font(SpeedButtonLanguageMakerx, fixed_font_);
  ::ShowWindow(SpeedButtonLanguageMakerx, SW_HIDE);
  AddComponent("SpeedButtonLanguageMakerx", "TSpeedButton", SpeedButtonLanguageMakerx);

  PanelMenu = CreatePanel(MainToolBar, kIdPanelMenu,
                          Box(Scale(kPanelMenuLeft), Scale(2), Scale(kPanelMenuWidth), Scale(kButtonHeight)), true);
  font(PanelMenu, fixed_font_);
  SetHint(AddComponent("PanelMenu", "TPanel", PanelMenu),
          "Выберите параметры в меню, после нажатия правой кнопки мыши", false);
  CGaugeProgressProcent = CreateGauge(PanelMenu, kIdGauge, Box(0, 0, Scale(kGaugeWidth), Scale(kButtonHeight)));
  font(CGaugeProgressProcent, fixed_font_);
  ::ShowWindow(CGaugeProgressProcent, SW_HIDE);
  AddComponent("CGaugeProgressProcent", "TCGauge", CGaugeProgressProcent);

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
  MainPanel = CreatePanel(window_, kIdMainPanel,
                          Box(0, Scale(kToolBarHeight), Scale(kClientWidth), Scale(panel_height)), false);
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

  for (const char* t : {"TimerQELPADTest", "TimerOnShow", "UniversalTimer", "TimerFlash"})
    AddComponent(t, "TTimer", nullptr);
  AddComponent("PopupMenu", "TPopupMenu", nullptr);
  // The two switches check themselves on click (MenuCommand); the language
  // items are checked by the language switch only.
  const auto item = [this](const char* name, const char* caption, int command) {
    Component& c = AddComponent(name, "TMenuItem", nullptr);
    c.caption = caption;
    c.command = command;
    return &c;
  };
  item("MenuItemDebug", "Отладка", kCmdDebug);
  item("MenuItemLog", "Лог обмена", kCmdLog)->visible = false;
  item("MenuItemBackup", "Резервная копия перед стиранием", kCmdBackup)->checked = true;
  item("MenuItemService", "Сервис", 0);
  {
    using S = shell::ServiceItem;
    for (const S service : shell::kServiceItems)
      item(shell::ServiceItemName(service), shell::ServiceItemDesignedCaption(service),
           kCmdFirstService + static_cast<int>(shell::Index(service)))
          ->enabled = false;
  }
  item("MenuItemLanguagex", "Язык/Language", 0);
  item("MenuItemLanguageRussianx", "Русский", kCmdRussian);
  item("MenuItemLanguageEnglishx", "English", kCmdEnglish);
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

// --- switches, language, the translation walk ---

void MainWindow::DrawSwitches(bool log, bool debug) {
  Component& log_item = Item("MenuItemLog");
  Component& debug_item = Item("MenuItemDebug");
  log_item.checked = log;
  debug_item.checked = debug;
  // The two debug items are shown or hidden together.
  log_item.visible = debug;
  debug_item.visible = debug;
}

void MainWindow::DrawServiceMenu(bool backup, const shell::ServiceStates& enabled) {
  Item("MenuItemBackup").checked = backup;
  for (std::size_t i = 0; i < enabled.size(); ++i)
    Item(shell::ServiceItemName(static_cast<shell::ServiceItem>(i))).enabled = enabled[i];
}

void MainWindow::DrawLanguage(int32_t language, const std::string& caption) {
  const bool english = language == kLanguageEnglish;
  Item("MenuItemLanguageRussianx").checked = !english;
  Item("MenuItemLanguageEnglishx").checked = english;
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

HMENU MainWindow::BuildPopupMenu() const {
  HMENU menu = ::CreatePopupMenu();
  HMENU service = ::CreatePopupMenu();
  HMENU languages = ::CreatePopupMenu();
  const auto add = [](HMENU m, const Component& c) {
    if (!c.visible) return;
    ::AppendMenuW(m,
                  MF_STRING | (c.checked ? MF_CHECKED : MF_UNCHECKED) |
                      (c.enabled ? MF_ENABLED : MF_GRAYED),
                  static_cast<UINT_PTR>(c.command), W(c.caption).c_str());
  };
  add(menu, *Find("MenuItemDebug"));
  add(menu, *Find("MenuItemLog"));
  add(menu, *Find("MenuItemBackup"));
  for (std::size_t i = 0; i < shell::kServiceItemCount; ++i) {
    const auto item = static_cast<shell::ServiceItem>(i);
    if (item == shell::ServiceItem::MenuItemServiceBackupFolder)
      ::AppendMenuW(service, MF_SEPARATOR, 0, nullptr);
    add(service, *Find(shell::ServiceItemName(item)));
  }
  ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(service),
                W(Find("MenuItemService")->caption).c_str());
  add(languages, *Find("MenuItemLanguageRussianx"));
  add(languages, *Find("MenuItemLanguageEnglishx"));
  ::AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(languages),
                W(Find("MenuItemLanguagex")->caption).c_str());
  return menu;
}

void MainWindow::ShowPopupMenu(int x, int y) {
  HMENU menu = BuildPopupMenu();
  const int command = static_cast<int>(::TrackPopupMenu(
      menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, window_,
      nullptr));
  ::DestroyMenu(menu);
  if (command != 0) MenuCommand(command);
}

void MainWindow::MenuCommand(int command) {
  switch (command) {
    // The two switches check themselves on click.
    case kCmdDebug: {
      const bool checked = !Item("MenuItemDebug").checked;
      shell_->RunHandler([this, checked] { shell_->MenuItemDebugClick(checked); });
      break;
    }
    case kCmdLog: {
      const bool checked = !Item("MenuItemLog").checked;
      shell_->RunHandler([this, checked] { shell_->MenuItemLogClick(checked); });
      break;
    }
    case kCmdBackup: {
      const bool checked = !Item("MenuItemBackup").checked;
      shell_->RunHandler([this, checked] { shell_->MenuItemBackupClick(checked); });
      break;
    }
    case kCmdRussian: shell_->SetLanguage(0); break;
    case kCmdEnglish: shell_->SetLanguage(1); break;
    default:
      if (command >= kCmdFirstService &&
          command < kCmdFirstService + static_cast<int>(shell::kServiceItemCount))
        shell_->ServiceClick(static_cast<shell::ServiceItem>(command - kCmdFirstService));
      break;
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
  if (message == WM_LBUTTONDBLCLK && g_window != nullptr) {
    g_window->MemoDblClick();
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

// --- message boxes ---

int MainWindow::RunMessageBox(uint32_t kind, const std::string& caption, const std::string& text) {
  // A warning to take note of has one OK button; the bit that says so
  // would be the system's "second button is the default".
  const bool notice = (kind & MB_OKONLY) != 0;
  UINT flags = (kind & ~MB_OKONLY) | MB_TOPMOST;
  const uint32_t low = kind & 0xFF;
  if (!notice && (low == MB_ICONQUESTION || low == MB_ICONWARNING)) flags |= MB_YESNO;
  // The hook puts the box over the window as it opens; one box at a time.
  box_placed_ = false;
  box_notice_ = notice;
  box_hook_ = ::SetWindowsHookExW(WH_CBT, MessageBoxHookProc, nullptr, ::GetCurrentThreadId());
  const int answer = ::MessageBoxW(window_, WithCrLf(text).c_str(), W(caption).c_str(), flags);
  box_placed_ = false;
  if (box_hook_ != nullptr) ::UnhookWindowsHookEx(box_hook_);
  box_hook_ = nullptr;
  return answer;
}

LRESULT CALLBACK MainWindow::MessageBoxHookProc(int code, WPARAM wparam, LPARAM lparam) {
  MainWindow* self = g_window;
  if (self != nullptr && code == HCBT_ACTIVATE && !self->box_placed_) {
    self->box_placed_ = true;
    HWND box = reinterpret_cast<HWND>(wparam);
    RECT r;
    std::optional<shell::Size> size;
    if (::GetWindowRect(box, &r)) size = shell::Size{r.right - r.left, r.bottom - r.top};
    const shell::Point at = shell::MessageBoxPosition(self->WindowRect(), size, self->WorkArea());
    ::SetWindowPos(box, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetForegroundWindow(box);
    if (self->seams_ != nullptr) {
      if (self->seams_->on_modal_shown) self->seams_->on_modal_shown(box);
      // A box with one OK button asks nothing: it takes no planned answer.
      if (self->box_notice_) {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      } else if (!self->seams_->box_answers.empty()) {
        const int answer = self->seams_->box_answers.front();
        self->seams_->box_answers.pop_front();
        ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

// --- file choosers ---

std::string MainWindow::RunFileDialog(bool save, const std::string& title,
                                      const std::string& start_dir) {
  std::wstring file(32768, L'\0');
  const std::wstring directory = W(start_dir);
  const std::wstring caption = W(title);
  static const wchar_t kFilter[] = L"*.BIN\0*.BIN\0";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  // Owned by the window, which takes no clicks while it is open: a click on
  // the toolbar would otherwise stop the operation that asked.
  ofn.hwndOwner = window_;
  ofn.hInstance = instance_;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
  ofn.lpstrTitle = caption.c_str();
  ofn.lpstrDefExt = L"BIN";
  // Resizable, no read-only box; the save chooser asks nothing before an
  // existing file is replaced, the open chooser takes a name that does not
  // exist yet. The hook finds the dialog's window to keep it centred.
  ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  ofn.lpfnHook = FileDialogHookProc;
  current_dialog_ = nullptr;
  typed_without_extension_ = false;
  const BOOL confirmed = save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
  current_dialog_ = nullptr;
  if (!confirmed) {
    if (::CommDlgExtendedError() != 0)
      shell_->MessageBoxPrintf(MB_ICONERROR, PickLangText(kDialogFailed));
    return {};
  }
  file.resize(std::wcslen(file.c_str()));
  if (typed_without_extension_ && file.size() > 4 &&
      ::CompareStringOrdinal(file.c_str() + file.size() - 4, 4, L".BIN", 4, TRUE) == CSTR_EQUAL)
    file.replace(file.size() - 4, 4, L".BIN");
  return win::Narrow(file);
}

UINT_PTR CALLBACK MainWindow::FileDialogHookProc(HWND dialog, UINT message, WPARAM,
                                                 LPARAM lparam) {
  MainWindow* self = g_window;
  if (self == nullptr) return 0;
  if (message == WM_INITDIALOG) {
    // The hook's window is a child of the dialog's own window.
    self->current_dialog_ = ::GetParent(dialog);
    return 0;
  }
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == CDN_FILEOK) {
    // What was typed: a name without an extension gets BIN in capitals,
    // whatever case the system's dialog gives the extension it adds.
    wchar_t typed_name[MAX_PATH] = {};
    ::SendMessageW(::GetParent(dialog), CDM_GETSPEC, MAX_PATH,
                   reinterpret_cast<LPARAM>(typed_name));
    const std::wstring typed = typed_name;
    const std::size_t name_start = typed.find_last_of(L"\\/");
    self->typed_without_extension_ =
        typed.find(L'.', name_start == std::wstring::npos ? 0 : name_start + 1) == std::wstring::npos;
    return 0;
  }
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lparam)->code == CDN_INITDONE) {
    HWND top = ::GetParent(dialog);
    if (self->seams_ != nullptr) {
      if (self->seams_->on_modal_shown) self->seams_->on_modal_shown(top);
      if (self->seams_->file_names.empty()) return 0;  // a person answers
      std::string name = self->seams_->file_names.front();
      std::replace(name.begin(), name.end(), '/', '\\');  // typed as a person types it
      self->seams_->file_names.pop_front();
      if (name.empty()) {
        ::PostMessageW(top, WM_COMMAND, IDCANCEL, 0);
      } else {
        ::SendMessageW(top, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(W(name).c_str()));
        ::SendMessageW(top, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(W(name).c_str()));
        ::PostMessageW(top, WM_COMMAND, IDOK, 0);
      }
    }
  }
  return 0;
}

shell::DialogWindow MainWindow::FileDialog() const {
  if (current_dialog_ == nullptr || !::IsWindow(current_dialog_)) return {};
  RECT r;
  if (!::GetWindowRect(current_dialog_, &r)) return {true, std::nullopt};
  return {true, shell::Size{r.right - r.left, r.bottom - r.top}};
}

void MainWindow::MoveFileDialog(shell::Point at) {
  if (current_dialog_ == nullptr) return;
  ::SetWindowPos(current_dialog_, nullptr, at.x, at.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- the list of differences, the backup folder ---

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

bool MainWindow::OpenFolder(const std::string& path) {
  if (seams_ != nullptr && seams_->open_folder) return seams_->open_folder(path);
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window_, L"open", W(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
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
        shell_->SetLanguage(0);
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
      if (shell_->CloseRequested()) {
        Destroy();
      } else if (current_dialog_ != nullptr) {
        // The close waits for the operation below; an open file chooser
        // is cancelled so that it can end.
        ::PostMessageW(current_dialog_, WM_COMMAND, IDCANCEL, 0);
      } else if (difference_dialog_ != nullptr) {
        // Likewise the list of differences: the close comes once it is shut.
        ::PostMessageW(difference_dialog_, WM_COMMAND, IDCANCEL, 0);
      }
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
