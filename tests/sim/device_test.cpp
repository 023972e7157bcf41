// The programmer's firmware and the flash chip behind it, report by report.
#include <cstring>
#include <string>

#include "sim/sim_flash.h"
#include "sim_bench.h"

namespace rtd::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;

class Device : public SimBench {
 protected:
  void SetUp() override { Start(); }
  uint8_t Status() { return AskData(0x46).at(1); }
  Bytes Page(uint8_t value) { return Bytes(256, value); }
};

TEST_F(Device, NoAnswerBeforeTheFirstRequest) {
  HidReport r{};
  r[0] = kReportId;
  ASSERT_TRUE(sim->GetFeature(handle, r.data(), r.size()));
  EXPECT_EQ(r[0], kReportId);
  EXPECT_EQ(r[1], 0);
}

TEST_F(Device, IdentityRecordCarriesTheConfiguredValuesLittleEndian) {
  SimConfig c;
  c.app_version = 0x01020304;
  c.serial = 0xA1B2C3D4;
  c.boot_version = 101;
  c.name = std::string(40, 'N');  // fills the field, no terminator
  Start(c);
  const HidReport reply = Ask(0x01);
  EXPECT_EQ(reply[5], 56);
  const Bytes d = Data(reply);
  ASSERT_EQ(d.size(), 56u);
  EXPECT_EQ(Bytes(d.begin(), d.begin() + 16),
            (Bytes{4, 3, 2, 1, 0xD4, 0xC3, 0xB2, 0xA1, 101, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(std::string(d.begin() + 16, d.end()), std::string(40, 'N'));

  c.name = "RTD";
  Start(c);
  const Bytes short_name = AskData(0x01);
  EXPECT_EQ(std::string(short_name.begin() + 16, short_name.begin() + 19), "RTD");
  EXPECT_EQ(Bytes(short_name.begin() + 19, short_name.end()), Bytes(37, 0));
}

TEST_F(Device, ReadTypeAnswerEchoesTheAddressAndSealsTheFrame) {
  const HidReport reply = Ask(0x42, 0x012345);
  EXPECT_EQ(reply[0], kReportId);
  EXPECT_EQ(reply[1], 0xC2);
  EXPECT_EQ(ReportAddress(reply), 0x012345u);
  EXPECT_EQ(reply[5], 0x80);
  EXPECT_EQ(reply[kReportChecksumOffset], ReportChecksum(reply));
}

TEST_F(Device, RejectsWhatFirmwareCannotParse) {
  // Request checksum broken.
  HidReport bad = Request(0x42, 0x000100);
  bad[kReportChecksumOffset] ^= 1;
  HidReport reply = Send(bad);
  EXPECT_EQ(reply[1], kReplyParamError);
  EXPECT_EQ(ReportAddress(reply), 0x000100u);
  // A length byte no sender produces.
  HidReport odd = Request(0x42, 0);
  odd[5] = 0x81;
  odd[kReportChecksumOffset] = ReportChecksum(odd);
  EXPECT_EQ(Send(odd)[1], kReplyParamError);
  // Commands that do not exist, read- or write-type, and payloads of the wrong size.
  EXPECT_EQ(Ask(0x02)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x03)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x84)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x43, 0, {0x00, 0xFF})[1], kReplyParamError);
  EXPECT_EQ(Ask(0x47, 0)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x49, 0, Bytes(100, 0))[1], kReplyParamError);
  // The only write-type command.
  reply = Ask(0x83, 0);
  EXPECT_EQ(reply[1], kReplySuccess);
  EXPECT_EQ(reply[5], 0);
  // A report that is not report 1, or not 263 bytes, is not taken at all.
  HidReport other = Request(0x42, 0);
  other[0] = 2;
  EXPECT_FALSE(sim->SetFeature(handle, other.data(), other.size()));
  EXPECT_FALSE(sim->SetFeature(handle, other.data(), 64));
  HidReport poll{};
  poll[0] = 2;
  EXPECT_FALSE(sim->GetFeature(handle, poll.data(), poll.size()));
}

