// The service commands: read checked by a second read, blank check, erase,
// write with a full verification, compare with a list of differences.

#include "flash/service_commands.h"

#include <algorithm>

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

constexpr uint8_t kReplyReadBlock = 0x80 | kCmdReadBlock;

bool Contains(const Events& events, const std::string& text) {
  return std::find(events.begin(), events.end(), text) != events.end();
}

class ServiceCommandsTest : public FlashBench {
 protected:
  void Bench(sim::SimConfig config = {}, const std::vector<uint8_t>& content = {}) {
    Start(config, content);
    Identify();
    service_ = std::make_unique<ServiceCommands>(*ops_);
  }
  // Changes the data of the n-th reply (from 1) to a block read at address.
  void CorruptRead(uint32_t address, int nth, std::vector<uint32_t> offsets) {
    bus_->on_reply = [address, nth, offsets, seen = 0](uint8_t* report) mutable {
      const uint32_t at = uint32_t{report[2]} << 16 | uint32_t{report[3]} << 8 | report[4];
      if (report[1] != kReplyReadBlock || at != address || ++seen != nth) return;
      for (uint32_t o : offsets) report[kReportDataOffset + o] ^= 0x5A;
    };
  }
  std::size_t Count(uint8_t command) const { return AddressesOf(command).size(); }
  // A stop request (as a second click) at the first pump after this log line.
  void StopAfterLogLine(const std::string& line) {
    out_.on_pump = [this, line, done = false](int) mutable {
      if (done || !Contains(out_.Logs(), line)) return;
      done = true;
      EXPECT_EQ(ops_->SpeedButtonReadClick(), OpResult::kNotStarted);
    };
  }

  std::unique_ptr<ServiceCommands> service_;
};

// --- read --verify ---------------------------------------------------------

TEST_F(ServiceCommandsTest, ReadIsSavedWhenBothReadsAgree) {
  const auto content = Pattern(kFlashSize, 5);
  Bench({}, content);
  out_.save_answer = (dir_ / "dump.bin").string();
  EXPECT_EQ(service_->ReadVerified(), OpResult::kOk);
  EXPECT_EQ(out_.Logs(),
            (Events{"FLASH Read", "FLASH check read", "Both FLASH reads agree", "FLASH read ok"}));
  EXPECT_EQ(Count(kCmdReadBlock), 2u * 2048);
  EXPECT_EQ(ReadFile(out_.save_answer), content);
  EXPECT_FALSE(service_->ReadsDiffered());
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ServiceCommandsTest, ReadsThatDifferKeepTheExistingFile) {
  Bench({}, Pattern(kFlashSize, 5));
  const std::vector<uint8_t> old(1000, 0x42);
  out_.save_answer = (dir_ / "dump.bin").string();
  WriteFile(out_.save_answer, old);
  // A clip that makes poor contact: the second read of one block is off.
  CorruptRead(0x1200, 2, {0x34, 0x80, 0x81});
  EXPECT_EQ(service_->ReadVerified(), OpResult::kMismatch);
  EXPECT_TRUE(service_->ReadsDiffered());
  const std::string text = "The two reads of the FLASH differ, first at address 0x001234, "
                           "differing bytes: 3";
  EXPECT_TRUE(Contains(out_.Logs(), text));
  EXPECT_TRUE(Contains(out_.Boxes(), "0x10 Error: " + text));
  EXPECT_EQ(out_.save_calls, 0);
  EXPECT_EQ(ReadFile(out_.save_answer), old);
}

TEST_F(ServiceCommandsTest, FailureOrStopInTheSecondReadSavesNothing) {
  Bench();
  out_.save_answer = (dir_ / "dump.bin").string();
  device_->AddFault({sim::FaultKind::kShortBlock, kCmdReadBlock, -1, 2048 + 18, 1});
  EXPECT_EQ(service_->ReadVerified(), OpResult::kFailed);
  EXPECT_TRUE(Contains(out_.Logs(), "FLASH read error at address 0x001200"));

  Forget();
  // Two pumps a block: this one falls into the second read.
  StopAtPump(2 * 2048 + 100, &FlashOperations::SpeedButtonReadClick);
  EXPECT_EQ(service_->ReadVerified(), OpResult::kStopped);
  EXPECT_TRUE(Contains(out_.Boxes(), "0x10 Error: User terminate"));
  EXPECT_EQ(out_.save_calls, 0);
  EXPECT_FALSE(fs::exists(out_.save_answer));
  EXPECT_FALSE(service_->ReadsDiffered());
  EXPECT_EQ(out_.IdleFlag, 1);
}

