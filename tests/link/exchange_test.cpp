// One request, one reply: timeouts, reply checks, capacity and the
// communication log.
#include <gtest/gtest.h>

#include "fake_hid.h"
#include "link/exchange.h"
#include "recording_output.h"

namespace rtd::test {
namespace {

class ExchangeTest : public ::testing::Test {
 protected:
  ExchangeTest() { hid.Add(); }

  ManualClock clock{1000, 0};
  FakeHid hid{&clock};
  RecordingOutput out{&clock};
  Link link{hid, clock, out};

  LinkStatus Read(uint8_t code, uint32_t address, uint8_t* buffer, uint32_t length,
                  uint32_t* capacity, uint32_t timeout = 100) {
    return link.CommandRead(code, address, buffer, length, capacity, timeout);
  }
};

TEST_F(ExchangeTest, TimeoutCountsFromTheEndOfTheSend) {
  // Starts just below the wrap of the 32-bit tick.
  ManualClock c(0xFFFFFF00u, 1);
  FakeHid h(&c);
  h.Add();
  h.set_feature_ms = 500;
  Link l(h, c, out);
  HidReport r{};
  r[1] = 0x40;
  EXPECT_EQ(l.ReportExchange(r, 100), kLinkTimeout);
  const uint32_t waited = c.Peek() - 0xFFFFFF00u;
  EXPECT_GE(waited, 600u);
  EXPECT_LE(waited, 603u);
  EXPECT_TRUE(l.transport().IsOpen());  // a timeout keeps the handle
  EXPECT_FALSE(l.ExchangeBusy);
  EXPECT_EQ(out.pumps, 0);  // polling processes no messages
}

TEST_F(ExchangeTest, WaitsForARunningExchange) {
  link.ExchangeBusy = true;
  out.on_pump = [&](int n) {
    if (n == 3) link.ExchangeBusy = false;
  };
  hid.Answer(MakeReply(0xC0, 0, {0x00}));
  uint8_t b[1];
  uint32_t capacity = 1;
  EXPECT_EQ(Read(0x40, 0, b, 0, &capacity), kLinkOk);
  EXPECT_EQ(out.pumps, 3);
  EXPECT_FALSE(link.ExchangeBusy);
}

struct ReplyCase {
  const char* name;
  bool write_type;
  HidReport reply;
  LinkStatus expected;
};

TEST_F(ExchangeTest, ReplyChecks) {
  HidReport bad_sum = MakeReply(0xC2, 0x001200, {1, 2, 3});
  bad_sum[262] ^= 1;
  const std::vector<ReplyCase> cases = {
      {"read: data answer", false, MakeReply(0xC2, 0x001200, {1}), kLinkOk},
      {"read: bad checksum", false, bad_sum, kLinkCommFailure},
      {"read: other command", false, MakeReply(0xC3, 0x001200, {1}), kLinkCommFailure},
      {"read: no 0x80 bit", false, MakeReply(0x42, 0x001200, {1}), kLinkCommFailure},
      {"read: address not echoed", false, MakeReply(0xC2, 0x001300, {1}), kLinkCommFailure},
      {"read: status 253", false, MakeReply(253, 0x001200), kLinkFailedResult},
      {"read: status 254", false, MakeReply(254, 0x001200), kLinkParamError},
      {"read: status before echo", false, MakeReply(253, 0x777777), kLinkFailedResult},
      {"write: status 255", true, MakeReply(255, 0x001200), kLinkOk},
      {"write: status 253", true, MakeReply(253, 0x001200), kLinkFailedResult},
      {"write: status 254", true, MakeReply(254, 0x001200), kLinkParamError},
      {"write: echo before status", true, MakeReply(254, 0x001300), kLinkCommFailure},
      {"write: not a status", true, MakeReply(0x83, 0x001200), kLinkCommFailure},
      {"write: bad checksum", true, [] {
         HidReport r = MakeReply(255, 0x001200);
         r[262] ^= 0x80;
         return r;
       }(), kLinkCommFailure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    hid.replies.clear();
    hid.Answer(c.reply);
    if (c.write_type) {
      EXPECT_EQ(link.CommandWrite(0x03, 0x001200, nullptr, 0, 100), c.expected);
      EXPECT_EQ(hid.sent.back()[1], 0x83);
    } else {
      uint8_t b[8] = {};
      uint32_t capacity = 8;
      EXPECT_EQ(Read(0x42, 0x001200, b, 0, &capacity), c.expected);
    }
    EXPECT_TRUE(link.transport().IsOpen());  // none of these closes the handle
  }
}

TEST_F(ExchangeTest, TransferFailurePassesUpAndCloses) {
  hid.FailTransfer();
  uint8_t b[1];
  uint32_t capacity = 1;
  EXPECT_EQ(Read(0x40, 0, b, 0, &capacity), kLinkCommFailure);
  EXPECT_FALSE(link.transport().IsOpen());
  hid.devices[0].present = false;
  EXPECT_EQ(Read(0x40, 0, b, 0, &capacity), kLinkNotFound);
  EXPECT_EQ(hid.sent.size(), 1u);
  EXPECT_FALSE(link.ExchangeBusy);
}

TEST_F(ExchangeTest, CapacityAndBareStatus) {
  std::vector<uint8_t> data(256);
  for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);
  hid.Answer(MakeReply(0x81, 0, data));
  uint8_t info[56] = {};
  uint32_t capacity = 56;
  EXPECT_EQ(Read(0x01, 0, info, 0, &capacity), kLinkOk);
  EXPECT_EQ(capacity, 56u);
  EXPECT_EQ(info[55], 55);

  // 0xFF in the length byte still means 256.
  hid.Answer(MakeReply(0xC2, 0, data, 0xFF));
  uint8_t block[256] = {};
  capacity = 256;
  EXPECT_EQ(Read(0x42, 0, block, 0, &capacity), kLinkOk);
  EXPECT_EQ(capacity, 256u);
  EXPECT_EQ(block[255], 255);

  // A bare success status copies nothing.
  hid.Answer(MakeReply(255, 0));
  uint8_t untouched[4] = {9, 9, 9, 9};
  capacity = 4;
  bool data_answer = true;
  EXPECT_EQ(link.CommandRead(0x44, 0, untouched, 0, &capacity, 100, &data_answer), kLinkOk);
  EXPECT_EQ(capacity, 4u);
  EXPECT_EQ(untouched[0], 9);
  EXPECT_FALSE(data_answer);
}

TEST_F(ExchangeTest, OversizedPayloadIsNotSent) {
  std::vector<uint8_t> big(257);
  uint32_t capacity = 1;
  EXPECT_EQ(link.CommandWrite(0x49, 0, big.data(), 257, 100), kLinkParamError);
  EXPECT_EQ(Read(0x49, 0, big.data(), 257, &capacity), kLinkParamError);
  EXPECT_TRUE(hid.sent.empty());
  EXPECT_EQ(hid.enumerations, 0);
  EXPECT_EQ(link.PollHoldoff, 2);
}

TEST_F(ExchangeTest, CommLogLines) {
  out.comm_log = true;
  uint8_t payload[3] = {0x01, 0xFF, 0xFF};
  uint8_t answer[2];
  uint32_t capacity = 2;

  // The watch's identity poll never shows.
  hid.Answer(MakeReply(0x81, 0, std::vector<uint8_t>(56)));
  uint8_t info[56];
  uint32_t info_room = 56;
  ASSERT_EQ(Read(0x01, 0, info, 0, &info_room), kLinkOk);
  EXPECT_TRUE(out.Logs().empty());

  clock.AdvanceMs(5000);
  hid.Answer(MakeReply(0xC3, 0x010000, {0x00, 0x7E}));
  ASSERT_EQ(Read(0x43, 0x010000, payload, 3, &capacity), kLinkOk);

  clock.AdvanceMs(2345);
  hid.set_feature_ms = 6;
  payload[0] = 0x01;  // the first answer landed here
  payload[1] = 0xFF;
  hid.Answer(MakeReply(0xC3, 0x010000, {0x00, 0x7E}));
  ASSERT_EQ(Read(0x43, 0x010000, payload, 3, &capacity), kLinkOk);

  hid.set_feature_ms = 0;
  hid.Answer(MakeReply(0xC4, 0, {0x00}));
  ASSERT_EQ(Read(0x44, 0, answer, 0, &capacity), kLinkOk);

  const std::vector<std::string> expected = {
      "     0.000 > CMD:43 ADDR:010000 LEN:003 [ 01 FF FF ]",
      "     0.000 < CMD:C3 ADDR:010000 LEN:002 [ 00 7E ]",
      "     2.345 > CMD:43 ADDR:010000 LEN:003 [ 01 FF FF ]",
      "     2.351 < CMD:C3 ADDR:010000 LEN:002 [ 00 7E ]",
      "     2.351 > CMD:44 ADDR:000000 LEN:000",
      "     2.351 < CMD:C4 ADDR:000000 LEN:001 [ 00 ]",
  };
  EXPECT_EQ(out.Logs(), expected);

  // A corrupt reply is logged before it is rejected; a full block is dumped whole.
  out.events.clear();
  HidReport bad = MakeReply(0xC2, 0x000100, std::vector<uint8_t>(256, 0xAB));
  bad[262] ^= 1;
  hid.Answer(bad);
  uint8_t block[256];
  capacity = 256;
  EXPECT_EQ(Read(0x42, 0x000100, block, 0, &capacity), kLinkCommFailure);
  ASSERT_EQ(out.Logs().size(), 2u);
  const std::string reply_line = out.Logs()[1];
  EXPECT_EQ(reply_line.rfind("     2.351 < CMD:C2 ADDR:000100 LEN:256 [ AB AB", 0), 0u);
  EXPECT_EQ(reply_line.size(), 39u + 2 + 256 * 3 + 2);
  EXPECT_EQ(reply_line.substr(reply_line.size() - 4), "AB ]");

  // Off: nothing.
  out.events.clear();
  out.comm_log = false;
  hid.Answer(MakeReply(0xC4, 0, {0x00}));
  ASSERT_EQ(Read(0x44, 0, answer, 0, &capacity), kLinkOk);
  EXPECT_TRUE(out.Logs().empty());
}

TEST(CommLog, OriginAtTickZero) {
  ManualClock clock(0, 0);
  FakeHid hid(&clock);
  RecordingOutput out(&clock);
  out.comm_log = true;
  Link link(hid, clock, out);
  HidReport r{};
  r[1] = 0x40;
  link.CommLogLine(">", r);
  clock.AdvanceMs(1001);
  link.CommLogLine("<", r);
  EXPECT_EQ(out.Logs(), (std::vector<std::string>{"     0.000 > CMD:40 ADDR:000000 LEN:000",
                                                  "     1.000 < CMD:40 ADDR:000000 LEN:000"}));
}

}  // namespace
}  // namespace rtd::test
