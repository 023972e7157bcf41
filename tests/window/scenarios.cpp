// The window's behaviour, written once for every window: start-up, the
// watch in the log, status bar and buttons, the operations from the
// toolbar with their boxes and file choosers, stopping, closing, the
// notice, the settings and the language. Each window runs these through its
// own driver (window_driver.h) on the virtual programmer with a hand-driven
// clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/utf8_path.h"
#include "i18n/lang.h"
#include "link/transport.h"
#include "recording_output.h"
#include "shell/hex_rows.h"
#include "shell/placement.h"
#include "shell/service_menu.h"
#include "sim/virtual_programmer.h"
#include "temp_dir.h"
#include "window_driver.h"

namespace rtd::test {
namespace {

constexpr uint32_t kFlashSize = 64 * 1024;
using B = ToolButton;
using T = shell::WindowTimer;
using Lines = std::vector<std::string>;

// A programmer whose transfers can be made to throw, as a broken driver
// layer might.
class ThrowingProgrammer : public sim::VirtualProgrammer {
 public:
  using VirtualProgrammer::VirtualProgrammer;
  bool throw_now = false;
  bool SetFeature(HidHandle handle, const uint8_t* data, std::size_t length) override {
    if (throw_now) throw std::runtime_error("driver fault");
    return VirtualProgrammer::SetFeature(handle, data, length);
  }
};

// A programmer whose cable drops out for a moment: the transfer under way
// fails, and the programmer, back at once, does not give its strings to the
// first request (a device still starting up).
class FlickeringProgrammer : public sim::VirtualProgrammer {
 public:
  using VirtualProgrammer::VirtualProgrammer;
  void Flicker() {
    Unplug();
    starting_ = true;
  }
  HidCandidates EnumerateWithIds(uint16_t vendor_id, uint16_t product_id) override {
    if (starting_) Plug();
    return VirtualProgrammer::EnumerateWithIds(vendor_id, product_id);
  }
  bool GetManufacturerString(HidHandle handle, std::u16string& text) override {
    if (std::exchange(starting_, false)) return false;
    return VirtualProgrammer::GetManufacturerString(handle, text);
  }

 private:
  bool starting_ = false;
};

// Another program's output, with something the window does meanwhile at its
// every step: each line, box and message pump.
class OutputMeanwhile : public RecordingOutput {
 public:
  using RecordingOutput::RecordingOutput;
  std::function<void()> meanwhile = [] {};
  void AppendLogLine(const std::string& line) override {
    RecordingOutput::AppendLogLine(line);
    meanwhile();
  }
  int ShowMessageBox(uint32_t kind, const std::string& caption, const std::string& text) override {
    const int answer = RecordingOutput::ShowMessageBox(kind, caption, text);
    meanwhile();
    return answer;
  }
  void ProcessMessages() override {
    RecordingOutput::ProcessMessages();
    meanwhile();
  }
};

std::string Pattern(uint8_t seed) {
  std::string s(kFlashSize, '\0');
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char>((i * 7 + (i >> 8) + seed) & 0xFF);
  return s;
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

shell::Point At(const shell::Rect& r) { return {r.left, r.top}; }

std::string HexOf(char byte) { return FormatText("%02X", static_cast<uint8_t>(byte)); }

class WindowScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_language_ = CurrentLanguage;
    WriteBytes(dir_.File("jedec.ini"),
               "[EF3010]\r\nManufacturer=Winbond W25X05\r\nSizeInBytes=65536\r\n");
  }
  void TearDown() override {
    window_.reset();
    CurrentLanguage = saved_language_;
  }

  // Starts the window with these MainSettings lines (English by default).
  void Open(bool attached = true, const std::string& settings = "Lang=1") {
    if (!settings.empty())
      WriteBytes(dir_.File("rtdprog.ini"), "[MainSettings]\r\n" + settings + "\r\n");
    sim::SimConfig config;
    config.jedec = {0xEF, 0x30, 0x10};  // 64 KiB, as its id says
    config.size = kFlashSize;
    config.attached = attached;
    config.erase_ms = 0;
    config.image = image_;
    config.name = programmer_name_;
    auto device = std::make_unique<ThrowingProgrammer>(config, clock_);
    device_ = device.get();
    window_->Start(std::move(device), clock_,
                   shell::SessionPaths{dir_.File("jedec.ini"), dir_.File("rtdprog.ini"), "",
                                       backup_dir_, TwoLanguageText(backup_problem_)});
  }
  void Tick() { window_->Tick(T::TimerQELPADTest); }
  // Plugged in, announced, and the flash identified.
  void Connect() {
    Tick();
    window_->Click(B::SpeedButtonConnect);
    ASSERT_TRUE(Ops().CurrentFlash.Identified());
  }
  FlashOperations& Ops() { return window_->Shell().session().ops(); }
  uint8_t IdleFlag() { return window_->Shell().IdleFlag; }
  bool ProgrammerOpen() { return window_->Shell().session().link().transport().IsOpen(); }
  std::string Flash() const {
    const auto f = device_->Flash();
    return std::string(f.begin(), f.end());
  }
  // Every box shown, as "caption: text".
  Lines Boxes() const {
    Lines shown;
    for (const ShownBox& b : window_->boxes) shown.push_back(b.caption + ": " + b.text);
    return shown;
  }
  // Calls f once, at the given message pump of the next click.
  void AtPump(int pump, std::function<void()> f) {
    window_->on_pump = [pump, f](int n) {
      if (n == pump) f();
    };
  }
  // Calls f once, at the first pump of the write's page loop (the chip is
  // erased by then).
  void WhileWriting(std::function<void()> f) {
    window_->on_pump = [this, f, done = false](int) mutable {
      if (done || window_->Status() != "FLASH write") return;
      done = true;
      f();
    };
  }

  void SetFlash(const std::string& content) {
    std::copy(content.begin(), content.end(), device_->Flash().begin());
  }
  // Where the backups go: the virtual programmer's lie apart.
  std::string BackupFolder() const {
    return Utf8FromPath(PathFromUtf8(backup_dir_) / "simulated");
  }
  // The files of the backup folder.
  std::vector<std::string> Backups() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(PathFromUtf8(BackupFolder()), ec))
      names.push_back(e.path().filename().string());
    return names;
  }

  ManualClock clock_{1000, 1};
  TempDir dir_;
  // Backups are made only where a test gives them a folder, or the reason
  // there is none.
  std::string backup_dir_;
  std::string backup_problem_;
  // The chip's file, where a test gives one (and so the chip's lock).
  std::string image_;
  std::string programmer_name_ = "RTD2662 programmer";
  std::unique_ptr<WindowDriver> window_ = MakeWindowDriver();
  ThrowingProgrammer* device_ = nullptr;

 private:
  int32_t saved_language_ = 0;
};

