// The full and the quick compare of the flash with a file.

#include <sys/stat.h>

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

class CompareTest : public FlashBench {
 protected:
  OpResult Full() { return ops_->SpeedButtonCompareClick(); }
  OpResult Quick() { return ops_->SpeedButtonCompareFastClick(); }
  // The "last" addresses the range CRC requests asked for.
  std::vector<uint32_t> CrcLasts() const {
    std::vector<uint32_t> v;
    for (const auto& r : device_->Requests())
      if (r.command == kCmdRangeCrc && r.payload.size() == 3)
        v.push_back(uint32_t{r.payload[0]} << 16 | uint32_t{r.payload[1]} << 8 | r.payload[2]);
    return v;
  }
};

TEST_F(CompareTest, EqualContentIsReportedAfterTheButtonsComeBack) {
  const auto content = Pattern(kFlashSize, 5);
  Start({}, content);
  Identify();
  OfferImage(content);
  EXPECT_EQ(Full(), OpResult::kOk);
  EXPECT_EQ(out_.events,
            (Events{"log: Full FLASH compare", "buttons busy", "enable SpeedButtonCompare",
                    "progress-start 2048: Full FLASH compare", "progress-hide", "buttons idle",
                    "log: FLASH content and file the same"}));
  EXPECT_EQ(AddressesOf(kCmdReadBlock).size(), 2048u);
  EXPECT_EQ(settings_->ChooserStartDirectory(), dir_.string());

  Forget();
  EXPECT_EQ(Quick(), OpResult::kOk);
  EXPECT_EQ(out_.events,
            (Events{"log: Quick FLASH compare", "buttons busy", "enable SpeedButtonCompareFast",
                    "progress-start 8: Quick FLASH compare", "progress-hide",
                    "log: FLASH content and file the same", "buttons idle"}));
  EXPECT_EQ(AddressesOf(kCmdRangeCrc).back(), 0x070000u);
  EXPECT_EQ(CrcLasts().back(), 0x07FFFFu);
}