// --- blank check -------------------------------------------------------------

TEST_F(ServiceCommandsTest, ErasedChipIsBlankAfterReadingEveryBlockWhoseCrcMatches) {
  Bench();
  EXPECT_EQ(service_->BlankCheck(), OpResult::kOk);
  EXPECT_EQ(out_.Logs(), (Events{"FLASH blank check", "Blocks of 64 KiB: 8, settled by CRC: 0, read: 8",
                                 "FLASH is blank"}));
  EXPECT_EQ(Count(kCmdRangeCrc), 8u);
  EXPECT_EQ(Count(kCmdReadBlock), 2048u);
  EXPECT_EQ(out_.steps.back(), 2048);
}

TEST_F(ServiceCommandsTest, BlocksProvenWrittenByTheirCrcAreNotRead) {
  std::vector<uint8_t> content(kFlashSize, 0xFF);
  content[0x012345] = 0x00;
  content[0x05FFFF] = 0x7E;
  Bench({}, content);
  EXPECT_EQ(service_->BlankCheck(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs(),
            (Events{"FLASH blank check", "Blocks of 64 KiB: 8, settled by CRC: 2, read: 6",
                    "FLASH is not blank: first written byte at address 0x012345, "
                    "2 of 8 blocks of 64 KiB not blank"}));
  // Six blocks read whole; the first written block only up to its written
  // page (0x012300 is its 36th); block 5 not at all.
  const auto reads = AddressesOf(kCmdReadBlock);
  EXPECT_EQ(reads.size(), 6u * 256 + 36);
  EXPECT_EQ(std::count_if(reads.begin(), reads.end(),
                          [](uint32_t a) { return a >= 0x50000 && a < 0x60000; }),
            0);
  EXPECT_EQ(out_.steps.back(), 2048);
}

TEST_F(ServiceCommandsTest, ABlockWhoseCrcMatchesByChanceIsFoundByReadingIt) {
  std::vector<uint8_t> content(kFlashSize, 0xFF);
  content[0x20000] = 0x00;
  const std::vector<uint8_t> erased(kImageUnit, 0xFF);
  const uint8_t wanted = Crc8Range(erased.data(), 0, kImageUnit - 1);
  // One value of the next byte brings the block's CRC back to the erased one.
  for (int v = 0; v < 256; ++v) {
    content[0x20001] = static_cast<uint8_t>(v);
    if (Crc8Range(content.data(), 0x20000, 0x2FFFF) == wanted) break;
  }
  ASSERT_EQ(Crc8Range(content.data(), 0x20000, 0x2FFFF), wanted);
  Bench({}, content);
  EXPECT_EQ(service_->BlankCheck(), OpResult::kMismatch);
  EXPECT_TRUE(Contains(out_.Logs(), "FLASH is not blank: first written byte at address 0x020000, "
                                    "1 of 8 blocks of 64 KiB not blank"));
}

TEST_F(ServiceCommandsTest, ACrcThatSaysWrittenOverErasedPagesIsALinkFailure) {
  Bench();
  // The CRC of the erased block at 0x20000 comes back wrong: its pages
  // then all read erased, which no chip does.
  bus_->on_reply = [](uint8_t* report) {
    const uint32_t at = uint32_t{report[2]} << 16 | uint32_t{report[3]} << 8 | report[4];
    if (report[1] == (0x80 | kCmdRangeCrc) && at == 0x20000) report[kReportDataOffset + 1] ^= 0x5A;
  };
  const std::string failure = "The blank check failed: the CRC and the data disagree at 0x020000";
  EXPECT_EQ(service_->BlankCheck(), OpResult::kFailed);
  EXPECT_EQ(out_.Logs().back(), failure);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: " + failure}));
  EXPECT_EQ(out_.events.back(), "buttons idle");

  // The erase says the same, and nothing about a chip left written.
  Forget();
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->Erase(), OpResult::kFailed);
  EXPECT_EQ(out_.Boxes().back(), "0x10 Error: " + failure);
  EXPECT_FALSE(Contains(out_.Boxes(), "0x10 Error: The FLASH was not erased"));
}