TEST_F(WindowScenario, StartsWithEveryButtonOffAnEmptyLogAndTheLinkStatusAtTheFirstTick) {
  Open(false);
  EXPECT_EQ(window_->Caption().rfind("Programmer RTD2662. Version 1.03", 0), 0u);
  EXPECT_TRUE(window_->EnabledButtons().empty());
  EXPECT_TRUE(window_->Log().empty());
  EXPECT_TRUE(window_->TimerRunning(T::TimerQELPADTest));
  EXPECT_EQ(window_->TimerInterval(T::TimerQELPADTest), 200u);
  Tick();
  EXPECT_EQ(window_->Status(), "Controller is disconnected");
  EXPECT_TRUE(window_->EnabledButtons().empty());
  EXPECT_TRUE(window_->Log().empty());
}

TEST_F(WindowScenario, PluggingInAndOutShowsInTheLogStatusBarAndButtons) {
  Open();
  Tick();
  EXPECT_EQ(window_->Log(), (Lines{"*********** Controller is connected ****************",
                                   "Controller          \"RTD2662 programmer\"",
                                   "The serial number   12345", "Boot version        1.01",
                                   "Application version 1.05",
                                   "***********************************************"}));
  EXPECT_EQ(window_->Status(), "Controller \"RTD2662 programmer\" is connected");
  EXPECT_EQ(window_->EnabledButtons(), (std::vector<B>{B::SpeedButtonReset, B::SpeedButtonConnect,
                                                       B::SpeedButtonGetTouchParam}));
  Tick();
  EXPECT_EQ(window_->Status(), "Controller \"RTD2662 programmer\" is connected.");
  device_->Unplug();
  Tick();
  Tick();
  const Lines log = window_->Log();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "*********** Controller is disconnected *************"),
            1);
  EXPECT_EQ(window_->Status(), "Controller is disconnected");
  EXPECT_TRUE(window_->EnabledButtons().empty());
}

// What comes from outside (a device's name, a reason, typed text) is shown
// as it is: what looks like markup is neither rendered nor obeyed.
TEST_F(WindowScenario, NamesThatLookLikeMarkupAreShownAsTheyAre) {
  const std::string markup = "<s>RTD</s><!--";
  programmer_name_ = markup;
  backup_problem_ = "<b>x<!--";
  Open();
  Connect();
  EXPECT_EQ(window_->Status(), "Controller \"" + markup + "\" is connected");
  window_->box_answers = {IDOK};
  window_->ChooseServiceItem("MenuItemServiceErase");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].rfind("Error: There is no folder for the FLASH backup: <b>x<!--\n", 0), 0u)
      << Boxes()[0];
  WriteBytes(dir_.File("a.bin"), Pattern(1));
  window_->file_names = {dir_.File("a.bin")};
  std::string hex_status;
  window_->in_hex_view = [&] {
    window_->HexGoTo(markup);
    hex_status = window_->HexView().status;
  };
  window_->ChooseServiceItem("MenuItemServiceViewFile");
  EXPECT_NE(hex_status.find("\"" + markup + "\" is not a hex address"), std::string::npos)
      << hex_status;
}

// Another program (a command line, a second window) on the same chip.
TEST_F(WindowScenario, AProgrammerInUseElsewhereIsSaidAndTakenOnceItIsFree) {
  image_ = dir_.File("board.bin");
  Open();
  sim::SimConfig config;
  config.size = kFlashSize;
  config.image = image_;
  sim::VirtualProgrammer other(config, clock_);
  HidTransport other_link(other);
  ASSERT_EQ(other_link.LinkOpen(), kLinkOk);
  const std::string in_use = "The programmer sim:hid/0/programmer is in use by another program: ";
  for (int poll = 0; poll < 3; ++poll) {
    Tick();
    EXPECT_EQ(window_->Status().rfind(in_use, 0), 0u) << window_->Status();
    EXPECT_NE(window_->Status().find("(process "), std::string::npos) << window_->Status();
    EXPECT_TRUE(window_->Log().empty());
    EXPECT_TRUE(window_->EnabledButtons().empty());
    EXPECT_TRUE(window_->TimerRunning(T::TimerQELPADTest));
  }
  other_link.LinkClose();
  Tick();
  EXPECT_EQ(window_->Log().front(), "*********** Controller is connected ****************");
  EXPECT_EQ(window_->Status(), "Controller \"RTD2662 programmer\" is connected");

  // Now the window holds it, and the other program is the one turned away.
  EXPECT_EQ(other_link.LinkOpen(), kLinkInUse);
  Tick();
  EXPECT_EQ(window_->Status(), "Controller \"RTD2662 programmer\" is connected.");
}

// A transfer that fails closes the handle; the operation still keeps the
// programmer, and the protection goes back onto its own chip.
TEST_F(WindowScenario, AWriteKeepsItsProgrammerThroughAFailedTransfer) {
  image_ = dir_.File("board.bin");
  Open();
  device_->SetStatusRegister(0x1C);
  Connect();
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  window_->file_names = {dir_.File("image.bin")};
  window_->box_answers = {IDYES, IDOK};
  WhileWriting([&] { device_->AddFault({sim::FaultKind::kTransferFailure, -1, -1, 0, 1}); });
  sim::SimConfig config;
  config.image = image_;
  sim::VirtualProgrammer other(config, clock_);
  HidTransport other_link(other);
  LinkStatus other_program = kLinkOk;
  window_->on_modal_shown = [&] {
    if (window_->boxes.size() == 2) other_program = other_link.LinkOpen();
  };
  window_->Click(B::SpeedButtonWrite);
  window_->on_modal_shown = nullptr;
  EXPECT_EQ(Boxes().at(1), "Error: Error reading from the device\n"
                           "Failed to communicate with the controller");
  EXPECT_EQ(other_program, kLinkInUse);
  EXPECT_TRUE(Contains(window_->Log(), "FLASH protection put back (status register 0x1C)"))
      << ::testing::PrintToString(window_->Log());
}

