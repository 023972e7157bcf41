// The bus around the programmer (other devices, the cable), injected faults
// and the flash content's backing file.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "sim_bench.h"

namespace rtd::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

class Bus : public SimBench {};

TEST_F(Bus, DecoysAreEnumeratedAroundTheProgrammerWithTheirOwnIdentity) {
  SimConfig c;
  Decoy lower_case;
  lower_case.manufacturer = "qel";
  Decoy cyrillic;
  cyrillic.manufacturer = "КЭЛ";
  cyrillic.before_programmer = false;
  Decoy closed;
  closed.vendor_id = 0x046D;
  closed.openable = false;
  Decoy mute;
  mute.strings_readable = false;
  mute.before_programmer = false;
  c.decoys = {lower_case, cyrillic, closed, mute};
  Start(c);

  const auto paths = sim->EnumerateInterfaces();
  ASSERT_EQ(paths.size(), 5u);
  EXPECT_EQ(paths[2], sim->ProgrammerPath());
  std::set<std::string> unique(paths.begin(), paths.end());
  EXPECT_EQ(unique.size(), 5u);

  HidHandle h = sim->Open(paths[0]);
  std::u16string text;
  ASSERT_TRUE(sim->GetManufacturerString(h, text));
  EXPECT_EQ(text, u"qel");
  ASSERT_TRUE(sim->GetProductString(h, text));
  EXPECT_EQ(text, u"ZEZ2662-IDAD");
  // A decoy takes no feature reports.
  const HidReport r = Request(0x01, 0);
  EXPECT_FALSE(sim->SetFeature(h, r.data(), r.size()));
  sim->Close(h);

  h = sim->Open(paths[3]);
  ASSERT_TRUE(sim->GetManufacturerString(h, text));
  EXPECT_EQ(text, u"\u041A\u042D\u041B");
  sim->Close(h);

  EXPECT_EQ(sim->Open(paths[1]), nullptr);
  h = sim->Open(paths[4]);
  HidAttributes a;
  ASSERT_TRUE(sim->GetAttributes(h, a));
  EXPECT_EQ(a.VendorID, 0xFFFF);
  EXPECT_EQ(a.ProductID, 0x00FF);
  EXPECT_FALSE(sim->GetManufacturerString(h, text));
  EXPECT_FALSE(sim->GetProductString(h, text));
  sim->Close(h);

  ASSERT_TRUE(sim->GetAttributes(handle, a));
  EXPECT_EQ(a.VendorID, 0xFFFF);
  ASSERT_TRUE(sim->GetManufacturerString(handle, text));
  EXPECT_EQ(text, u"QEL");
  EXPECT_EQ(sim->HandlePath(handle), sim->ProgrammerPath());
  EXPECT_EQ(sim->OpenHandles(), 1u);
}

TEST_F(Bus, UnpluggedProgrammerVanishesAndItsOldHandlesStayDead) {
  Start();
  sim->Unplug();
  EXPECT_FALSE(sim->Attached());
  EXPECT_TRUE(sim->EnumerateInterfaces().empty());
  EXPECT_EQ(sim->Open(sim->ProgrammerPath()), nullptr);
  const HidReport r = Request(0x01, 0);
  EXPECT_FALSE(sim->SetFeature(handle, r.data(), r.size()));
  HidReport poll{};
  poll[0] = kReportId;
  EXPECT_FALSE(sim->GetFeature(handle, poll.data(), poll.size()));
  HidAttributes a;
  EXPECT_FALSE(sim->GetAttributes(handle, a));

  sim->Plug();
  EXPECT_EQ(sim->EnumerateInterfaces().size(), 1u);
  EXPECT_FALSE(sim->SetFeature(handle, r.data(), r.size()));  // the old handle
  sim->Close(handle);
  handle = sim->Open(sim->ProgrammerPath());
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Ask(0x01)[1], 0x81);
}