TEST_F(CompareTest, FirstDifferenceIsNamed) {
  auto content = Pattern(kFlashSize, 5);
  Start({}, content);
  Identify();
  content[74565] ^= 0x01;
  content[300000] ^= 0x01;
  OfferImage(content);
  EXPECT_EQ(Full(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs(), (Events{"Full FLASH compare", "FLASH compare error at address 0x012345"}));
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: FLASH compare error at address 0x012345"}));
  EXPECT_EQ(out_.events.back(), "buttons idle");

  Forget();
  EXPECT_EQ(Quick(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs(),
            (Events{"Quick FLASH compare", "FLASH compare error at address 0x010000...0x01FFFF"}));
  EXPECT_EQ(out_.Boxes(),
            (Events{"0x10 Error: FLASH compare error at address 0x010000...0x01FFFF"}));
  EXPECT_EQ(AddressesOf(kCmdRangeCrc).size(), 2u);
}

TEST_F(CompareTest, ShortFileCoversWholeRangesPaddedWithBlank) {
  // The flash holds the file, then blank up to 128 KiB, then anything.
  const auto file = Pattern(100000, 1);
  auto content = Pattern(kFlashSize, 2);
  std::copy(file.begin(), file.end(), content.begin());
  std::fill(content.begin() + 100000, content.begin() + 131072, 0xFF);
  Start({}, content);
  Identify();
  OfferImage(file);
  EXPECT_EQ(Full(), OpResult::kOk);
  EXPECT_EQ(AddressesOf(kCmdReadBlock).size(), 512u);
  EXPECT_TRUE(out_.Has("progress-start 512: Full FLASH compare"));
  Forget();
  EXPECT_EQ(Quick(), OpResult::kOk);
  EXPECT_EQ(CrcLasts(), (std::vector<uint32_t>{0x00FFFF, 0x01FFFF}));

  // Not blank where the file has ended: a difference.
  Forget();
  device_->Flash()[120000] = 0x00;
  EXPECT_EQ(Full(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs().back(), "FLASH compare error at address 0x01D4C0");
}

TEST_F(CompareTest, ChipOfOddSizeIsComparedToItsEndAndNoFurther) {
  constexpr uint32_t kOdd = 98404;  // 96 KiB + 100
  sim::SimConfig config;
  config.size = kOdd;
  const auto content = Pattern(kOdd, 4);
  Start(config, content);
  Identify(kOdd);
  OfferImage(content);
  EXPECT_EQ(Quick(), OpResult::kOk);
  EXPECT_EQ(AddressesOf(kCmdRangeCrc), (std::vector<uint32_t>{0, 0x10000}));
  EXPECT_EQ(CrcLasts(), (std::vector<uint32_t>{0x00FFFF, kOdd - 1}));
  Forget();
  EXPECT_EQ(Full(), OpResult::kOk);
  EXPECT_EQ(AddressesOf(kCmdReadBlock).size(), 385u);

  Forget();
  device_->Flash()[kOdd - 1] ^= 0xFF;
  EXPECT_EQ(Quick(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs().back(), "FLASH compare error at address 0x010000...0x018063");
}

TEST_F(CompareTest, FilesThatCannotBeUsedEndBeforeAnythingIsSent) {
  Start();
  Identify();
  struct Case {
    std::size_t size;
    const char* box;
  };
  const Case cases[] = {{65535, "0x10 Error: The file size is too small"},
                        {0, "0x10 Error: The file size is too small"},
                        {kFlashSize + 1, "0x10 Error: The file size exceeds the allowable"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Forget();
    OfferImage(Pattern(c.size));
    EXPECT_EQ(Full(), OpResult::kFailed);
    EXPECT_EQ(out_.events,
              (Events{std::string("box ") + c.box, "notice 2500/250: Error reading file"}));
  }
  // Deleted after choosing: no box, the notice and the system's reason.
  Forget();
  out_.open_answer = (dir_ / "gone.bin").string();
  EXPECT_EQ(Quick(), OpResult::kFailed);
  EXPECT_EQ(out_.events, (Events{"file-error " + out_.open_answer + ": No such file or directory",
                                 "notice 2500/250: Error reading file"}));
  // A FIFO is turned away at once, not waited for.
  Forget();
  out_.open_answer = (dir_ / "pipe.bin").string();
  RTD_MAKE_FIFO_OR_SKIP(out_.open_answer);
  EXPECT_EQ(Full(), OpResult::kFailed);
  EXPECT_EQ(out_.events, (Events{"file-error " + out_.open_answer + ": not a regular file",
                                 "notice 2500/250: Error reading file"}));
  // Cancelled chooser: nothing at all.
  Forget();
  out_.open_answer.clear();
  EXPECT_EQ(Quick(), OpResult::kCancelled);
  EXPECT_TRUE(out_.events.empty());

  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_EQ(out_.IdleFlag, 1);
  EXPECT_EQ(settings_->ChooserStartDirectory(), "");
}

TEST_F(CompareTest, StopAndFailuresGiveNoVerdict) {
  const auto content = Pattern(kFlashSize, 5);
  Start({}, content);
  Identify();
  OfferImage(content);
  constexpr const char* kSame = "log: FLASH content and file the same";

  StopAtPump(10, &FlashOperations::SpeedButtonCompareClick);
  EXPECT_EQ(Full(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: User terminate"}));
  EXPECT_FALSE(out_.Has(kSame));

  Forget();
  StopAtPump(3, &FlashOperations::SpeedButtonCompareFastClick);
  EXPECT_EQ(Quick(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: User terminate"}));
  EXPECT_FALSE(out_.Has(kSame));
  out_.on_pump = nullptr;

  Forget();
  device_->AddFault({sim::FaultKind::kStatus253, kCmdRangeCrc, 0x20000, 0, 1});
  EXPECT_EQ(Quick(), OpResult::kFailed);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: Error reading from the device\nFailed result"}));
  EXPECT_FALSE(out_.Has(kSame));

  Forget();
  device_->AddFault({sim::FaultKind::kShortBlock, kCmdReadBlock, 0x300, 0, 1});
  EXPECT_EQ(Full(), OpResult::kFailed);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: FLASH read error at address 0x000300"}));

  EXPECT_FALSE(out_.Has(kSame));
  EXPECT_EQ(out_.IdleFlag, 1);
}

}  // namespace
}  // namespace rtd::test
