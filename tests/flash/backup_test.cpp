// The backup before every erase: made, named and checked before the chip is
// erased; not made when there is nothing to keep; and no erase at all when
// it cannot be made sound.

#include "flash/backup.h"

#include <cerrno>
#include <deque>
#include <regex>
#include <set>
#include <sstream>

#include "config/atomic_file.h"
#ifdef _WIN32
#include "config/windows_files.h"
#endif

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
  const std::pair<const char*, bool> names[] = {
      {"20261207-141203_EF4013_3a5f9c21.bin", true},
      {"20261207-141203_EF4013_3a5f9c21-12.bin", true},
      {"20261207-141203_EF4013_3a5f9c21-.bin", false},
      {"20261207-141203_ef4013_3a5f9c21.bin", false},
      {"20261207-141203_EF4013_3A5F9C21.bin", false},
      {"20261207-141203_EF4013_3a5f9c21.bin.unsound", false},
      {"firmware.bin", false},
  };
  for (const auto& [name, like] : names) EXPECT_EQ(IsBackupFileName(name), like) << name;
}

class BackupTest : public FlashBench {
 protected:
  void Bench(const Bytes& flash, sim::SimConfig config = {}) {
    Start(config, flash);
    Identify();
    Forget();
    ops_->Backup().MakeBackups = true;
    ops_->Backup().BackupFolder = folder_.string();
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
#ifndef _WIN32
    EXPECT_EQ(fs::status(folder_ / name).permissions(), fs::perms(0444));
#endif
    // Read twice under its own titles, checked, named in the log, then
    // erased; the id read again before the reads and before the erase.
    EXPECT_TRUE(out_.Has("progress-start 2048: FLASH backup"));
    EXPECT_TRUE(out_.Has("progress-start 2048: FLASH backup check read"));
    EXPECT_TRUE(out_.Has("progress-start 128: FLASH backup check"));
    const std::vector<uint8_t> sent = Commands();
    const auto first_read = std::find(sent.begin(), sent.end(), kCmdReadBlock);
    const auto erase = std::find(sent.begin(), sent.end(), kCmdEraseChip);
    EXPECT_EQ(std::count(sent.begin(), first_read, kCmdReadJedecId), 1);
    const auto last_crc = std::find(std::make_reverse_iterator(erase), sent.rend(), kCmdRangeCrc);
    EXPECT_EQ(std::count(last_crc.base(), erase, kCmdReadJedecId), 1);
    const std::size_t named = LogIndex("FLASH backup: " + (folder_ / name).string());
    EXPECT_LT(LogIndex("FLASH backup"), named);
    EXPECT_LT(named, LogIndex("FLASH erase"));
  }
  EXPECT_EQ(Folder().size(), 2u);
}

