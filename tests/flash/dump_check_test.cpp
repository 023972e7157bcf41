// The check of every dump and image: what each kind of false dump looks
// like, and what the user is told about it in either language.

#include "flash/dump_check.h"

#include "flash_fixture.h"

namespace rtd::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Events = std::vector<std::string>;

constexpr uint32_t k512KiB = 512 * 1024;

Bytes Copies(const Bytes& piece, int n) {
  Bytes v;
  for (int i = 0; i < n; ++i) v.insert(v.end(), piece.begin(), piece.end());
  return v;
}

Bytes With(Bytes v, std::size_t at, uint8_t value) {
  v[at] = value;
  return v;
}

TEST(DumpCheck, TellsBlankZeroAndRepeatingContentFromFirmware) {
  const struct {
    const char* name;
    Bytes dump;
    DumpFinding finding;
    uint32_t period;
  } cases[] = {
      {"erased chip", Bytes(k512KiB, 0xFF), DumpFinding::kBlank, 0},
      {"no power", Bytes(k512KiB, 0x00), DumpFinding::kZero, 0},
      {"chip of half the size", Copies(Pattern(k512KiB / 2), 2), DumpFinding::kRepeats,
       k512KiB / 2},
      {"chip of a quarter", Copies(Pattern(k512KiB / 4), 4), DumpFinding::kRepeats, k512KiB / 4},
      {"one other value", Bytes(k512KiB, 0x55), DumpFinding::kRepeats, 1},
      {"firmware", Pattern(k512KiB), DumpFinding::kNone, 0},
      {"halves but the last byte", With(Copies(Pattern(4096), 2), 8191, 0), DumpFinding::kNone, 0},
      {"erased but one byte", With(Bytes(k512KiB, 0xFF), 0x12345, 0), DumpFinding::kNone, 0},
      {"odd size, all 0x00", Bytes(3 * 65536, 0x00), DumpFinding::kZero, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DumpCheck check = CheckDump(c.dump.data(), static_cast<uint32_t>(c.dump.size()));
    EXPECT_EQ(check.finding, c.finding);
    EXPECT_EQ(check.period, c.period);
  }
}

TEST(DumpCheck, EachFindingIsAWarningInBothLanguages) {
  const int32_t saved = CurrentLanguage;
  const DumpCheck blank{DumpFinding::kBlank, 0};
  const DumpCheck zero{DumpFinding::kZero, 0};
  const DumpCheck half{DumpFinding::kRepeats, 262144};
  const struct {
    DumpCheck check;
    DumpSource source;
    int32_t language;
    const char* text;
  } cases[] = {
      {zero, DumpSource::kFlash, kLanguageEnglish,
       "The FLASH reads all 0x00: no power or a shorted line"},
      {zero, DumpSource::kFlash, kLanguageRussian,
       "FLASH прочитана как одни 0x00: нет питания или замкнута линия"},
      {half, DumpSource::kFlash, kLanguageEnglish,
       "The FLASH content repeats every 262144 bytes: the chip is smaller than its entry in "
       "jedec.ini says, or an address line is open"},
      {half, DumpSource::kFlash, kLanguageRussian,
       "Содержимое FLASH повторяется каждые 262144 байт: микросхема меньше, чем указано в "
       "jedec.ini, или оборвана адресная линия"},
      {zero, DumpSource::kImage, kLanguageEnglish,
       "The file holds only 0x00: it was read without power or through a shorted line"},
      {zero, DumpSource::kImage, kLanguageRussian,
       "В файле одни 0x00: он прочитан без питания или при замкнутой линии"},
      {half, DumpSource::kImage, kLanguageEnglish,
       "The file content repeats every 262144 bytes: it was read from a smaller chip or with an "
       "address line open"},
      {half, DumpSource::kImage, kLanguageRussian,
       "Содержимое файла повторяется каждые 262144 байт: он прочитан с микросхемы меньшего "
       "размера или при оборванной адресной линии"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    CurrentLanguage = c.language;
    RecordingOutput out;
    WarnAboutDump(out, c.check, c.source);
    EXPECT_EQ(out.Logs(), Events{c.text});
    EXPECT_EQ(out.Boxes(), Events{std::string("0x130 ") + MessageBoxCaption(MB_ICONWARNING) +
                                  ": " + c.text});
  }
  // A blank chip whose id has proved the contact is the daily case of a new
  // one: noted, not warned of.
  CurrentLanguage = kLanguageEnglish;
  RecordingOutput out;
  WarnAboutDump(out, blank, DumpSource::kFlash);
  EXPECT_EQ(out.events, Events{"log: The FLASH is blank: every byte is 0xFF"});
  CurrentLanguage = saved;
}

class DumpCheckInOperations : public FlashBench {};

TEST_F(DumpCheckInOperations, ReadOfAMirroredChipSaysSoAndStillSaves) {
  const Bytes mirrored = Copies(Pattern(kFlashSize / 2, 3), 2);
  Start({}, mirrored);
  Identify();
  out_.save_answer = (dir_ / "dump.bin").string();
  EXPECT_EQ(ops_->SpeedButtonReadClick(), OpResult::kOk);
  EXPECT_TRUE(out_.Has(
      "box 0x130 Warning: The FLASH content repeats every 262144 bytes: the chip is smaller than "
      "its entry in jedec.ini says, or an address line is open"));
  EXPECT_EQ(ReadFile(dir_ / "dump.bin"), mirrored);
}

TEST_F(DumpCheckInOperations, BlankImageIsAskedAboutAgainBeforeAnythingIsSent) {
  const Bytes old = Pattern(kFlashSize, 5);
  for (const int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer);
    Start({}, old);
    Identify();
    OfferImage(Bytes(65536, 0xFF));
    out_.box_answers = {IDYES, answer};
    const OpResult result = ops_->SpeedButtonWriteClick();
    const Events boxes = out_.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1],
              "0x30 Warning: The file holds only 0xFF: the board will be left without firmware\n"
              "Write it anyway?");
    if (answer == IDNO) {
      EXPECT_EQ(result, OpResult::kNotStarted);
      EXPECT_TRUE(device_->Requests().empty());
      EXPECT_TRUE(std::equal(old.begin(), old.end(), device_->Flash().begin()));
    } else {
      EXPECT_EQ(result, OpResult::kOk);
    }
    EXPECT_EQ(out_.IdleFlag, 1);
    out_.events.clear();
  }
}

TEST_F(DumpCheckInOperations, BlankImageQuestionInRussian) {
  Start();
  Identify();
  OfferImage(Bytes(65536, 0xFF));
  CurrentLanguage = kLanguageRussian;
  out_.box_answers = {IDYES, IDNO};
  EXPECT_EQ(ops_->SpeedButtonWriteClick(), OpResult::kNotStarted);
  EXPECT_EQ(out_.Boxes().back(),
            "0x30 Предупреждение: В файле одни 0xFF: плата останется без прошивки\n"
            "Всё равно записать?");
}

}  // namespace
}  // namespace rtd::test
