// How the core reaches the user. The window, the command line and the tests'
// recording fake each implement these services; the core never knows which.
//
// Texts handed in are already picked for the current language; the services
// only format (printf-style, into at most 999 bytes) and show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/printf.h>

namespace rtd {

// Message box kinds (the low byte picks caption and buttons) and answers,
// with the values the Windows original used.
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
// Added to MB_ICONWARNING: a warning to take note of, with one OK button,
// instead of the Yes/No question that kind asks by itself.
inline constexpr uint32_t MB_OKONLY = 0x100;
// Added to a question: No is the default, and only the user answers it (a
// standing Yes given beforehand, such as the command line's --yes, does not).
inline constexpr uint32_t MB_DEFAULT_NO = 0x200;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Every formatted text fits a 1000-byte buffer: 999 bytes and a terminator.
inline constexpr std::size_t kTextBufferSize = 1000;

// Cuts text to at most max_bytes without splitting a UTF-8 character.
std::string ClipUtf8(std::string text, std::size_t max_bytes = kTextBufferSize - 1);

// printf-style formatting of the system's format texts, clipped like the
// original's fixed buffers.
template <typename... Args>
std::string FormatText(const char* format, const Args&... args) {
  return ClipUtf8(fmt::sprintf(format, args...));
}

// Caption of a message box for its kind, in the current language.
const char* MessageBoxCaption(uint32_t kind);

// The eight operation buttons of the toolbar.
enum class ToolButton {
  SpeedButtonReset,
  SpeedButtonConnect,
  SpeedButtonRead,
  SpeedButtonWrite,
  SpeedButtonCompare,
  SpeedButtonCompareFast,
  SpeedButtonResetRTD2662,
  SpeedButtonGetTouchParam,
};

// --- the roles ---
// A front end's services fall in four, each taken on its own by the code
// that needs only that part: what an operation shows the user as it goes,
// what it asks the user, the event pump it runs inside, and the
// communication log. Every front end implements all four (OutputServices).

// What an operation shows as it goes: log lines, the gauge with its status
// text, the toolbar notice, the tool buttons.
class OperationDisplay {
 public:
  virtual ~OperationDisplay() = default;

  template <typename... Args>
  void LogPrintf(const char* format, const Args&... args) {
    AppendLogLine(FormatText(format, args...));
  }
  template <typename... Args>
  void ProgressStart(int32_t maximum, const char* format, const Args&... args) {
    StartProgress(maximum, FormatText(format, args...));
  }
  template <typename... Args>
  void ToolbarNotice(uint32_t duration_ms, uint32_t blink_ms, const char* format,
                     const Args&... args) {
    ShowToolbarNotice(duration_ms, blink_ms, FormatText(format, args...));
  }

  // Appends one finished line to the log (no formatting, no time stamp).
  virtual void AppendLogLine(const std::string& line) = 0;
  // Status text and progress gauge.
  virtual void StartProgress(int32_t maximum, const std::string& status_text) = 0;
  virtual void ProgressStep(int32_t value) = 0;
  virtual void ProgressHide() = 0;
  virtual void ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms,
                                 const std::string& text) = 0;
  // Status bar text outside an operation (the connection watch).
  virtual void SetStatusText(const std::string& text) = 0;
  // Busy: all eight buttons off. Idle: as the connection and the identified
  // flash allow.
  virtual void SetButtonsState(bool busy) = 0;
  // Turns one button back on (the running operation's stop button).
  virtual void EnableButton(ToolButton button) = 0;

  // --- what a front end may add; the defaults show nothing more ---

  // How many bytes one step of the next ProgressStart stands for (0: the
  // steps are not bytes), so a front end can show a speed. Called just
  // before that ProgressStart; it applies to that gauge only.
  virtual void SetProgressUnit(uint32_t /*bytes_per_step*/) {}
};

// What an operation asks the user, modally: message boxes and the file
// choosers.
class UserQuestions {
 public:
  virtual ~UserQuestions() = default;

  // Shows a modal box; returns the id of the button that closed it.
  template <typename... Args>
  int MessageBoxPrintf(uint32_t kind, const char* format, const Args&... args) {
    return ShowMessageBox(kind, MessageBoxCaption(kind), FormatText(format, args...));
  }

  // kind: the whole flags value; caption already chosen from its low byte.
  virtual int ShowMessageBox(uint32_t kind, const std::string& caption,
                             const std::string& text) = 0;
  // File choosers: the chosen path, or empty text when cancelled.
  virtual std::string ChooseImageToOpen() = 0;
  virtual std::string ChooseImageToSave() = 0;
  // A file could not be used: its path and the system's reason for it. The
  // caller has shown its own notice or box already; a front end that has
  // room for the detail shows it here (nothing by default).
  virtual void ShowFileError(const std::string& /*path*/, const std::string& /*reason*/) {}
};

// The event loop a long operation runs inside, and the gate that a click
// arriving through it sets.
class EventPump {
 public:
  virtual ~EventPump() = default;

  // The operation gate and stop request: 1 idle (or stop requested),
  // 0 a flash operation runs.
  uint8_t IdleFlag = 1;

  // Lets pending user input and timers run (a stop click arrives here).
  virtual void ProcessMessages() = 0;
  // Waits the given milliseconds while processing messages.
  virtual void DelayWithMessages(uint32_t ms) = 0;
};

// The communication log: every request and reply, when switched on.
class CommLog {
 public:
  virtual ~CommLog() = default;

  // Whether the communication log is switched on.
  virtual bool CommLogEnabled() const = 0;
  // One line of the communication log.
  virtual void AppendCommLogLine(const std::string& line) = 0;
};

// What a flash operation uses of its front end: all but the communication
// log, which is the link's.
class OperationServices : public OperationDisplay, public UserQuestions, public EventPump {};

// Everything a front end provides.
class OutputServices : public OperationServices, public CommLog {
 public:
  // The log itself, unless a front end keeps the two apart.
  void AppendCommLogLine(const std::string& line) override { AppendLogLine(line); }
};

}  // namespace rtd