TEST_F(Bus, StartsUnpluggedAndUnplugsAfterItsExchanges) {
  SimConfig c;
  c.attached = false;
  sim = std::make_unique<VirtualProgrammer>(c, clock);
  EXPECT_TRUE(sim->EnumerateInterfaces().empty());
  sim->Plug();

  c.attached = true;
  c.unplug_after = 2;
  Start(c);
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_FALSE(sim->Attached());  // gone as soon as the second answer was fetched
  const HidReport r = Request(0x41, 0);
  EXPECT_FALSE(sim->SetFeature(handle, r.data(), r.size()));
  // Only once: plugged back in, it stays.
  sim->Plug();
  sim->Close(handle);
  handle = sim->Open(sim->ProgrammerPath());
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_TRUE(sim->Attached());
}

TEST_F(Bus, LibraryAndEntryPointsFollowTheConfigAndCanChange) {
  SimConfig c;
  c.library_loadable = false;
  c.entry_points = false;
  Start(c);
  EXPECT_FALSE(sim->LoadLibrary());
  EXPECT_FALSE(sim->ResolveEntryPoints());
  sim->SetLibraryLoadable(true);
  sim->SetEntryPointsPresent(true);
  EXPECT_TRUE(sim->LoadLibrary());
  EXPECT_TRUE(sim->ResolveEntryPoints());
}

class Faults : public SimBench {
 protected:
  void SetUp() override { Start(); }
};

TEST_F(Faults, MatchByCommandAndAddressSkippingAfterThenCount) {
  sim->AddFault({FaultKind::kStatus253, 0x42, 0x000200, 1, 2});
  const auto status = [&](uint32_t address) { return Ask(0x42, address)[1]; };
  EXPECT_EQ(status(0x000200), 0xC2);  // skipped: after=1
  EXPECT_EQ(status(0x000100), 0xC2);  // another address
  EXPECT_EQ(Ask(0x43, 0x000200, {0, 2, 0})[1], 0xC3);  // another command
  EXPECT_EQ(status(0x000200), kReplyFailed);
  EXPECT_EQ(status(0x000200), kReplyFailed);
  EXPECT_EQ(status(0x000200), 0xC2);  // count=2 used up

  sim->ClearFaults();
  sim->AddFault({FaultKind::kStatus254, -1, -1, 0, 0});  // everything, for ever
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Ask(0x41)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x83)[1], kReplyParamError);
}

TEST_F(Faults, StatusFaultsRefuseTheCommand) {
  sim->AddFault({FaultKind::kStatus253, 0x44, -1, 0, 1});
  const HidReport reply = Ask(0x44, 0);
  EXPECT_EQ(reply[1], kReplyFailed);
  EXPECT_EQ(reply[5], 0);
  EXPECT_FALSE(sim->WriteEnabled());
}

TEST_F(Faults, ReplyCorruptions) {
  sim->AddFault({FaultKind::kBadChecksum, 0x41, -1, 0, 1});
  ASSERT_TRUE(sim->SetFeature(handle, Request(0x41, 0).data(), kReportSize));
  HidReport reply{};
  reply[0] = kReportId;
  ASSERT_TRUE(sim->GetFeature(handle, reply.data(), reply.size()));
  EXPECT_EQ(reply[1], 0xC1);
  EXPECT_NE(reply[kReportChecksumOffset], ReportChecksum(reply));

  sim->AddFault({FaultKind::kWrongAddress, 0x42, -1, 0, 1});
  reply = Ask(0x42, 0x001200);
  EXPECT_EQ(reply[1], 0xC2);
  EXPECT_NE(ReportAddress(reply), 0x001200u);

  sim->AddFault({FaultKind::kShortBlock, 0x42, -1, 0, 1});
  EXPECT_EQ(AskData(0x42, 0x001200).size(), 100u);
  sim->AddFault({FaultKind::kShortBlock, 0x70, -1, 0, 1});
  EXPECT_EQ(AskData(0x70).size(), 10u);
}

