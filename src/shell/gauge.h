// The progress gauge and the toolbar notice as state, without widgets: the
// window draws what these say.
#pragma once

#include <cstdint>
#include <string>

namespace rtd::shell {

class ProgressGauge {
 public:
  // What a step asks of the window.
  enum class Step {
    kIgnored,     // the gauge was already full: nothing at all, not even a pump
    kMoved,       // new value: repaint if the text changed, pump once
    kShownAgain,  // the watch had hidden it: status text back, show, pump once
  };

  // A new operation: its title becomes the status text and is kept for
  // ProgressStep. A maximum of 0 keeps the previous maximum. Each step
  // stands for bytes_per_step bytes of flash (0: the steps are not bytes,
  // no speed is shown), as the operation said through SetProgressUnit.
  void Start(int32_t maximum, const std::string& title, uint32_t bytes_per_step, uint32_t now_ms);
  Step StepTo(int32_t value, uint32_t now_ms);
  void Hide() { visible_ = false; }

  bool visible() const { return visible_; }
  int32_t maximum() const { return maximum_; }
  int32_t value() const { return value_; }
  // The title of the last started operation.
  const std::string& SavedProgressCaption() const { return saved_caption_; }
  // Whole percent done, rounded down.
  int Percent() const;
  // The gauge's text: the percent, and for the block operations the speed
  // and the time left ("42 %   101.3 KiB/s   00:07 left").
  std::string Text() const;

 private:
  bool visible_ = false;
  int32_t maximum_ = 100;
  int32_t value_ = 0;
  std::string saved_caption_;
  uint64_t bytes_per_step_ = 0;  // 0: not a transfer, no speed shown
  uint32_t started_ms_ = 0;
  uint32_t now_ms_ = 0;
};

// The toolbar notice: a text in the panel that blinks for a while, then
// goes. The window runs two timers as these fields say.
class ToolbarNoticeState {
 public:
  // A new notice replaces a running one and restarts its duration.
  void Show(uint32_t duration_ms, uint32_t blink_ms, const std::string& text);
  // One blink: the panel hides or shows.
  void Blink() { panel_visible_ = !panel_visible_; }
  // The duration has passed.
  void End();

  const std::string& caption() const { return caption_; }
  bool panel_visible() const { return panel_visible_; }
  // Interval of the timer that ends the notice; 0: off.
  uint32_t end_timer_ms() const { return end_timer_ms_; }
  // Interval of the blink timer; 0: off.
  uint32_t blink_timer_ms() const { return blink_timer_ms_; }

 private:
  std::string caption_;
  bool panel_visible_ = true;
  uint32_t end_timer_ms_ = 0;
  uint32_t blink_timer_ms_ = 0;
};

}  // namespace rtd::shell
