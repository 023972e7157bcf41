// Reading the flash into a file, and what every operation does before it
// sends anything (gate, size check, buffer).

#include <sys/stat.h>

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

class ReadTest : public FlashBench {
 protected:
  OpResult Read() { return ops_->SpeedButtonReadClick(); }
  std::string SaveTo(const std::string& name) {
    out_.save_answer = (dir_ / name).string();
    return out_.save_answer;
  }
};

TEST_F(ReadTest, ReadsTheWholeChipIntoTheChosenFile) {
  const auto content = Pattern(kFlashSize, 3);
  Start({}, content);
  Identify();
  const std::string path = SaveTo("dump.bin");
  EXPECT_EQ(Read(), OpResult::kOk);
  EXPECT_EQ(out_.events,
            (Events{"log: FLASH Read", "buttons busy", "enable SpeedButtonRead",
                    "progress-start 2048: FLASH Read", "progress-hide", "log: FLASH read ok",
                    "notice 2500/250: The file is written", "buttons idle"}));
  EXPECT_EQ(out_.steps.size(), 2048u);
  EXPECT_EQ(out_.steps.back(), 2048);
  EXPECT_EQ(out_.units, std::vector<uint32_t>{256});  // bytes per step, for the speed shown
  const auto addresses = AddressesOf(kCmdReadBlock);
  ASSERT_EQ(addresses.size(), 2048u);
  EXPECT_EQ(addresses.back(), 524032u);
  EXPECT_EQ(ReadFile(path), content);
  EXPECT_NE(ReadFile(settings_->path()).size(), 0u);
  EXPECT_EQ(settings_->ChooserStartDirectory(), dir_.string());
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ReadTest, ChipOfOddSizeIsReadToItsLastByte) {
  sim::SimConfig config;
  config.size = 1000;
  const auto content = Pattern(1000, 9);
  Start(config, content);
  Identify(1000);
  const std::string path = SaveTo("odd.bin");
  EXPECT_EQ(Read(), OpResult::kOk);
  EXPECT_TRUE(out_.Has("progress-start 4: FLASH Read"));
  EXPECT_EQ(AddressesOf(kCmdReadBlock), (std::vector<uint32_t>{0, 256, 512, 768}));
  EXPECT_EQ(ReadFile(path), content);
}

TEST_F(ReadTest, StopShortBlockAndCancelEndWithoutAFile) {
  Start();
  Identify();
  SaveTo("never.bin");

  StopAtPump(4, &FlashOperations::SpeedButtonReadClick);
  EXPECT_EQ(Read(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: User terminate"}));
  EXPECT_EQ(out_.Logs(), (Events{"FLASH Read"}));
  EXPECT_EQ(out_.events.back(), "buttons idle");

  out_.on_pump = nullptr;
  Forget();
  device_->AddFault({sim::FaultKind::kShortBlock, kCmdReadBlock, 4608, 0, 1});
  EXPECT_EQ(Read(), OpResult::kFailed);
  EXPECT_EQ(out_.Logs(), (Events{"FLASH Read", "FLASH read error at address 0x001200"}));
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: FLASH read error at address 0x001200"}));
  EXPECT_EQ(AddressesOf(kCmdReadBlock).back(), 4608u);

  EXPECT_EQ(out_.save_calls, 0);
  EXPECT_FALSE(fs::exists(dir_ / "never.bin"));

  Forget();
  out_.save_answer.clear();
  EXPECT_EQ(Read(), OpResult::kCancelled);
  EXPECT_EQ(out_.save_calls, 1);
  EXPECT_EQ(out_.Logs(),
            (Events{"FLASH Read", "The FLASH is blank: every byte is 0xFF"}));
  EXPECT_TRUE(out_.Notices().empty());
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ReadTest, UnpluggedProgrammerEndsTheReadWithTheLinkBox) {
  Start();
  Identify();
  SaveTo("never.bin");
  out_.on_pump = [this](int n) {
    if (n == 20) device_->Unplug();
  };
  EXPECT_EQ(Read(), OpResult::kFailed);
  ASSERT_EQ(out_.Boxes().size(), 1u);
  EXPECT_EQ(out_.Boxes()[0].rfind("0x10 Error: Error reading from the device\n", 0), 0u);
  EXPECT_EQ(out_.save_calls, 0);
  EXPECT_EQ(out_.events.back(), "buttons idle");
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ReadTest, ReadOnlyTargetIsKeptAndReported) {
  Start({}, Pattern(kFlashSize));
  Identify();
  const std::string path = SaveTo("keep.bin");
  WriteFile(path, {1, 2, 3});
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(Read(), OpResult::kFailed);
  EXPECT_EQ(out_.Notices(), (Events{"2500/250: Error writing file"}));
#ifndef _WIN32
  EXPECT_TRUE(out_.Has("file-error " + path + ": Permission denied"));
#endif
  // The window has no room beside the notice: the log names the file and
  // the system's reason.
  ASSERT_EQ(out_.Logs().size(), 2u);
  EXPECT_EQ(out_.Logs()[0], "FLASH Read");
  EXPECT_EQ(out_.Logs()[1].rfind("The file " + path + " is not written: ", 0), 0u);
  EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{1, 2, 3}));
  // The chosen place is remembered all the same.
  EXPECT_EQ(settings_->ChooserStartDirectory(), dir_.string());
}