// A command line writes a protected chip while the window watches the same
// programmer, polling at every step of the write as its own process would.
// A moment's unplug fails a transfer of the write, and the reopen that puts
// the protection back meets a programmer that does not give its strings
// yet. The window never gets the programmer before the write has ended.
TEST_F(WindowScenario, AWriteElsewhereKeepsTheProgrammerThroughAMomentsUnplug) {
  image_ = dir_.File("board.bin");
  Open();
  sim::SimConfig config;
  config.jedec = {0xEF, 0x30, 0x10};
  config.size = kFlashSize;
  config.erase_ms = 0;
  config.image = image_;
  config.status = 0x1C;
  auto cli_device = std::make_unique<FlickeringProgrammer>(config, clock_);
  FlickeringProgrammer& device = *cli_device;
  OutputMeanwhile out(&clock_);
  auto cli = std::make_unique<shell::Session>(
      std::move(cli_device), clock_, out,
      shell::SessionPaths{dir_.File("jedec.ini"), dir_.File("cli.ini")});
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  out.open_answer = dir_.File("image.bin");
  out.box_answers = {IDYES};
  out.on_pump = [&, flickered = false](int) mutable {
    if (flickered || !out.Has("log: FLASH write")) return;
    flickered = true;
    device.Flicker();
  };
  Lines window_seen;
  {
    // The command claims the programmer first, as the command line does.
    const ProgrammerHold hold(cli->link().transport());
    ASSERT_EQ(cli->link().transport().LinkOpen(), kLinkOk);
    out.meanwhile = [&] {
      Tick();
      window_seen.push_back(window_->Status());
    };
    ASSERT_EQ(cli->ops().SpeedButtonConnectClick(), OpResult::kOk);
    EXPECT_EQ(cli->ops().SpeedButtonWriteClick(), OpResult::kFailed);
  }
  // The write fails with its reason, and so does the put-back of the
  // protection: the programmer gave no strings to its reopen.
  const std::string failed = "Error: Error reading from the device\n"
                             "Failed to communicate with the controller";
  EXPECT_EQ(out.Boxes(),
            (Lines{"0x30 Warning: It will erase and write FLASH\nContinue?", "0x10 " + failed,
                   "0x10 " + failed}));
  EXPECT_TRUE(out.Has("log: The FLASH protection could not be put back: the chip is left "
                      "unprotected"));
  const std::string in_use = "The programmer sim:hid/0/programmer is in use by another program: ";
  for (const std::string& status : window_seen) EXPECT_EQ(status.rfind(in_use, 0), 0u) << status;
  EXPECT_GT(window_seen.size(), 10u);
  EXPECT_TRUE(window_->Log().empty());

  cli.reset();  // the command line ends
  Tick();
  EXPECT_EQ(window_->Status(), "Controller \"RTD2662 programmer\" is connected");
}

TEST_F(WindowScenario, TheWatchStaysOutOfTheConnectChecksFirstWait) {
  Open();
  Tick();
  const std::string announced = window_->Status();
  std::string status_in_the_wait;
  AtPump(1, [&] {
    Tick();
    status_in_the_wait = window_->Status();
  });
  window_->Click(B::SpeedButtonConnect);
  EXPECT_EQ(status_in_the_wait, announced);
}

TEST_F(WindowScenario, ConnectThenReadIntoAFileChosenInACentredSaveDialog) {
  Open();
  const std::string content = Pattern(1);
  std::copy(content.begin(), content.end(), device_->Flash().begin());
  Connect();
  EXPECT_TRUE(Contains(window_->Log(), "JEDEC ID: EF3010 Winbond W25X05 64 KBytes"));
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);

  // Typed without an extension: the dialog adds BIN. The centring timer
  // puts it over the window.
  window_->file_names = {dir_.File("dump")};
  bool takes_input_under_the_chooser = true;
  window_->on_modal_shown = [&] {
    window_->Tick(T::TimerOnShow);
    takes_input_under_the_chooser = window_->TakesInput();
  };
  window_->Click(B::SpeedButtonRead);
  // Modal over the window: no toolbar click reaches the read that asked.
  EXPECT_FALSE(takes_input_under_the_chooser);
  ASSERT_EQ(window_->dialogs.size(), 1u);
  const ShownDialog& dialog = window_->dialogs[0];
  EXPECT_EQ(dialog.title, "Saving the File");
  const shell::Size size{dialog.rect.width, dialog.rect.height};
  EXPECT_EQ(At(dialog.rect),
            shell::KeptInside(shell::CentredOver(dialog.window, size), size, window_->WorkArea()));
  EXPECT_EQ(ReadBytes(dir_.File("dump.BIN")), Pattern(1));
  EXPECT_TRUE(Contains(window_->Log(), "FLASH read ok"));
  EXPECT_EQ(window_->PanelCaption(), "The file is written");
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("BIN=" + dir_.File("dump.BIN")),
            std::string::npos);
  EXPECT_EQ(IdleFlag(), 1);
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);

  // The next chooser starts where the last file was; a cancel leaves it so.
  window_->on_modal_shown = nullptr;
  window_->file_names = {""};
  window_->Click(B::SpeedButtonCompare);
  ASSERT_EQ(window_->dialogs.size(), 2u);
  EXPECT_EQ(window_->dialogs[1].start_dir, dir_.path());
}

TEST_F(WindowScenario, TheWriteErasesOnlyAfterYesInAWarningBox) {
  Open();
  Connect();
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  window_->file_names = {dir_.File("image.bin")};
  window_->box_answers = {IDNO};
  window_->Click(B::SpeedButtonWrite);
  EXPECT_EQ(Boxes(), (Lines{"Warning: It will erase and write FLASH\nContinue?"}));
  EXPECT_TRUE(window_->dialogs.empty());
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
  window_->box_answers = {IDYES};
  window_->Click(B::SpeedButtonWrite);
  EXPECT_EQ(Flash(), Pattern(7));
  EXPECT_TRUE(Contains(window_->Log(), "Write FLASH successfully"));
}

// The toolbar's notice has no room for why: the log names the file and the
// system's reason.
TEST_F(WindowScenario, AnImageThatCannotBeOpenedIsNamedWithTheSystemsReason) {
  Open(true, "Lang=1");
  Connect();
  const std::string missing = dir_.File("missing.bin");
  window_->file_names = {missing};
  window_->Click(B::SpeedButtonCompare);
  const Lines log = window_->Log();
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& line) {
    return line.size() > missing.size() + 2 && line.rfind(missing + ": ", 0) == 0;
  })) << ::testing::PrintToString(log);
}

// While it runs, only its own button is offered: no other button and no
// Service item (their choice would be dropped).
TEST_F(WindowScenario, ASecondClickOnTheRunningReadStopsIt) {
  backup_dir_ = dir_.File("backups");
  Open();
  Connect();
  window_->box_answers = {IDOK};
  std::vector<B> enabled_while_running;
  Lines items_while_running;
  AtPump(20, [&] {
    enabled_while_running = window_->EnabledButtons();
    for (const shell::ServiceItem item : shell::kServiceItems)
      if (window_->MenuEnabled(shell::ServiceItemName(item)))
        items_while_running.push_back(shell::ServiceItemName(item));
    window_->ClickNow(B::SpeedButtonRead);
  });
  window_->Click(B::SpeedButtonRead);
  EXPECT_EQ(enabled_while_running, (std::vector<B>{B::SpeedButtonRead}));
  EXPECT_EQ(items_while_running, Lines{});
  EXPECT_TRUE(window_->MenuEnabled("MenuItemServiceBackupFolder"));
  EXPECT_EQ(Boxes(), (Lines{"Error: User terminate"}));
  EXPECT_EQ(IdleFlag(), 1);
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
  EXPECT_TRUE(window_->dialogs.empty());
}

// A click on the running operation's button at its last step is its stop
// request even when its turn comes only after the operation has ended.
TEST_F(WindowScenario, AStopClickAfterTheLastStepStartsNothingNew) {
  Open();
  Connect();
  WriteBytes(dir_.File("image.bin"), std::string(kFlashSize, '\xFF'));
  window_->file_names = {dir_.File("image.bin"), ""};
  window_->on_pump = [this, done = false](int) mutable {
    if (done || window_->Shell().Gauge().Percent() != 100) return;
    done = true;
    window_->ClickNow(B::SpeedButtonCompareFast);
  };
  window_->Click(B::SpeedButtonCompareFast);
  EXPECT_EQ(window_->dialogs.size(), 1u);
  const Lines log = window_->Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "Quick FLASH compare"), 1);
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
}

