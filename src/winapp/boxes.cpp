// The Windows window's message boxes and file choosers, each with the hook
// that places it by the shell's rule as it opens and answers it in tests.
#include <algorithm>
#include <cwchar>

#include "i18n/lang.h"
// windows.h last (through main_window.h): its macros carry the names of
// some of the core's constants.
#include "winapp/main_window.h"

#include <commdlg.h>
#include <dlgs.h>
#include <shellapi.h>

#include "winapp/text.h"

namespace rtd::winapp {

namespace {

UINT IconFlags(shell::BoxIcon icon) {
  switch (icon) {
    case shell::BoxIcon::kError: return MB_ICONERROR;
    case shell::BoxIcon::kQuestion: return MB_ICONQUESTION;
    case shell::BoxIcon::kWarning: return MB_ICONWARNING;
    case shell::BoxIcon::kInformation: return MB_ICONINFORMATION;
    case shell::BoxIcon::kNone: break;
  }
  return 0;
}

}  // namespace

// --- message boxes ---

int MainWindow::RunMessageBox(const shell::BoxDesign& box) {
  UINT flags = IconFlags(box.icon) | MB_TOPMOST;
  if (box.buttons == shell::BoxButtons::kYesNo) {
    flags |= MB_YESNO;
    if (box.default_answer == IDNO) flags |= MB_DEFBUTTON2;
  }
  // The hook puts the box over the window as it opens; one box at a time.
  box_placed_ = false;
  box_ = &box;
  box_hook_ = ::SetWindowsHookExW(WH_CBT, MessageBoxHookProc, nullptr, ::GetCurrentThreadId());
  const int answer =
      ::MessageBoxW(ModalOwner(), WithCrLf(box.text).c_str(), W(box.caption).c_str(), flags);
  box_placed_ = false;
  box_ = nullptr;
  if (box_hook_ != nullptr) ::UnhookWindowsHookEx(box_hook_);
  box_hook_ = nullptr;
  return answer;
}

LRESULT CALLBACK MainWindow::MessageBoxHookProc(int code, WPARAM wparam, LPARAM lparam) {
  MainWindow* self = current_;
  if (self != nullptr && code == HCBT_ACTIVATE && !self->box_placed_ && self->box_ != nullptr) {
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
      if (const std::optional<int> answer = self->seams_->NextBoxAnswer(*self->box_))
        ::PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(*answer), 0);
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
  ofn.hwndOwner = ModalOwner();
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
  MainWindow* self = current_;
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
      const std::optional<std::string> planned = self->seams_->NextFileName();
      // Left to a person, or shut meanwhile (the window was closed).
      if (!planned || self->current_dialog_ == nullptr) return 0;
      std::string name = *planned;
      std::replace(name.begin(), name.end(), '/', '\\');  // typed as a person types it
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

bool MainWindow::OpenFolder(const std::string& path) {
  if (seams_ != nullptr && seams_->open_folder) return seams_->open_folder(path);
  const auto result = reinterpret_cast<INT_PTR>(
      ::ShellExecuteW(window_, L"open", W(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}

}  // namespace rtd::winapp
