// rtdprog-cli entry point on Windows: the console in UTF-8, Ctrl-C through
// the console control handler, arguments and paths in UTF-8, the real clock.
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "config/windows_files.h"

#include "core/windows_api.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

// Set by the console control handler, which Windows runs on a thread of its
// own: the flags are the only things it touches.
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_finished{false};

// How long a closing console, a log-off or a shutdown lets the handler hold
// the process (Windows ends it after about 5 s whatever the handler does).
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
  g_interrupted.store(true);  // the operation stops before its next block
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // The console is closing or the session ending: the process ends when
  // this handler returns, so it waits for the operation to stop and put the
  // chip's protection back, as long as Windows allows.
  for (DWORD waited = 0; !g_finished.load() && waited < kCloseGraceMs; waited += 50) ::Sleep(50);
  return TRUE;
}

// Whether the standard handle is a console (not a file, pipe or NUL, which
// _isatty would also count as a terminal).
bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

// The progress bar redraws its line with escape sequences; a console that
// cannot take them gets no bar.
bool EnableEscapeSequences(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode) == 0) return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
  return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// The locale variables when set (a Unix-like shell), else the user's
// Windows locale ("ru-RU").
std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return v;
  }
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (::GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0) return rtd::win::Narrow(name);
  return {};
}

}  // namespace

int main() {
  // Russian texts are UTF-8; the console shows them once told so. Its code
  // page belongs to the console, not to us: it is put back at the end.
  const UINT saved_output_cp = ::GetConsoleOutputCP();
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);

  std::vector<std::string> args = rtd::win::CommandLineArguments();
  rtd::cli::CliEnvironment env{std::cout, std::cerr, std::cin};
  env.in_is_terminal = IsConsole(STD_INPUT_HANDLE);
  env.err_is_terminal = EnableEscapeSequences(STD_ERROR_HANDLE);
  env.locale = LocaleName();
  env.files = rtd::CurrentFileEnvironment();
  env.interrupted = &g_interrupted;
  const int status = rtd::cli::RunCli(args, env);
  g_finished.store(true);

  std::cout.flush();
  std::cerr.flush();
  if (saved_output_cp != 0) ::SetConsoleOutputCP(saved_output_cp);
  return status;
}