TEST_F(ServiceCommandsTest, BlankCheckStopsOnARefusedCrcAndOnAStopRequest) {
  Bench();
  device_->AddFault({sim::FaultKind::kStatus253, kCmdRangeCrc, 0x30000, 0, 1});
  EXPECT_EQ(service_->BlankCheck(), OpResult::kFailed);
  EXPECT_FALSE(Contains(out_.Logs(), "FLASH is blank"));
  EXPECT_EQ(AddressesOf(kCmdRangeCrc).back(), 0x30000u);

  Forget();
  StopAtPump(300, &FlashOperations::SpeedButtonReadClick);
  EXPECT_EQ(service_->BlankCheck(), OpResult::kStopped);
  EXPECT_TRUE(Contains(out_.Boxes(), "0x10 Error: User terminate"));
  EXPECT_EQ(out_.events.back(), "buttons idle");
  EXPECT_EQ(out_.IdleFlag, 1);
}

// --- erase -------------------------------------------------------------------

TEST_F(ServiceCommandsTest, EraseUnlocksErasesRelocksAndChecksBlank) {
  sim::SimConfig config;
  config.status = 0x1C;
  Bench(config, Pattern(kFlashSize, 1));
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->Erase(), OpResult::kOk);
  EXPECT_EQ(out_.Boxes(), (Events{"0x30 Warning: It will erase FLASH\nContinue?"}));
  EXPECT_EQ(out_.Logs(), (Events{"Unlock FLASH", "FLASH erase", "Lock FLASH", "FLASH blank check",
                                 "Blocks of 64 KiB: 8, settled by CRC: 0, read: 8",
                                 "FLASH is blank", "Erase FLASH successfully"}));
  const auto commands = Commands();
  EXPECT_EQ(std::vector<uint8_t>(commands.begin(), commands.begin() + 10),
            (std::vector<uint8_t>{0x41, 0x46, 0x44, 0x47, 0x44, 0x48, 0x44, 0x47, 0x45, 0x43}));
  EXPECT_EQ(Count(kCmdWriteBlock) + Count(kCmdWriteBlockBF), 0u);
  EXPECT_EQ(device_->StatusRegister(), 0x1C);
  EXPECT_TRUE(std::all_of(device_->Flash().begin(), device_->Flash().end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(ServiceCommandsTest, EraseAnsweredNoSendsNothing) {
  const auto content = Pattern(kFlashSize, 1);
  Bench({}, content);
  EXPECT_EQ(service_->Erase(), OpResult::kNotStarted);
  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_TRUE(out_.Logs().empty());
  EXPECT_TRUE(std::ranges::equal(device_->Flash(), content));
}

TEST_F(ServiceCommandsTest, RefusedEraseOrAChipLeftWrittenIsAFailure) {
  Bench({}, Pattern(kFlashSize, 1));
  device_->AddFault({sim::FaultKind::kStatus253, kCmdEraseChip, -1, 0, 1});
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->Erase(), OpResult::kFailed);
  EXPECT_FALSE(Contains(out_.Logs(), "FLASH blank check"));
  EXPECT_EQ(out_.IdleFlag, 1);

  // The erase goes through, but one block still reads written.
  Forget();
  CorruptRead(0x30100, 1, {0});
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->Erase(), OpResult::kFailed);
  EXPECT_TRUE(Contains(out_.Boxes(), "0x10 Error: The FLASH was not erased"));
  EXPECT_FALSE(Contains(out_.Logs(), "Erase FLASH successfully"));

  Forget();
  StopAfterLogLine("FLASH blank check");
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->Erase(), OpResult::kStopped);
  EXPECT_FALSE(Contains(out_.Logs(), "Erase FLASH successfully"));
  EXPECT_EQ(out_.IdleFlag, 1);
}

// --- write --verify=full -------------------------------------------------------

TEST_F(ServiceCommandsTest, FullVerificationFindsWhatTheCrcMissed) {
  Bench();
  OfferImage(Pattern(131072, 4));
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->WriteVerifiedFully(), OpResult::kOk);
  const auto logs = out_.Logs();
  EXPECT_EQ(Events(logs.end() - 4, logs.end()),
            (Events{"FLASH content and file the same", "Full FLASH compare",
                    "FLASH content and file the same", "Write FLASH successfully"}));
  EXPECT_EQ(Count(kCmdReadBlock), 512u);

  // The flash is compared with what was written, not with the file as it
  // is by the time the compare runs.
  Forget();
  const std::string image = OfferImage(Pattern(131072, 5));
  out_.on_pump = [&](int) {
    if (Contains(out_.Logs(), "Full FLASH compare")) WriteFile(image, Pattern(131072, 6));
  };
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->WriteVerifiedFully(), OpResult::kOk);
  out_.on_pump = nullptr;

  // What the quick verification cannot see: a byte read back wrong in a
  // block whose CRC the programmer reports right.
  Forget();
  CorruptRead(0x10100, 1, {0x23});
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->WriteVerifiedFully(), OpResult::kMismatch);
  EXPECT_TRUE(Contains(out_.Logs(), "FLASH compare error at address 0x010123"));
  EXPECT_FALSE(Contains(out_.Logs(), "Write FLASH successfully"));

  Forget();
  StopAfterLogLine("Full FLASH compare");
  out_.box_answers = {IDYES};
  EXPECT_EQ(service_->WriteVerifiedFully(), OpResult::kStopped);
  EXPECT_TRUE(Contains(out_.Boxes(), "0x10 Error: User terminate"));
}