TEST_F(Device, JedecIdAndTouchBytes) {
  SimConfig c;
  c.jedec = {0xBF, 0x25, 0x8D};
  c.touch = {0x10, 0x00, 0x20, 0x00, 0x30, 0x00, 0x40, 0x00, 0xAB, 0xCD, 0x07};
  Start(c);
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xBF, 0x25, 0x8D, 0}));
  EXPECT_EQ(AskData(0x70), c.touch);
  EXPECT_EQ(AskData(0x4B), Bytes{0});
}

TEST_F(Device, ReadsWrapAroundTheEndOfTheChip) {
  SimConfig c;
  c.size = 4096;
  Start(c);
  auto& flash = sim->Flash();
  for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>(i * 3 + (i >> 8));
  Bytes expected(256);
  for (uint32_t i = 0; i < 256; ++i) expected[i] = flash[(0xF80 + i) % 4096];
  EXPECT_EQ(AskData(0x42, 0xF80), expected);
  // Address bits above the chip size are ignored, as on the chip.
  EXPECT_EQ(AskData(0x42, 0x1000), Bytes(flash.begin(), flash.begin() + 256));
}

TEST_F(Device, RangeCrcIsCrc8Smbus) {
  auto& flash = sim->Flash();
  std::memcpy(flash.data() + 0x10000, "123456789", 9);
  EXPECT_EQ(AskData(0x43, 0x10000, {0x01, 0x00, 0x08}), (Bytes{0, 0xF4}));
  std::fill(flash.begin(), flash.begin() + 0x10000, uint8_t{0});
  EXPECT_EQ(AskData(0x43, 0, {0x00, 0xFF, 0xFF}), (Bytes{0, 0x00}));
  // One byte: the table entry; 0x80 gives 0x89.
  flash[5] = 0x80;
  EXPECT_EQ(AskData(0x43, 5, {0x00, 0x00, 0x05}), (Bytes{0, 0x89}));
  // Inverted, and past the 512 KiB chip.
  EXPECT_EQ(AskData(0x43, 0x100, {0x00, 0x00, 0xFF}).at(0), 1);
  EXPECT_EQ(AskData(0x43, 0x70000, {0x08, 0x00, 0x00}).at(0), 1);
}

TEST_F(Device, WriteEnableLatchShowsInTheStatusRegister) {
  EXPECT_EQ(Status(), 0x00);
  EXPECT_EQ(AskData(0x44), Bytes{0});
  EXPECT_EQ(Status(), 0x02);
  EXPECT_EQ(AskData(0x45), Bytes{0});
  EXPECT_EQ(Status(), 0x00);

  // A status write needs the latch, keeps only the writable bits, clears it.
  EXPECT_EQ(AskData(0x47, 0, {0x1C}), Bytes{1});
  EXPECT_EQ(Status(), 0x00);
  AskData(0x44);
  EXPECT_EQ(AskData(0x47, 0, {0xFF}), Bytes{0});
  EXPECT_EQ(Status(), 0xFC);
  EXPECT_FALSE(sim->WriteEnabled());
  AskData(0x44);
  AskData(0x47, 0, {0x00});
  EXPECT_EQ(sim->StatusRegister(), 0x00);
}

TEST_F(Device, ChipEraseNeedsTheLatchAndAnUnprotectedChipAndTakesItsTime) {
  SimConfig c;
  c.erase_ms = 40;
  c.status = 0x1C;
  Start(c);
  sim->Flash().assign(c.size, 0x00);

  EXPECT_EQ(AskData(0x48), Bytes{1});  // no latch
  AskData(0x44);
  EXPECT_EQ(AskData(0x48), Bytes{1});  // protected
  EXPECT_EQ(sim->Flash()[0], 0x00);

  AskData(0x44);
  AskData(0x47, 0, {0x00});
  AskData(0x44);
  const uint32_t t0 = clock.Peek();
  EXPECT_EQ(AskData(0x48), Bytes{0});
  // Every poll that finds no answer costs a USB frame of one millisecond.
  EXPECT_GE(polls, 39);
  EXPECT_LE(polls, 41);
  EXPECT_GE(clock.Peek() - t0, 40u);
  EXPECT_EQ(sim->Flash(), Bytes(c.size, 0xFF));
  EXPECT_FALSE(sim->WriteEnabled());
}

