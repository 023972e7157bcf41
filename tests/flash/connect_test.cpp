// The connect check: waiting for the programmer's link to the flash, and
// identifying the chip through jedec.ini.

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Events = std::vector<std::string>;

class ConnectTest : public FlashBench {
 protected:
  OpResult Connect() { return ops_->SpeedButtonConnectClick(); }
  std::string ReadText() const {
    const auto bytes = ReadFile(dir_ / "jedec.ini");
    return std::string(bytes.begin(), bytes.end());
  }
  // The reply to this command carries a refusal in its status byte.
  void Refuse(uint8_t command) {
    bus_->on_reply = [command](uint8_t* report) {
      if (report[1] == (command | 0x80)) report[kReportDataOffset] = 1;
    };
  }
};

TEST_F(ConnectTest, LinkUpAtOnceIdentifiesTheChip) {
  Start();
  EXPECT_EQ(Connect(), OpResult::kOk);
  EXPECT_EQ(out_.events,
            (Events{"log: Connect check", "buttons busy", "enable SpeedButtonConnect",
                    "log: Connect established", "log: JEDEC ID: EF4013 Winbond W25Q40 512 KBytes",
                    "progress-hide", "buttons idle"}));
  EXPECT_TRUE(out_.steps.empty());
  EXPECT_EQ(ops_->CurrentFlash.JedecId, (JedecBytes{0xEF, 0x40, 0x13}));
  EXPECT_EQ(ops_->CurrentFlash.SizeInBytes, 524288u);
  EXPECT_EQ(out_.IdleFlag, 1);
  EXPECT_EQ(Commands(), (std::vector<uint8_t>{0x40, 0x41}));
}

TEST_F(ConnectTest, WaitsForTheLinkWithTheGauge) {
  sim::SimConfig config;
  config.link_up_ms = 3000;
  Start(config);
  EXPECT_EQ(Connect(), OpResult::kOk);
  EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established",
                                 "JEDEC ID: EF4013 Winbond W25Q40 512 KBytes"}));
  EXPECT_TRUE(out_.Has("progress-start 10000: Waiting for connection"));
  ASSERT_FALSE(out_.steps.empty());
  EXPECT_TRUE(std::is_sorted(out_.steps.begin(), out_.steps.end()));
  EXPECT_GE(out_.steps.back(), 2800);
  EXPECT_LT(out_.steps.back(), 3300);
}

TEST_F(ConnectTest, GivesUpAfterTenSecondsWithoutABox) {
  sim::SimConfig config;
  config.link_up_ms = 60000;
  Start(config);
  Identify();
  EXPECT_EQ(Connect(), OpResult::kNoLink);
  EXPECT_TRUE(out_.Boxes().empty());
  EXPECT_EQ(out_.Logs(), (Events{"Connect check", "No connect"}));
  ASSERT_FALSE(out_.steps.empty());
  EXPECT_GT(out_.steps.back(), 9500);
  EXPECT_LT(out_.steps.back(), 10000);
  const Events tail(out_.events.end() - 3, out_.events.end());
  EXPECT_EQ(tail, (Events{"progress-hide", "log: No connect", "buttons idle"}));
  // A check that never read an id leaves the earlier identification.
  EXPECT_TRUE(ops_->CurrentFlash.Identified());
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ConnectTest, SecondClickWhileWaitingStopsIt) {
  sim::SimConfig config;
  config.link_up_ms = 60000;
  Start(config);
  StopAtPump(5, &FlashOperations::SpeedButtonConnectClick);
  EXPECT_EQ(Connect(), OpResult::kStopped);
  EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: User terminate"}));
  const Events tail(out_.events.end() - 4, out_.events.end());
  EXPECT_EQ(tail, (Events{"box 0x10 Error: User terminate", "progress-hide", "log: No connect",
                          "buttons idle"}));
  EXPECT_EQ(out_.IdleFlag, 1);
}

TEST_F(ConnectTest, LinkFailureShowsTheLinkBoxThenNoConnect) {
  sim::SimConfig config;
  config.faults.push_back({sim::FaultKind::kStatus254, kCmdLinkCheck, -1, 0, 1});
  Start(config);
  EXPECT_EQ(Connect(), OpResult::kFailed);
  EXPECT_EQ(out_.Boxes(),
            (Events{"0x10 Error: Error reading from the device\nError in parameters"}));
  EXPECT_EQ(out_.Logs(), (Events{"Connect check", "No connect"}));
}

TEST_F(ConnectTest, RefusedIdReadLeavesTheChipAsItWas) {
  Start();
  Identify();
  Refuse(kCmdReadJedecId);
  EXPECT_EQ(Connect(), OpResult::kNoId);
  EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Error getting type FLASH", "No connect"}));
  EXPECT_TRUE(out_.Boxes().empty());
  EXPECT_EQ(ops_->CurrentFlash.Manufacturer, "Winbond W25Q40");
}

