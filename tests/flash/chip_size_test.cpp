// The chip's size as the operations meet it: a size the program only
// guessed never lets an erase through without a copy of the whole chip, and
// a chip larger than the programmer reaches is read in part, saying so, and
// never erased.

#include <cerrno>
#include <functional>
#include <regex>

#include "config/atomic_file.h"
#include "flash/service_commands.h"
#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Bytes = std::vector<uint8_t>;

class ChipSizeTest : public FlashBench {
 protected:
  void SetUp() override {
    FlashBench::SetUp();
    config_.jedec = {0xBF, 0x25, 0x8E};  // SST 25VF080B: 1 MiB, no capacity code
    config_.size = kChipSize;
  }
  // The bench with backups on, as the front ends run it; the chip holds
  // old_ unless told otherwise (an empty content: erased).
  void Bench(const std::string& jedec_ini, const Bytes* content = nullptr) {
    WriteText(ini_, jedec_ini);
    Start(config_, content != nullptr ? *content : old_);
    ops_->Backup().MakeBackups = true;
    ops_->Backup().BackupFolder = folder_.string();
  }
  // The erase, every question answered Yes (erase --yes).
  OpResult Erase() {
    Forget();
    out_.box_answers = {IDYES, IDYES, IDYES};
    return ServiceCommands(*ops_).Erase();
  }
  // The erase left one backup, and it holds the whole chip as it was.
  void ExpectTheChipKeptWhole() const {
    std::vector<Bytes> copies;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder_, ec)) copies.push_back(ReadFile(e.path()));
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].size(), old_.size());
    EXPECT_TRUE(copies[0] == old_);
  }

  static constexpr uint32_t kChipSize = 1024 * 1024;
  sim::SimConfig config_;
  const Bytes old_ = Pattern(kChipSize, 4);
  fs::path ini_ = dir_ / "jedec.ini";
  fs::path folder_ = dir_ / "backups";
};

// The disk fills up after any number of the template's file replacements:
// whatever the file then holds, the erase that follows erases nothing, or
// only after a copy of the whole chip.
TEST_F(ChipSizeTest, ADiskThatFillsUpDuringTheTemplateLeavesNoGuessToErase) {
  for (const char* entry : {"", "[BF258E]\nManufacturer=SST 25VF080B\n"}) {
    for (int room = 0;; ++room) {
      SCOPED_TRACE(std::string(entry) + "room for " + std::to_string(room) + " replacements");
      Bench(entry);
      int replacements = 0;
      chips_->SetFileReplacement([&](const std::string& path, std::string_view bytes,
                                     std::string& reason) {
        if (replacements++ >= room) {
          reason = SystemErrorText(ENOSPC);
          return false;
        }
        return ReplaceFileContent(path, bytes, reason);
      });
      // The second check finds what the first wrote: never a size without
      // its mark.
      ops_->SpeedButtonConnectClick();
      ops_->SpeedButtonConnectClick();
      const Bytes text = ReadFile(ini_);
      const std::string written(text.begin(), text.end());
      EXPECT_EQ(written.find("SizeInBytes=") != std::string::npos,
                written.find("SizeInBytesFrom=") != std::string::npos)
          << written;
      const OpResult erased = Erase();
      if (AddressesOf(kCmdEraseChip).empty()) {
        EXPECT_NE(erased, OpResult::kOk);
        EXPECT_TRUE(std::equal(old_.begin(), old_.end(), device_->Flash().begin()));
      } else {
        ExpectTheChipKeptWhole();
      }
      TempDir::RemoveTree(folder_);
      if (replacements <= room) break;  // the disk never filled
    }
  }
}

// An entry an older version left: the user's name beside the template's
// 524288, with no mark. The size is a guess whatever the name: the erase is
// refused before its question, and doing what the refusal says ends it.
TEST_F(ChipSizeTest, AnOlderVersionsGuessIsRefusedUntilTheUserSaysTheSizeIsTheirs) {
  const std::string entry = "[BF258E]\nManufacturer=SST 25VF080B\nSizeInBytes=524288\n";
  Bench(entry);
  ASSERT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kOk);
  EXPECT_EQ(ReadFile(ini_), Bytes(entry.begin(), entry.end()));
  EXPECT_EQ(Erase(), OpResult::kFailed);
  EXPECT_TRUE(Commands().empty());
  const std::string refusal =
      "0x10 Error: The size of the FLASH BF258E is not known: jedec.ini gives 512 KBytes with no "
      "SizeInBytesFrom line, and that is the guess the program writes into its template: a "
      "larger chip would not be covered by the backup. Enter the chip's size as SizeInBytes in "
      "section [BF258E] of " + ini_.string() + ", add the line SizeInBytesFrom=user there, and "
      "run the connect check again\nNothing was erased";
  ASSERT_EQ(out_.Boxes(), std::vector<std::string>{refusal});

  // Word by word: the chip's real size, and the line added to the section.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(refusal, m, std::regex(
      "Enter the chip's size as (\\w+) in section \\[(\\w+)\\] of (.+), add the line "
      "(\\w+=\\w+) there, and run the connect check again")));
  EXPECT_EQ(m[3].str(), ini_.string());
  WriteText(ini_, "[" + m[2].str() + "]\n" + m[4].str() + "\nManufacturer=SST 25VF080B\n" +
                      m[1].str() + "=" + std::to_string(kChipSize) + "\n");
  ASSERT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kOk);
  EXPECT_EQ(Erase(), OpResult::kOk);
  ExpectTheChipKeptWhole();
}