TEST_F(WindowScenario, ClosingDuringAReadStopsItThenClosesTheProgrammerAndSavesTheSettings) {
  Open(true, "Lang=1\r\nDebug=1");
  Connect();
  bool closed_at_once = true;
  bool open_under_the_read = false;
  AtPump(20, [&] {
    closed_at_once = window_->Close();
    // The read below still holds the programmer: the close waits for it.
    open_under_the_read = ProgrammerOpen();
  });
  window_->Click(B::SpeedButtonRead);
  EXPECT_FALSE(closed_at_once);
  EXPECT_TRUE(open_under_the_read);
  EXPECT_TRUE(window_->Closed());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(ProgrammerOpen());
  EXPECT_FALSE(window_->TimerRunning(T::TimerQELPADTest));
  EXPECT_EQ(IdleFlag(), 1);
  const std::string ini = ReadBytes(dir_.File("rtdprog.ini"));
  for (const char* key : {"MainTop=", "MainLeft=", "Lang=1", "Log=0", "Debug=1"})
    EXPECT_NE(ini.find(key), std::string::npos) << key << " in\n" << ini;
}

TEST_F(WindowScenario, ClosingBeforeTheEraseStopsTheWriteWithoutAQuestion) {
  Open();
  Connect();
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  window_->box_answers = {IDYES};
  // The chooser of the write is open: nothing has touched the chip yet.
  // Nobody answers it: the close itself shuts it, in either window.
  window_->file_names.clear();
  window_->on_modal_shown = [this] {
    if (!window_->dialogs.empty()) window_->Close();
  };
  window_->Click(B::SpeedButtonWrite);
  EXPECT_EQ(window_->dialogs.size(), 1u);
  EXPECT_EQ(Boxes(), (Lines{"Warning: It will erase and write FLASH\nContinue?"}));
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
  EXPECT_FALSE(Contains(window_->Log(), "FLASH erase"));
  EXPECT_TRUE(window_->Closed());
  EXPECT_FALSE(ProgrammerOpen());
}

// Once the chip is erased, a close asks; only Yes stops the write, and the
// window goes only after the write has returned.
TEST_F(WindowScenario, ClosingDuringTheWriteAsksFirst) {
  const std::string question =
      "Warning: A write is running; stopping now leaves the board without firmware. Stop anyway?";
  struct Case {
    int answer;
    bool written;
  };
  for (const Case c : {Case{IDNO, true}, Case{IDYES, false}}) {
    SCOPED_TRACE(c.answer);
    Open();
    Connect();
    window_->boxes.clear();
    WriteBytes(dir_.File("image.bin"), Pattern(7));
    window_->box_answers = {IDYES, c.answer};
    window_->file_names = {dir_.File("image.bin")};
    bool closed_at_once = true;
    bool open_under_the_write = false;
    // A second close while the question is open is the same close.
    bool second_close = true;
    window_->on_modal_shown = [&] {
      if (window_->boxes.size() == 2) second_close = window_->Close();
    };
    WhileWriting([&] {
      closed_at_once = window_->Close();
      open_under_the_write = ProgrammerOpen();
    });
    window_->Click(B::SpeedButtonWrite);
    window_->on_pump = nullptr;
    window_->on_modal_shown = nullptr;
    EXPECT_FALSE(closed_at_once);
    EXPECT_FALSE(second_close);
    EXPECT_TRUE(open_under_the_write);
    EXPECT_EQ(Boxes(), (Lines{"Warning: It will erase and write FLASH\nContinue?", question}));
    EXPECT_EQ(Flash() == Pattern(7), c.written);
    EXPECT_EQ(Contains(window_->Log(), "Write FLASH successfully"), c.written);
    EXPECT_EQ(window_->Closed(), !c.written);
    EXPECT_EQ(ProgrammerOpen(), c.written);
    if (c.written) {
      EXPECT_TRUE(window_->TimerRunning(T::TimerQELPADTest));
      EXPECT_TRUE(window_->Close());
    }
  }
}

TEST_F(WindowScenario, ASettingsFileThatCannotBeWrittenIsSaidAndTheWindowStillCloses) {
  const std::string settings = dir_.File("missing") + "/rtdprog.ini";
  window_->Start(std::make_unique<sim::VirtualProgrammer>(sim::SimConfig{}, clock_), clock_,
                 shell::SessionPaths{dir_.File("jedec.ini"), settings});
  window_->box_answers = {IDOK};
  EXPECT_TRUE(window_->Close());
  // No settings were read: the window speaks Russian.
  EXPECT_EQ(Boxes(), Lines{"Ошибка: Не удаётся записать в " + settings});
  // The box of the close does not bring the watch back.
  EXPECT_FALSE(window_->TimerRunning(T::TimerQELPADTest));
}

TEST_F(WindowScenario, TheDebugSettingShowsBothDebugItemsAndUncheckingHidesThem) {
  Open(true, "Lang=1");
  EXPECT_FALSE(window_->MenuVisible("MenuItemDebug"));
  EXPECT_FALSE(window_->MenuVisible("MenuItemLog"));
  Open(true, "Lang=1\r\nDebug=1\r\nLog=1");
  EXPECT_TRUE(window_->MenuVisible("MenuItemDebug"));
  EXPECT_TRUE(window_->MenuChecked("MenuItemDebug"));
  EXPECT_TRUE(window_->MenuVisible("MenuItemLog"));
  EXPECT_TRUE(window_->Shell().CommLogEnabled());
  window_->ChooseMenuItem("MenuItemDebug");
  EXPECT_FALSE(window_->MenuVisible("MenuItemDebug"));
  EXPECT_FALSE(window_->MenuVisible("MenuItemLog"));
}

TEST_F(WindowScenario, BoxesOpenCentredFiftyPixelsBelowTheCentreWithTheWatchStopped) {
  Open();
  auto& shell = window_->Shell();
  window_->box_answers = {IDYES, IDNO, IDOK, IDOK};
  EXPECT_EQ(shell.MessageBoxPrintf(MB_ICONWARNING, "Continue?"), IDYES);
  EXPECT_EQ(shell.MessageBoxPrintf(MB_ICONWARNING, "Continue?"), IDNO);
  EXPECT_EQ(shell.MessageBoxPrintf(MB_ICONERROR, "Failed %d", 3), IDOK);
  EXPECT_EQ(shell.MessageBoxPrintf(0, "plain"), IDOK);
  EXPECT_EQ(Boxes(), (Lines{"Warning: Continue?", "Warning: Continue?", "Error: Failed 3", ": plain"}));
  for (const ShownBox& box : window_->boxes) {
    SCOPED_TRACE(box.text);
    EXPECT_EQ(box.buttons, box.caption == "Warning" ? 2 : 1);
    EXPECT_FALSE(box.watch_running);
    EXPECT_EQ(At(box.rect),
              shell::MessageBoxPosition(box.window, shell::Size{box.rect.width, box.rect.height},
                                        window_->WorkArea()));
  }
  EXPECT_TRUE(window_->TimerRunning(T::TimerQELPADTest));
}

