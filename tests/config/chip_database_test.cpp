#include "config/chip_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <string>

#include "i18n/lang.h"
#include "recording_output.h"
#include "temp_dir.h"

namespace rtd {
namespace {

using test::ReadBytes;
using test::RecordingQuestions;
using test::TempDir;
using test::WriteBytes;

class ChipDatabaseTest : public ::testing::Test {
 protected:
  struct Found {
    std::string name = "stale";
    uint32_t size = 12345;
  };
  Found Lookup(const JedecBytes& id) {
    Found f;
    db_.LookupFlashChip(id, f.name, f.size);
    return f;
  }
  TempDir dir_;
  std::string path_ = dir_.File("jedec.ini");
  RecordingQuestions out_;
  ChipDatabase db_{path_, out_};
};

TEST(ChipDatabasePath, SectionNameAndLocation) {
  EXPECT_EQ(JedecSectionName({0x0A, 0x1B, 0x2C}), "0A1B2C");
  EXPECT_EQ(JedecSectionName({0xEF, 0x40, 0x16}), "EF4016");
  EXPECT_EQ(JedecSectionName({0x00, 0x00, 0x00}), "000000");
  EXPECT_EQ(ChipDatabase::PathBesideExecutable("/opt/rtd/rtdprog"), "/opt/rtd/jedec.ini");
  EXPECT_EQ(ChipDatabase::PathBesideExecutable("rtdprog"), "jedec.ini");
  EXPECT_EQ(ChipDatabase::PathBesideExecutable(""), "");
}

TEST_F(ChipDatabaseTest, LookupReadsNameAndSize) {
  WriteBytes(path_,
             "[0a1b2c]\nManufacturer=Lower case id\nSizeInBytes=0x200000\n"
             "[EF4013]\nManufacturer=Winbond W25Q40\n"
             "[C22014]\nSizeInBytes=1048576\n"
             "[1C3013]\nManufacturer=Eon\nSizeInBytes=512k\n"
             "[373013]\nManufacturer=Odd\nSizeInBytes=-1\n");
  Found f = Lookup({0x0A, 0x1B, 0x2C});
  EXPECT_EQ(f.name, "Lower case id");
  EXPECT_EQ(f.size, 2097152u);
  f = Lookup({0xEF, 0x40, 0x13});
  EXPECT_EQ(f.name, "Winbond W25Q40");
  EXPECT_EQ(f.size, 0u);
  f = Lookup({0xC2, 0x20, 0x14});
  EXPECT_EQ(f.name, "");
  EXPECT_EQ(f.size, 1048576u);
  EXPECT_EQ(Lookup({0x1C, 0x30, 0x13}).size, 0u);
  // Stored as read; judging it is for the flash operations.
  EXPECT_EQ(Lookup({0x37, 0x30, 0x13}).size, 0xFFFFFFFFu);
  f = Lookup({0x12, 0x34, 0x56});
  EXPECT_EQ(f.name, "");
  EXPECT_EQ(f.size, 0u);
  EXPECT_TRUE(out_.events.empty());
}

TEST_F(ChipDatabaseTest, MissingFileThenTemplateEntry) {
  const JedecBytes id{0xEF, 0x40, 0x16};
  Found f = Lookup(id);
  EXPECT_EQ(f.name, "");
  EXPECT_EQ(f.size, 0u);
  db_.StoreFlashChip(id, kTemplateManufacturer, kTemplateSizeInBytes);
  EXPECT_EQ(ReadBytes(path_), "[EF4016]\nManufacturer=Manufacturer\nSizeInBytes=524288\n");
  f = Lookup(id);
  EXPECT_EQ(f.name, "Manufacturer");
  EXPECT_EQ(f.size, 524288u);
  EXPECT_TRUE(out_.events.empty());
}

TEST_F(ChipDatabaseTest, StoreTouchesOnlyItsTwoKeysOfAHandEditedFile) {
  // Comments, odd spacing, mixed case, CRLF, a key of the user's own.
  const std::string original =
      "; our chips\r\n"
      "[ef4016] ; W25Q32\r\n"
      "   MANUFACTURER   =   Winbond\r\n"
      "Comment = bought 2019\r\n"
      "sizeinbytes=0x80000\r\n"
      "\r\n"
      "[C22014]\r\n"
      "Manufacturer=Macronix\r\n"
      "SizeInBytes=1048576\r\n";
  WriteBytes(path_, original);
  Found f = Lookup({0xEF, 0x40, 0x16});
  EXPECT_EQ(f.name, "Winbond");
  EXPECT_EQ(f.size, 524288u);
  db_.StoreFlashChip({0xEF, 0x40, 0x16}, "Winbond W25Q32", 4194304);
  EXPECT_EQ(ReadBytes(path_),
            "; our chips\r\n"
            "[ef4016] ; W25Q32\r\n"
            "   MANUFACTURER   =   Winbond W25Q32\r\n"
            "Comment = bought 2019\r\n"
            "sizeinbytes=4194304\r\n"
            "\r\n"
            "[C22014]\r\n"
            "Manufacturer=Macronix\r\n"
            "SizeInBytes=1048576\r\n");
  f = Lookup({0xEF, 0x40, 0x16});
  EXPECT_EQ(f.name, "Winbond W25Q32");
  EXPECT_EQ(f.size, 4194304u);
  // Sizes of 2 GiB and up come back as stored.
  db_.StoreFlashChip({0xEF, 0x40, 0x16}, "Huge", 0x80000000u);
  EXPECT_EQ(Lookup({0xEF, 0x40, 0x16}).size, 0x80000000u);
}

TEST_F(ChipDatabaseTest, Windows1251NamesComeThrough) {
  WriteBytes(path_, "[EF4013]\r\nManufacturer=\xC2\xE8\xED\xE1\xEE\xED\xE4\r\nSizeInBytes=524288\r\n");
  EXPECT_EQ(Lookup({0xEF, 0x40, 0x13}).name, "Винбонд");
}

// The name goes to a terminal as it is: what would act there is replaced.
TEST_F(ChipDatabaseTest, ANamesEscapeSequencesAndLineBreaksAreShownNotObeyed) {
  WriteBytes(path_, "[EF4013]\nManufacturer=\x1b]0;owned\x07W25X\xe2\x80\xa8\x1b[2J\n");
  EXPECT_EQ(Lookup({0xEF, 0x40, 0x13}).name, "\uFFFD]0;owned\uFFFDW25X\uFFFD\uFFFD[2J");
}

TEST_F(ChipDatabaseTest, OverlongManufacturerIsCutToTheField) {
  WriteBytes(path_, "[EF4013]\nManufacturer=" + std::string(1500, 'W') +
                        "\n[EF4014]\nManufacturer=" + std::string(998, 'x') + "Ж\n");
  EXPECT_EQ(Lookup({0xEF, 0x40, 0x13}).name, std::string(999, 'W'));
  // Never in the middle of a character.
  EXPECT_EQ(Lookup({0xEF, 0x40, 0x14}).name, std::string(998, 'x'));
}

TEST_F(ChipDatabaseTest, ReadOnlyDatabaseIsReportedNotChanged) {
  const std::string original = "[EF4016]\nManufacturer=Mine\n";
  WriteBytes(path_, original);
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  CurrentLanguage = kLanguageEnglish;
  db_.StoreFlashChip({0xEF, 0x40, 0x16}, kTemplateManufacturer, kTemplateSizeInBytes);
  CurrentLanguage = kLanguageRussian;
  EXPECT_EQ(out_.Boxes(), std::vector<std::string>{"0x10 Error: Unable to write to " + path_});
#ifndef _WIN32
  EXPECT_TRUE(out_.Has("file-error " + path_ + ": Permission denied"));
#endif
  EXPECT_EQ(ReadBytes(path_), original);
}

TEST_F(ChipDatabaseTest, UserEntriesFirstThenTheShippedFileWhichIsNeverWritten) {
  const std::string shipped_path = dir_.File("shipped.ini");
  const std::string shipped = "[EF4013]\nManufacturer=Winbond\nSizeInBytes=524288\n"
                              "[C84013]\nManufacturer=GigaDevice\nSizeInBytes=524288\n";
  WriteBytes(shipped_path, shipped);
  WriteBytes(path_, "[C84013]\nManufacturer=Mine\nSizeInBytes=1024\n");
  db_.SetShippedDatabase(shipped_path);

  EXPECT_EQ(Lookup({0xEF, 0x40, 0x13}).name, "Winbond");  // not listed by the user
  EXPECT_EQ(Lookup({0xC8, 0x40, 0x13}).name, "Mine");     // the user's own entry wins
  EXPECT_EQ(Lookup({0xC8, 0x40, 0x13}).size, 1024u);
  // Messages about an entry name the file it is read from.
  EXPECT_EQ(db_.ListingPath({0xEF, 0x40, 0x13}), shipped_path);
  EXPECT_EQ(db_.ListingPath({0xC8, 0x40, 0x13}), path_);

  db_.StoreFlashChip({0x11, 0x22, 0x33}, kTemplateManufacturer, kTemplateSizeInBytes);
  EXPECT_EQ(Lookup({0x11, 0x22, 0x33}).name, kTemplateManufacturer);
  EXPECT_NE(ReadBytes(path_).find("[112233]"), std::string::npos);
  EXPECT_EQ(ReadBytes(shipped_path), shipped);
  EXPECT_TRUE(out_.Boxes().empty());
}

// Where a size came from is read from its mark, not guessed from its value:
// the program's only while the size reads as the program wrote it. The
// template written for an id whose code says more than the programmer
// reaches holds no size at all.
TEST_F(ChipDatabaseTest, TheSizesOriginIsItsMarkWhileTheSizeIsTheProgramsOwn) {
  const struct {
    JedecBytes id;
    const char* section;  // after [id]; empty: none (the template is written)
    SizeOrigin origin;
    const char* after_template;  // the section once the template is stored
  } cases[] = {
      {{0xBF, 0x25, 0x99}, "", SizeOrigin::kTemplate,
       "Manufacturer=Manufacturer\nSizeInBytes=524288\nSizeInBytesFrom=template\n"},
      {{0xC2, 0x20, 0x16}, "", SizeOrigin::kIdCapacity,
       "Manufacturer=Manufacturer\nSizeInBytes=4194304\nSizeInBytesFrom=id\n"},
      {{0xEF, 0x40, 0x19}, "", SizeOrigin::kUser, "Manufacturer=Manufacturer\n"},
      {{0xEF, 0x40, 0x1F}, "", SizeOrigin::kUser, "Manufacturer=Manufacturer\n"},
      {{0xBF, 0x25, 0x99}, "Manufacturer=SST\nSizeInBytes=0x80000\nSizeInBytesFrom=template\n",
       SizeOrigin::kUser, nullptr},
      {{0xBF, 0x25, 0x99}, "Manufacturer=SST\nSizeInBytes=524288\nSizeInBytesFrom=user\n",
       SizeOrigin::kUser, nullptr},
      // The program's mark typed in another case is still the program's:
      // the guess it marks is no more the user's for that.
      {{0xBF, 0x25, 0x99}, "Manufacturer=SST\nSizeInBytes=524288\nsizeinbytesfrom = Template\n",
       SizeOrigin::kTemplate, nullptr},
      // The fixed guess without a mark is a guess whatever the name, but
      // only the template's name makes it the program's to mark: an older
      // version's template gets its mark.
      {{0xBF, 0x25, 0x99}, "Manufacturer=SST\nSizeInBytes=524288\n", SizeOrigin::kUnmarkedGuess,
       nullptr},
      {{0xBF, 0x25, 0x99}, "Manufacturer=Manufacturer\nSizeInBytes=524288\n",
       SizeOrigin::kUnmarkedGuess,
       "Manufacturer=Manufacturer\nSizeInBytes=524288\nSizeInBytesFrom=template\n"},
  };
  for (const auto& c : cases) {
    const std::string header = "[" + JedecSectionName(c.id) + "]\n";
    SCOPED_TRACE(header + c.section);
    WriteBytes(path_, *c.section != 0 ? header + c.section : std::string());
    if (*c.section == 0) db_.StoreTemplateEntry(c.id);
    std::string name;
    uint32_t size = 0;
    SizeOrigin origin = SizeOrigin::kUser;
    db_.LookupFlashChip(c.id, name, size, &origin);
    EXPECT_EQ(origin, c.origin);
    db_.StoreTemplateEntry(c.id);
    EXPECT_EQ(ReadBytes(path_), header + (c.after_template ? c.after_template : c.section));
  }
  EXPECT_TRUE(out_.events.empty());
}

TEST(ChipDatabaseUnknownPath, ErrorBoxAndClearedOutputs) {
  RecordingQuestions out;
  ChipDatabase db("", out);
  std::string name = "stale";
  uint32_t size = 7;
  db.LookupFlashChip({0xEF, 0x40, 0x13}, name, size);
  EXPECT_EQ(name, "");
  EXPECT_EQ(size, 0u);
  CurrentLanguage = kLanguageEnglish;
  db.StoreFlashChip({0xEF, 0x40, 0x13}, "x", 1);
  CurrentLanguage = kLanguageRussian;
  EXPECT_EQ(out.Boxes(),
            (std::vector<std::string>{
                "0x10 Ошибка: Ошибка чтения JEDEC файла конфигурации",
                "0x10 Error: Error reading the JEDEC configuration file of the program"}));
}

TEST(ChipCapacity, TheIdsThirdByteWhereItIsACapacityCode) {
  const std::pair<JedecBytes, std::optional<uint64_t>> cases[] = {
      {{0xEF, 0x40, 0x13}, 512u << 10},  // 2^19
      {{0xC8, 0x40, 0x18}, 16u << 20},
      {{0xEF, 0x40, 0x19}, 32u << 20},
      {{0xEF, 0x40, 0x20}, std::nullopt},  // 64 MiB by another count
      {{0xBF, 0x25, 0x8D}, std::nullopt},  // SST: a part number
      {{0x1F, 0x45, 0x01}, std::nullopt},  // Atmel
      {{0x7F, 0x9D, 0x13}, std::nullopt},  // PMC: 1 MiB
      {{0x01, 0x02, 0x12}, std::nullopt},  // Spansion S25FL-A: 512 KiB
      {{0x89, 0x89, 0x11}, std::nullopt},  // Intel: 2 MiB
  };
  for (const auto& [id, size] : cases) EXPECT_EQ(CapacityFromId(id), size) << JedecSectionName(id);
}

// The shipped list, read line by line here, against what the program reads
// from it: every entry comes back with its name and size, as sizes that
// nobody has to confirm (a folder unpacked beside the program uses it as
// the user's own file).
TEST(ShippedDatabase, EveryEntryReadsBackWithItsNameAndSize) {
  struct Entry {
    std::string name;
    uint32_t size = 0;
  };
  std::map<std::string, Entry> expected;
  std::ifstream file(RTD_SHIPPED_JEDEC_INI);
  std::string line, section;
  while (std::getline(file, line)) {
    if (line.size() == 8 && line[0] == '[' && line[7] == ']') {
      section = line.substr(1, 6);
      ASSERT_EQ(expected.count(section), 0u) << "listed twice: " << section;
      expected[section];
    } else if (line.rfind("Manufacturer=", 0) == 0) {
      expected[section].name = line.substr(13);
    } else if (line.rfind("SizeInBytes=", 0) == 0) {
      expected[section].size = static_cast<uint32_t>(std::stoul(line.substr(12)));
    }
  }
  RecordingQuestions out;
  ChipDatabase db(RTD_SHIPPED_JEDEC_INI, out);
  std::size_t addressable = 0;
  std::size_t coded = 0;
  for (const auto& [id_text, want] : expected) {
    const JedecBytes id{static_cast<uint8_t>(std::stoul(id_text.substr(0, 2), nullptr, 16)),
                        static_cast<uint8_t>(std::stoul(id_text.substr(2, 2), nullptr, 16)),
                        static_cast<uint8_t>(std::stoul(id_text.substr(4, 2), nullptr, 16))};
    std::string name;
    uint32_t size = 0;
    SizeOrigin origin = SizeOrigin::kTemplate;
    db.LookupFlashChip(id, name, size, &origin);
    EXPECT_EQ(origin, SizeOrigin::kUser) << id_text;
    EXPECT_EQ(name, want.name) << id_text;
    EXPECT_EQ(size, want.size) << id_text;
    // Whole pages; not always a power of two (DataFlash parts have 528-byte pages).
    EXPECT_TRUE(size >= 65536 && size % 256 == 0) << id_text;
    if (size <= 16u * 1024 * 1024) ++addressable;
    // Where the id carries a capacity code, the two sources agree.
    if (const std::optional<uint64_t> by_id = CapacityFromId(id)) {
      EXPECT_EQ(size, *by_id) << id_text << " " << want.name;
      ++coded;
    }
  }
  EXPECT_GE(coded, 250u);
  EXPECT_GE(expected.size(), 347u);
  EXPECT_GE(addressable, 300u);
  EXPECT_EQ(expected["EF4013"].name, "Winbond W25Q40");
  EXPECT_EQ(expected["EF4013"].size, 524288u);
  EXPECT_TRUE(out.events.empty());
}

}  // namespace
}  // namespace rtd