TEST_F(BackupTest, NoFileWhenTheChipIsBlankOrTheContentIsKept) {
  const Bytes old = Pattern(kFlashSize, 4);
  const std::string kept = "20250101-000000_EF4013_00000000.bin";
  fs::create_directories(folder_);
  WriteFile(folder_ / "20250101-000000_EF4013_11111111.bin", Pattern(kFlashSize, 5));
  WriteFile(folder_ / kept, old);
  const std::set<std::string> before = Folder();
  const struct {
    const char* name;
    Bytes flash;
    std::string log;
  } cases[] = {
      {"blank", Bytes(kFlashSize, 0xFF), "The FLASH is blank: no backup needed"},
      {"kept", old, "The FLASH content is already kept in " + (folder_ / kept).string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench(c.flash);
    EXPECT_EQ(Erase(true), OpResult::kOk);
    EXPECT_LT(LogIndex(c.log), LogIndex("FLASH erase"));
    EXPECT_EQ(Folder(), before);
    // A blank chip whose id proved the contact warns of nothing.
    EXPECT_EQ(out_.Boxes().size(), 1u) << ::testing::PrintToString(out_.Boxes());
  }
}

// Only the program's own backups count as kept: neither a dump of the
// user's that happens to hold the same bytes nor a link named like one.
TEST_F(BackupTest, OnlyARegularFileNamedLikeABackupCountsAsKept) {
  const Bytes old = Pattern(kFlashSize, 4);
  fs::create_directories(folder_);
  WriteFile(dir_ / "elsewhere.bin", old);
  WriteFile(folder_ / "mine.bin", old);
#ifndef _WIN32
  fs::create_symlink(dir_ / "elsewhere.bin", folder_ / "20250101-000000_EF4013_00000000.bin");
#endif
  const std::set<std::string> before = Folder();
  Bench(old);
  EXPECT_EQ(Erase(false), OpResult::kOk);
  for (const std::string& line : out_.Logs())
    EXPECT_EQ(line.find("The FLASH content is already kept"), std::string::npos) << line;
  EXPECT_EQ(Folder().size(), before.size() + 1);
}

TEST_F(BackupTest, UnsoundBackupStopsBeforeTheErase) {
  const Bytes old = Pattern(kFlashSize, 6);
  const std::string kOldName = BackupFileName({2026, 12, 7, 14, 12, 3}, {0xEF, 0x40, 0x13},
                                              Crc32(old.data(), old.size()));
  Bytes stuck = old;
  stuck[0x105] ^= 0x01;
  stuck[0x105 + 127 * 256] ^= 0x01;
  const std::string kStuckName = BackupFileName({2026, 12, 7, 14, 12, 3}, {0xEF, 0x40, 0x13},
                                                Crc32(stuck.data(), stuck.size()));
  WriteText(dir_ / "plain", "a file, not a folder");
#ifdef _WIN32
  const std::string not_a_folder = win::SystemErrorText(267);  // ERROR_DIRECTORY
#else
  const std::string not_a_folder = SystemErrorText(ENOTDIR);
#endif
  const struct {
    const char* name;
    std::function<void(sim::SimConfig&)> arrange;
    std::string says;  // a box that tells why; empty: the primitive's own
    // What stays in the folder: nothing (nullptr), the backup (""), or the
    // backup under a name with this suffix.
    const char* leaves = nullptr;
    // The backup's name, when its content is not the chip's.
    std::string file = "";
  } cases[] = {
      {"folder cannot be made",
       [this](sim::SimConfig&) { ops_->Backup().BackupFolder = (dir_ / "plain" / "b").string(); },
       "0x10 Error: Cannot use the backup folder " + (dir_ / "plain" / "b").string() + ": " +
           not_a_folder + "\nNothing was erased"},
      {"read fails",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kTimeout, kCmdReadBlock, 0x10000, 0, 0});
       },
       "0x10 Error: FLASH backup stopped at address 0x010000\nNothing was erased"},
      {"second read fails",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kTransferFailure, kCmdReadBlock, -1, 2048 + 5, 0});
       },
       "0x10 Error: FLASH backup check read stopped at address 0x000500\nNothing was erased"},
      {"id read fails before the reads",
       [this](sim::SimConfig&) {
         device_->AddFault({sim::FaultKind::kTransferFailure, kCmdReadJedecId, -1, 0, 0});
       },
       "0x10 Error: Error getting type FLASH\nNothing was erased"},
      {"no contact from the start",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, -1, -1, 0, 1});
       },
       "0x10 Error: The FLASH id reads FFFFFF: no contact, check the clip\nNothing was erased"},
      // Both reads all 0xFF: what used to pass for a blank chip.
      {"contact lost after the id",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, -1, -1, 1, 1});
       },
       "0x10 Error: The FLASH id reads FFFFFF: no contact, check the clip\nNothing was erased"},
      {"contact lost in the second read",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, kCmdReadBlock, -1, 2048 + 3, 1});
       },
       "0x10 Error: The two reads of the FLASH for the backup differ at address 0x000300\n"
       "Nothing was erased"},
      {"a bit spoilt in one read",
       [this](sim::SimConfig&) {
         auto reads = std::make_shared<int>(0);
         bus_->on_reply = [reads](uint8_t* report) {
           if (report[1] == (0x80 | kCmdReadBlock) && ++*reads == 100)
             report[kReportDataOffset + 7] ^= 0x10;
         };
       },
       "0x10 Error: The two reads of the FLASH for the backup differ at address 0x006307\n"
       "Nothing was erased"},
      // Both reads agreed and the file holds them: the clip is to blame, not
      // the copy, which stays (read-only) under a name that says it is
      // unchecked.
      {"contact lost in the check",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, kCmdRangeCrc, -1, 2, 1});
       },
       "0x10 Error: The check of the backup " + (dir_ / "backups" / kOldName).string() +
           ".unverified stopped at address 0x002000: the FLASH id reads FFFFFF, the contact was "
           "lost, check the clip\nNothing was erased",
       ".unverified"},
      // What the id read after a range disagreed gives, each told as it is.
      {"no id in the check",
       [this](sim::SimConfig&) {
         bus_->on_reply = [ids = std::make_shared<int>(0)](uint8_t* report) {
           if (report[1] == kReplyRangeCrc) report[kReportDataOffset + 1] ^= 0x01;
           if (report[1] == (0x80 | kCmdReadJedecId) && ++*ids == 2)
             report[kReportDataOffset] = 0x01;  // refused: no id in the answer
         };
       },
       "0x10 Error: The check of the backup " + (dir_ / "backups" / kOldName).string() +
           ".unverified stopped at address 0x000000: the FLASH gave no id, the contact was lost, "
           "check the clip\nNothing was erased",
       ".unverified"},
      {"id read fails in the check",
       [this](sim::SimConfig&) {
         bus_->on_reply = [](uint8_t* report) {
           if (report[1] == kReplyRangeCrc) report[kReportDataOffset + 1] ^= 0x01;
         };
         device_->AddFault({sim::FaultKind::kTransferFailure, kCmdReadJedecId, -1, 1, 0});
       },
       "0x10 Error: The check of the backup " + (dir_ / "backups" / kOldName).string() +
           ".unverified stopped at address 0x000000\nNothing was erased",
       ".unverified"},
      {"another board in the check",
       [this](sim::SimConfig&) {
         bus_->on_reply = [](uint8_t* report) {
           if (report[1] == kReplyRangeCrc) report[kReportDataOffset + 1] ^= 0x01;
         };
         device_->AddFault({sim::FaultKind::kOtherChip, kCmdReadJedecId, -1, 1, 1, {0xC8, 0x40, 0x13}});
       },
       "0x10 Error: The check of the backup " + (dir_ / "backups" / kOldName).string() +
           ".unverified stopped at address 0x000000: the FLASH id reads C84013, not EF4013 as at "
           "the connect check: check the clip and the board\nNothing was erased",
       ".unverified"},