// Saved half off the screen's bottom-right corner, the window comes back
// whole, and the write's question, the chooser and the hex view of the
// differences
// all open inside the work area.
TEST_F(WindowScenario, NearTheScreensCornerTheWindowAndAllItOpensStayOnTheScreen) {
  Open(false);
  const shell::Rect area = window_->WorkArea();
  const shell::Rect designed = window_->WindowRect();
  Open(true, FormatText("Lang=1\r\nMainLeft=%d\r\nMainTop=%d",
                        area.left + area.width - designed.width / 2,
                        area.top + area.height - designed.height / 2));
  const auto inside = [&area](const shell::Rect& r) {
    return r.left >= area.left && r.top >= area.top &&
           r.left + r.width <= area.left + area.width &&
           r.top + r.height <= area.top + area.height;
  };
  EXPECT_TRUE(inside(window_->WindowRect()));
  std::string image = Pattern(1);
  SetFlash(image);
  image[0x40] = '\x00';
  WriteBytes(dir_.File("image.bin"), image);
  Connect();
  window_->box_answers = {IDNO};
  window_->Click(B::SpeedButtonWrite);
  window_->file_names = {dir_.File("image.bin")};
  window_->box_answers = {IDOK};
  window_->on_modal_shown = [this] { window_->Tick(T::TimerOnShow); };
  window_->ChooseServiceItem("MenuItemServiceCompare");
  ASSERT_EQ(window_->boxes.size(), 2u);
  ASSERT_EQ(window_->dialogs.size(), 1u);
  ASSERT_EQ(window_->hex_views.size(), 1u);
  for (const ShownBox& box : window_->boxes) EXPECT_TRUE(inside(box.rect)) << box.text;
  EXPECT_TRUE(inside(window_->dialogs[0].rect));
  EXPECT_TRUE(inside(window_->hex_views[0].rect));
}

TEST_F(WindowScenario, APollDuringAReadHidesTheGaugeAndTheNextStepBringsItBack) {
  Open();
  Connect();
  int last_pump = 0;
  window_->file_names = {""};  // the read ends at the chooser
  window_->on_pump = [&](int pump) {
    last_pump = pump;
    if (pump == 30) {
      EXPECT_TRUE(window_->GaugeVisible());
      window_->Shell().session().link().PollHoldoff = 0;
      Tick();
      EXPECT_FALSE(window_->GaugeVisible());
      EXPECT_EQ(window_->Status().rfind("Controller \"RTD2662 programmer\" is connected", 0), 0u);
    } else if (pump == 31) {
      EXPECT_TRUE(window_->GaugeVisible());
      EXPECT_EQ(window_->Status(), "FLASH Read");
    }
  };
  window_->Click(B::SpeedButtonRead);
  EXPECT_GT(last_pump, 31);
}

TEST_F(WindowScenario, AToolbarNoticeBlinksAndThenLeavesTheEmptyPanel) {
  Open();
  window_->Shell().ToolbarNotice(2500, 250, "The file is written");
  EXPECT_EQ(window_->PanelCaption(), "The file is written");
  EXPECT_TRUE(window_->TimerRunning(T::TimerFlash));
  EXPECT_EQ(window_->TimerInterval(T::TimerFlash), 250u);
  EXPECT_TRUE(window_->TimerRunning(T::UniversalTimer));
  EXPECT_EQ(window_->TimerInterval(T::UniversalTimer), 2500u);
  window_->Tick(T::TimerFlash);
  EXPECT_FALSE(window_->PanelVisible());
  window_->Tick(T::TimerFlash);
  EXPECT_TRUE(window_->PanelVisible());
  window_->Tick(T::TimerFlash);
  window_->Tick(T::UniversalTimer);
  EXPECT_TRUE(window_->PanelVisible());
  EXPECT_EQ(window_->PanelCaption(), "");
  EXPECT_FALSE(window_->TimerRunning(T::TimerFlash));
  EXPECT_FALSE(window_->TimerRunning(T::UniversalTimer));
}

TEST_F(WindowScenario, SwitchingTheLanguageRetitlesAndTheWatchAnnouncesAgain) {
  Open();
  Tick();
  EXPECT_TRUE(window_->MenuChecked("MenuItemLanguageEnglishx"));
  window_->ChooseMenuItem("MenuItemLanguageRussianx");
  EXPECT_EQ(window_->Caption().rfind("Программатор RTD2662. Версия 1.03", 0), 0u);
  EXPECT_TRUE(window_->MenuChecked("MenuItemLanguageRussianx"));
  EXPECT_FALSE(window_->MenuChecked("MenuItemLanguageEnglishx"));
  Tick();
  EXPECT_EQ(window_->Log().front(), "************* Контроллер подключен ************");
}

TEST_F(WindowScenario, ALanguageSwitchDuringAReadWaitsForItsEnd) {
  Open();
  Connect();
  window_->file_names = {""};  // the read ends at the chooser
  std::string caption_during;
  AtPump(20, [&] {
    window_->ChooseMenuItem("MenuItemLanguageRussianx");
    caption_during = window_->Caption();
  });
  window_->Click(B::SpeedButtonRead);
  EXPECT_EQ(caption_during.rfind("Programmer RTD2662", 0), 0u);
  // The read ended with the programmer still counted as connected.
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
  EXPECT_TRUE(Contains(window_->Log(), "FLASH Read"));
  EXPECT_EQ(window_->Caption().rfind("Программатор RTD2662", 0), 0u);
  EXPECT_TRUE(window_->MenuChecked("MenuItemLanguageRussianx"));
}

TEST_F(WindowScenario, TheSavedLanguageTranslatesHintsAndCaptionsAndIsSavedAgain) {
  Open(true, "Lang=1\r\nDebug=1");
  EXPECT_EQ(window_->Caption().rfind("Programmer RTD2662. Version 1.03", 0), 0u);
  EXPECT_TRUE(window_->MenuChecked("MenuItemLanguageEnglishx"));
  EXPECT_EQ(window_->Hint("SpeedButtonRead"), "FLASH Read");
  // Designed without a visible hint; the translation at start shows it.
  EXPECT_EQ(window_->Hint("SpeedButtonGetTouchParam"),
            "Obtain the calibration parameters of QEL_TOUCH_I2C_SIMPLE");
  EXPECT_EQ(window_->Hint("PanelMenu"),
            "Select Options from the menu after clicking the right mouse button");
  EXPECT_EQ(window_->MenuText("MenuItemDebug"), "Debug");
  EXPECT_EQ(window_->MenuText("MenuItemLog"), "Communication log");
  EXPECT_EQ(window_->MenuText("MenuItemLanguagex"), "Язык/Language");
  window_->ChooseMenuItem("MenuItemLanguageRussianx");
  EXPECT_EQ(window_->Hint("SpeedButtonRead"), "Чтение памяти");
  EXPECT_EQ(window_->MenuText("MenuItemLog"), "Лог обмена");
  EXPECT_TRUE(window_->Close());
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("Lang=0"), std::string::npos);
}

