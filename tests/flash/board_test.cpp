// RTD2662 reset, touch calibration readout and programmer reset.

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

class BoardTest : public FlashBench {};

TEST_F(BoardTest, TouchParametersArePrintedAsAnInitialiser) {
  sim::SimConfig config;  // 10 00 20 00 30 00 40 00 AB CD 07
  Start(config);
  EXPECT_EQ(ops_->SpeedButtonGetTouchParamClick(), OpResult::kOk);
  EXPECT_EQ(out_.events,
            (Events{"log: TOUCHPARAM = { { { 16, 32 }, { 48, 64 } }, 0xAB, 0xCD, 7 };"}));
  EXPECT_EQ(device_->Requests().back().command, kCmdTouchCalibration);
}

TEST_F(BoardTest, NegativeTouchValuesPrintWidenedAndShortRepliesSaySo) {
  sim::SimConfig config;
  config.touch = {0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0xFF, 0xFF};
  Start(config);
  EXPECT_EQ(ops_->SpeedButtonGetTouchParamClick(), OpResult::kOk);
  EXPECT_EQ(out_.Logs().back(),
            "TOUCHPARAM = { { { 4294967295, 4294934528 }, { 32767, 1 } }, 0x00, 0xFF, 255 };");

  config.touch = {0x01, 0x00, 0x02, 0x00, 0x03};
  Start(config);
  EXPECT_EQ(ops_->SpeedButtonGetTouchParamClick(), OpResult::kFailed);
  const auto logs = out_.Logs();
  ASSERT_GE(logs.size(), 2u);
  EXPECT_EQ(logs[logs.size() - 2], "TOUCHPARAM = { { { 1, 2 }, { 3, 0 } }, 0x00, 0x00, 0 };");
  EXPECT_EQ(logs.back(), "Short touch calibration reply: 5 of 11 bytes");
  EXPECT_EQ(out_.Boxes().back(), "0x10 Error: Short touch calibration reply: 5 of 11 bytes");
}

TEST_F(BoardTest, TouchLinkFailureShowsOnlyTheLinkBox) {
  sim::SimConfig config;
  config.faults.push_back({sim::FaultKind::kTimeout, kCmdTouchCalibration, -1, 0, 1});
  Start(config);
  const uint32_t before = clock_.Peek();
  EXPECT_EQ(ops_->SpeedButtonGetTouchParamClick(), OpResult::kFailed);
  EXPECT_EQ(out_.events,
            (Events{"box 0x10 Error: Error reading from the device\nOut of the timeout response"}));
  // The touch command waits 11 ms for its answer, not a second.
  EXPECT_LT(clock_.Peek() - before, 100u);
}

TEST_F(BoardTest, ControllerResetForgetsTheChipUntilTheNextCheck) {
  Start();
  Identify();
  EXPECT_EQ(ops_->SpeedButtonResetRTD2662Click(), OpResult::kOk);
  EXPECT_EQ(out_.events, (Events{"buttons idle", "log: Reset RTD2662 was successful"}));
  EXPECT_FALSE(ops_->CurrentFlash.Identified());
  EXPECT_TRUE(ops_->CurrentFlash.Manufacturer.empty());
  EXPECT_EQ(ops_->CurrentFlash.SizeInBytes, 0u);
  EXPECT_EQ(ops_->CurrentFlash.JedecId, (JedecBytes{0xEF, 0x40, 0x13}));
  // The flash operations stay idle until a connect check.
  EXPECT_EQ(ops_->SpeedButtonReadClick(), OpResult::kNotStarted);
  EXPECT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kOk);
  EXPECT_TRUE(ops_->CurrentFlash.Identified());
}

TEST_F(BoardTest, RefusedControllerResetKeepsTheChip) {
  Start();
  Identify();
  bus_->on_reply = [](uint8_t* report) {
    if (report[1] == (kCmdResetRTD2662 | 0x80)) report[kReportDataOffset] = 1;
  };
  EXPECT_EQ(ops_->SpeedButtonResetRTD2662Click(), OpResult::kFailed);
  EXPECT_EQ(out_.events,
            (Events{"log: Error reset RTD2662", "box 0x10 Error: Error reset RTD2662"}));
  EXPECT_TRUE(ops_->CurrentFlash.Identified());

  // A bare "done" status without the reply byte is no reset either.
  Forget();
  bus_->on_reply = [](uint8_t* report) {
    if (report[1] == (kCmdResetRTD2662 | 0x80)) {
      report[1] = kReplySuccess;
      report[5] = 0;
      report[kReportDataOffset] = 0;
    }
  };
  EXPECT_EQ(ops_->SpeedButtonResetRTD2662Click(), OpResult::kFailed);
  EXPECT_EQ(out_.Logs(), (Events{"Error reset RTD2662"}));
  EXPECT_TRUE(ops_->CurrentFlash.Identified());
}

TEST_F(BoardTest, ProgrammerReset) {
  Start();
  EXPECT_EQ(ops_->SpeedButtonResetClick(), OpResult::kOk);
  EXPECT_EQ(out_.events, (Events{"buttons busy", "buttons idle"}));
  EXPECT_EQ(device_->Requests().back().command, kCmdProgrammerReset | 0x80);

  Forget();
  device_->AddFault({sim::FaultKind::kStatus254, kCmdProgrammerReset, -1, 0, 1});
  EXPECT_EQ(ops_->SpeedButtonResetClick(), OpResult::kFailed);
  EXPECT_EQ(out_.events, (Events{"buttons busy",
                                 "box 0x10 Error: Failed to reset the device\nError in parameters",
                                 "buttons idle"}));
}

}  // namespace
}  // namespace rtd::test
