// The connection watch on the virtual programmer: banners, identification,
// the status line with its dots, the holdoff of an operation, the buttons.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "i18n/lang.h"
#include "recording_output.h"
#include "shell/connection_watch.h"
#include "shell/session.h"
#include "temp_dir.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

// The window as the watch sees it: what it did goes into the same event
// list as the output services.
class RecordingWindow : public RecordingOutput, public shell::WatchHost {
 public:
  using RecordingOutput::RecordingOutput;
  void ClearLog() override { events.push_back("clear-log"); }
  void SetWatchTimerEnabled(bool enabled) override {
    events.push_back(enabled ? "timer on" : "timer off");
  }
};

class WatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    CurrentLanguage = kLanguageEnglish;
  }
  void TearDown() override {
    watch_.reset();
    session_.reset();
    CurrentLanguage = saved_language_;
  }

  void Start(sim::SimConfig config = {}) {
    auto device = std::make_unique<sim::VirtualProgrammer>(std::move(config), clock_);
    device_ = device.get();
    session_ = std::make_unique<shell::Session>(std::move(device), clock_, out_,
                                                shell::SessionPaths{dir_.File("jedec.ini"),
                                                                    dir_.File("rtdprog.ini")});
    watch_ = std::make_unique<shell::ConnectionWatch>(session_->programmer(), out_);
  }
  // One tick, and what it showed.
  Events Tick() {
    out_.events.clear();
    watch_->TimerQELPADTestTimer();
    return out_.events;
  }

  ManualClock clock_{1000, 1};
  RecordingWindow out_{&clock_};
  TempDir dir_;
  sim::VirtualProgrammer* device_ = nullptr;
  std::unique_ptr<shell::Session> session_;
  std::unique_ptr<shell::ConnectionWatch> watch_;

 private:
  int32_t saved_language_ = 0;
};

const Events kAnnouncement = {
    "progress-hide",
    "timer off",
    "clear-log",
    "log: *********** Controller is connected ****************",
    "status: Controller \"RTD2662 programmer\" is connected",
    "log: Controller          \"RTD2662 programmer\"",
    "log: The serial number   12345",
    "log: Boot version        1.01",
    "log: Application version 1.05",
    "log: ***********************************************",
    "buttons idle",
    "timer on",
};

TEST_F(WatchTest, APlugInIsAnnouncedOnceThenTheDotsRunInACycleOfEleven) {
  Start();
  EXPECT_EQ(Tick(), kAnnouncement);
  EXPECT_TRUE(watch_->ControllerConnected);
  std::vector<std::string> statuses;
  for (int i = 0; i < 12; ++i) {
    const Events e = Tick();
    EXPECT_TRUE(out_.Logs().empty());
    ASSERT_EQ(e.size(), 4u);
    statuses.push_back(e[2]);
  }
  const std::string line = "status: Controller \"RTD2662 programmer\" is connected";
  EXPECT_EQ(statuses[0], line + ".");
  EXPECT_EQ(statuses[9], line + "..........");
  EXPECT_EQ(statuses[10], line);
  EXPECT_EQ(statuses[11], line + ".");
}

TEST_F(WatchTest, AnUnplugIsAnnouncedOnceAndTheStatusKeepsTheLinkText) {
  Start();
  Tick();
  device_->Unplug();
  // The open handle fails first; later polls find no programmer at all.
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off",
                            "status: Failed to communicate with the controller",
                            "log: *********** Controller is disconnected *************",
                            "buttons idle", "timer on"}));
  EXPECT_FALSE(watch_->ControllerConnected);
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off", "status: Controller is disconnected",
                            "timer on"}));
  device_->Plug();
  EXPECT_EQ(Tick(), kAnnouncement);
}

TEST_F(WatchTest, AProgrammerThatCannotBeOpenedIsExplainedOnceNotOnEveryPoll) {
  sim::SimConfig config;
  config.attached = false;
  config.decoys.push_back({.openable = false});  // the programmer's ids, no access
  Start(config);
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off", "status: Controller is disconnected",
                            "log: " + ProgrammerNotOpenedText("Permission denied"), "timer on"}));
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off", "status: Controller is disconnected",
                            "timer on"}));
}

TEST_F(WatchTest, AProgrammerTakenByAnotherProgramIsNoDisconnection) {
  sim::SimConfig config;
  config.image = dir_.File("board.bin");
  Start(config);
  Tick();
  // The handle lost (a failed transfer in an operation closes it), and
  // another program on the same chip quicker to take it.
  session_->link().transport().LinkClose();
  sim::VirtualProgrammer other(config, clock_);
  HidTransport other_link(other);
  ASSERT_EQ(other_link.LinkOpen(), kLinkOk);
  const Events e = Tick();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[2].rfind("status: The programmer sim:hid/0/programmer is in use by another program",
                       0),
            0u)
      << e[2];
  EXPECT_EQ(e[3], "buttons idle");  // off for want of a programmer, without a banner
  EXPECT_FALSE(watch_->ControllerConnected);
  other_link.LinkClose();
  EXPECT_EQ(Tick(), kAnnouncement);
}

TEST_F(WatchTest, ALockTheSystemRefusesIsNoDisconnection) {
  sim::SimConfig config;
  config.lockable = false;
  Start(config);
  const std::string refused =
      "The programmer sim:hid/0/programmer could not be locked for this program: "
      "Permission denied";
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off", "status: " + refused, "log: " + refused,
                            "timer on"}));
  EXPECT_EQ(Tick(), (Events{"progress-hide", "timer off", "status: " + refused, "timer on"}));
}

TEST_F(WatchTest, AnOperationsCommandsHoldThePollOffForTwoTicks) {
  Start();
  Tick();
  session_->link().PollHoldoff = 2;
  device_->ClearRequests();
  EXPECT_TRUE(Tick().empty());
  EXPECT_TRUE(Tick().empty());
  EXPECT_EQ(session_->link().PollHoldoff, 0);
  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_EQ(Tick().size(), 4u);
  ASSERT_EQ(device_->Requests().size(), 1u);
  EXPECT_EQ(device_->Requests()[0].command, kCmdProgrammerInfo);
  // The poll's own command does not hold off the next poll.
  EXPECT_EQ(session_->link().PollHoldoff, 0);
}

TEST_F(WatchTest, AProgrammerThatStopsAnsweringIsNoErrorForTheUser) {
  Start();
  Tick();
  device_->AddFault({sim::FaultKind::kTimeout, -1, -1, 0, 0});
  const Events e = Tick();
  EXPECT_TRUE(out_.Boxes().empty());
  EXPECT_EQ(e[2], "status: Out of the timeout response");
  EXPECT_EQ(e[3], "log: *********** Controller is disconnected *************");
}

TEST(SessionTest, AVirtualProgrammerWhoseConfigurationIsBadIsRefusedWithTheReason) {
  TempDir dir;
  WriteBytes(dir.File("sim.conf"), "jedec=XYZ\n");
  ManualClock clock;
  std::string error;
  EXPECT_EQ(shell::MakePlatform({true, dir.File("sim.conf")}, clock, &error), nullptr);
  EXPECT_NE(error.find("XYZ"), std::string::npos) << error;
  EXPECT_NE(shell::MakePlatform({true, ""}, clock, &error), nullptr);
}

}  // namespace
}  // namespace rtd::test
