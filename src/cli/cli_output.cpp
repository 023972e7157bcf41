#include "cli/cli_output.h"

#include <algorithm>
#include <istream>
#include <ostream>

#include <fmt/format.h>

#include "i18n/lang.h"

namespace rtd::cli {

namespace {

// "text\nmore" -> "text\n  more": a box's later lines indented under its caption.
std::string IndentLines(const std::string& text) {
  std::string r;
  for (char c : text) {
    r += c;
    if (c == '\n') r += "  ";
  }
  return r;
}

std::string FormatDuration(uint64_t seconds) {
  if (seconds >= 3600) return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return fmt::format("{:02}:{:02}", seconds / 60, seconds % 60);
}

bool IsYes(std::string answer) {
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\r')) answer.pop_back();
  return answer == "y" || answer == "yes" || answer == "д" || answer == "да" ||
         answer == "Д" || answer == "Да";
}

}  // namespace

CliOutput::CliOutput(CliStreams streams, Clock& clock, const std::atomic<bool>* interrupted)
    : io_(streams), clock_(clock), interrupted_(interrupted) {}

void CliOutput::ClearProgressLine() {
  if (!progress_drawn_) return;
  io_.err << "\r\x1b[K" << std::flush;
  progress_drawn_ = false;
}

void CliOutput::AppendLogLine(const std::string& line) {
  ClearProgressLine();
  io_.out << line << '\n' << std::flush;
}

void CliOutput::AppendCommLogLine(const std::string& line) {
  ClearProgressLine();
  io_.err << line << '\n' << std::flush;
}

int CliOutput::ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) {
  ClearProgressLine();
  const uint32_t low = kind & 0xFF;
  const bool question =
      (low == MB_ICONWARNING || low == MB_ICONQUESTION) && (kind & MB_OKONLY) == 0;
  if (caption.empty())
    io_.err << IndentLines(text);
  else
    io_.err << caption << ": " << IndentLines(text);
  if (!question) {
    io_.err << '\n' << std::flush;
    return IDOK;
  }
  // --yes answers the questions it was given for, not one that must reach
  // the user (MB_DEFAULT_NO): that one is asked on a terminal, else No.
  if (assume_yes && (kind & MB_DEFAULT_NO) == 0) {
    io_.err << " [y/n] y\n" << std::flush;
    return IDYES;
  }
  if (!io_.in_is_terminal) {
    // Nobody to ask: the safe answer.
    io_.err << " [y/n] n\n" << std::flush;
    return IDNO;
  }
  io_.err << " [y/n] " << std::flush;
  std::string answer;
  if (!std::getline(io_.in, answer)) {
    io_.err << '\n';
    return IDNO;
  }
  return IsYes(answer) ? IDYES : IDNO;
}

void CliOutput::StartProgress(int32_t maximum, const std::string& status_text) {
  status_text_ = status_text;
  unit_ = next_unit_;
  next_unit_ = 0;
  if (maximum != 0) maximum_ = maximum;
  value_ = 0;
  progress_visible_ = true;
  started_ms_ = clock_.TickCount();
  DrawProgress(true);
  ProcessMessages();
}

void CliOutput::ProgressStep(int32_t value) {
  if (value_ >= maximum_) return;
  progress_visible_ = true;
  value_ = std::clamp(value, 0, maximum_);
  DrawProgress(value_ >= maximum_);
  ProcessMessages();
}

void CliOutput::ProgressHide() {
  progress_visible_ = false;
  ClearProgressLine();
}

void CliOutput::DrawProgress(bool force) {
  if (!io_.err_is_terminal || !progress_visible_) return;
  const uint32_t now = clock_.TickCount();
  if (!force && progress_drawn_ && now - last_draw_ms_ < 100) return;
  last_draw_ms_ = now;

  const int percent = maximum_ > 0 ? static_cast<int>(int64_t{value_} * 100 / maximum_) : 0;
  constexpr int kWidth = 24;
  const int filled = percent * kWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '.');
  std::string line = fmt::format("{} [{}] {:3}%", status_text_, bar, percent);

  const uint32_t elapsed_ms = now - started_ms_;
  if (unit_ != 0 && elapsed_ms > 0 && value_ > 0) {
    const double kib = static_cast<double>(value_) * static_cast<double>(unit_) / 1024.0;
    line += fmt::format("  {:.1f} KiB/s", kib * 1000.0 / elapsed_ms);
  }
  if (value_ > 0 && value_ < maximum_) {
    const uint64_t left_ms = uint64_t{elapsed_ms} * static_cast<uint64_t>(maximum_ - value_) /
                             static_cast<uint64_t>(value_);
    line += fmt::format("  {} {}", FormatDuration((left_ms + 999) / 1000),
                        PickLangText(LANG_TEXT("осталось", "left")));
  }
  io_.err << "\r\x1b[K" << line << std::flush;
  progress_drawn_ = true;
}

void CliOutput::ShowToolbarNotice(uint32_t, uint32_t, const std::string& text) {
  ClearProgressLine();
  io_.out << "[" << text << "]\n" << std::flush;
}

void CliOutput::ShowFileError(const std::string& path, const std::string& reason) {
  ClearProgressLine();
  io_.err << MessageBoxCaption(MB_ICONERROR) << ": " << path << ": " << reason << '\n'
          << std::flush;
}

void CliOutput::SetStatusText(const std::string&) {}

void CliOutput::SetButtonsState(bool) {}

void CliOutput::EnableButton(ToolButton) {}

void CliOutput::ProcessMessages() {
  // Ctrl-C stands for the second click on the running operation's button.
  if (interrupted_ != nullptr && interrupted_->load()) {
    IdleFlag = 1;
    stop_seen_ = true;
  }
  if (on_pump) on_pump();
}

void CliOutput::DelayWithMessages(uint32_t ms) {
  const uint32_t start = clock_.TickCount();
  for (;;) {
    ProcessMessages();
    const uint32_t elapsed = clock_.TickCount() - start;
    if (elapsed >= ms) break;
    clock_.SleepMicroseconds(std::min<uint32_t>(ms - elapsed, 5) * 1000);
  }
}

std::string CliOutput::ChooseImageToOpen() { return image_path; }

std::string CliOutput::ChooseImageToSave() { return image_path; }

}  // namespace rtd::cli