TEST_F(WindowScenario, AfterASwitchTheOldLogStaysAndTheNextBoxSpeaksTheNewLanguage) {
  Open(false);
  window_->Shell().LogPrintf("written in English");
  window_->ChooseMenuItem("MenuItemLanguageRussianx");
  window_->box_answers = {IDNO};
  window_->Shell().MessageBoxPrintf(MB_ICONWARNING, "?");
  EXPECT_EQ(window_->Log(), Lines{"written in English"});
  EXPECT_EQ(Boxes(), Lines{"Предупреждение: ?"});
}

TEST_F(WindowScenario, ADoubleClickClearsTheLogAndTheNextPollLeavesItEmpty) {
  Open();
  Tick();
  ASSERT_FALSE(window_->Log().empty());
  window_->DoubleClickLog();
  EXPECT_TRUE(window_->Log().empty());
  Tick();
  EXPECT_TRUE(window_->Log().empty());
}

TEST_F(WindowScenario, AnExceptionOutOfAHandlerIsShownAndTheWindowGoesOn) {
  Open();
  Connect();
  window_->box_answers = {IDOK};
  device_->throw_now = true;
  window_->Click(B::SpeedButtonRead);
  EXPECT_EQ(Boxes(), (Lines{"Error: Unexpected error: driver fault"}));
  EXPECT_EQ(IdleFlag(), 1);
  EXPECT_FALSE(window_->GaugeVisible());
  device_->throw_now = false;
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
  window_->file_names = {dir_.File("after.bin")};
  window_->Click(B::SpeedButtonRead);
  EXPECT_EQ(ReadBytes(dir_.File("after.bin")).size(), kFlashSize);
}

// A handler that fails inside a running read (the watch's poll here) is
// shown, and the read goes on: the window is made idle only at its end.
TEST_F(WindowScenario, AHandlerFailingUnderARunningReadLeavesTheReadRunning) {
  Open();
  const std::string content = Pattern(2);
  std::copy(content.begin(), content.end(), device_->Flash().begin());
  Connect();
  window_->box_answers = {IDOK};
  window_->file_names = {dir_.File("dump.bin")};
  std::vector<B> enabled_after_the_failure;
  window_->on_pump = [&](int pump) {
    if (pump == 20) {
      window_->Shell().session().link().PollHoldoff = 0;
      device_->throw_now = true;
      Tick();
      device_->throw_now = false;
    } else if (pump == 21) {
      enabled_after_the_failure = window_->EnabledButtons();
    }
  };
  window_->Click(B::SpeedButtonRead);
  EXPECT_EQ(Boxes(), (Lines{"Error: Unexpected error: driver fault"}));
  EXPECT_EQ(enabled_after_the_failure, (std::vector<B>{B::SpeedButtonRead}));
  EXPECT_EQ(ReadBytes(dir_.File("dump.bin")).size(), kFlashSize);
  EXPECT_EQ(IdleFlag(), 1);
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
}

// Each item of the Service submenu on the virtual programmer, from an
// identified chip to what the item leaves behind.
TEST_F(WindowScenario, EachServiceItemRunsThroughTheWindow) {
  struct Case {
    const char* item;
    std::string flash;
    std::vector<int> answers;
    const char* file;       // chosen in its file dialog
    std::string log_line;   // said in the log
    std::string flash_after;
  };
  const std::string blank(kFlashSize, '\xFF');
  const Case cases[] = {
      {"MenuItemServiceReadTwice", Pattern(1), {}, "dump.bin", "Both FLASH reads agree",
       Pattern(1)},
      {"MenuItemServiceBlankCheck", blank, {}, "", "FLASH is blank", blank},
      {"MenuItemServiceErase", Pattern(2), {IDYES}, "", "Erase FLASH successfully", blank},
      {"MenuItemServiceWrite", blank, {IDYES}, "image.bin", "Write FLASH successfully",
       Pattern(7)},
  };
  WriteBytes(dir_.File("image.bin"), Pattern(7));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    Open();
    EXPECT_FALSE(window_->MenuEnabled(c.item));
    SetFlash(c.flash);
    Connect();
    EXPECT_TRUE(window_->MenuEnabled(c.item));
    window_->box_answers = {c.answers.begin(), c.answers.end()};
    window_->file_names.clear();
    if (*c.file != '\0') window_->file_names = {dir_.File(c.file)};
    window_->ChooseServiceItem(c.item);
    EXPECT_TRUE(Contains(window_->Log(), c.log_line));
    EXPECT_EQ(Flash(), c.flash_after);
    EXPECT_TRUE(window_->MenuEnabled(c.item));
    EXPECT_EQ(IdleFlag(), 1);
  }
  EXPECT_EQ(ReadBytes(dir_.File("dump.bin")), Pattern(1));

  // The backup folder needs no programmer; it is made when missing, under
  // its own name in any script.
  backup_dir_ = dir_.File("Иван");
  Open(false);
  window_->ChooseServiceItem("MenuItemServiceBackupFolder");
  EXPECT_EQ(window_->opened_folders, Lines{BackupFolder()});
  EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(BackupFolder())));
  window_->folders_open = false;
  window_->boxes.clear();
  window_->box_answers = {IDOK};
  window_->ChooseServiceItem("MenuItemServiceBackupFolder");
  EXPECT_EQ(Boxes(), Lines{"Error: Unable to open the folder " + BackupFolder()});
}