// The template's size is the id's capacity code where it has one; a fixed
// guess (512 KiB) only where the id tells no size.
TEST_F(ConnectTest, UnknownIdWritesATemplateThatTheNextCheckFinds) {
  const struct {
    JedecBytes id;
    uint32_t size;
    const char* found;
  } cases[] = {
      {{0xC2, 0x20, 0x16}, 4u << 20, "JEDEC ID: C22016 Manufacturer 4096 KBytes"},
      {{0xBF, 0x25, 0x99}, 524288, "JEDEC ID: BF2599 Manufacturer 512 KBytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.found);
    sim::SimConfig config;
    config.jedec = c.id;
    Start(config);
    Identify();  // an earlier chip is forgotten by a check that reads an id
    Forget();
    EXPECT_EQ(Connect(), OpResult::kUnknownChip);
    const std::string id = JedecSectionName(c.id);
    EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established", "JEDEC ID: " + id}));
    EXPECT_FALSE(ops_->CurrentFlash.Identified());
    std::string name;
    uint32_t size = 0;
    chips_->LookupFlashChip(c.id, name, size);
    EXPECT_EQ(name, "Manufacturer");
    EXPECT_EQ(size, c.size);

    Forget();
    EXPECT_EQ(Connect(), OpResult::kOk);
    EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established", c.found}));
    EXPECT_TRUE(out_.Boxes().empty());
    EXPECT_EQ(ops_->WholeChipSize(), c.size);
  }
}

// A chip larger than 24-bit addresses reach, by its id or by jedec.ini,
// whatever size the user entered: every check says so in one line with the
// chip's real size, and identifies (once it has a name) the part the
// programmer reaches. Its template gets no size, and no other line blames
// the file or asks for a size.
TEST_F(ConnectTest, AChipBeyondTheProgrammersReachIsSaidToBeSo) {
  const std::string path = (dir_ / "jedec.ini").string();
  const std::string by_id =
      "The FLASH id {} says {} KBytes: the chip is larger than the programmer can address; read, "
      "compare and the blank check cover its first 16384 KBytes, erase and write are refused";
  const std::string by_list = "Section [{}] of " + path +
                              " gives the FLASH {} KBytes: the chip is larger than the "
                              "programmer can address; read, compare and the blank check cover "
                              "its first 16384 KBytes, erase and write are refused";
  const struct {
    JedecBytes id;
    const char* entry;  // the section's keys; none: not listed
    unsigned long kib;
    const std::string& says;
    const char* name;  // as the second check finds it
  } cases[] = {
      {{0xEF, 0x40, 0x19}, nullptr, 32768, by_id, "Manufacturer"},
      {{0xEF, 0x40, 0x1F}, nullptr, 2097152, by_id, "Manufacturer"},
      {{0xEF, 0x40, 0x19}, "Manufacturer=W25Q256\nSizeInBytes=33554432\n", 32768, by_id,
       "W25Q256"},
      {{0xEF, 0x40, 0x19}, "Manufacturer=W25Q256\nSizeInBytes=16777216\n", 32768, by_id,
       "W25Q256"},
      {{0xEF, 0x40, 0x19}, "Manufacturer=W25Q256\nSizeInBytes=0x800000\n", 32768, by_id,
       "W25Q256"},
      {{0xEF, 0x40, 0x20}, "Manufacturer=W25Q512\nSizeInBytes=67108864\n", 65536, by_list,
       "W25Q512"},
      {{0xC2, 0x20, 0x18}, "Manufacturer=MX25L128\nSizeInBytes=16777217\n", 16385, by_list,
       "MX25L128"},
  };
  for (const auto& c : cases) {
    const std::string id = JedecSectionName(c.id);
    SCOPED_TRACE(id + " " + (c.entry ? c.entry : "not listed"));
    const std::string entry = c.entry ? "[" + id + "]\n" + c.entry : "";
    WriteText(dir_ / "jedec.ini", entry);
    sim::SimConfig config;
    config.jedec = c.id;
    Start(config);
    const std::string line = fmt::format(fmt::runtime(c.says), id, c.kib);
    for (int check = 0; check < 2; ++check) {
      Forget();
      EXPECT_EQ(Connect(), OpResult::kBeyondReach);
      EXPECT_EQ(out_.Boxes(), (Events{"0x130 Warning: " + line}));
      EXPECT_EQ(out_.Logs().back(), line);
    }
    EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established",
                                   fmt::format("JEDEC ID: {} {} {} KBytes", id, c.name, c.kib),
                                   line}));
    EXPECT_EQ(ops_->CurrentFlash.SizeInBytes, kMaxFlashSize);
    if (c.entry) {
      EXPECT_EQ(ReadText(), entry);
    } else {
      EXPECT_EQ(ReadText(), "[" + id + "]\nManufacturer=Manufacturer\n");
    }
  }
}

// The list's size is below what the id says: the erase wipes the whole
// chip, so the erasing operations keep that much, and the user is told.
TEST_F(ConnectTest, AnIdThatSaysMoreThanTheListIsWarnedOf) {
  sim::SimConfig config;
  config.jedec = {0xC2, 0x20, 0x16};
  WriteText(dir_ / "jedec.ini", "[C22016]\nManufacturer=Macronix\nSizeInBytes=524288\n");
  Start(config);
  EXPECT_EQ(Connect(), OpResult::kOk);
  const std::string warning =
      "The FLASH id C22016 says 4096 KBytes, jedec.ini says 512 KBytes: the backup and the blank "
      "check cover 4096 KBytes";
  EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established",
                                 "JEDEC ID: C22016 Macronix 512 KBytes", warning}));
  EXPECT_EQ(out_.Boxes(), (Events{"0x130 Warning: " + warning}));
  EXPECT_EQ(ops_->WholeChipSize(), 4u << 20);
}

