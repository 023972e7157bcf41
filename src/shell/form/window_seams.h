// What tests put in place of a person, for either window: Modal is the
// toolkit's handle of a box or dialog (QWidget*, HWND).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "shell/form/message_box.h"

namespace rtd::shell {

template <typename Modal>
struct WindowSeams {
  // Answers (IDYES, IDNO, IDOK) for the next message boxes. Each box is
  // still built, placed and shown, then closed with that answer.
  std::deque<int> box_answers;
  // File names for the next file choosers; each dialog is shown, then the
  // name is typed into it and confirmed. An empty name cancels.
  std::deque<std::string> file_names;
  // Called with each box or dialog once it is shown and placed, before it
  // is answered (so a test may fill the answers in here).
  std::function<void(Modal)> on_modal_shown;
  // Called on every message pump (tests act "between blocks" here).
  std::function<void()> on_pump;
  // False: the timers are only armed in the shell, and the test ticks them
  // by hand; no real time passes.
  bool run_timers = true;
  // In place of the system's file manager: gets the folder to open; its
  // answer is whether that worked.
  std::function<bool(const std::string&)> open_folder;

  // The planned answer of a box just shown; none: a person answers.
  std::optional<int> NextBoxAnswer(const BoxDesign& box) {
    if (box.AsksNothing()) return box.default_answer;
    if (box_answers.empty()) return std::nullopt;
    const int answer = box_answers.front();
    box_answers.pop_front();
    return answer;
  }
  // The planned name of a chooser just shown ("" cancels); none: a person
  // answers.
  std::optional<std::string> NextFileName() {
    if (file_names.empty()) return std::nullopt;
    std::string name = file_names.front();
    file_names.pop_front();
    return name;
  }
};

}  // namespace rtd::shell