// What the read, the compares and the write do before a command is sent.
TEST_F(ReadTest, NothingIsSentWithoutAUsableChip) {
  Start();
  using Click = OpResult (FlashOperations::*)();
  const Click clicks[] = {
      &FlashOperations::SpeedButtonReadClick, &FlashOperations::SpeedButtonCompareClick,
      &FlashOperations::SpeedButtonCompareFastClick, &FlashOperations::SpeedButtonWriteClick};
  OfferImage(Pattern(65536));
  for (const Click click : clicks) {
    SCOPED_TRACE(out_.events.size());
    // No chip identified: the program stays idle (the write asks first).
    out_.box_answers = {IDYES};
    EXPECT_EQ((ops_.get()->*click)(), OpResult::kNotStarted);
    EXPECT_TRUE(out_.Logs().empty());

    // A size past 24-bit addresses is refused.
    Forget();
    Identify(kMaxFlashSize + 256);
    out_.box_answers = {IDYES};
    EXPECT_EQ((ops_.get()->*click)(), OpResult::kFailed);
    EXPECT_EQ(out_.Boxes().back(),
              "0x10 Error: Unsupported FLASH size 16777472 bytes in jedec.ini");

    // No memory for the buffer.
    Forget();
    Identify();
    ops_->fail_allocation = true;
    out_.box_answers = {IDYES};
    EXPECT_EQ((ops_.get()->*click)(), OpResult::kFailed);
    EXPECT_EQ(out_.Boxes().back(), "0x10 Error: Error memory allocate");
    ops_->fail_allocation = false;

    // A click while an operation runs is only its stop request.
    Forget();
    out_.IdleFlag = 0;
    EXPECT_EQ((ops_.get()->*click)(), OpResult::kNotStarted);
    EXPECT_TRUE(out_.events.empty());

    EXPECT_EQ(out_.IdleFlag, 1);
    EXPECT_FALSE(out_.Has("buttons busy"));
    EXPECT_TRUE(device_->Requests().empty());
    ops_->CurrentFlash = {};
    Forget();
  }
  CurrentLanguage = kLanguageRussian;
  Identify(kMaxFlashSize + 1);
  ops_->SpeedButtonReadClick();
  EXPECT_EQ(out_.Boxes().back(),
            "0x10 Ошибка: Неподдерживаемый размер FLASH 16777217 байт в jedec.ini");
}

}  // namespace
}  // namespace rtd::test
