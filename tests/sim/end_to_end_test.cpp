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
  // One block read through the link; the status it ended with.
  LinkStatus ReadBlock(uint32_t address, Bytes* data = nullptr) {
    Bytes block(256);
    uint32_t room = 256;
    const LinkStatus r = link->CommandRead(0x42, address, block.data(), 0, &room, 1000);
    if (data != nullptr) *data = Bytes(block.begin(), block.begin() + room);
    return r;
  }
  Decoy Twin() { return Decoy{}; }  // the programmer's identity, on another device

  int32_t saved_language_ = 0;
  ManualClock clock{1000, 0};
  test::RecordingOutput out{&clock};
  std::unique_ptr<VirtualProgrammer> sim;
  std::unique_ptr<Link> link;
  std::unique_ptr<Programmer> programmer;
};

TEST_F(EndToEnd, ReadsWhatTheFlashHolds) {
  Start();
  auto& flash = sim->Flash();
  for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i ^ (i >> 8));
  Bytes block(256);
  ASSERT_EQ(programmer->FlashReadBlock(0x012300, block.data()), 0);
  EXPECT_EQ(block, Bytes(flash.begin() + 0x012300, flash.begin() + 0x012400));
  EXPECT_TRUE(out.Boxes().empty());
}

TEST_F(EndToEnd, NotFound) {
  SimConfig c;
  c.attached = false;
  Decoy lower;
  lower.manufacturer = "qel";
  Decoy other_ids;
  other_ids.product_id = 0x00FE;
  c.decoys = {lower, other_ids};
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkNotFound);
  Bytes block(256);
  EXPECT_EQ(programmer->FlashReadBlock(0, block.data()), 1);
  EXPECT_EQ(out.Boxes(),
            (std::vector<std::string>{
                "0x10 Error: Error reading from the device\nController is disconnected"}));
  EXPECT_EQ(sim->OpenHandles(), 0u);  // every device looked at was closed again
}

TEST_F(EndToEnd, UnopenableDeviceIsSkipped) {
  SimConfig c;
  Decoy locked = Twin();
  locked.openable = false;
  c.decoys = {locked};
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkOk);
  EXPECT_EQ(sim->OpenHandles(), 1u);
}

TEST_F(EndToEnd, UnreadableStringsGiveCommunicationFailureUnlessALaterDeviceMatches) {
  SimConfig c;
  Decoy mute = Twin();
  mute.strings_readable = false;
  c.decoys = {mute};
  Start(c);
  EXPECT_EQ(ReadBlock(0), kLinkOk);  // the programmer after it wins
  link->transport().LinkClose();
  sim->Unplug();
  EXPECT_EQ(ReadBlock(0), kLinkCommFailure);
  EXPECT_EQ(sim->OpenHandles(), 0u);
}

TEST_F(EndToEnd, FirstMatchingDeviceIsKept) {
  SimConfig c;
  Decoy twin = Twin();
  c.decoys = {twin};
  Start(c);
  // The twin comes first, is opened and kept; it takes no reports.
  EXPECT_EQ(ReadBlock(0), kLinkCommFailure);
  EXPECT_EQ(sim->OpenHandles(), 0u);
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
  EXPECT_EQ(sim->Requests().size(), 1u);  // nothing went out before
}

TEST_F(EndToEnd, TransferFailureClosesAndTheNextCommandReopens) {
  Start();
  ASSERT_EQ(ReadBlock(0), kLinkOk);
  sim->AddFault({FaultKind::kTransferFailure, 0x42, 0x000100, 0, 1});
  EXPECT_EQ(ReadBlock(0x100), kLinkCommFailure);
  EXPECT_FALSE(link->transport().IsOpen());
  EXPECT_EQ(sim->OpenHandles(), 0u);
  EXPECT_EQ(ReadBlock(0x100), kLinkOk);
  EXPECT_TRUE(link->transport().IsOpen());
}

TEST_F(EndToEnd, UnpluggedThenNotFoundThenBackWithoutHelp) {
  Start();
  ASSERT_EQ(ReadBlock(0), kLinkOk);
  sim->Unplug();
  EXPECT_EQ(ReadBlock(0), kLinkCommFailure);
  EXPECT_EQ(ReadBlock(0), kLinkNotFound);
  sim->Plug();
  EXPECT_EQ(ReadBlock(0), kLinkOk);
}

TEST_F(EndToEnd, UnplugAfterCutsAnOperationShort) {
  SimConfig c;
  c.unplug_after = 3;
  Start(c);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadBlock(0x100u * i), kLinkOk);
  EXPECT_EQ(ReadBlock(0x300), kLinkCommFailure);
  EXPECT_EQ(ReadBlock(0x300), kLinkNotFound);
}

TEST_F(EndToEnd, SilentProgrammerTimesOutAfterTheCommandsTimeLimit) {
  Start();
  sim->AddFault({FaultKind::kTimeout, 0x42, -1, 0, 1});
  uint32_t t0 = clock.Peek();
  EXPECT_EQ(ReadBlock(0), kLinkTimeout);
  EXPECT_GE(clock.Peek() - t0, 1000u);
  EXPECT_LE(clock.Peek() - t0, 1002u);
  EXPECT_TRUE(link->transport().IsOpen());  // a timeout keeps the handle

  sim->AddFault({FaultKind::kTimeout, 0x70, -1, 0, 1});
  Bytes touch(11);
  uint32_t room = 11;
  t0 = clock.Peek();
  EXPECT_EQ(programmer->DeviceRead(0x70, 0, touch.data(), 0, &room, kTimeoutTouch), kLinkTimeout);
  EXPECT_LE(clock.Peek() - t0, 13u);
  EXPECT_EQ(out.Boxes().back(), "0x10 Error: Error reading from the device\nOut of the timeout response");
}

