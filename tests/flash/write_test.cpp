// Erasing and writing the flash from a file.

#include <functional>
#include <set>

#include "flash/service_commands.h"
#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class WriteTest : public FlashBench {
 protected:
  OpResult Write(int answer = IDYES) {
    out_.box_answers = {answer};
    return ops_->SpeedButtonWriteClick();
  }
  // The requests of one command, with their payloads.
  std::vector<sim::SimRequest> RequestsOf(uint8_t command) const {
    std::vector<sim::SimRequest> v;
    for (const auto& r : device_->Requests())
      if (r.command == command) v.push_back(r);
    return v;
  }
  static constexpr const char* kQuestion = "0x30 Warning: It will erase and write FLASH\nContinue?";
};

TEST_F(WriteTest, ProtectedChipIsUnlockedWrittenRelockedAndVerified) {
  sim::SimConfig config;
  config.status = 0x1C;
  Start(config, Pattern(kFlashSize, 7));
  Identify();
  auto image = Pattern(131072, 1);
  std::fill(image.begin() + 1024, image.begin() + 1280, 0xFF);  // one blank page
  OfferImage(image);

  EXPECT_EQ(Write(), OpResult::kOk);
  EXPECT_EQ(out_.Boxes(), (Events{kQuestion}));
  EXPECT_EQ(out_.Logs(), (Events{"Unlock FLASH", "FLASH erase", "FLASH write", "Lock FLASH",
                                 "Quick FLASH compare", "FLASH content and file the same",
                                 "Write FLASH successfully"}));
  EXPECT_TRUE(out_.Has("progress-start 512: FLASH write"));
  EXPECT_EQ(out_.units, (std::vector<uint32_t>{256, 65536}));  // pages, then CRC ranges
  EXPECT_EQ(out_.events.back(), "buttons idle");

  // Every status write and the erase follow a write enable; the unlock comes
  // before the erase, the re-lock after the last page, then write disable;
  // the id is read first, right before anything changes, and last, before
  // success is told.
  const auto commands = Commands();
  const std::vector<uint8_t> head(commands.begin(), commands.begin() + 7);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x41, 0x46, 0x44, 0x47, 0x44, 0x48, 0x44}));
  const std::vector<uint8_t> tail(commands.end() - 7, commands.end());
  EXPECT_EQ(tail, (std::vector<uint8_t>{0x49, 0x44, 0x47, 0x45, 0x43, 0x43, 0x41}));
  const auto status_writes = RequestsOf(kCmdWriteStatus);
  ASSERT_EQ(status_writes.size(), 2u);
  EXPECT_EQ(status_writes[0].payload, Bytes{0x00});
  EXPECT_EQ(status_writes[1].payload, Bytes{0x1C});

  EXPECT_EQ(AddressesOf(kCmdWriteBlock).size(), 511u);  // the blank page is skipped
  EXPECT_EQ(RequestsOf(kCmdWriteEnable).size(), 511u + 3);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), device_->Flash().begin()));
  EXPECT_TRUE(std::all_of(device_->Flash().begin() + 131072, device_->Flash().end(),
                          [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(device_->StatusRegister(), 0x1C);
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(WriteTest, UnprotectedChipNeedsNoStatusWrites) {
  Start();
  Identify();
  OfferImage(Pattern(65536));
  EXPECT_EQ(Write(), OpResult::kOk);
  EXPECT_EQ(out_.Logs(), (Events{"FLASH erase", "FLASH write", "Quick FLASH compare",
                                 "FLASH content and file the same", "Write FLASH successfully"}));
  EXPECT_TRUE(RequestsOf(kCmdWriteStatus).empty());
}

TEST_F(WriteTest, PartialLastPageIsFilledWithBlankAndBlankPagesAreNotSent) {
  Start();
  Identify();
  const auto file = Pattern(100000, 2);
  OfferImage(file);
  EXPECT_EQ(Write(), OpResult::kOk);
  EXPECT_EQ(out_.steps.size(), 512u + 2);  // pages, then the two verified ranges
  const auto pages = RequestsOf(kCmdWriteBlock);
  ASSERT_FALSE(pages.empty());
  const auto& last = pages.back();
  EXPECT_EQ(last.address, 99840u);
  ASSERT_EQ(last.payload.size(), 256u);
  EXPECT_TRUE(std::equal(last.payload.begin(), last.payload.begin() + 160, file.begin() + 99840));
  EXPECT_TRUE(std::all_of(last.payload.begin() + 160, last.payload.end(),
                          [](uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(pages.size(), 391u);
}

TEST_F(WriteTest, BlankImageOnlyErases) {
  Start({}, Pattern(kFlashSize));
  Identify();
  OfferImage(Bytes(65536, 0xFF));
  out_.box_answers = {IDYES, IDYES};  // the write, and the blank image asked about again
  EXPECT_EQ(ops_->SpeedButtonWriteClick(), OpResult::kOk);
  EXPECT_TRUE(RequestsOf(kCmdWriteBlock).empty());
  EXPECT_EQ(out_.Logs().back(), "Write FLASH successfully");
  EXPECT_TRUE(std::all_of(device_->Flash().begin(), device_->Flash().end(),
                          [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(WriteTest, ManufacturerBFTakesItsOwnPageCommand) {
  sim::SimConfig config;
  config.jedec = {0xBF, 0x25, 0x8D};
  Start(config);
  Identify(kFlashSize, {0xBF, 0x25, 0x8D});
  OfferImage(Pattern(65536));
  EXPECT_EQ(Write(), OpResult::kOk);
  EXPECT_EQ(RequestsOf(kCmdWriteBlockBF).size(), 256u);
  EXPECT_TRUE(RequestsOf(kCmdWriteBlock).empty());
}

TEST_F(WriteTest, NoOrNothingToWriteOnChangesNothing) {
  Start();
  Identify();
  OfferImage(Pattern(65536));
  EXPECT_EQ(Write(IDNO), OpResult::kNotStarted);
  EXPECT_EQ(out_.events, (Events{std::string("box ") + kQuestion}));
  EXPECT_EQ(out_.open_calls, 0);

  Forget();
  out_.open_answer.clear();
  EXPECT_EQ(Write(), OpResult::kCancelled);
  EXPECT_EQ(out_.events, (Events{std::string("box ") + kQuestion}));
  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(WriteTest, StopWhileProgrammingSkipsTheRestButPutsTheProtectionBack) {
  sim::SimConfig config;
  config.status = 0x1C;
  Start(config);
  Identify();
  OfferImage(Pattern(131072));
  // Pumps: the 100 ms wait after the unlock, the gauge start, then one
  // before and one in each page's step.
  StopAtPump(40, &FlashOperations::SpeedButtonWriteClick);
  EXPECT_EQ(Write(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes(), (Events{kQuestion, "0x10 Error: User terminate"}));
  EXPECT_EQ(out_.Logs(), (Events{"Unlock FLASH", "FLASH erase", "FLASH write",
                                 "FLASH protection put back (status register 0x1C)"}));
  EXPECT_TRUE(RequestsOf(kCmdWriteDisable).empty());
  EXPECT_TRUE(RequestsOf(kCmdRangeCrc).empty());
  EXPECT_EQ(device_->StatusRegister(), 0x1C);
  EXPECT_EQ(out_.events.back(), "buttons idle");
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(WriteTest, RefusedPageEndsTheWrite) {
  // The chip wants the other page command than the one its id asks for.
  sim::SimConfig config;
  config.jedec = {0xBF, 0x25, 0x8D};
  Start(config);
  Identify();
  // Its id reads as the chip identified, as the check before the erase asks.
  bus_->on_reply = [](uint8_t* report) {
    if (report[1] == (0x80 | kCmdReadJedecId)) report[kReportDataOffset + 1] = 0xEF;
    if (report[1] == (0x80 | kCmdReadJedecId)) report[kReportDataOffset + 2] = 0x40;
    if (report[1] == (0x80 | kCmdReadJedecId)) report[kReportDataOffset + 3] = 0x13;
  };
  OfferImage(Pattern(65536));
  EXPECT_EQ(Write(), OpResult::kFailed);
  EXPECT_EQ(out_.Logs(),
            (Events{"FLASH erase", "FLASH write", "FLASH write error at address 0x000000"}));
  EXPECT_EQ(out_.Boxes().back(), "0x10 Error: FLASH write error at address 0x000000");
  EXPECT_TRUE(RequestsOf(kCmdWriteDisable).empty());
  EXPECT_EQ(out_.events.back(), "buttons idle");
}

TEST_F(WriteTest, VerificationThatFindsADifferenceIsNoSuccess) {
  Start();
  Identify();
  OfferImage(Pattern(131072, 3));
  // Something changes the chip after it was written.
  bool spoiled = false;
  out_.on_pump = [&](int) {
    if (!spoiled && !RequestsOf(kCmdWriteDisable).empty()) {
      device_->Flash()[74565] ^= 0x10;
      spoiled = true;
    }
  };
  EXPECT_EQ(Write(), OpResult::kMismatch);
  EXPECT_EQ(out_.Logs().back(), "FLASH compare error at address 0x010000...0x01FFFF");
  EXPECT_FALSE(out_.Has("log: Write FLASH successfully"));
  EXPECT_TRUE(out_.Has("enable SpeedButtonCompareFast"));

  // A stop during the verification is a stop of the write.
  Forget();
  out_.on_pump = [&](int) {
    if (!RequestsOf(kCmdRangeCrc).empty() && out_.IdleFlag == 0)
      ops_->SpeedButtonCompareFastClick();
  };
  EXPECT_EQ(Write(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes().back(), "0x10 Error: User terminate");
}

TEST_F(WriteTest, FailedStatusReadEndsBeforeTheErase) {
  Start({}, Pattern(kFlashSize));
  Identify();
  OfferImage(Pattern(65536));
  device_->AddFault({sim::FaultKind::kTimeout, kCmdReadStatus, -1, 0, 1});
  EXPECT_EQ(Write(), OpResult::kFailed);
  EXPECT_EQ(Commands(), (std::vector<uint8_t>{0x41, 0x46}));
  EXPECT_EQ(out_.Logs(), (Events{"Nothing was erased"}));
  EXPECT_EQ(out_.Boxes(), (Events{"0x30 Warning: It will erase and write FLASH\nContinue?",
                                  "0x10 Error: Error reading from the device\n"
                                  "Out of the timeout response",
                                  "0x10 Error: Nothing was erased"}));
  EXPECT_TRUE(std::ranges::equal(device_->Flash(), Pattern(kFlashSize)));

  // A refused erase: nothing is programmed after it.
  Forget();
  device_->AddFault({sim::FaultKind::kStatus253, kCmdEraseChip, -1, 0, 1});
  EXPECT_EQ(Write(), OpResult::kFailed);
  EXPECT_EQ(out_.Logs(), (Events{"FLASH erase"}));
  EXPECT_EQ(out_.Boxes().back(), "0x10 Error: Error reading from the device\nFailed result");
  EXPECT_TRUE(RequestsOf(kCmdWriteBlock).empty());
  EXPECT_EQ(out_.events.back(), "buttons idle");
}

// A stop request or a programmer closed between two steps of a write on a
// protected chip; the erase is where the board's firmware is lost.
TEST_F(WriteTest, StopOrCloseBetweenStepsIsSeenBeforeTheNextCommand) {
  enum class Action { kStopClick, kCloseProgrammer };
  struct Case {
    const char* at_log_line;  // acted on at the first pump after it
    Action action;
    bool erased;
  };
  const Case cases[] = {
      {"Unlock FLASH", Action::kStopClick, false},
      {"Unlock FLASH", Action::kCloseProgrammer, false},
      {"FLASH write", Action::kCloseProgrammer, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at_log_line);
    sim::SimConfig config;
    config.status = 0x1C;
    Start(config, Pattern(kFlashSize, 2));
    Identify();
    Forget();
    OfferImage(Pattern(131072));
    bool acted = false;
    bool at_risk_when_acting = false;
    std::size_t requests_when_closed = 0;
    out_.on_pump = [&](int) {
      const auto logs = out_.Logs();
      if (acted || std::find(logs.begin(), logs.end(), c.at_log_line) == logs.end()) return;
      acted = true;
      at_risk_when_acting = ops_->ChipAtRisk();
      if (c.action == Action::kStopClick) {
        EXPECT_EQ(ops_->SpeedButtonWriteClick(), OpResult::kNotStarted);
      } else {
        link_->transport().LinkClose();
        requests_when_closed = device_->Requests().size();
      }
    };
    EXPECT_EQ(Write(), OpResult::kStopped);
    EXPECT_EQ(at_risk_when_acting, c.erased);
    EXPECT_FALSE(ops_->ChipAtRisk());
    EXPECT_EQ(RequestsOf(kCmdEraseChip).size(), c.erased ? 1u : 0u);
    EXPECT_EQ(out_.IdleFlag, 1);
    if (c.action == Action::kCloseProgrammer) {
      // Nothing more is sent: the programmer stays closed, and the chip is
      // said to be left unprotected.
      EXPECT_EQ(device_->Requests().size(), requests_when_closed);
      EXPECT_FALSE(link_->transport().IsOpen());
      EXPECT_EQ(out_.Boxes().back(),
                "0x10 Error: The programmer was closed during the operation; stopped");
      EXPECT_EQ(out_.Logs().back(),
                "The FLASH protection could not be put back: the chip is left unprotected");
    } else {
      EXPECT_EQ(device_->StatusRegister(), 0x1C);
    }
  }
}

// After the unlock, a failing step still ends the write as failed, but the
// chip gets its protection back (once tried; said in the log).
TEST_F(WriteTest, FailureAfterTheUnlockPutsTheProtectionBack) {
  constexpr const char* kPutBack = "FLASH protection put back (status register 0x1C)";
  constexpr const char* kNotPutBack =
      "The FLASH protection could not be put back: the chip is left unprotected";
  struct Case {
    const char* step;
    sim::Fault fault;
    OpResult result;
    const char* last_log;  // nullptr: no word on the protection
  };
  const Case cases[] = {
      // The unlock's status write reached the chip, its answer did not.
      {"unlock's answer spoilt", {sim::FaultKind::kBadChecksum, kCmdWriteStatus, -1, 0, 1},
       OpResult::kFailed, kPutBack},
      {"unlock's answer for another address",
       {sim::FaultKind::kWrongAddress, kCmdWriteStatus, -1, 0, 1}, OpResult::kFailed, kPutBack},
      {"unlock's answer short", {sim::FaultKind::kShortBlock, kCmdWriteStatus, -1, 0, 1},
       OpResult::kFailed, kPutBack},
      {"unlock's answer flipped", {sim::FaultKind::kFlippedBit, kCmdWriteStatus, -1, 0, 1},
       OpResult::kFailed, kPutBack},
      {"erase's write enable", {sim::FaultKind::kTimeout, kCmdWriteEnable, -1, 1, 1},
       OpResult::kFailed, kPutBack},
      {"erase", {sim::FaultKind::kStatus253, kCmdEraseChip, -1, 0, 1}, OpResult::kFailed,
       kPutBack},
      {"page's write enable", {sim::FaultKind::kTimeout, kCmdWriteEnable, -1, 4, 1},
       OpResult::kFailed, kPutBack},
      {"page", {sim::FaultKind::kStatus253, kCmdWriteBlock, 0x300, 0, 1}, OpResult::kFailed,
       kPutBack},
      {"re-lock", {sim::FaultKind::kTimeout, kCmdWriteStatus, -1, 1, 1}, OpResult::kFailed,
       kPutBack},
      {"every status write", {sim::FaultKind::kTimeout, kCmdWriteStatus, -1, 1, 0},
       OpResult::kFailed, kNotPutBack},
      {"verification", {sim::FaultKind::kStatus253, kCmdRangeCrc, -1, 0, 1}, OpResult::kFailed,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    sim::SimConfig config;
    config.status = 0x1C;
    Start(config);
    Identify();
    Forget();
    OfferImage(Pattern(65536));
    device_->AddFault(c.fault);
    EXPECT_EQ(Write(), c.result);
    const auto logs = out_.Logs();
    EXPECT_EQ(std::count(logs.begin(), logs.end(), kPutBack) +
                  std::count(logs.begin(), logs.end(), kNotPutBack),
              c.last_log != nullptr ? 1 : 0);
    if (c.last_log != nullptr) {
      EXPECT_EQ(logs.back(), c.last_log);
    }
    EXPECT_EQ(device_->StatusRegister() & 0x1C, c.last_log == kNotPutBack ? 0x00 : 0x1C);
    EXPECT_FALSE(out_.Has("log: Write FLASH successfully"));
    EXPECT_EQ(out_.IdleFlag, 1);
  }
}

// The close question's "left without firmware" holds from the erase until
// the last page is written (the write) or the erase is done (the erase on
// its own); not during the verification or the blank check after it.
TEST_F(WriteTest, TheChipIsAtRiskOnlyWhileStoppingWouldLeaveItWithoutFirmware) {
  const struct {
    const char* name;
    std::function<OpResult()> run;
    const char* after;  // at risk no more from this log line on
  } cases[] = {
      {"write", [this] { return Write(); }, "Quick FLASH compare"},
      {"erase", [this] {
         out_.box_answers = {IDYES};
         return ServiceCommands(*ops_).Erase();
       },
       "FLASH blank check"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start({}, Pattern(kFlashSize, 3));
    Identify();
    Forget();
    OfferImage(Pattern(65536));
    std::set<std::string> at_risk_in;
    std::set<std::string> safe_in;
    out_.on_pump = [&](int) {
      const auto logs = out_.Logs();
      if (logs.empty()) return;
      (ops_->ChipAtRisk() ? at_risk_in : safe_in).insert(logs.back());
    };
    EXPECT_EQ(c.run(), OpResult::kOk);
    EXPECT_TRUE(at_risk_in.count("FLASH erase") == 1 || at_risk_in.count("FLASH write") == 1);
    EXPECT_TRUE(safe_in.count(c.after)) << c.after;
    EXPECT_FALSE(at_risk_in.count(c.after)) << c.after;
  }
}

}  // namespace
}  // namespace rtd::test
