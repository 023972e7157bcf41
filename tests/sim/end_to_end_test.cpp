// The real link layer talking to the virtual programmer: every way the link
// can fail, produced by the device rather than by a hand-made fake.
#include <gtest/gtest.h>

#include <memory>

#include "i18n/lang.h"
#include "link/commands.h"
#include "link/exchange.h"
#include "recording_output.h"
#include "sim/sim_flash.h"
#include "sim/virtual_programmer.h"

namespace rtd::sim {
namespace {

using Bytes = std::vector<uint8_t>;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    CurrentLanguage = kLanguageEnglish;
  }
  void TearDown() override { CurrentLanguage = saved_language_; }

  void Start(SimConfig config = {}) {
    programmer.reset();
    link.reset();
    sim = std::make_unique<VirtualProgrammer>(std::move(config), clock);
    link = std::make_unique<Link>(*sim, clock, out);
    programmer = std::make_unique<Programmer>(*link);
  }
  LinkStatus ReadBlock(uint32_t address) {
    uint8_t block[256];
    uint32_t room = 256;
    return link->CommandRead(0x42, address, block, 0, &room, 1000);
  }
  void Fault(FaultKind kind, int command, int64_t address = -1) {
    sim->AddFault({kind, command, address, 0, 1});
  }

  int32_t saved_language_ = 0;
  ManualClock clock{1000, 0};
  test::RecordingOutput out{&clock};
  std::unique_ptr<VirtualProgrammer> sim;
  std::unique_ptr<Link> link;
  std::unique_ptr<Programmer> programmer;
};

TEST_F(EndToEnd, SearchRulesOverDecoys) {
  Decoy lower;
  lower.manufacturer = "qel";
  Decoy locked;  // the programmer's identity on a device nobody can open
  locked.openable = false;
  Decoy mute;
  mute.strings_readable = false;
  SimConfig c;
  c.decoys = {lower, locked, mute};
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkOk);  // the programmer after them is found
  EXPECT_EQ(sim->OpenHandles(), 1u);

  link->transport().LinkClose();
  sim->Unplug();
  EXPECT_EQ(ReadBlock(0), kLinkCommFailure);  // the mute one was the last candidate
  c.decoys = {lower, locked};
  c.attached = false;
  Start(c);
  Bytes block(256);
  EXPECT_EQ(programmer->FlashReadBlock(0, block.data()), 1);
  EXPECT_EQ(out.Boxes().back(), "0x10 Error: Error reading from the device\nController is disconnected");
  EXPECT_EQ(sim->OpenHandles(), 0u);

  c.decoys = {Decoy{}};  // a twin ahead of the programmer is taken, and takes no reports
  c.attached = true;
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkCommFailure);
}

TEST_F(EndToEnd, LibraryAndEntryPointsAreRetriedAtTheNextTransfer) {
  SimConfig c;
  c.library_loadable = false;
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkNoLibrary);
  sim->SetLibraryLoadable(true);
  sim->SetEntryPointsPresent(false);
  EXPECT_EQ(ReadBlock(0), kLinkNoEntryPoint);
  EXPECT_EQ(ReadBlock(0), kLinkNoEntryPoint);
  sim->SetEntryPointsPresent(true);
  EXPECT_EQ(ReadBlock(0), kLinkOk);
  EXPECT_EQ(sim->Requests().size(), 1u);
}

TEST_F(EndToEnd, LostTransfersCloseAndTheNextCommandReopens) {
  SimConfig c;
  c.unplug_after = 3;
  Start(c);
  ASSERT_EQ(ReadBlock(0), kLinkOk);
  Fault(FaultKind::kTransferFailure, 0x42, 0x000100);
  EXPECT_EQ(ReadBlock(0x100), kLinkCommFailure);
  EXPECT_EQ(sim->OpenHandles(), 0u);
  EXPECT_EQ(ReadBlock(0x100), kLinkOk);
  EXPECT_EQ(ReadBlock(0x200), kLinkOk);  // the third exchange; the cable goes
  EXPECT_EQ(ReadBlock(0x300), kLinkCommFailure);
  EXPECT_EQ(ReadBlock(0x300), kLinkNotFound);
  sim->Plug();
  EXPECT_EQ(ReadBlock(0x300), kLinkOk);
}