TEST_F(EndToEnd, BadReplyChecksumIsStillLogged) {
  Start();
  out.comm_log = true;
  sim->AddFault({FaultKind::kBadChecksum, 0x41, -1, 0, 1});
  uint8_t id[5] = {};
  uint32_t room = 5;
  EXPECT_EQ(link->CommandRead(0x41, 0, id, 0, &room, 100), kLinkCommFailure);
  const auto logs = out.Logs();
  ASSERT_EQ(logs.size(), 2u);
  EXPECT_EQ(logs[0], "     0.000 > CMD:41 ADDR:000000 LEN:000");
  EXPECT_EQ(logs[1], "     0.000 < CMD:C1 ADDR:000000 LEN:005 [ 00 EF 40 13 00 ]");
  EXPECT_TRUE(link->transport().IsOpen());
}

TEST_F(EndToEnd, WrongAddressEchoAndShortBlock) {
  Start();
  sim->AddFault({FaultKind::kWrongAddress, 0x42, 0x001200, 0, 1});
  EXPECT_EQ(ReadBlock(0x001200), kLinkCommFailure);
  sim->AddFault({FaultKind::kWrongAddress, 0x03, -1, 0, 1});
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkCommFailure);

  sim->AddFault({FaultKind::kShortBlock, 0x42, 0x001200, 0, 1});
  Bytes block(256);
  EXPECT_EQ(programmer->FlashReadBlock(0x001200, block.data()), 1);
  EXPECT_EQ(out.Logs(), std::vector<std::string>{"FLASH read error at address 0x001200"});
}

TEST_F(EndToEnd, StatusAnswersBecomeNegativeResults) {
  Start();
  sim->AddFault({FaultKind::kStatus253, 0x42, -1, 0, 1});
  EXPECT_EQ(ReadBlock(0), kLinkFailedResult);
  sim->AddFault({FaultKind::kStatus254, 0x42, -1, 0, 1});
  EXPECT_EQ(ReadBlock(0), kLinkParamError);
  sim->AddFault({FaultKind::kStatus254, 0x03, -1, 0, 1});
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkParamError);
  sim->AddFault({FaultKind::kStatus253, 0x03, -1, 0, 1});
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkFailedResult);
  EXPECT_EQ(programmer->ProgrammerReset(), kLinkOk);
}

TEST_F(EndToEnd, IdentityRecordArrivesWhole) {
  SimConfig c;
  c.name = "Bench";
  c.serial = 4242;
  c.app_version = 105;
  c.boot_version = 0;
  Start(c);
  ASSERT_EQ(programmer->ReadProgrammerInfo(), kLinkOk);
  EXPECT_EQ(programmer->ProgrammerInfo.ControllerName(), "Bench");
  EXPECT_EQ(programmer->ProgrammerInfo.SerialNumber(), 4242u);
  EXPECT_EQ(programmer->ProgrammerInfo.AppVersion(), 105u);
  EXPECT_EQ(programmer->ProgrammerInfo.BootVersion(), 0u);
}

TEST_F(EndToEnd, EraseAndProgramThroughThePrimitives) {
  SimConfig c;
  c.status = 0x1C;
  c.erase_ms = 2000;  // longer than any other command may take
  Start(c);
  sim->Flash().assign(c.size, 0x00);
  uint8_t status = 0;
  ASSERT_EQ(programmer->FlashReadStatus(&status), 0);
  EXPECT_EQ(status, 0x1C);
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  EXPECT_EQ(programmer->FlashEraseChip(), 1);  // still protected
  EXPECT_EQ(out.Logs().back(), "Error erase FLASH");

  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  ASSERT_EQ(programmer->FlashWriteStatus(0), 0);
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  const uint32_t t0 = clock.Peek();
  ASSERT_EQ(programmer->FlashEraseChip(), 0);
  EXPECT_GE(clock.Peek() - t0, 2000u);
  EXPECT_EQ(sim->Flash(), Bytes(c.size, 0xFF));

  const Bytes page(256, 0xA5);
  EXPECT_EQ(programmer->FlashWriteBlock(0x100, page.data(), false), 1);  // no latch
  ASSERT_EQ(programmer->FlashWriteEnable(), 0);
  ASSERT_EQ(programmer->FlashWriteBlock(0x100, page.data(), false), 0);
  uint8_t crc = 0;
  ASSERT_EQ(programmer->FlashRangeCrc(0x100, 0x1FF, &crc), 0);
  EXPECT_EQ(crc, SimCrc8(0, page.data(), page.size()));
  EXPECT_NE(crc, 0);
}

TEST_F(EndToEnd, ReadingTheWholeChipCostsTwoTransfersPerBlock) {
  SimConfig c;
  c.transfer_us = 1000;
  Start(c);
  sim->SetRecordRequests(false);
  const uint32_t t0 = clock.Peek();
  for (uint32_t a = 0; a < c.size; a += 256) ASSERT_EQ(ReadBlock(a), kLinkOk);
  EXPECT_EQ(clock.Peek() - t0, 2048u * 2);
  EXPECT_EQ(sim->Exchanges(), 2048u);
}

}  // namespace
}  // namespace rtd::sim
