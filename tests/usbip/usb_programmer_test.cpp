// The programmer as the kernel's virtual host controller sees it: URBs in,
// replies out, and the vhci-hcd sysfs files.
#include "usbip/usb_programmer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "link/report.h"
#include "temp_dir.h"
#include "usbip/vhci.h"

namespace rtd::usbip {
namespace {

using Bytes = std::vector<uint8_t>;

struct Reply {
  UsbipHeader header;
  Bytes data;
};

class Bus : public ::testing::Test {
 protected:
  // The programmer, or the device at that place in the bus's enumeration.
  void Start(sim::SimConfig config = {}, int device_index = -1) {
    device.reset();
    programmer = std::make_unique<sim::VirtualProgrammer>(std::move(config), clock);
    device = std::make_unique<UsbProgrammer>(
        *programmer,
        device_index < 0 ? std::string() : programmer->EnumerateInterfaces().at(device_index));
  }
  void SetUp() override { Start(); }

  static Bytes Submit(uint32_t seqnum, uint32_t ep, uint32_t direction, uint32_t length,
                      std::array<uint8_t, 8> setup = {}, const Bytes& out_data = {}) {
    UsbipHeader h;
    h.command = kCmdSubmit;
    h.seqnum = seqnum;
    h.devid = 0x10002;
    h.direction = direction;
    h.ep = ep;
    h.length = length;
    h.setup = setup;
    Bytes packet;
    AppendHeader(h, packet);
    packet.insert(packet.end(), out_data.begin(), out_data.end());
    return packet;
  }
  static std::array<uint8_t, 8> Setup(uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                                      uint16_t length) {
    return {type,
            request,
            static_cast<uint8_t>(value),
            static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(index),
            static_cast<uint8_t>(index >> 8),
            static_cast<uint8_t>(length),
            static_cast<uint8_t>(length >> 8)};
  }

  // Feeds the bytes (in pieces of `piece` bytes) and splits what comes back.
  std::vector<Reply> Send(const Bytes& bytes, std::size_t piece = 0) {
    Bytes out;
    if (piece == 0) piece = bytes.size();
    for (std::size_t i = 0; i < bytes.size(); i += piece)
      EXPECT_TRUE(device->Receive(bytes.data() + i, std::min(piece, bytes.size() - i), out));
    std::vector<Reply> replies;
    std::size_t at = 0;
    while (at + kHeaderSize <= out.size()) {
      Reply r{ParseHeader(out.data() + at), {}};
      at += kHeaderSize;
      const std::size_t n = r.header.command == kRetSubmit && r.header.word5 == 0
                                ? std::min<std::size_t>(r.header.length, out.size() - at)
                                : 0;
      r.data.assign(out.begin() + static_cast<std::ptrdiff_t>(at),
                    out.begin() + static_cast<std::ptrdiff_t>(at + n));
      at += n;
      replies.push_back(r);
    }
    EXPECT_EQ(at, out.size());
    return replies;
  }
  Reply ControlIn(uint8_t type, uint8_t request, uint16_t value, uint16_t length) {
    auto replies = Send(Submit(++seq, 0, kDirIn, length, Setup(type, request, value, 0, length)));
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Reply{} : replies[0];
  }
  int32_t SetReport(const Bytes& report, std::size_t piece = 0) {
    const auto size = static_cast<uint16_t>(report.size());
    auto replies =
        Send(Submit(++seq, 0, kDirOut, size, Setup(0x21, 0x09, 0x0301, 0, size), report), piece);
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? 1 : static_cast<int32_t>(replies[0].header.word5);
  }
  static Bytes InfoRequest() {
    HidReport r{};
    r[0] = kReportId;
    r[1] = 0x01;
    r[kReportChecksumOffset] = ReportChecksum(r);
    return Bytes(r.begin(), r.end());
  }