// The compare's file and chip side by side in the hex view, opened on the
// first difference, each differing byte marked in both, every column seen
// on a screen 1280 wide; the next and the previous difference, a range of
// the list, a range of the chip saved, and Copy as the list of differences
// always copied.
TEST_F(WindowScenario, TheFullCompareShowsTheFileAndTheChipSideBySideWithTheDifferencesMarked) {
  Open();
  std::string image = Pattern(1);
  SetFlash(image);
  image[0x12] = '\x00';
  image[0x13] = '\x01';
  image[0x300] = '\x5A';
  WriteBytes(dir_.File("image.bin"), image);
  Connect();
  window_->file_names = {dir_.File("image.bin")};
  window_->box_answers = {IDOK};  // the compare's first difference
  const shell::HexLayout layout(2);
  Lines statuses;
  ShownHexView at_1280;
  window_->in_hex_view = [&] {
    window_->HexResize(1280, 960);
    at_1280 = window_->HexView();
    const ShownHexView first = window_->HexView();
    // The row of 0x10: bytes 2 and 3 differ, on each side.
    const auto row_of = [](const std::vector<shell::HexRowText>& rows, const char* address) {
      return std::find_if(rows.begin(), rows.end(), [address](const shell::HexRowText& r) {
        return r.text.rfind(address, 0) == 0;
      });
    };
    const auto row_10 = row_of(first.rows, "0x000010");
    ASSERT_NE(row_10, first.rows.end());
    const shell::HexRowText& row = *row_10;
    const auto marks_at = [&row](int column) {
      for (const shell::HexSpan& s : row.spans)
        if (column >= s.column && column < s.column + s.length) return s.marks;
      return uint8_t{0};
    };
    for (int source : {0, 1}) {
      for (uint32_t byte = 1; byte < 5; ++byte) {
        const bool differs = byte == 2 || byte == 3;
        EXPECT_EQ((marks_at(layout.HexColumn(source, byte)) & shell::kHexDiffers) != 0, differs);
        EXPECT_EQ((marks_at(layout.TextColumn(source, byte)) & shell::kHexDiffers) != 0, differs);
      }
    }
    statuses.push_back(first.status);
    window_->HexDifference(false);
    statuses.push_back(window_->HexView().status);
    window_->HexDifference(true);
    statuses.push_back(window_->HexView().status);
    window_->HexChooseRange(1);
    // The chip's side of the row of 0x300, and 16 of its bytes saved.
    const auto rows = window_->HexView().rows;
    const auto row_300 = row_of(rows, "0x000300");
    ASSERT_NE(row_300, rows.end());
    window_->HexClick(static_cast<int>(row_300 - rows.begin()), layout.HexColumn(1, 0));
    window_->HexSaveRange("300", "10");
    statuses.push_back(window_->HexView().status);
  };
  window_->file_names.push_back(dir_.File("chip-part.bin"));
  window_->ChooseServiceItem("MenuItemServiceCompare");
  ASSERT_EQ(window_->hex_views.size(), 1u);
  const ShownHexView& shown = window_->hex_views[0];
  EXPECT_EQ(shown.title, "Differences between the file and the FLASH");
  EXPECT_EQ(at_1280.rect.width, 1280);
  EXPECT_TRUE(at_1280.line_whole);
  EXPECT_TRUE(at_1280.status_whole);
  EXPECT_EQ(shown.ranges, (Lines{"Differs 0x000012...0x000013, length 0x2",
                                 "Differs 0x000300...0x000300, length 0x1"}));
  const std::string at_12 =
      "0x000012 in the 64 KiB range 0x000000...0x00FFFF, File 00, FLASH " +
      FormatText("%02X", static_cast<uint8_t>(Pattern(1)[0x12]));
  EXPECT_EQ(statuses, (Lines{
      at_12 + "; selected 0x000012...0x000013, length 0x2",
      "0x000300 in the 64 KiB range 0x000000...0x00FFFF, File 5A, FLASH " +
          FormatText("%02X", static_cast<uint8_t>(Pattern(1)[0x300])) +
          "; selected 0x000300...0x000300, length 0x1",
      at_12 + "; selected 0x000012...0x000013, length 0x2",
      "0x000300 in the 64 KiB range 0x000000...0x00FFFF, File 5A, FLASH " +
          FormatText("%02X", static_cast<uint8_t>(Pattern(1)[0x300])) +
          ". FLASH 0x000300...0x00030F (length 0x10) saved to " + dir_.File("chip-part.bin"),
  }));
  EXPECT_EQ(ReadBytes(dir_.File("chip-part.bin")), Pattern(1).substr(0x300, 16));

  const auto hex = [&](bool file, uint32_t at) {
    const std::string& from = file ? image : Pattern(1);
    return FormatText("%02X", static_cast<uint8_t>(from[at]));
  };
  // Never "literal" + a temporary string here: GCC 12 at -O3 reports a
  // false overlap in it (-Wrestrict), and CI builds with warnings as errors.
  std::string line = "0x000010 ";
  for (bool file : {true, false}) {
    for (uint32_t i = 0x10; i < 0x20; ++i) {
      line += i == 0x12 ? "[" : i == 0x14 ? "]" : " ";
      line += hex(file, i);
    }
    line += file ? "  |" : " ";
  }
  EXPECT_NE(shown.copied.find("Differs 0x000012...0x000013, length 2\n" + line + "\n"),
            std::string::npos)
      << shown.copied;
  EXPECT_NE(shown.copied.find(FormatText("[%s]", hex(true, 0x300).c_str())), std::string::npos);
  EXPECT_NE(shown.copied.find("Differing bytes in all: 3\n"), std::string::npos);
  EXPECT_EQ(window_->EnabledButtons().size(), 8u);
}

// A file of the largest chip: its end one key away, an address gone to, a
// text and a byte string found, and a range saved as safely as a dump.
TEST_F(WindowScenario, AFileOfTheLargestChipIsViewedSearchedAndARangeOfItSaved) {
  Open(false);
  std::string content(16u << 20, '\xFF');
  content.replace(0, kFlashSize, Pattern(3));
  content.replace(0xABC123, 10, "PANEL V1.2");
  content.replace(0x00F000, 2, "\x55\xAA");
  WriteBytes(dir_.File("big.bin"), content);
  EXPECT_TRUE(window_->MenuEnabled("MenuItemServiceViewFile"));
  EXPECT_FALSE(window_->MenuEnabled("MenuItemServiceViewDump"));
  EXPECT_FALSE(window_->MenuEnabled("MenuItemServiceViewBackup"));
  window_->file_names = {dir_.File("big.bin"), dir_.File("panel.bin"), dir_.File("part.bin")};
  std::vector<ShownHexView> seen;
  window_->in_hex_view = [&] {
    window_->HexKey(shell::HexKey::kEnd, true);
    seen.push_back(window_->HexView());
    window_->HexGoTo("abc000");
    seen.push_back(window_->HexView());
    window_->HexFind("panel v1", false);
    window_->HexSaveRange();
    seen.push_back(window_->HexView());
    window_->HexFind("55 AA", true, true);
    seen.push_back(window_->HexView());
    window_->HexKey(shell::HexKey::kDown, false, true);
    window_->HexSaveRange();
  };
  window_->ChooseServiceItem("MenuItemServiceViewFile");
  ASSERT_EQ(window_->hex_views.size(), 1u);
  const ShownHexView& opened = window_->hex_views[0];
  EXPECT_EQ(opened.title, "View: " + dir_.File("big.bin"));
  ASSERT_FALSE(opened.rows.empty());
  EXPECT_EQ(opened.rows[0].text.substr(0, 12), "0x000000  " + HexOf(Pattern(3)[0]));
  EXPECT_EQ(opened.scroll, 0);
  EXPECT_EQ(opened.scroll_end, 0x100000 - static_cast<int>(opened.rows.size()));

  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].status, "0xFFFFFF in the 64 KiB range 0xFF0000...0xFFFFFF");
  EXPECT_EQ(seen[0].rows.back().text.substr(0, 8), "0xFFFFF0");
  EXPECT_EQ(seen[0].scroll, seen[0].scroll_end);
  EXPECT_EQ(seen[1].status, "0xABC000 in the 64 KiB range 0xAB0000...0xABFFFF");
  EXPECT_EQ(seen[1].rows[0].text.substr(0, 8), "0xABC000");
  EXPECT_EQ(seen[2].status, "0xABC123 in the 64 KiB range 0xAB0000...0xABFFFF; selected "
                            "0xABC123...0xABC12A, length 0x8. 0xABC123...0xABC12A (length 0x8) saved to " +
                                dir_.File("panel.bin"));
  EXPECT_EQ(seen[2].start, "0xABC123");
  EXPECT_EQ(seen[2].length, "0x8");
  EXPECT_EQ(seen[3].status.substr(0, 8), "0x00F000");
  EXPECT_EQ(ReadBytes(dir_.File("panel.bin")), "PANEL V1");
  // From the match's end, Shift+Down to the byte a row below the start.
  EXPECT_EQ(ReadBytes(dir_.File("part.bin")), content.substr(0xF001, 16));
  EXPECT_TRUE(Contains(window_->Log(), "0xABC123...0xABC12A (length 0x8) saved to " +
                                           dir_.File("panel.bin")));
}