// What the user wrote stays byte for byte; only what is missing is added.
TEST_F(ConnectTest, TemplateFillsInOnlyWhatIsMissing) {
  sim::SimConfig config;
  config.jedec = {0xC2, 0x20, 0x16};
  const std::string mine = "[C22016]\r\nManufacturer=Macronix MX25L3205\r\n";
  WriteText(dir_ / "jedec.ini", mine);
  Start(config);
  EXPECT_EQ(Connect(), OpResult::kUnknownChip);
  EXPECT_EQ(ReadText(), mine + "SizeInBytes=4194304\r\nSizeInBytesFrom=id\r\n");

  WriteText(dir_ / "jedec.ini", "[C22016]\nSizeInBytes=4194304\n");
  Forget();
  EXPECT_EQ(Connect(), OpResult::kUnknownChip);
  EXPECT_EQ(ReadText(), "[C22016]\nSizeInBytes=4194304\nManufacturer=Manufacturer\n");
  Forget();
  EXPECT_EQ(Connect(), OpResult::kOk);
  EXPECT_EQ(out_.Logs().back(), "JEDEC ID: C22016 Manufacturer 4096 KBytes");
}

// A size that cannot be read, or that no operation could work with, is
// named with its file and section; the entry stays as written and the chip
// unidentified.
TEST_F(ConnectTest, UnusableSizeIsReportedAndKept) {
  sim::SimConfig config;
  config.jedec = {0xC2, 0x20, 0x18};
  Start(config);
  const std::string path = (dir_ / "jedec.ini").string();
  const std::string r = "\uFFFD";
  const struct {
    std::string size, shown;
  } cases[] = {
      {"16777216x", "16777216x"}, {"512k", "512k"}, {"abc", "abc"}, {"0", "0"}, {"-1", "-1"},
      {"0x80000000", "0x80000000"},
      // Shown harmlessly: a shipped list is text from outside too.
      {"1\x1b]0;x\x07\x1b[2J", "1" + r + "]0;x" + r + r + "[2J"},
  };
  for (const auto& [size, shown] : cases) {
    SCOPED_TRACE(size);
    const std::string mine =
        std::string("[C22018]\nManufacturer=Macronix MX25L12835\nSizeInBytes=") + size + "\n";
    WriteText(dir_ / "jedec.ini", mine);
    Identify();
    Forget();
    EXPECT_EQ(Connect(), OpResult::kUnknownChip);
    const std::string message = std::string("Unsupported FLASH size \"") + shown +
                                "\" in section [C22018] of " + path;
    EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established", message,
                                   "JEDEC ID: C22018"}));
    EXPECT_EQ(out_.Boxes(), (Events{"0x10 Error: " + message}));
    EXPECT_FALSE(ops_->CurrentFlash.Identified());
    EXPECT_EQ(ReadText(), mine);
  }
}

// All ones or all zeros: no chip on the bus, or a clip without contact.
TEST_F(ConnectTest, AFlashThatDoesNotAnswerIsNoChip) {
  for (const JedecBytes id : {JedecBytes{0xFF, 0xFF, 0xFF}, JedecBytes{0x00, 0x00, 0x00}}) {
    sim::SimConfig config;
    config.jedec = id;
    Start(config);
    Identify();
    Forget();
    const std::string before = ReadText();
    EXPECT_EQ(Connect(), OpResult::kNoChip);
    const std::string line = "JEDEC ID: " + JedecSectionName(id);
    EXPECT_EQ(out_.Logs(), (Events{"Connect check", "Connect established", line,
                                   "The FLASH does not answer: no chip, or no contact"}));
    EXPECT_FALSE(ops_->CurrentFlash.Identified());
    EXPECT_EQ(ReadText(), before);
  }
}

TEST_F(ConnectTest, SizeIsShownInWholeKilobytes) {
  // SST's third byte is no capacity code: nothing to compare the size with.
  WriteText(dir_ / "jedec.ini", "[BF2541]\nManufacturer=Odd\nSizeInBytes=1000000\n");
  sim::SimConfig config;
  config.jedec = {0xBF, 0x25, 0x41};
  Start(config);
  EXPECT_EQ(Connect(), OpResult::kOk);
  EXPECT_EQ(out_.Logs().back(), "JEDEC ID: BF2541 Odd 976 KBytes");
}

TEST_F(ConnectTest, SpeaksRussian) {
  CurrentLanguage = kLanguageRussian;
  Start();
  Connect();
  EXPECT_EQ(out_.Logs(), (Events{"Проверка связи", "Связь установлена",
                                 "JEDEC ID: EF4013 Winbond W25Q40 512 KBytes"}));
}

}  // namespace
}  // namespace rtd::test