TEST_F(Faults, TimeoutNeverAnswersAndTransferFailureRefusesTheReport) {
  sim->AddFault({FaultKind::kTimeout, 0x44, -1, 0, 1});
  const HidReport silent = Send(Request(0x44, 0), 500);
  EXPECT_EQ(silent[1], 0);
  EXPECT_EQ(polls, 500);
  EXPECT_FALSE(sim->WriteEnabled());  // the command never ran
  EXPECT_EQ(Ask(0x44)[1], 0xC4);      // the next one is answered

  sim->AddFault({FaultKind::kTransferFailure, 0x03, -1, 0, 1});
  const uint64_t before = sim->Exchanges();
  const HidReport reset = Request(0x83, 0);
  EXPECT_FALSE(sim->SetFeature(handle, reset.data(), reset.size()));
  EXPECT_EQ(sim->Exchanges(), before);
  EXPECT_EQ(Ask(0x83)[1], kReplySuccess);
}

class BackingFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rtd-sim-image-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    path_ = dir_ / "flash.bin";
  }
  void TearDown() override { fs::remove_all(dir_); }
  Bytes Contents() {
    std::ifstream f(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }
  SimConfig Config() {
    SimConfig c;
    c.size = 64 * 1024;
    c.image = path_.string();
    c.erase_ms = 0;
    return c;
  }

  ManualClock clock_;
  fs::path dir_;
  fs::path path_;
};

TEST_F(BackingFile, MissingFileStartsErasedAndShortFileIsPadded) {
  {
    VirtualProgrammer sim(Config(), clock_);
    EXPECT_TRUE(sim.ImageError().empty());
  }
  EXPECT_EQ(Contents(), Bytes(64 * 1024, 0xFF));

  {
    std::ofstream f(path_, std::ios::binary | std::ios::trunc);
    f << "ABC";
  }
  VirtualProgrammer sim(Config(), clock_);
  EXPECT_EQ(Bytes(sim.Flash().begin(), sim.Flash().begin() + 4), (Bytes{'A', 'B', 'C', 0xFF}));
  const Bytes file = Contents();
  ASSERT_EQ(file.size(), 64u * 1024);
  EXPECT_EQ(file[3], 0xFF);
}

TEST_F(BackingFile, ProgrammedPagesAndErasesSurviveARestart) {
  const Bytes page(256, 0x5A);
  {
    VirtualProgrammer sim(Config(), clock_);
    HidHandle h = sim.Open(sim.ProgrammerPath());
    const auto exchange = [&](const HidReport& request) {
      ASSERT_TRUE(sim.SetFeature(h, request.data(), request.size()));
      HidReport reply{};
      reply[0] = kReportId;
      ASSERT_TRUE(sim.GetFeature(h, reply.data(), reply.size()));
      EXPECT_EQ(reply[kReportDataOffset], 0);
    };
    exchange(Request(0x44, 0));
    exchange(Request(0x49, 0x1200, page));
    // Written through at once, not only at the end.
    EXPECT_EQ(Contents()[0x1200], 0x5A);
    sim.Close(h);
  }
  {
    VirtualProgrammer sim(Config(), clock_);
    EXPECT_EQ(sim.Flash()[0x12FF], 0x5A);
    EXPECT_EQ(sim.Flash()[0x1300], 0xFF);
    sim.Flash()[0] = 0x00;  // changed behind the device's back: kept by the destructor
  }
  EXPECT_EQ(Contents()[0], 0x00);
  {
    VirtualProgrammer sim(Config(), clock_);
    HidHandle h = sim.Open(sim.ProgrammerPath());
    for (const HidReport& r : {Request(0x44, 0), Request(0x48, 0)}) {
      ASSERT_TRUE(sim.SetFeature(h, r.data(), r.size()));
      HidReport reply{};
      reply[0] = kReportId;
      ASSERT_TRUE(sim.GetFeature(h, reply.data(), reply.size()));
    }
    EXPECT_EQ(Contents(), Bytes(64 * 1024, 0xFF));
    sim.Close(h);
  }
}

TEST_F(BackingFile, UnusablePathIsReportedAndTheChipStillWorks) {
  SimConfig c = Config();
  c.image = (dir_ / "no-such-dir" / "flash.bin").string();
  VirtualProgrammer sim(c, clock_);
  EXPECT_NE(sim.ImageError().find("no-such-dir"), std::string::npos);
  EXPECT_EQ(sim.Flash(), Bytes(64 * 1024, 0xFF));
}

}  // namespace
}  // namespace rtd::sim::test