  ManualClock clock;
  std::unique_ptr<sim::VirtualProgrammer> programmer;
  std::unique_ptr<UsbProgrammer> device;
  uint32_t seq = 0;
};

std::string Utf16Text(const Bytes& descriptor) {
  std::string text;
  for (std::size_t i = 2; i + 1 < descriptor.size(); i += 2)
    text.push_back(static_cast<char>(descriptor[i]));
  return text;
}

bool Contains(const Bytes& bytes, const Bytes& part) {
  return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

TEST_F(Bus, EnumeratesAsTheProgrammer) {
  const Bytes device_descriptor = ControlIn(0x80, 0x06, 0x0100, 64).data;
  ASSERT_EQ(device_descriptor.size(), 18u);
  EXPECT_EQ(Bytes(device_descriptor.begin() + 8, device_descriptor.begin() + 12),
            (Bytes{0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(ControlIn(0x80, 0x06, 0x0100, 8).data.size(), 8u);  // cut to wLength
  EXPECT_EQ(Utf16Text(ControlIn(0x80, 0x06, 0x0301, 255).data), "QEL");
  EXPECT_EQ(Utf16Text(ControlIn(0x80, 0x06, 0x0302, 255).data), "ZEZ2662-IDAD");
  EXPECT_EQ(Utf16Text(ControlIn(0x80, 0x06, 0x0303, 255).data), "12345");
  EXPECT_EQ(ControlIn(0x80, 0x06, 0x0200, 255).data.size(), 34u);

  // Feature report 1: report id 1, then 262 bytes (0x0106) of data.
  const Bytes report = ControlIn(0x81, 0x06, 0x2200, 255).data;
  EXPECT_TRUE(Contains(report, {0x85, 0x01}));
  EXPECT_TRUE(Contains(report, {0x96, 0x06, 0x01}));
  EXPECT_TRUE(Contains(report, {0xB1, 0x02}));  // a feature report

  EXPECT_EQ(static_cast<int32_t>(ControlIn(0x80, 0x06, 0x0600, 10).header.word5), kStatusStall);
}

TEST_F(Bus, FeatureReportsReachTheProgrammer) {
  EXPECT_EQ(SetReport(InfoRequest(), 100), 0);  // arriving in pieces
  const Reply reply = ControlIn(0xA1, 0x01, 0x0301, kReportSize);
  ASSERT_EQ(reply.data.size(), kReportSize);
  EXPECT_EQ(reply.data[0], kReportId);
  EXPECT_EQ(reply.data[1], 0x81);
  HidReport r;
  std::copy(reply.data.begin(), reply.data.end(), r.begin());
  EXPECT_EQ(r[kReportChecksumOffset], ReportChecksum(r));
}

TEST_F(Bus, RefusesAFeatureReportOfAnotherLength) {
  Bytes short_report = InfoRequest();
  short_report.pop_back();
  EXPECT_EQ(SetReport(short_report), kStatusStall);
  EXPECT_TRUE(programmer->Requests().empty());
}

// A control transfer never carries isochronous packets: one that says it
// does is refused, its packet descriptors skipped, and the next request is
// read from the right place.
TEST_F(Bus, RefusesAControlTransferWithPackets) {
  const uint16_t length = 18;
  Bytes packet = Submit(++seq, 0, kDirIn, length, Setup(0x80, 0x06, 0x0100, 0, length));
  UsbipHeader h = ParseHeader(packet.data());
  h.number_of_packets = 2;
  packet.clear();
  AppendHeader(h, packet);
  packet.resize(packet.size() + 2 * 16, 0);
  const auto replies = Send(packet);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(static_cast<int32_t>(replies[0].header.word5), kStatusStall);
  EXPECT_EQ(ControlIn(0x80, 0x06, 0x0100, length).data.size(), length);
}

TEST_F(Bus, InterruptInWaitsUntilUnlinked) {
  EXPECT_TRUE(Send(Submit(7, 1, kDirIn, 64)).empty());
  EXPECT_EQ(device->PendingUrbs(), 1u);
  UsbipHeader unlink;
  unlink.command = kCmdUnlink;
  unlink.seqnum = 8;
  unlink.word5 = 7;
  Bytes packet;
  AppendHeader(unlink, packet);
  auto replies = Send(packet);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].header.command, kRetUnlink);
  EXPECT_EQ(replies[0].header.seqnum, 8u);
  EXPECT_EQ(static_cast<int32_t>(replies[0].header.word5), kStatusUnlinked);
  EXPECT_EQ(device->PendingUrbs(), 0u);

  // Too late: the URB was answered already.
  replies = Send(packet);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].header.word5, 0u);
}

TEST_F(Bus, AnUnplugLeavesTheBusAfterTheLastAnswer) {
  sim::SimConfig config;
  config.unplug_after = 1;
  Start(config);
  EXPECT_EQ(SetReport(InfoRequest()), 0);
  EXPECT_FALSE(device->Gone());
  EXPECT_EQ(ControlIn(0xA1, 0x01, 0x0301, kReportSize).data.size(), kReportSize);
  EXPECT_TRUE(device->Gone());
  EXPECT_TRUE(Send(Submit(++seq, 0, kDirIn, 18, Setup(0x80, 0x06, 0x0100, 0, 18))).empty());
}

TEST_F(Bus, ADecoyShowsItsOwnIdsAndTakesNoReport) {
  sim::SimConfig config;
  sim::Decoy decoy;
  decoy.vendor_id = 0x046D;
  decoy.strings_readable = false;
  config.decoys.push_back(decoy);
  Start(config, 0);
  const Bytes device_descriptor = ControlIn(0x80, 0x06, 0x0100, 18).data;
  ASSERT_EQ(device_descriptor.size(), 18u);
  EXPECT_EQ(device_descriptor[8], 0x6D);
  EXPECT_EQ(device_descriptor[9], 0x04);
  EXPECT_EQ(static_cast<int32_t>(ControlIn(0x80, 0x06, 0x0301, 255).header.word5), kStatusStall);
  EXPECT_EQ(SetReport(InfoRequest()), kStatusStall);
  EXPECT_FALSE(device->Gone());
}

TEST_F(Bus, TheSecondProgrammerCarriesTheNextSerialNumber) {
  sim::SimConfig config;
  config.programmers = 2;
  Start(config, 1);
  EXPECT_TRUE(device->IsProgrammer());
  EXPECT_EQ(Utf16Text(ControlIn(0x80, 0x06, 0x0303, 255).data), "12346");
}

TEST(Vhci, AttachesToTheFirstFreeUsb2Port) {
  test::TempDir dir;
  test::WriteBytes(dir.File("status"),
                   "hub port sta spd dev      sockfd local_busid\n"
                   "hs  0000 006 002 00010002 000003 0-0\n"
                   "hs  0001 004 000 00000000 000000 0-0\n"
                   "ss  0008 004 000 00000000 000000 0-0\n");
  test::WriteBytes(dir.File("attach"), "");
  test::WriteBytes(dir.File("detach"), "");
  const Vhci vhci(dir.path());
  std::string error;
  ASSERT_EQ(vhci.FreePort(&error), 1) << error;
  ASSERT_TRUE(vhci.Attach(1, 9, 0x10002, kSpeedFull, &error)) << error;
  EXPECT_EQ(test::ReadBytes(dir.File("attach")), "1 9 65538 2");
  // Only the device attached there is unplugged: port 0 holds device
  // 0x10002 over socket 3, port 2 one not yet enumerated over socket 9.
  test::WriteBytes(dir.File("status"),
                   "hub port sta spd dev      sockfd local_busid\n"
                   "hs  0000 006 002 00010002 000003 1-1\n"
                   "hs  0001 004 000 00000000 000000 0-0\n"
                   "hs  0002 005 000 00000000 000009 0-0\n");
  const struct {
    int port;
    unsigned devid;
    int sockfd;
    const char* written;
  } detaches[] = {
      {0, 0x10003, 3, ""}, {0, 0x10002, 4, ""},  {1, 0x10003, 0, ""},
      {0, 0x10002, 3, "0"}, {2, 0x10004, 9, "2"},
  };
  for (const auto& d : detaches) {
    test::WriteBytes(dir.File("detach"), "");
    ASSERT_TRUE(vhci.Detach(d.port, d.devid, d.sockfd, &error)) << error;
    EXPECT_EQ(test::ReadBytes(dir.File("detach")), d.written) << d.port << " " << d.devid;
  }

  test::WriteBytes(dir.File("status"),
                   "hub port sta spd dev      sockfd local_busid\n"
                   "hs  0000 006 002 00010002 000003 0-0\n");
  EXPECT_EQ(vhci.FreePort(&error), -1);
  EXPECT_EQ(error, "no free port on vhci-hcd");

  const Vhci missing(dir.File("none"));
  EXPECT_EQ(missing.FreePort(&error), -1);
  EXPECT_NE(error.find("/none/status: No such file or directory (is the vhci-hcd module loaded?"),
            std::string::npos)
      << error;
  EXPECT_FALSE(missing.Attach(1, 9, 1, kSpeedFull, &error));
  EXPECT_NE(error.find("/none/attach: No such file or directory"), std::string::npos) << error;
}

}  // namespace
}  // namespace rtd::usbip