#ifndef _WIN32  // Windows folders carry access lists, not modes
      {"a folder on the way others may write to",
       [this](sim::SimConfig&) {
         fs::create_directories(dir_ / "open");
         fs::permissions(dir_ / "open", fs::perms::all);
         ops_->Backup().BackupFolder = (dir_ / "open" / "b").string();
       },
       "0x10 Error: Cannot use the backup folder " + (dir_ / "open").string() +
           ": anyone may write to this folder: anyone could delete or replace the backups\n"
           "Nothing was erased"},
#endif
      {"contact lost before the erase",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, kCmdReadJedecId, -1, 1, 1});
       },
       "0x10 Error: The FLASH id reads FFFFFF: no contact, check the clip\nNothing was erased",
       ""},
      // What no idle chip reports: kept as the value to put back, it would
      // lock the whole chip for good.
      {"contact lost at the status read",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kNoContact, kCmdReadStatus, -1, 0, 1});
       },
       "0x10 Error: The FLASH status register reads 0xFF: no contact, check the clip\n"
       "Nothing was erased",
       ""},
      // The two reads agreed and the file holds them: kept, but not as a
      // checked backup.
      {"transfer fails in the check",
       [](sim::SimConfig& config) {
         config.faults.push_back({sim::FaultKind::kTransferFailure, kCmdRangeCrc, -1, 3, 0});
       },
       "0x10 Error: The check of the backup " + (dir_ / "backups" / kOldName).string() +
           ".unverified stopped at address 0x003000\nNothing was erased",
       ".unverified"},
      {"another board",
       [](sim::SimConfig& config) { config.jedec = {0xC8, 0x40, 0x13}; },
       "0x10 Error: The FLASH id reads C84013, not EF4013 as at the connect check: check the clip "
       "and the board\nNothing was erased"},
      {"file differs from the chip",
       [this](sim::SimConfig&) {
         bus_->on_reply = [](uint8_t* report) {
           if (report[1] == kReplyRangeCrc) report[kReportDataOffset + 1] ^= 0x01;  // the CRC
         };
       },
       "0x10 Error: The backup " + (dir_ / "backups" / kOldName).string() +
           " differs from the FLASH at address 0x000000...0x000FFF\nNothing was erased"},
      // Two bits read wrong alike in both reads, 127 x 256 bytes apart: a
      // CRC-8 of the 64 KiB that holds both cannot tell.
      {"two stuck bits",
       [this](sim::SimConfig&) {
         bus_->on_reply = [](uint8_t* report) {
           const uint32_t at = uint32_t{report[2]} << 16 | uint32_t{report[3]} << 8 | report[4];
           if (report[1] == (0x80 | kCmdReadBlock) && (at == 0x0100 || at == 0x0100 + 127 * 256))
             report[kReportDataOffset + 5] ^= 0x01;
         };
       },
       "0x10 Error: The backup " + (dir_ / "backups" / kStuckName).string() +
           " differs from the FLASH at address 0x000000...0x000FFF\nNothing was erased",
       nullptr, kStuckName},
  };
  for (const auto& c : cases) {
    for (const bool write : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (write ? " (write)" : " (erase)"));
      sim::SimConfig config;
      config.status = 0x1C;
      Bench(old, config);
      c.arrange(config);
      if (!config.faults.empty() || config.jedec[0] != 0xEF) Bench(old, config);
      EXPECT_EQ(Erase(write), OpResult::kFailed);
      if (!c.says.empty()) {
        EXPECT_TRUE(out_.Has("box " + c.says)) << ::testing::PrintToString(out_.Boxes());
      }
      EXPECT_EQ(AddressesOf(kCmdEraseChip).size(), 0u);
      EXPECT_EQ(AddressesOf(kCmdWriteStatus).size(), 0u);
      EXPECT_TRUE(std::equal(old.begin(), old.end(), device_->Flash().begin()));
      device_->ClearFaults();
      EXPECT_EQ(device_->StatusRegister(), 0x1C);
      EXPECT_EQ(out_.IdleFlag, 1);
      // A file that failed its check is not left to pass for a backup.
      EXPECT_EQ(Folder(), c.leaves != nullptr ? std::set<std::string>{kOldName + c.leaves}
                                              : std::set<std::string>{});
      EXPECT_FALSE(fs::exists(dir_ / "open" / "b"));
      if (c.says.find("The backup ") != std::string::npos) {
        EXPECT_TRUE(out_.Has("log: The unsound backup " + (folder_ / (c.file.empty() ? kOldName : c.file)).string() +
                             " was removed"));
      }
      TempDir::RemoveTree(folder_);
      out_.events.clear();
    }
  }
}

