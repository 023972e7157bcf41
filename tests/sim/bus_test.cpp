// The bus around the programmer (other devices, the cable), injected faults
// and the flash content's backing file.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/transport.h"
#include "sim/sim_flash.h"
#include "sim_bench.h"
#include "temp_dir.h"

namespace rtd::sim::test {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

class Bus : public SimBench {};

TEST_F(Bus, DecoysSitAroundTheProgrammerWithTheirOwnIdentity) {
  SimConfig c;
  Decoy cyrillic;
  cyrillic.manufacturer = "КЭЛ";
  Decoy closed;
  closed.openable = false;
  closed.before_programmer = false;
  Decoy mute;
  mute.vendor_id = 0x046D;
  mute.strings_readable = false;
  mute.before_programmer = false;
  c.decoys = {cyrillic, closed, mute};
  Start(c);

  const auto paths = sim->EnumerateInterfaces();
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[1], sim->ProgrammerPath());
  HidHandle h = sim->Open(paths[0]);
  std::u16string text;
  ASSERT_TRUE(sim->GetManufacturerString(h, text));
  EXPECT_EQ(text, u"\u041A\u042D\u041B");
  const HidReport r = Request(0x01, 0);
  EXPECT_FALSE(sim->SetFeature(h, r.data(), r.size()));  // decoys take no reports
  sim->Close(h);
  EXPECT_EQ(sim->Open(paths[2]), nullptr);
  h = sim->Open(paths[3]);
  HidAttributes a;
  ASSERT_TRUE(sim->GetAttributes(h, a));
  EXPECT_EQ(a.VendorID, 0x046D);
  EXPECT_FALSE(sim->GetProductString(h, text));
  sim->Close(h);
  EXPECT_EQ(sim->OpenHandles(), 1u);

  ASSERT_TRUE(sim->GetProductString(handle, text));
  EXPECT_EQ(text, u"ZEZ2662-IDAD");
}

TEST_F(Bus, SeveralProgrammersEachTellTheirOwnSerialNumber) {
  SimConfig c;
  c.programmers = 3;
  c.decoys = {Decoy{}};
  Start(c);
  const auto paths = sim->EnumerateInterfaces();
  ASSERT_EQ(paths.size(), 4u);
  EXPECT_EQ(paths[1], sim->ProgrammerPath());
  for (uint32_t k = 0; k < 3; ++k) {
    HidHandle h = sim->Open(paths[1 + k]);
    std::u16string text;
    ASSERT_TRUE(sim->GetProductString(h, text));
    EXPECT_EQ(text, u"ZEZ2662-IDAD");
    const HidReport r = Request(0x01, 0);
    ASSERT_TRUE(sim->SetFeature(h, r.data(), r.size()));
    HidReport reply{};
    reply[0] = kReportId;
    ASSERT_TRUE(sim->GetFeature(h, reply.data(), reply.size()));
    const auto info = Data(reply);
    ASSERT_EQ(info.size(), 56u);
    EXPECT_EQ(uint32_t{info[4]} | uint32_t{info[5]} << 8, 12345u + k);
    sim->Close(h);
  }
}

TEST_F(Bus, UnpluggedProgrammerVanishesAndItsOldHandlesStayDead) {
  SimConfig c;
  c.attached = false;
  sim = std::make_unique<VirtualProgrammer>(c, clock);
  EXPECT_TRUE(sim->EnumerateInterfaces().empty());
  EXPECT_EQ(sim->Open(sim->ProgrammerPath()), nullptr);
  sim->Plug();
  handle = sim->Open(sim->ProgrammerPath());
  ASSERT_NE(handle, nullptr);

  sim->Unplug();
  const HidReport r = Request(0x01, 0);
  EXPECT_FALSE(sim->SetFeature(handle, r.data(), r.size()));
  HidAttributes a;
  EXPECT_FALSE(sim->GetAttributes(handle, a));
  sim->Plug();
  EXPECT_FALSE(sim->SetFeature(handle, r.data(), r.size()));  // a handle from before
  sim->Close(handle);
  handle = sim->Open(sim->ProgrammerPath());
  EXPECT_EQ(Ask(0x01)[1], 0x81);
}