TEST_F(Device, PageProgramOnlyClearsBitsAndNeedsTheLatch) {
  auto& flash = sim->Flash();
  std::fill(flash.begin(), flash.begin() + 256, uint8_t{0xF0});

  EXPECT_EQ(AskData(0x49, 0, Page(0x3C)), Bytes{1});  // no latch: nothing written
  EXPECT_EQ(flash[0], 0xF0);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0, Page(0x3C)), Bytes{0});
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 256), Page(0x30));
  EXPECT_FALSE(sim->WriteEnabled());

  // The wrong page-program routine for this (non-0xBF) chip.
  AskData(0x44);
  EXPECT_EQ(AskData(0x4A, 0x100, Page(0x00)), Bytes{1});
  EXPECT_EQ(flash[0x100], 0xFF);

  // Block protection keeps the page.
  sim->SetStatusRegister(0x04);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0x200, Page(0x00)), Bytes{1});
  EXPECT_EQ(flash[0x200], 0xFF);
}

TEST_F(Device, SstChipsTakeOnly0x4A) {
  SimConfig c;
  c.jedec = {0xBF, 0x25, 0x8D};
  Start(c);
  AskData(0x44);
  EXPECT_EQ(AskData(0x49, 0x300, Page(0x12)), Bytes{1});
  EXPECT_EQ(sim->Flash()[0x300], 0xFF);
  EXPECT_EQ(AskData(0x4A, 0x300, Page(0x12)), Bytes{0});
  EXPECT_EQ(sim->Flash()[0x3FF], 0x12);
}

TEST_F(Device, LinkToTheBoardComesUpAfterItsDelayAndDropsOnReset) {
  SimConfig c;
  c.link_up_ms = 300;
  Start(c);
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(299);
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(1);
  EXPECT_EQ(AskData(0x40), Bytes{0});

  EXPECT_EQ(Ask(0x83)[1], kReplySuccess);
  clock.AdvanceMs(1000);  // the delay runs from the next link check, not from the reset
  EXPECT_EQ(AskData(0x40), Bytes{1});
  clock.AdvanceMs(300);
  EXPECT_EQ(AskData(0x40), Bytes{0});

  AskData(0x4B);  // the controller's reset drops the link too
  EXPECT_EQ(AskData(0x40), Bytes{1});
}

TEST_F(Device, EveryTransferCostsItsLatencyAndNothingElse) {
  SimConfig c;
  c.transfer_us = 1000;
  Start(c);
  const uint32_t t0 = clock.Peek();
  for (uint32_t a = 0; a < 64 * 256; a += 256) AskData(0x42, a);
  EXPECT_EQ(polls, 0);
  EXPECT_EQ(clock.Peek() - t0, 64u * 2);
}

TEST_F(Device, RequestsAreRecordedUntilSwitchedOff) {
  Ask(0x43, 0x010000, {0x01, 0xFF, 0xFF});
  ASSERT_EQ(sim->Requests().size(), 1u);
  const SimRequest& r = sim->Requests()[0];
  EXPECT_EQ(r.command, 0x43);
  EXPECT_EQ(r.address, 0x010000u);
  EXPECT_EQ(r.length, 3u);
  EXPECT_EQ(r.payload, (Bytes{0x01, 0xFF, 0xFF}));
  Ask(0x83);
  EXPECT_EQ(sim->Requests().back().command, 0x83);

  sim->SetRecordRequests(false);
  Ask(0x42);
  EXPECT_EQ(sim->Requests().size(), 2u);
  EXPECT_EQ(sim->Exchanges(), 3u);
  sim->ClearRequests();
  EXPECT_TRUE(sim->Requests().empty());
}

TEST(SimCrc8, CatalogueCheckValue) {
  const char* digits = "123456789";
  EXPECT_EQ(SimCrc8(0, reinterpret_cast<const uint8_t*>(digits), 9), 0xF4);
}

}  // namespace
}  // namespace rtd::sim::test
