// The programmer's firmware and the flash chip behind it, report by report.
#include <cstring>
#include <string>

#include "sim_bench.h"

namespace rtd::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;

class Device : public SimBench {
 protected:
  void SetUp() override { Start(); }
  uint8_t Status() { return AskData(0x46).at(1); }
};

TEST_F(Device, IdentityRecordAndFraming) {
  HidReport idle{};
  idle[0] = kReportId;
  ASSERT_TRUE(sim->GetFeature(handle, idle.data(), idle.size()));
  EXPECT_EQ(idle[1], 0);  // nothing asked yet

  SimConfig c;
  c.app_version = 0x01020304;
  c.serial = 0xA1B2C3D4;
  c.boot_version = 101;
  c.name = "RTD";
  Start(c);
  const HidReport reply = Ask(0x01, 0x000102);
  EXPECT_EQ(reply[1], 0x81);
  EXPECT_EQ(ReportAddress(reply), 0x000102u);  // echoed
  Bytes expected = {4, 3, 2, 1, 0xD4, 0xC3, 0xB2, 0xA1, 101, 0, 0, 0, 0, 0, 0, 0, 'R', 'T', 'D'};
  expected.resize(56);
  EXPECT_EQ(Data(reply), expected);
}

TEST_F(Device, RejectsWhatFirmwareCannotParse) {
  HidReport bad = Request(0x42, 0x000100);
  bad[kReportChecksumOffset] ^= 1;
  const HidReport reply = Send(bad);
  EXPECT_EQ(reply[1], kReplyParamError);
  EXPECT_EQ(ReportAddress(reply), 0x000100u);
  HidReport odd = Request(0x42, 0);
  odd[5] = 0x81;  // a length byte no sender produces
  odd[kReportChecksumOffset] = ReportChecksum(odd);
  EXPECT_EQ(Send(odd)[1], kReplyParamError);
  // Unknown commands of either kind, and payloads of the wrong size.
  for (const HidReport& r : {Request(0x02, 0), Request(0x03, 0), Request(0x84, 0),
                             Request(0x43, 0, {0, 0xFF}), Request(0x47, 0),
                             Request(0x49, 0, Bytes(100, 0))})
    EXPECT_EQ(Send(r)[1], kReplyParamError) << int{r[1]};
  EXPECT_EQ(Ask(0x83)[1], kReplySuccess);
  // Not report 1, or not 263 bytes: the transfer itself fails.
  HidReport other = Request(0x42, 0);
  other[0] = 2;
  EXPECT_FALSE(sim->SetFeature(handle, other.data(), other.size()));
  EXPECT_FALSE(sim->SetFeature(handle, Request(0x42, 0).data(), 64));
  EXPECT_FALSE(sim->GetFeature(handle, other.data(), other.size()));
}

TEST_F(Device, BoardAnswers) {
  SimConfig c;
  c.jedec = {0xC2, 0x20, 0x14};
  c.touch = {0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40, 0x00, 0xAB, 0xCD, 0x07};
  c.size = 4096;
  Start(c);
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xC2, 0x20, 0x14, 0}));
  EXPECT_EQ(AskData(0x70), c.touch);
  EXPECT_EQ(AskData(0x4B), Bytes{0});
  // Reads wrap around the end of the chip, as the chip's address counter does.
  const auto flash = sim->Flash();
  for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 3 + (i >> 8));
  Bytes expected(256);
  for (uint32_t i = 0; i < 256; ++i) expected[i] = flash[(0xF80 + i) % 4096];
  EXPECT_EQ(AskData(0x42, 0xF80), expected);
  EXPECT_EQ(AskData(0x42, 0x1000), Bytes(flash.begin(), flash.begin() + 256));
}

TEST_F(Device, RangeCrcIsCrc8Smbus) {
  const auto flash = sim->Flash();
  std::memcpy(flash.data() + 0x10000, "123456789", 9);
  EXPECT_EQ(AskData(0x43, 0x10000, {0x01, 0x00, 0x08}), (Bytes{0, 0xF4}));
  flash[5] = 0x80;
  EXPECT_EQ(AskData(0x43, 5, {0x00, 0x00, 0x05}), (Bytes{0, 0x89}));
  // Inverted, and past the 512 KiB chip.
  EXPECT_EQ(AskData(0x43, 0x100, {0x00, 0x00, 0xFF}).at(0), 1);
  EXPECT_EQ(AskData(0x43, 0x70000, {0x08, 0x00, 0x00}).at(0), 1);
}

