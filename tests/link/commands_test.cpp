// The programmer's commands and the flash primitives: what goes out, and
// what the user is told when the answer is wrong.
#include <gtest/gtest.h>

#include "fake_hid.h"
#include "i18n/lang.h"
#include "link/commands.h"
#include "recording_output.h"

namespace rtd::test {
namespace {

class CommandsTest : public ::testing::Test {
 protected:
  CommandsTest() {
    hid.Add();
    saved_language_ = CurrentLanguage;
    CurrentLanguage = kLanguageEnglish;
  }
  ~CommandsTest() override { CurrentLanguage = saved_language_; }

  // What a failing primitive shows: the same text in the log and the box.
  void ExpectRefused(const std::string& text) {
    EXPECT_EQ(out.Logs(), std::vector<std::string>{text});
    EXPECT_EQ(out.Boxes(), std::vector<std::string>{std::string("0x10 ") + MessageBoxCaption(MB_ICONERROR) + ": " + text});
  }

  ManualClock clock{1000, 1};
  FakeHid hid{&clock};
  RecordingOutput out{&clock};
  Link link{hid, clock, out};
  Programmer programmer{link};

 private:
  int32_t saved_language_;
};

TEST_F(CommandsTest, PrimitivesSucceed) {
  std::vector<uint8_t> data(256);
  for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(255 - i);
  hid.Answer(MakeReply(0xC2, 0x001200, data));
  uint8_t block[256] = {};
  EXPECT_EQ(programmer.FlashReadBlock(0x001200, block), 0);
  EXPECT_EQ(block[0], 255);
  EXPECT_EQ(block[255], 0);

  hid.Answer(MakeReply(0xC3, 0x010000, {0x00, 0x3C}));
  uint8_t crc = 0;
  EXPECT_EQ(programmer.FlashRangeCrc(0x010000, 0x01FFFF, &crc), 0);
  EXPECT_EQ(crc, 0x3C);
  const HidReport& crc_request = hid.sent.back();
  EXPECT_EQ(crc_request[1], 0x43);
  EXPECT_EQ((std::vector<uint8_t>(crc_request.begin() + 2, crc_request.begin() + 9)),
            (std::vector<uint8_t>{0x01, 0x00, 0x00, 3, 0x01, 0xFF, 0xFF}));

  hid.Answer(MakeReply(0xC6, 0, {0x00, 0x1C}));
  uint8_t sr = 0;
  EXPECT_EQ(programmer.FlashReadStatus(&sr), 0);
  EXPECT_EQ(sr, 0x1C);

  hid.Answer(MakeReply(0xC7, 0, {0x00}));
  EXPECT_EQ(programmer.FlashWriteStatus(0x9C), 0);
  EXPECT_EQ(hid.sent.back()[5], 1);
  EXPECT_EQ(hid.sent.back()[6], 0x9C);

  hid.Answer(MakeReply(0xC8, 0, {0x00}));
  EXPECT_EQ(programmer.FlashEraseChip(), 0);

  for (const bool bf : {false, true}) {
    hid.Answer(MakeReply(bf ? 0xCA : 0xC9, 0x000300, {0x00}));
    EXPECT_EQ(programmer.FlashWriteBlock(0x000300, data.data(), bf), 0);
    const HidReport& w = hid.sent.back();
    EXPECT_EQ(w[1], bf ? 0x4A : 0x49);
    EXPECT_EQ(w[5], 0x80);
    EXPECT_EQ(std::vector<uint8_t>(w.begin() + 6, w.begin() + 262), data);
  }
  EXPECT_EQ(data[0], 255);  // the answer never lands in the caller's image
  EXPECT_TRUE(out.events.empty());
}

TEST_F(CommandsTest, AnswerFailuresAreLoggedAndShown) {
  // A block shorter than 256 bytes.
  hid.Answer(MakeReply(0xC2, 0x001200, std::vector<uint8_t>(100)));
  uint8_t block[256];
  EXPECT_EQ(programmer.FlashReadBlock(0x001200, block), 1);
  ExpectRefused("FLASH read error at address 0x001200");

  out.events.clear();
  hid.Answer(MakeReply(0xC3, 0x010000, {0x01, 0x00}));
  uint8_t crc = 0x77;
  EXPECT_EQ(programmer.FlashRangeCrc(0x010000, 0x01FFFF, &crc), 1);
  EXPECT_EQ(crc, 0x77);
  ExpectRefused("Error get CRC FLASH at address 0x010000...0x01FFFF");

  out.events.clear();
  hid.Answer(MakeReply(0xC5, 0, {0x02}));
  EXPECT_EQ(programmer.FlashWriteDisable(), 1);
  ExpectRefused("Error set WRDI FLASH");

  out.events.clear();
  CurrentLanguage = kLanguageRussian;
  hid.Answer(MakeReply(0xC5, 0, {0x02}));
  EXPECT_EQ(programmer.FlashWriteDisable(), 1);
  EXPECT_EQ(out.Logs(), std::vector<std::string>{"Ошибка установки WRDI FLASH"});
  EXPECT_EQ(out.Boxes(), std::vector<std::string>{"0x10 Ошибка: Ошибка установки WRDI FLASH"});

  out.events.clear();
  hid.Answer(MakeReply(0xC9, 0x00FF00, {0x01}));
  uint8_t data[256] = {};
  EXPECT_EQ(programmer.FlashWriteBlock(0x00FF00, data, false), 1);
  ExpectRefused("Ошибка записи FLASH по адресу 0x00FF00");
}

TEST_F(CommandsTest, AnswerWithoutDataFails) {
  // A bare status, or a data answer too short to hold what is looked for,
  // must not pass for success: the payload or stale bytes would be read as
  // the answer.
  hid.Answer(MakeReply(255, 0));
  EXPECT_EQ(programmer.FlashWriteStatus(0x00), 1);
  ExpectRefused("Error write to SR FLASH register");

  out.events.clear();
  hid.Answer(MakeReply(0xC3, 0x000000, {0x00}));
  uint8_t crc = 0;
  EXPECT_EQ(programmer.FlashRangeCrc(0x000000, 0x00FFFF, &crc), 1);
  ExpectRefused("Error get CRC FLASH at address 0x000000...0x00FFFF");

  out.events.clear();
  hid.Answer(MakeReply(255, 0x000100));
  uint8_t block[256] = {};
  EXPECT_EQ(programmer.FlashReadBlock(0x000100, block), 1);
  ExpectRefused("FLASH read error at address 0x000100");

  out.events.clear();
  hid.Answer(MakeReply(0xC8, 0));
  EXPECT_EQ(programmer.FlashEraseChip(), 1);
  ExpectRefused("Error erase FLASH");
}

TEST_F(CommandsTest, LinkFailuresShowOnlyTheReadBox) {
  hid.Answer(MakeReply(253, 0));
  uint8_t sr = 0;
  EXPECT_EQ(programmer.FlashReadStatus(&sr), 1);
  EXPECT_TRUE(out.Logs().empty());
  EXPECT_EQ(out.Boxes(),
            std::vector<std::string>{"0x10 Error: Error reading from the device\nFailed result"});

  out.events.clear();
  CurrentLanguage = kLanguageRussian;
  hid.devices[0].present = false;
  hid.FailTransfer();
  uint32_t capacity = 11;
  uint8_t touch[11];
  EXPECT_EQ(programmer.DeviceRead(kCmdTouchCalibration, 0, touch, 0, &capacity, kTimeoutTouch),
            kLinkCommFailure);
  EXPECT_EQ(capacity, 11u);
  EXPECT_EQ(out.Boxes(), std::vector<std::string>{
                             "0x10 Ошибка: Ошибка чтения из устройства\nОшибка обмена данными с "
                             "контроллером"});
}

TEST_F(CommandsTest, Timeouts) {
  // The programmer never answers; the clock moves 1 ms per reading.
  uint32_t start = clock.Peek();
  EXPECT_EQ(programmer.FlashEraseChip(), 1);
  EXPECT_GE(clock.Peek() - start, 20000u);
  EXPECT_LE(clock.Peek() - start, 20003u);
  EXPECT_EQ(out.Boxes(), std::vector<std::string>{
                             "0x10 Error: Error reading from the device\nOut of the timeout response"});

  start = clock.Peek();
  uint32_t capacity = 11;
  uint8_t touch[11];
  EXPECT_EQ(programmer.DeviceRead(kCmdTouchCalibration, 0, touch, 0, &capacity, kTimeoutTouch),
            kLinkTimeout);
  EXPECT_GE(clock.Peek() - start, 11u);
  EXPECT_LE(clock.Peek() - start, 14u);
}

TEST_F(CommandsTest, ProgrammerResetAndInfo) {
  hid.Answer(MakeReply(254, 0));
  const LinkStatus r = programmer.ProgrammerReset();
  EXPECT_EQ(r, kLinkParamError);
  EXPECT_EQ(LinkStatusText(r), "Error in parameters");
  EXPECT_EQ(hid.sent.back()[1], 0x83);
  EXPECT_EQ(hid.sent.back()[262], 0x89);
  EXPECT_TRUE(out.events.empty());

  std::vector<uint8_t> info(56);
  info[0] = 105;                   // application 1.05
  info[4] = 0x39;                  // serial 12345
  info[5] = 0x30;
  info[8] = 0x2C;                  // boot 3.00
  info[9] = 0x01;
  const std::string name = "RTD2662 programmer";
  std::copy(name.begin(), name.end(), info.begin() + 16);
  hid.Answer(MakeReply(0x81, 0, info));
  EXPECT_EQ(programmer.ReadProgrammerInfo(), kLinkOk);
  EXPECT_EQ(programmer.ProgrammerInfo.ControllerName(), name);

  ShowProgrammerInfo(out, programmer.ProgrammerInfo);
  CurrentLanguage = kLanguageRussian;
  programmer.ProgrammerInfo.bytes[0] = 0;  // no application loaded
  ShowProgrammerInfo(out, programmer.ProgrammerInfo);
  const std::string stars(47, '*');
  EXPECT_EQ(out.Logs(), (std::vector<std::string>{
                            "Controller          \"RTD2662 programmer\"",
                            "The serial number   12345",
                            "Boot version        3.00",
                            "Application version 1.05",
                            stars,
                            "Контроллер        \"RTD2662 programmer\"",
                            "Серийный номер    12345",
                            "Версия загрузчика 3.00",
                            "Версия приложения (Приложение не загружено)",
                            stars,
                        }));

  // Only a whole record counts: a short or data-less answer changes nothing.
  const ProgrammerInfoRecord before = programmer.ProgrammerInfo;
  hid.Answer(MakeReply(0x81, 0, std::vector<uint8_t>(20, 'x')));
  EXPECT_EQ(programmer.ReadProgrammerInfo(), kLinkCommFailure);
  hid.Answer(MakeReply(0x81, 0, {}));
  EXPECT_EQ(programmer.ReadProgrammerInfo(), kLinkCommFailure);
  EXPECT_EQ(programmer.ProgrammerInfo.bytes, before.bytes);

  // A name that fills all 40 bytes ends there.
  std::fill(programmer.ProgrammerInfo.bytes.begin() + 16, programmer.ProgrammerInfo.bytes.end(),
            'N');
  EXPECT_EQ(programmer.ProgrammerInfo.ControllerName(), std::string(40, 'N'));
  // The device's bytes reach a terminal: no escape sequence gets through.
  const std::string clear = "\x1b[2J";
  std::copy(clear.begin(), clear.end(), programmer.ProgrammerInfo.bytes.begin() + 16);
  EXPECT_EQ(programmer.ProgrammerInfo.ControllerName(), "\uFFFD[2J" + std::string(36, 'N'));
}

}  // namespace
}  // namespace rtd::test
