// Output services that record what the user would have seen, answer boxes
// and choosers from a script, and let a test act "between blocks" (a stop
// click, an unplugged cable) through the message pump.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/output_services.h"

namespace rtd::test {

inline const char* ButtonName(ToolButton b) {
  switch (b) {
    case ToolButton::SpeedButtonReset: return "SpeedButtonReset";
    case ToolButton::SpeedButtonConnect: return "SpeedButtonConnect";
    case ToolButton::SpeedButtonRead: return "SpeedButtonRead";
    case ToolButton::SpeedButtonWrite: return "SpeedButtonWrite";
    case ToolButton::SpeedButtonCompare: return "SpeedButtonCompare";
    case ToolButton::SpeedButtonCompareFast: return "SpeedButtonCompareFast";
    case ToolButton::SpeedButtonResetRTD2662: return "SpeedButtonResetRTD2662";
    case ToolButton::SpeedButtonGetTouchParam: return "SpeedButtonGetTouchParam";
  }
  return "?";
}

// What was shown, in order, with the lines of one kind picked out.
struct EventRecord {
  std::vector<std::string> events;

  std::vector<std::string> Logs() const { return WithPrefix("log: "); }
  std::vector<std::string> Boxes() const { return WithPrefix("box "); }
  std::vector<std::string> Notices() const { return WithPrefix("notice "); }
  bool Has(const std::string& event) const {
    for (const auto& e : events)
      if (e == event) return true;
    return false;
  }
  std::vector<std::string> WithPrefix(const std::string& prefix) const {
    std::vector<std::string> r;
    for (const auto& e : events)
      if (e.rfind(prefix, 0) == 0) r.push_back(e.substr(prefix.size()));
    return r;
  }
};

// A box recorded as "box 0x10 Error: ..." and answered from the script: the
// next planned answer, else IDNO to a question and IDOK to the rest.
inline int AnswerBox(EventRecord& record, std::deque<int>& answers, uint32_t kind,
                     const std::string& caption, const std::string& text) {
  record.events.push_back(fmt::format("box 0x{:02X} {}: {}", kind, caption, text));
  // A box with one OK button asks nothing: it takes no planned answer.
  if (kind & MB_OKONLY) return IDOK;
  if (!answers.empty()) {
    const int a = answers.front();
    answers.pop_front();
    return a;
  }
  const uint32_t low = kind & 0xFF;
  return (low == MB_ICONWARNING || low == MB_ICONQUESTION) ? IDNO : IDOK;
}

// The questions alone, for code that only asks (the configuration files).
class RecordingQuestions : public UserQuestions, public EventRecord {
 public:
  std::deque<int> box_answers;

  int ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override {
    return AnswerBox(*this, box_answers, kind, caption, text);
  }
  std::string ChooseImageToOpen() override { return {}; }
  std::string ChooseImageToSave() override { return {}; }
  void ShowFileError(const std::string& path, const std::string& reason) override {
    events.push_back("file-error " + path + ": " + reason);
  }
};

class RecordingOutput : public OutputServices, public EventRecord {
 public:
  explicit RecordingOutput(ManualClock* clock = nullptr) : clock_(clock) {}

  // events: everything shown, in order: "log: ...", "box 0x10 Error: ...",
  // "progress-start 2048: ...", "progress-hide", "notice 2500/250: ...",
  // "status: ...", "buttons busy", "buttons idle", "enable SpeedButtonRead",
  // "file-error PATH: reason". Progress steps go to steps, the bytes each
  // gauge's step stands for to units, not there.
  std::vector<int32_t> steps;
  std::vector<uint32_t> units;
  std::deque<int> box_answers;  // answers for the next boxes; IDOK/IDNO when empty
  std::string open_answer;      // what ChooseImageToOpen returns
  std::string save_answer;      // what ChooseImageToSave returns
  int open_calls = 0;
  int save_calls = 0;
  bool comm_log = false;
  int pumps = 0;
  // Runs on every message pump, with the pump's number (from 1).
  std::function<void(int)> on_pump;

  void AppendLogLine(const std::string& line) override { events.push_back("log: " + line); }
  int ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override {
    return AnswerBox(*this, box_answers, kind, caption, text);
  }
  void StartProgress(int32_t maximum, const std::string& text) override {
    events.push_back(fmt::format("progress-start {}: {}", maximum, text));
    ProcessMessages();
  }
  void ProgressStep(int32_t value) override {
    steps.push_back(value);
    ProcessMessages();
  }
  void ProgressHide() override { events.push_back("progress-hide"); }
  void ShowToolbarNotice(uint32_t duration_ms, uint32_t blink_ms,
                         const std::string& text) override {
    events.push_back(fmt::format("notice {}/{}: {}", duration_ms, blink_ms, text));
  }
  void SetStatusText(const std::string& text) override { events.push_back("status: " + text); }
  void SetButtonsState(bool busy) override {
    events.push_back(busy ? "buttons busy" : "buttons idle");
  }
  void EnableButton(ToolButton button) override {
    events.push_back(std::string("enable ") + ButtonName(button));
  }
  void ProcessMessages() override {
    ++pumps;
    if (on_pump) on_pump(pumps);
  }
  void DelayWithMessages(uint32_t ms) override {
    if (clock_ != nullptr) clock_->AdvanceMs(ms);
    ProcessMessages();
  }
  std::string ChooseImageToOpen() override {
    ++open_calls;
    return open_answer;
  }
  std::string ChooseImageToSave() override {
    ++save_calls;
    return save_answer;
  }
  bool CommLogEnabled() const override { return comm_log; }
  void SetProgressUnit(uint32_t bytes_per_step) override { units.push_back(bytes_per_step); }
  void ShowFileError(const std::string& path, const std::string& reason) override {
    events.push_back("file-error " + path + ": " + reason);
  }

 private:
  ManualClock* clock_;
};

}  // namespace rtd::test