// The id's capacity code says more than jedec.ini: the erase wipes all of
// it, so the backup keeps all of it and the blank check looks at all of it.
// Past the programmer's reach no backup can be whole: nothing is erased,
// nor asked.
TEST_F(BackupTest, TheBackupCoversTheSizeTheIdGives) {
  const Bytes old = Pattern(kFlashSize, 8);
  Bench(old);
  Identify(kFlashSize / 2);  // jedec.ini: 256 KiB; EF4013: 512 KiB
  EXPECT_EQ(Erase(false), OpResult::kOk);
  ASSERT_EQ(Folder().size(), 1u);
  EXPECT_EQ(ReadFile(folder_ / *Folder().begin()), old);
  EXPECT_TRUE(out_.Has("progress-start 2048: FLASH blank check"));

  Bench(old);
  Identify(16u << 20, {0xEF, 0x40, 0x19});
  EXPECT_EQ(Erase(false), OpResult::kFailed);
  EXPECT_EQ(out_.Boxes(),
            Events{"0x10 Error: The FLASH EF4019 of 32768 KBytes is larger than the programmer can "
                   "address: it can be neither erased nor written with this programmer\nNothing "
                   "was erased"});
  EXPECT_TRUE(Commands().empty());
}

// A chip with an open address line reads as the same part over and over,
// and so does its backup: the erase waits for the user's word (No by
// default), or for the word given beforehand.
TEST_F(BackupTest, ARepeatingBackupAsksBeforeTheErase) {
  Bytes halves = Pattern(kFlashSize / 2, 3);
  halves.insert(halves.end(), halves.begin(), halves.end());
  const struct {
    const char* name;
    std::deque<int> answers;  // to the erase's question, then to the repeat's
    bool accepted_beforehand;
    OpResult result;
  } cases[] = {
      {"default answer", {IDYES}, false, OpResult::kFailed},
      {"answered Yes", {IDYES, IDYES}, false, OpResult::kOk},
      {"accepted beforehand", {IDYES}, true, OpResult::kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench(halves);
    ops_->Backup().AcceptRepeatingBackup = c.accepted_beforehand;
    out_.box_answers = c.answers;
    EXPECT_EQ(ServiceCommands(*ops_).Erase(), c.result);
    const auto boxes = out_.Boxes();
    const bool asked = boxes.size() > 1 && boxes[1].rfind("0x230 Warning: The FLASH content "
                                                          "repeats every 262144 bytes", 0) == 0;
    EXPECT_EQ(asked, !c.accepted_beforehand) << ::testing::PrintToString(boxes);
    // The window's question, which has no options to name.
    if (asked) {
      EXPECT_EQ(boxes[1].find("--"), std::string::npos) << boxes[1];
    }
    EXPECT_EQ(AddressesOf(kCmdEraseChip).size(), c.result == OpResult::kOk ? 1u : 0u);
    TempDir::RemoveTree(folder_);
  }
}

// An unlisted chip whose id tells no size has only the template's guess:
// neither the write nor the erase starts, nor asks, nor makes the backup's
// folder, until the user enters the size. Doing what the refusal says, and
// nothing more, ends it, also for a chip of exactly the guessed size; so does
// a size typed in as the user writes it.
TEST_F(BackupTest, AGuessedSizeIsRefusedUntilTheUserEntersTheSize) {
  sim::SimConfig config;
  config.jedec = {0xBF, 0x25, 0x99};
  const fs::path ini = dir_ / "jedec.ini";
  // The file with one line of the section given a new value, as a user
  // edits it.
  const auto edit = [&ini](const std::string& section, const std::string& line,
                           const std::string& value) {
    const Bytes bytes = ReadFile(ini);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string text, l, at;
    while (std::getline(in, l)) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (l.rfind('[', 0) == 0) at = l;
      if (at == "[" + section + "]" && l == line) l = line.substr(0, line.find('=') + 1) + value;
      text += l + "\n";
    }
    WriteText(ini, text);
  };
  const struct {
    const char* name;
    std::function<void(const std::string& refusal)> answer;
  } answers[] = {
      {"word by word",
       [&](const std::string& refusal) {
         const std::regex said(
             "Enter the chip's size as (\\w+) in section \\[(\\w+)\\] of (.+), change "
             "(\\w+)=(\\w+) there to \\4=(\\w+), and run the connect check again");
         std::smatch m;
         ASSERT_TRUE(std::regex_search(refusal, m, said)) << refusal;
         EXPECT_EQ(m[3].str(), ini.string());
         edit(m[2], m[1].str() + "=524288", "524288");  // the chip's real size
         edit(m[2], m[4].str() + "=" + m[5].str(), m[6]);
       }},
      {"the size alone", [&](const std::string&) {
         edit("BF2599", "SizeInBytes=524288", "0x80000");
       }},
  };
  for (const auto& a : answers) {
    for (const bool write : {true, false}) {
      SCOPED_TRACE(std::string(a.name) + (write ? " (write)" : " (erase)"));
      WriteText(ini, "");
      Bench(Pattern(kFlashSize, 5), config);
      ops_->SpeedButtonConnectClick();  // writes the template
      ASSERT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kOk);
      Forget();
      EXPECT_EQ(Erase(write), OpResult::kFailed);
      EXPECT_TRUE(Commands().empty());
      EXPECT_FALSE(fs::exists(folder_));
      ASSERT_EQ(out_.Boxes().size(), 1u);
      EXPECT_EQ(out_.Boxes().back(),
                "0x10 Error: The size of the FLASH BF2599 is not known: jedec.ini holds the "
                "template the program wrote (512 KBytes), and a larger chip would not be "
                "covered by the backup. Enter the chip's size as SizeInBytes in section [BF2599] "
                "of " + ini.string() + ", change SizeInBytesFrom=template there to "
                "SizeInBytesFrom=user, and run the connect check again\nNothing was erased");

      a.answer(out_.Boxes().back());
      ASSERT_EQ(ops_->SpeedButtonConnectClick(), OpResult::kOk);
      Forget();
      EXPECT_EQ(Erase(write), OpResult::kOk);
      EXPECT_EQ(Folder().size(), 1u);
      TempDir::RemoveTree(folder_);
    }
  }
}

