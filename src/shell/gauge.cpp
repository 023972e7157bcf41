#include "shell/gauge.h"

#include <algorithm>

#include <fmt/format.h>

#include "i18n/lang.h"

namespace rtd::shell {

void ProgressGauge::Start(int32_t maximum, const std::string& title, uint32_t bytes_per_step,
                          uint32_t now_ms) {
  saved_caption_ = title;
  if (maximum != 0) maximum_ = maximum;
  value_ = 0;
  visible_ = true;
  bytes_per_step_ = bytes_per_step;
  started_ms_ = now_ms;
  now_ms_ = now_ms;
}

ProgressGauge::Step ProgressGauge::StepTo(int32_t value, uint32_t now_ms) {
  if (value_ >= maximum_) return Step::kIgnored;
  const bool was_hidden = !visible_;
  visible_ = true;
  // The gauge itself keeps its value within 0..maximum.
  value_ = std::clamp(value, 0, std::max(maximum_, 0));
  now_ms_ = now_ms;
  return was_hidden ? Step::kShownAgain : Step::kMoved;
}

int ProgressGauge::Percent() const {
  if (maximum_ <= 0) return 0;
  return static_cast<int>(int64_t{value_} * 100 / maximum_);
}

std::string ProgressGauge::Text() const {
  std::string text = fmt::format("{} %", Percent());
  const uint32_t elapsed_ms = now_ms_ - started_ms_;
  if (bytes_per_step_ == 0 || value_ <= 0 || elapsed_ms == 0) return text;
  const double kib = static_cast<double>(value_) * static_cast<double>(bytes_per_step_) / 1024.0;
  text += fmt::format("   {:.1f} KiB/s", kib * 1000.0 / elapsed_ms);
  if (value_ < maximum_) {
    const uint64_t left_ms = uint64_t{elapsed_ms} * static_cast<uint64_t>(maximum_ - value_) /
                             static_cast<uint64_t>(value_);
    const uint64_t s = (left_ms + 999) / 1000;
    text += s >= 3600 ? fmt::format("   {}:{:02}:{:02}", s / 3600, s / 60 % 60, s % 60)
                      : fmt::format("   {:02}:{:02}", s / 60, s % 60);
    text += ' ';
    text += PickLangText(LANG_TEXT("осталось", "left"));
  }
  return text;
}

void ToolbarNoticeState::Show(uint32_t duration_ms, uint32_t blink_ms, const std::string& text) {
  end_timer_ms_ = 0;  // an earlier notice's end is cancelled
  panel_visible_ = true;
  caption_ = text;
  end_timer_ms_ = duration_ms;
  blink_timer_ms_ = blink_ms;
}

void ToolbarNoticeState::End() {
  blink_timer_ms_ = 0;
  end_timer_ms_ = 0;
  panel_visible_ = true;
  caption_.clear();
}

}  // namespace rtd::shell
