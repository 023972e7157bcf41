// Output services that show nothing and answer every question with Yes:
// the benchmarks measure the operations, not a terminal.
#pragma once

#include <string>

#include "core/clock.h"
#include "core/output_services.h"

namespace rtd::bench {

class QuietOutput final : public OutputServices {
 public:
  explicit QuietOutput(Clock& clock) : clock_(clock) {}
  std::string image_path;
  std::string last_box;

  void AppendLogLine(const std::string&) override {}
  int ShowMessageBox(uint32_t, const std::string&, const std::string& text) override {
    last_box = text;
    return IDYES;
  }
  void StartProgress(int32_t, const std::string&) override {}
  void ProgressStep(int32_t) override {}
  void ProgressHide() override {}
  void ShowToolbarNotice(uint32_t, uint32_t, const std::string&) override {}
  void SetStatusText(const std::string&) override {}
  void SetButtonsState(bool) override {}
  void EnableButton(ToolButton) override {}
  void ProcessMessages() override {}
  void DelayWithMessages(uint32_t ms) override { clock_.SleepMicroseconds(ms * 1000); }
  std::string ChooseImageToOpen() override { return image_path; }
  std::string ChooseImageToSave() override { return image_path; }
  bool CommLogEnabled() const override { return false; }

 private:
  Clock& clock_;
};

}  // namespace rtd::bench