TEST_F(Bus, UnplugsOnceAfterItsExchanges) {
  SimConfig c;
  c.unplug_after = 2;
  Start(c);
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_FALSE(sim->Attached());  // as soon as the second answer was fetched
  sim->Plug();
  sim->Close(handle);
  handle = sim->Open(sim->ProgrammerPath());
  EXPECT_EQ(Ask(0x41)[1], 0xC1);
  EXPECT_TRUE(sim->Attached());
}

class Faults : public SimBench {
 protected:
  void SetUp() override { Start(); }
};

TEST_F(Faults, MatchByCommandAndAddressSkippingAfterThenCount) {
  sim->AddFault({FaultKind::kStatus253, 0x42, 0x000200, 1, 2});
  const auto answer = [&](uint32_t address) { return Ask(0x42, address)[1]; };
  EXPECT_EQ(answer(0x000200), 0xC2);  // after=1
  EXPECT_EQ(answer(0x000100), 0xC2);
  EXPECT_EQ(Ask(0x43, 0x000200, {0, 2, 0})[1], 0xC3);
  EXPECT_EQ(answer(0x000200), kReplyFailed);
  EXPECT_EQ(answer(0x000200), kReplyFailed);
  EXPECT_EQ(answer(0x000200), 0xC2);  // count=2 used up

  sim->ClearFaults();
  sim->AddFault({FaultKind::kStatus254, -1, -1, 0, 0});  // everything, for ever
  EXPECT_EQ(Ask(0x44)[1], kReplyParamError);
  EXPECT_EQ(Ask(0x83)[1], kReplyParamError);
  EXPECT_FALSE(sim->WriteEnabled());  // a refused command does not run
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
  EXPECT_NE(ReportAddress(Ask(0x42, 0x001200)), 0x001200u);
  sim->AddFault({FaultKind::kShortBlock, 0x42, -1, 0, 1});
  EXPECT_EQ(AskData(0x42, 0x001200).size(), 100u);
  sim->AddFault({FaultKind::kShortBlock, 0x70, -1, 0, 1});
  EXPECT_EQ(AskData(0x70).size(), 10u);
}

TEST_F(Faults, TimeoutNeverAnswersAndTransferFailureRefusesTheReport) {
  sim->AddFault({FaultKind::kTimeout, 0x44, -1, 0, 1});
  EXPECT_EQ(Send(Request(0x44, 0), 500)[1], 0);
  EXPECT_FALSE(sim->WriteEnabled());
  EXPECT_EQ(Ask(0x44)[1], 0xC4);  // the next request is answered

  sim->AddFault({FaultKind::kTransferFailure, 0x03, -1, 0, 1});
  const uint64_t before = sim->Exchanges();
  EXPECT_FALSE(sim->SetFeature(handle, Request(0x83, 0).data(), kReportSize));
  EXPECT_EQ(sim->Exchanges(), before);
  EXPECT_EQ(Ask(0x83)[1], kReplySuccess);
}

TEST_F(Faults, LostContactReadsOnesForGoodWhileWritesStillReachTheChip) {
  sim->Flash()[0] = 0x12;
  sim->SetStatusRegister(0x1C);
  sim->AddFault({FaultKind::kNoContact, -1, -1, 1, 1});
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xEF, 0x40, 0x13, 0}));  // after=1: the first exchange
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(AskData(0x42), Bytes(256, 0xFF));
  EXPECT_EQ(AskData(0x46), (Bytes{0, 0xFF}));
  const Bytes ones(0x100, 0xFF);
  EXPECT_EQ(AskData(0x43, 0, {0, 0, 0xFF}), (Bytes{0, SimCrc8(0, ones.data(), ones.size())}));
  // Unlock, erase: carried out on the chip behind the dead line.
  Ask(0x44);
  Ask(0x47, 0, {0x00});
  Ask(0x44);
  Ask(0x48);
  EXPECT_EQ(sim->Flash()[0], 0xFF);
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xFF, 0xFF, 0xFF, 0xFF}));  // count does not end it
}