// --- compare --diff --------------------------------------------------------------

TEST_F(ServiceCommandsTest, DiffListsMergedRangesAndTheTotal) {
  auto content = Pattern(kFlashSize, 8);
  std::fill(content.begin() + 200000, content.end(), 0xFF);
  Bench({}, content);
  auto file = content;
  file.resize(200000);
  for (uint32_t at : {0x100u, 0x30000u, 0x30001u, 0x30002u, 0x30003u}) file[at] ^= 0xFF;
  OfferImage(file);
  EXPECT_EQ(service_->CompareWithDiff(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs(), (Events{"Full FLASH compare", "FLASH compare error at address 0x000100",
                                 "Differs 0x000100...0x000100, length 1",
                                 "Differs 0x030000...0x030003, length 4",
                                 "Differing bytes in all: 5"}));
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: FLASH compare error at address 0x000100"}));
  EXPECT_EQ(Count(kCmdReadBlock), 262144u / 256);  // the whole image length
}

// Two differences are one range when fewer than 16 equal bytes lie between them.
TEST_F(ServiceCommandsTest, DiffMergesDifferencesFewerThanSixteenEqualBytesApart) {
  struct Case {
    uint32_t equal_between;
    Events ranges;
  };
  const Case cases[] = {
      {14, {"Differs 0x000200...0x00020F, length 16"}},
      {15, {"Differs 0x000200...0x000210, length 17"}},
      {16, {"Differs 0x000200...0x000200, length 1", "Differs 0x000211...0x000211, length 1"}},
  };
  const auto content = Pattern(kFlashSize, 8);
  Bench({}, content);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.equal_between);
    Forget();
    auto file = content;
    file.resize(65536);
    file[0x200] ^= 0xFF;
    file[0x200 + c.equal_between + 1] ^= 0xFF;
    OfferImage(file);
    EXPECT_EQ(service_->CompareWithDiff(), OpResult::kMismatch);
    const auto logs = out_.Logs();
    EXPECT_EQ(Events(logs.begin() + 2, logs.end() - 1), c.ranges);
  }
}

TEST_F(ServiceCommandsTest, DiffListsAtMostAHundredRanges) {
  const auto content = Pattern(kFlashSize, 8);
  Bench({}, content);
  auto file = content;
  file.resize(65536);
  for (uint32_t at = 0; at < 150 * 32; at += 32) file[at] ^= 0x01;
  OfferImage(file);
  EXPECT_EQ(service_->CompareWithDiff(), OpResult::kMismatch);
  const auto logs = out_.Logs();
  ASSERT_EQ(logs.size(), 2u + 100 + 2);
  EXPECT_EQ(logs[101], "Differs 0x000C60...0x000C60, length 1");
  EXPECT_EQ(logs[102], "50 more differing ranges not listed");
  EXPECT_EQ(logs[103], "Differing bytes in all: 150");
}

TEST_F(ServiceCommandsTest, DiffAfterAFailedReadOrAStopListsNothing) {
  const auto content = Pattern(kFlashSize, 8);
  Bench({}, content);
  auto file = content;
  file[10] ^= 1;
  OfferImage(file);
  device_->AddFault({sim::FaultKind::kTimeout, kCmdReadBlock, 0x4000, 0, 1});
  EXPECT_EQ(service_->CompareWithDiff(), OpResult::kFailed);
  // A compare that did not reach its end has no verdict, not even the first
  // difference it met.
  EXPECT_EQ(out_.Logs(), (Events{"Full FLASH compare"}));

  Forget();
  StopAtPump(100, &FlashOperations::SpeedButtonCompareClick);
  EXPECT_EQ(service_->CompareWithDiff(), OpResult::kStopped);
  EXPECT_EQ(out_.Logs(), (Events{"Full FLASH compare"}));
  EXPECT_EQ(out_.IdleFlag, 1);
}

}  // namespace
}  // namespace rtd::test