// The id is read right before anything changes, backup or none: the clip
// may sit on another board, or on none, since the connect check.
TEST_F(BackupTest, WithoutABackupTheIdIsStillReadBeforeTheErase) {
  const struct {
    JedecBytes id;
    std::string says;
  } cases[] = {
      {{0xC8, 0x40, 0x13},
       "0x10 Error: The FLASH id reads C84013, not EF4013 as at the connect check: check the clip "
       "and the board\nNothing was erased"},
      {{0xFF, 0xFF, 0xFF},
       "0x10 Error: The FLASH id reads FFFFFF: no contact, check the clip\nNothing was erased"},
  };
  for (const auto& c : cases) {
    for (const bool write : {true, false}) {
      SCOPED_TRACE(c.says + (write ? " (write)" : " (erase)"));
      sim::SimConfig config;
      config.jedec = c.id;
      Bench(Pattern(kFlashSize, 7), config);
      Identify();
      ops_->Backup().MakeBackups = false;
      EXPECT_EQ(Erase(write), OpResult::kFailed);
      EXPECT_EQ(out_.Boxes().back(), c.says);
      EXPECT_EQ(Commands(), std::vector<uint8_t>{kCmdReadJedecId});
    }
  }
}

}  // namespace
}  // namespace rtd::test