TEST_F(EndToEnd, SilentProgrammerTimesOutAfterTheCommandsTimeLimit) {
  Start();
  Fault(FaultKind::kTimeout, 0x42);
  uint32_t t0 = clock.Peek();
  EXPECT_EQ(ReadBlock(0), kLinkTimeout);
  EXPECT_EQ(clock.Peek() - t0, 1000u);
  EXPECT_TRUE(link->transport().IsOpen());

  Fault(FaultKind::kTimeout, 0x70);
  uint8_t touch[11];
  uint32_t room = 11;
  t0 = clock.Peek();
  EXPECT_EQ(programmer->DeviceRead(0x70, 0, touch, 0, &room, kTimeoutTouch), kLinkTimeout);
  EXPECT_EQ(clock.Peek() - t0, 11u);
  EXPECT_EQ(out.Boxes().back(),
            "0x10 Error: Error reading from the device\nOut of the timeout response");
}

TEST_F(EndToEnd, CorruptRepliesAreCommunicationFailures) {
  Start();
  out.comm_log = true;
  Fault(FaultKind::kBadChecksum, 0x41);
  uint8_t id[5] = {};
  uint32_t room = 5;
  EXPECT_EQ(link->CommandRead(0x41, 0, id, 0, &room, 100), kLinkCommFailure);
  EXPECT_EQ(out.Logs(), (std::vector<std::string>{
                            "     0.000 > CMD:41 ADDR:000000 LEN:000",
                            "     0.000 < CMD:C1 ADDR:000000 LEN:005 [ 00 EF 40 13 00 ]"}));
  EXPECT_TRUE(link->transport().IsOpen());
  out.comm_log = false;

  Fault(FaultKind::kWrongAddress, 0x42, 0x001200);
  EXPECT_EQ(ReadBlock(0x001200), kLinkCommFailure);
  Fault(FaultKind::kWrongAddress, 0x03);
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkCommFailure);
  Fault(FaultKind::kShortBlock, 0x42, 0x001200);
  Bytes block(256);
  EXPECT_EQ(programmer->FlashReadBlock(0x001200, block.data()), 1);
  EXPECT_EQ(out.Logs().back(), "FLASH read error at address 0x001200");
}

TEST_F(EndToEnd, StatusAnswersBecomeNegativeResults) {
  Start();
  Fault(FaultKind::kStatus253, 0x42);
  EXPECT_EQ(ReadBlock(0), kLinkFailedResult);
  Fault(FaultKind::kStatus254, 0x42);
  EXPECT_EQ(ReadBlock(0), kLinkParamError);
  Fault(FaultKind::kStatus254, 0x03);
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkParamError);
  Fault(FaultKind::kStatus253, 0x03);
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkFailedResult);
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkOk);
}

TEST_F(EndToEnd, UnlockEraseAndProgramThroughThePrimitives) {
  SimConfig c;
  c.status = 0x1C;
  c.erase_ms = 2000;  // longer than any other command may take
  Start(c);
  std::ranges::fill(sim->Flash(), uint8_t{0x00});
  uint8_t status = 0;
  ASSERT_EQ(programmer->FlashReadStatus(&status), 0);
  EXPECT_EQ(status, 0x1C);
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  EXPECT_EQ(programmer->FlashEraseChip(), 1);
  EXPECT_EQ(out.Logs().back(), "Error erase FLASH");

  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  ASSERT_EQ(programmer->FlashWriteStatus(0), 0);
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  const uint32_t t0 = clock.Peek();
  ASSERT_EQ(programmer->FlashEraseChip(), 0);
  EXPECT_GE(clock.Peek() - t0, 2000u);
  EXPECT_EQ(Bytes(sim->Flash().begin(), sim->Flash().end()), Bytes(c.size, 0xFF));

  Bytes page(256);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  ASSERT_EQ(programmer->FlashWriteBlock(0x100, page.data(), false), 0);
  uint8_t crc = 0;
  ASSERT_EQ(programmer->FlashRangeCrc(0x100, 0x1FF, &crc), 0);
  EXPECT_EQ(crc, SimCrc8(0, page.data(), page.size()));
  EXPECT_EQ(programmer->FlashWriteBlock(0x200, page.data(), false), 1);  // latch spent
}

TEST_F(EndToEnd, ReadingTheWholeChipCostsTwoTransfersPerBlock) {
  SimConfig c;
  c.transfer_us = 1000;
  Start(c);
  sim->SetRecordRequests(false);
  const uint32_t t0 = clock.Peek();
  for (uint32_t a = 0; a < c.size; a += 256) ASSERT_EQ(ReadBlock(a), kLinkOk);
  EXPECT_EQ(clock.Peek() - t0, 2048u * 2);
}

}  // namespace
}  // namespace rtd::sim
