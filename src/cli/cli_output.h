// The command line's output services: log lines on stdout, message boxes on
// stderr with their caption, a progress bar on a terminal, questions asked
// on the terminal, Ctrl-C as the stop request.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>

#include "core/clock.h"
#include "core/output_services.h"

namespace rtd::cli {

struct CliStreams {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool in_is_terminal = false;
  bool err_is_terminal = false;
};

class CliOutput final : public OutputServices {
 public:
  CliOutput(CliStreams streams, Clock& clock, const std::atomic<bool>* interrupted);

  // The path the file choosers return (the command's FILE argument).
  std::string image_path;
  // Answer to a Yes/No question when no one can be asked (--yes).
  bool assume_yes = false;
  // Communication log lines go to stderr when set.
  bool comm_log = false;
  // Runs on every message pump (tests act "between blocks" here).
  std::function<void()> on_pump;

  void AppendLogLine(const std::string& line) override;
  void AppendCommLogLine(const std::string& line) override;
  int ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override;
  void StartProgress(int32_t maximum, const std::string& status_text) override;
  void ProgressStep(int32_t value) override;
  void ProgressHide() override;
  void ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms, const std::string& text) override;
  void SetStatusText(const std::string& text) override;
  void SetButtonsState(bool busy) override;
  void EnableButton(ToolButton button) override;
  void ProcessMessages() override;
  void DelayWithMessages(uint32_t ms) override;
  std::string ChooseImageToOpen() override;
  std::string ChooseImageToSave() override;
  bool CommLogEnabled() const override { return comm_log; }
  void SetProgressUnit(uint32_t bytes_per_step) override { next_unit_ = bytes_per_step; }
  // "Error: PATH: reason" on stderr.
  void ShowFileError(const std::string& path, const std::string& reason) override;

  // Whether a stop was requested (Ctrl-C) at any time.
  bool StopSeen() const { return stop_seen_; }

 private:
  void DrawProgress(bool force);
  void ClearProgressLine();

  CliStreams io_;
  Clock& clock_;
  const std::atomic<bool>* interrupted_;
  bool stop_seen_ = false;

  // Progress bar state.
  bool progress_visible_ = false;
  bool progress_drawn_ = false;
  std::string status_text_;
  int32_t maximum_ = 100;
  int32_t value_ = 0;
  uint32_t started_ms_ = 0;
  // Bytes per step of the gauge shown (0: no speed), and of the next one.
  uint32_t unit_ = 0;
  uint32_t next_unit_ = 0;
  uint32_t last_draw_ms_ = 0;
};

}  // namespace rtd::cli