TEST_F(Device, StatusRegisterAndWriteEnableLatch) {
  EXPECT_EQ(Status(), 0x00);
  EXPECT_EQ(AskData(0x44), Bytes{0});
  EXPECT_EQ(Status(), 0x02);
  EXPECT_EQ(AskData(0x45), Bytes{0});
  EXPECT_EQ(Status(), 0x00);
  EXPECT_EQ(AskData(0x47, 0, {0x1C}), Bytes{1});  // no latch
  EXPECT_EQ(Status(), 0x00);
  AskData(0x44);
  EXPECT_EQ(AskData(0x47, 0, {0xFF}), Bytes{0});
  EXPECT_EQ(Status(), 0xFC);  // WIP and WEL are not writable; the latch is spent
}

TEST_F(Device, ChipEraseNeedsTheLatchAndAnUnprotectedChipAndTakesItsTime) {
  SimConfig c;
  c.erase_ms = 40;
  c.status = 0x1C;
  Start(c);
  std::ranges::fill(sim->Flash(), uint8_t{0x00});
  EXPECT_EQ(AskData(0x48), Bytes{1});  // no latch
  AskData(0x44);
  EXPECT_EQ(AskData(0x48), Bytes{1});  // protected
  EXPECT_EQ(sim->Flash()[0], 0x00);

  AskData(0x44);
  AskData(0x47, 0, {0x00});
  AskData(0x44);
  EXPECT_EQ(AskData(0x48), Bytes{0});
  EXPECT_EQ(polls, 40);  // a poll that finds no answer costs a 1 ms USB frame
  EXPECT_EQ(Bytes(sim->Flash().begin(), sim->Flash().end()), Bytes(c.size, 0xFF));
  EXPECT_FALSE(sim->WriteEnabled());
}

TEST_F(Device, PageProgramOnlyClearsBitsWithTheRightCommandForTheChip) {
  const auto flash = sim->Flash();
  std::fill(flash.begin(), flash.begin() + 256, uint8_t{0xF0});
  EXPECT_EQ(AskData(0x49, 0, Bytes(256, 0x3C)), Bytes{1});  // no latch
  EXPECT_EQ(flash[0], 0xF0);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0, Bytes(256, 0x3C)), Bytes{0});
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 256), Bytes(256, 0x30));
  EXPECT_FALSE(sim->WriteEnabled());
  AskData(0x44);
  EXPECT_EQ(AskData(0x4A, 0x100, Bytes(256, 0)), Bytes{1});  // the SST routine
  sim->SetStatusRegister(0x04);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0x100, Bytes(256, 0)), Bytes{1});  // protected
  EXPECT_EQ(flash[0x100], 0xFF);

  SimConfig sst;
  sst.jedec = {0xBF, 0x25, 0x8D};
  Start(sst);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0x300, Bytes(256, 0x12)), Bytes{1});
  EXPECT_EQ(AskData(0x4A, 0x300, Bytes(256, 0x12)), Bytes{0});
  EXPECT_EQ(sim->Flash()[0x3FF], 0x12);
}

TEST_F(Device, LinkToTheBoardComesUpAfterItsDelayAndDropsOnResets) {
  SimConfig c;
  c.link_up_ms = 300;
  Start(c);
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(299);
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(1);
  EXPECT_EQ(AskData(0x40), Bytes{0});
  EXPECT_EQ(Ask(0x83)[1], kReplySuccess);
  clock.AdvanceMs(1000);  // the delay runs from the next link check
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(300);
  EXPECT_EQ(AskData(0x40), Bytes{0});
  AskData(0x4B);
  EXPECT_EQ(AskData(0x40), Bytes{1});
}

TEST_F(Device, TransfersCostTheirLatencyAndRequestsAreRecorded) {
  SimConfig c;
  c.transfer_us = 1000;
  Start(c);
  const uint32_t t0 = clock.Peek();
  for (uint32_t a = 0; a < 64 * 256; a += 256) AskData(0x42, a);
  EXPECT_EQ(clock.Peek() - t0, 64u * 2);

  sim->ClearRequests();
  Ask(0x43, 0x010000, {0x01, 0xFF, 0xFF});
  ASSERT_EQ(sim->Requests().size(), 1u);
  const SimRequest& r = sim->Requests()[0];
  EXPECT_EQ(r.command, 0x43);
  EXPECT_EQ(r.address, 0x010000u);
  EXPECT_EQ(r.length, 3u);
  EXPECT_EQ(r.payload, (Bytes{0x01, 0xFF, 0xFF}));
  sim->SetRecordRequests(false);
  Ask(0x42);
  EXPECT_EQ(sim->Requests().size(), 1u);
  EXPECT_EQ(sim->Exchanges(), 66u);
}

}  // namespace
}  // namespace rtd::sim::test