TEST_F(Faults, AClipOnAnotherBoardGivesThatBoardsIdForGood) {
  sim->Flash()[0] = 0x12;
  sim->AddFault({FaultKind::kOtherChip, -1, -1, 1, 1, {0xC8, 0x40, 0x13}});
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xEF, 0x40, 0x13, 0}));
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xC8, 0x40, 0x13, 0}));
  EXPECT_EQ(AskData(0x42).at(0), 0x12);  // only the id changes
  EXPECT_EQ(AskData(0x41), (Bytes{0, 0xC8, 0x40, 0x13, 0}));  // count does not end it
}

class BackingFile : public SimBench {
 protected:
  void SetUp() override {
    config_.size = 64 * 1024;
    config_.image = (dir_ / "flash.bin").string();
    config_.erase_ms = 0;
  }
  void TearDown() override {
    if (handle) sim->Close(handle);
    sim.reset();
  }
  Bytes Contents() {
    std::ifstream f(config_.image, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  }

  rtd::test::TempDir temp_;
  fs::path dir_ = temp_.fs_path();
  SimConfig config_;
};

TEST_F(BackingFile, MissingFileStartsErasedAndShortFileIsPadded) {
  Start(config_);
  EXPECT_TRUE(sim->ImageError().empty());
  EXPECT_EQ(Contents(), Bytes(64 * 1024, 0xFF));
  std::ofstream(config_.image, std::ios::binary | std::ios::trunc) << "ABC";
  Start(config_);
  EXPECT_EQ(Bytes(sim->Flash().begin(), sim->Flash().begin() + 4), (Bytes{'A', 'B', 'C', 0xFF}));
  EXPECT_EQ(Contents().size(), 64u * 1024);
}

TEST_F(BackingFile, ProgrammedPagesAndErasesSurviveARestart) {
  Start(config_);
  AskData(0x44);
  AskData(0x49, 0x1200, Bytes(256, 0x5A));
  EXPECT_EQ(Contents()[0x1200], 0x5A);  // written through at once
  Start(config_);
  EXPECT_EQ(sim->Flash()[0x12FF], 0x5A);
  EXPECT_EQ(sim->Flash()[0x1300], 0xFF);
  sim->Flash()[0] = 0x00;  // changed behind the device's back: kept at the end
  Start(config_);
  EXPECT_EQ(sim->Flash()[0], 0x00);
  AskData(0x44);
  AskData(0x48);
  EXPECT_EQ(Contents(), Bytes(64 * 1024, 0xFF));

  config_.image = (dir_ / "no-such-dir" / "flash.bin").string();
  Start(config_);
  EXPECT_NE(sim->ImageError().find("no-such-dir"), std::string::npos);
  EXPECT_EQ(AskData(0x42).size(), 256u);
}

TEST_F(BackingFile, RunsOnOneImageTakeTurnsAndEachFindsTheChipAsTheLastLeftIt) {
  Start(config_);
  auto lock = sim->MakeLock();
  ASSERT_EQ(lock->Take(sim->ProgrammerPath()).outcome, LockOutcome::kTaken);
  VirtualProgrammer later(config_, clock);  // has read the chip before the write below
  HidTransport later_link(later);
  AskData(0x44);
  AskData(0x49, 0x1200, Bytes(256, 0x5A));
  EXPECT_EQ(later_link.LinkOpen(), kLinkInUse);
  lock->Release();
  ASSERT_EQ(later_link.LinkOpen(), kLinkOk);
  EXPECT_EQ(later.Flash()[0x1200], 0x5A);

  // Without an image file every run has a chip of its own.
  config_.image.clear();
  VirtualProgrammer one(config_, clock), other(config_, clock);
  HidTransport one_link(one), other_link(other);
  EXPECT_EQ(one_link.LinkOpen(), kLinkOk);
  EXPECT_EQ(other_link.LinkOpen(), kLinkOk);
}

}  // namespace
}  // namespace rtd::sim::test
