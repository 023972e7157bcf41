// The backup before every erase: made, named and checked before the chip is
// erased; not made when there is nothing to keep; and no erase at all when
// it cannot be made sound.

#include "flash/backup.h"

#include <set>

#include "flash/service_commands.h"
#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

constexpr uint8_t kReplyRangeCrc = 0x80 | kCmdRangeCrc;

TEST(BackupName, TellsTimeChipAndContent) {
  EXPECT_EQ(BackupFileName({2026, 12, 7, 14, 12, 3}, {0xEF, 0x40, 0x13}, 0x3a5f9c21),
            "20261207-141203_EF4013_3a5f9c21.bin");
  const std::string digits = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xCBF43926u);
}

class BackupTest : public FlashBench {
 protected:
  void Bench(const Bytes& flash, sim::SimConfig config = {}) {
    Start(config, flash);
    Identify();
    out_.events.clear();
    ops_->MakeBackups = true;
    ops_->BackupFolder = folder_.string();
  }
  // The write of an image, or the erase on its own; both answered Yes.
  OpResult Erase(bool write) {
    out_.box_answers = {IDYES};
    if (write) {
      OfferImage(Pattern(65536, 9));
      return ops_->SpeedButtonWriteClick();
    }
    return ServiceCommands(*ops_).Erase();
  }
  std::set<std::string> Folder() const {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder_, ec))
      names.insert(e.path().filename().string());
    return names;
  }
  // Position of a log line; the end when missing.
  std::size_t LogIndex(const std::string& line) const {
    const Events logs = out_.Logs();
    return static_cast<std::size_t>(std::find(logs.begin(), logs.end(), line) - logs.begin());
  }

  fs::path folder_ = dir_ / "backups";
};

TEST_F(BackupTest, WriteAndEraseKeepTheOldFlashFirst) {
  for (const bool write : {true, false}) {
    SCOPED_TRACE(write ? "write" : "erase");
    const Bytes old = Pattern(kFlashSize, write ? 1 : 2);
    Bench(old);
    ASSERT_EQ(Erase(write), OpResult::kOk);

    const std::string name = BackupFileName({2026, 12, 7, 14, 12, 3}, {0xEF, 0x40, 0x13},
                                            Crc32(old.data(), old.size()));
    EXPECT_TRUE(Folder().count(name));
    EXPECT_EQ(ReadFile(folder_ / name), old);
    // Read under its own title, checked, named in the log, then erased.
    EXPECT_TRUE(out_.Has("progress-start 2048: FLASH backup"));
    EXPECT_TRUE(out_.Has("progress-start 8: FLASH backup check"));
    const std::size_t named = LogIndex("FLASH backup: " + (folder_ / name).string());
    EXPECT_LT(LogIndex("FLASH backup"), named);
    EXPECT_LT(named, LogIndex("FLASH erase"));
  }
  EXPECT_EQ(Folder().size(), 2u);
}

TEST_F(BackupTest, NoFileWhenTheChipIsBlankOrTheContentIsKept) {
  const Bytes old = Pattern(kFlashSize, 4);
  fs::create_directories(folder_);
  WriteFile(folder_ / "other.bin", Pattern(kFlashSize, 5));
  WriteFile(folder_ / "mine.bin", old);
  const struct {
    const char* name;
    Bytes flash;
    const char* log;
  } cases[] = {
      {"blank", Bytes(kFlashSize, 0xFF), "The FLASH is blank: no backup needed"},
      {"kept", old, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench(c.flash);
    EXPECT_EQ(Erase(true), OpResult::kOk);
    const std::string said =
        c.log ? c.log : "The FLASH content is already kept in " + (folder_ / "mine.bin").string();
    EXPECT_LT(LogIndex(said), LogIndex("FLASH erase"));
    EXPECT_EQ(Folder(), (std::set<std::string>{"mine.bin", "other.bin"}));
  }
}

TEST_F(BackupTest, UnsoundBackupStopsBeforeTheErase) {
  const Bytes old = Pattern(kFlashSize, 6);
  WriteText(dir_ / "plain", "a file, not a folder");
  const struct {
    const char* name;
    std::function<void(sim::SimConfig&)> arrange;
    std::string says;  // a box that tells why; empty: the primitive's own
  } cases[] = {
      {"folder cannot be made",
       [this](sim::SimConfig&) { ops_->BackupFolder = (dir_ / "plain" / "b").string(); },
       "0x10 Error: Cannot use the backup folder " + (dir_ / "plain" / "b").string() +
           ": Not a directory\nNothing was erased"},
      {"read fails",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kTimeout, kCmdReadBlock, 0x10000, 0, 0});
       },
       ""},
      {"file differs from the chip",
       [this](sim::SimConfig&) {
         bus_->on_reply = [](uint8_t* report) {
           if (report[1] == kReplyRangeCrc) report[kReportDataOffset + 1] ^= 0x01;  // the CRC
         };
       },
       "0x10 Error: The backup " +
           (dir_ / "backups" /
            BackupFileName({2026, 12, 7, 14, 12, 3}, {0xEF, 0x40, 0x13},
                           Crc32(old.data(), old.size())))
               .string() +
           " differs from the FLASH at address 0x000000...0x00FFFF\nNothing was erased"},
  };
  for (const auto& c : cases) {
    for (const bool write : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (write ? " (write)" : " (erase)"));
      sim::SimConfig config;
      config.status = 0x1C;
      Bench(old, config);
      c.arrange(config);
      if (!config.faults.empty()) Bench(old, config);
      EXPECT_EQ(Erase(write), OpResult::kFailed);
      if (!c.says.empty()) {
        EXPECT_TRUE(out_.Has("box " + c.says)) << ::testing::PrintToString(out_.Boxes());
      }
      EXPECT_EQ(AddressesOf(kCmdEraseChip).size(), 0u);
      EXPECT_EQ(AddressesOf(kCmdWriteStatus).size(), 0u);
      EXPECT_TRUE(std::equal(old.begin(), old.end(), device_->Flash().begin()));
      EXPECT_EQ(device_->StatusRegister(), 0x1C);
      EXPECT_EQ(out_.IdleFlag, 1);
      out_.events.clear();
    }
  }
}

}  // namespace
}  // namespace rtd::test