// A chip larger than the programmer reaches, whatever size the user entered
// for it: erase and write are refused before their question, and read,
// compares and the blank check cover its first 16 MiB and say so; no
// verdict passes for the whole chip's.
TEST_F(ChipSizeTest, AChipBeyondReachIsReadInPartAndNeverErased) {
  config_.jedec = {0xEF, 0x40, 0x19};  // 32 MiB by its id
  config_.size = kMaxFlashSize;        // as much of it as the programmer sees
  const Bytes erased;
  Bench("[EF4019]\nManufacturer=Winbond W25Q256\nSizeInBytes=16777216\n", &erased);
  ASSERT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kBeyondReach);
  OfferImage(Bytes(65536, 0xFF));
  out_.save_answer = (dir_ / "dump.bin").string();
  const std::string part =
      "log: The FLASH of 32768 KBytes is larger than the programmer can address: the operation "
      "covers its first 16384 KBytes only";
  const std::string refusal =
      "0x10 Error: The FLASH EF4019 of 32768 KBytes is larger than the programmer can address: it "
      "can be neither erased nor written with this programmer\nNothing was erased";
  constexpr const char* kSameInReach =
      "FLASH content and file the same within the first 16384 KBytes; the rest of the FLASH was "
      "not compared";
  const struct {
    const char* name;
    std::function<OpResult()> run;
    OpResult result;
    const char* verdict;  // the last log line; none: refused
  } operations[] = {
      {"erase", [&] { return ServiceCommands(*ops_).Erase(); }, OpResult::kFailed, nullptr},
      {"write", [&] { return ops_->SpeedButtonWriteClick(); }, OpResult::kFailed, nullptr},
      {"read", [&] { return ops_->SpeedButtonReadClick(); }, OpResult::kOk, nullptr},
      {"compare", [&] { return ops_->SpeedButtonCompareClick(); }, OpResult::kOk, kSameInReach},
      {"quick compare", [&] { return ops_->SpeedButtonCompareFastClick(); }, OpResult::kOk,
       kSameInReach},
      {"blank check", [&] { return ServiceCommands(*ops_).BlankCheck(); }, OpResult::kOk,
       "The first 16384 KBytes of the FLASH are blank; the rest is not checked"},
  };
  for (const auto& op : operations) {
    SCOPED_TRACE(op.name);
    Forget();
    out_.box_answers = {IDYES, IDYES};
    EXPECT_EQ(op.run(), op.result);
    if (op.result == OpResult::kFailed) {
      EXPECT_EQ(out_.Boxes(), std::vector<std::string>{refusal});
      EXPECT_TRUE(Commands().empty());
      continue;
    }
    EXPECT_TRUE(out_.Has(part));
    EXPECT_FALSE(out_.Has("log: FLASH is blank"));
    EXPECT_FALSE(out_.Has("log: The FLASH is blank: every byte is 0xFF"));
    if (op.verdict != nullptr) {
      EXPECT_EQ(out_.Logs().back(), op.verdict);
    }
  }
  EXPECT_EQ(fs::file_size(out_.save_answer), kMaxFlashSize);
}

// Such a chip that jedec.ini does not list yet: the first connect check
// names it as the template it adds, so the read it promises is done at
// once, not only at the next check.
TEST_F(ChipSizeTest, AChipBeyondReachNotListedIsReadAtTheFirstCheck) {
  config_.jedec = {0xEF, 0x40, 0x19};  // 32 MiB by its id
  config_.size = kMaxFlashSize;
  const Bytes erased;
  Bench("", &erased);
  EXPECT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kBeyondReach);
  EXPECT_EQ(ops_->CurrentFlash.Manufacturer, kTemplateManufacturer);
  EXPECT_EQ(ops_->CurrentFlash.SizeInBytes, kMaxFlashSize);
  out_.save_answer = (dir_ / "dump.bin").string();
  EXPECT_EQ(ops_->SpeedButtonReadClick(), OpResult::kOk);
  EXPECT_EQ(fs::file_size(out_.save_answer), kMaxFlashSize);
}

}  // namespace
}  // namespace rtd::test