// A note longer than the dialog is wide, a word longer than a line in it,
// wraps: the status line grows in height and is seen whole, and the dialog
// keeps its size before, during and after it.
TEST_F(WindowScenario, ALongNoteInTheHexViewWrapsAndTheViewKeepsItsSize) {
  Open(false);
  WriteBytes(dir_.File("small.bin"), Pattern(2).substr(0, 0x1000));
  window_->file_names = {dir_.File("small.bin")};
  const std::string typed(150, 'Z');
  std::vector<ShownHexView> seen, small;
  window_->in_hex_view = [&] {
    seen.push_back(window_->HexView());
    window_->HexGoTo(typed);
    seen.push_back(window_->HexView());
    window_->HexGoTo("800");
    seen.push_back(window_->HexView());
    // Made as small as it goes, it stays so when the note comes, and the
    // note keeps to its own room below the rows.
    window_->HexResize(300, 200);
    small.push_back(window_->HexView());
    window_->HexGoTo(std::string(600, 'Z'));
    small.push_back(window_->HexView());
  };
  window_->ChooseServiceItem("MenuItemServiceViewFile");
  ASSERT_EQ(small.size(), 2u);
  EXPECT_EQ(small[1].rect.width, small[0].rect.width);
  EXPECT_EQ(small[1].rect.height, small[0].rect.height);
  EXPECT_TRUE(small[1].status_below_rows);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NE(seen[1].status.find("\"" + typed + "\" is not a hex address"), std::string::npos);
  EXPECT_EQ(seen[2].status, "0x000800 in the 64 KiB range 0x000000...0x000FFF");
  for (const ShownHexView& v : seen) {
    SCOPED_TRACE(v.status);
    EXPECT_EQ(v.rect.width, seen[0].rect.width);
    EXPECT_EQ(v.rect.height, seen[0].rect.height);
    EXPECT_TRUE(v.status_whole);
    EXPECT_TRUE(v.line_whole);
  }
}

// The dump a read has saved and the backup an erase has made are each one
// choice away; a close while the view is open shuts it and the window goes.
TEST_F(WindowScenario, TheDumpJustSavedAndTheLatestBackupAreViewedAndACloseShutsTheView) {
  backup_dir_ = dir_.File("backups");
  Open();
  SetFlash(Pattern(5));
  Connect();
  EXPECT_FALSE(window_->MenuEnabled("MenuItemServiceViewDump"));
  window_->file_names = {dir_.File("dump.bin")};
  window_->Click(B::SpeedButtonRead);
  EXPECT_TRUE(window_->MenuEnabled("MenuItemServiceViewDump"));
  EXPECT_FALSE(window_->MenuEnabled("MenuItemServiceViewBackup"));
  window_->box_answers = {IDYES};
  window_->ChooseServiceItem("MenuItemServiceErase");
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(window_->MenuEnabled("MenuItemServiceViewBackup"));
  window_->ChooseServiceItem("MenuItemServiceViewDump");
  window_->in_hex_view = [this] { window_->Close(); };
  window_->ChooseServiceItem("MenuItemServiceViewBackup");
  ASSERT_EQ(window_->hex_views.size(), 2u);
  EXPECT_EQ(window_->hex_views[0].title, "View: " + dir_.File("dump.bin"));
  EXPECT_EQ(window_->hex_views[1].title,
            "View: " + Utf8FromPath(PathFromUtf8(BackupFolder()) / Backups()[0]));
  for (const ShownHexView& v : window_->hex_views)
    EXPECT_EQ(v.rows.at(0).text.substr(10, 2), HexOf(Pattern(5)[0]));
  EXPECT_TRUE(window_->Closed());
  EXPECT_FALSE(ProgrammerOpen());
}

// The switch is on by default, saved when changed, and read again at the
// next start; off, an erase makes no backup.
TEST_F(WindowScenario, TheBackupSwitchIsSavedAndHonouredByTheErase) {
  backup_dir_ = dir_.File("backups");
  Open();
  EXPECT_TRUE(window_->MenuChecked("MenuItemBackup"));
  EXPECT_EQ(window_->MenuText("MenuItemBackup"), "Backup before erase");
  SetFlash(Pattern(3));
  Connect();
  window_->box_answers = {IDYES};
  window_->ChooseServiceItem("MenuItemServiceErase");
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_EQ(ReadBytes((std::filesystem::path(BackupFolder()) / Backups()[0]).string()),
            Pattern(3));

  window_->ChooseMenuItem("MenuItemBackup");
  EXPECT_FALSE(window_->MenuChecked("MenuItemBackup"));
  EXPECT_TRUE(window_->Close());
  EXPECT_NE(ReadBytes(dir_.File("rtdprog.ini")).find("Backup=0"), std::string::npos);
  Open(true, "");
  EXPECT_FALSE(window_->MenuChecked("MenuItemBackup"));
  // Said at the start and again in the log the plug-in begins afresh, and
  // at every erase without a copy: the settings file may lie in a shared
  // folder, switched off by someone else.
  const std::string off = "Backups before erasing are switched off (menu: \"Backup before erase\")";
  EXPECT_TRUE(Contains(window_->Log(), off));
  SetFlash(Pattern(4));
  Connect();
  EXPECT_TRUE(Contains(window_->Log(), off));
  window_->box_answers = {IDYES};
  window_->ChooseServiceItem("MenuItemServiceErase");
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
  EXPECT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(Contains(window_->Log(), "No backup: switched off by the settings"));
}

// No folder for the copy: the erase stops before anything is sent, until
// the user switches the backup off.
TEST_F(WindowScenario, WithoutABackupFolderTheEraseStopsUntilTheSwitchIsOff) {
  backup_problem_ = "no home";
  Open();
  SetFlash(Pattern(3));
  Connect();
  window_->boxes.clear();
  window_->box_answers = {IDOK};
  window_->ChooseServiceItem("MenuItemServiceErase");
  EXPECT_EQ(Flash(), Pattern(3));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].rfind("Error: There is no folder for the FLASH backup: no home\n", 0), 0u)
      << Boxes()[0];
  EXPECT_EQ(Boxes()[0].find("--"), std::string::npos) << "an option named in the window";

  window_->ChooseMenuItem("MenuItemBackup");
  window_->box_answers = {IDYES};
  window_->ChooseServiceItem("MenuItemServiceErase");
  EXPECT_EQ(Flash(), std::string(kFlashSize, '\xFF'));
}

}  // namespace
}  // namespace rtd::test
