// Talking to the virtual programmer report by report, as the firmware sees
// it, without the link layer in between.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/clock.h"
#include "link/report.h"
#include "sim/virtual_programmer.h"

namespace rtd::sim::test {

inline HidReport Request(uint8_t command, uint32_t address, const std::vector<uint8_t>& payload = {}) {
  HidReport r{};
  r[0] = kReportId;
  r[1] = command;
  SetReportAddress(r, address);
  r[5] = EncodeReportLength(static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), r.begin() + kReportDataOffset);
  r[kReportChecksumOffset] = ReportChecksum(r);
  return r;
}

// The data bytes of a reply, as many as its length byte says.
inline std::vector<uint8_t> Data(const HidReport& reply) {
  const uint32_t n = DecodeReportLength(reply[5]);
  return {reply.begin() + kReportDataOffset, reply.begin() + kReportDataOffset + n};
}

class SimBench : public ::testing::Test {
 protected:
  void Start(SimConfig config = {}) {
    if (sim && handle) sim->Close(handle);
    sim.reset();  // the old device lets go of its backing file first
    sim = std::make_unique<VirtualProgrammer>(std::move(config), clock);
    handle = sim->Open(sim->ProgrammerPath());
    ASSERT_NE(handle, nullptr);
  }

  // Sends the request and polls until the command byte is non-zero, at most
  // max_polls times; polls counts the get-features that found no answer.
  HidReport Send(const HidReport& request, int max_polls = 100000) {
    EXPECT_TRUE(sim->SetFeature(handle, request.data(), request.size()));
    HidReport reply{};
    polls = 0;
    for (int i = 0; i < max_polls; ++i) {
      reply.fill(0);
      reply[0] = kReportId;
      EXPECT_TRUE(sim->GetFeature(handle, reply.data(), reply.size()));
      if (reply[1] != 0) {
        EXPECT_EQ(reply[kReportChecksumOffset], ReportChecksum(reply));
        return reply;
      }
      ++polls;
    }
    return reply;
  }
  HidReport Ask(uint8_t command, uint32_t address = 0, const std::vector<uint8_t>& payload = {}) {
    return Send(Request(command, address, payload));
  }
  // Data of a read-type answer, after checking its command byte.
  std::vector<uint8_t> AskData(uint8_t command, uint32_t address = 0,
                               const std::vector<uint8_t>& payload = {}) {
    const HidReport reply = Ask(command, address, payload);
    EXPECT_EQ(reply[1], command | 0x80);
    return Data(reply);
  }

  ManualClock clock{1000, 0};
  std::unique_ptr<VirtualProgrammer> sim;
  HidHandle handle = nullptr;
  int polls = 0;
};

}  // namespace rtd::sim::test
