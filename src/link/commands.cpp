#include "link/commands.h"

#include <algorithm>
#include <cstring>

#include "core/utf8.h"
#include "i18n/lang.h"

namespace rtd {

std::string ProgrammerInfoRecord::ControllerName() const {
  constexpr std::size_t kNameOffset = 16;
  constexpr std::size_t kNameSize = 40;
  const auto* first = bytes.data() + kNameOffset;
  const auto* end = std::find(first, first + kNameSize, uint8_t{0});
  // The device's own bytes, shown in the log, the status bar and on a terminal.
  return ShowableText(std::string_view(reinterpret_cast<const char*>(first),
                                       static_cast<std::size_t>(end - first)));
}

LinkStatus Programmer::DeviceRead(uint8_t code, uint32_t address, uint8_t* buffer,
                                  uint32_t length, uint32_t* capacity, uint32_t timeout_ms,
                                  bool* data_answer) {
  uint32_t count = capacity != nullptr ? *capacity : 0;
  const LinkStatus r = link_.CommandRead(code, address, buffer, length, &count, timeout_ms,
                                         data_answer);
  if (r != kLinkOk) {
    out().MessageBoxPrintf(MB_ICONERROR,
                           PickLangText(LANG_TEXT("Ошибка чтения из устройства\n%s",
                                                  "Error reading from the device\n%s")),
                           LinkStatusText(r).c_str());
    return r;
  }
  if (capacity != nullptr) *capacity = count;
  return kLinkOk;
}

LinkStatus Programmer::ProgrammerReset() {
  return link_.CommandWrite(kCmdProgrammerReset, 0, nullptr, 0, kTimeoutProgrammerReset);
}

LinkStatus Programmer::ReadProgrammerInfo() {
  // Received into a copy: the identification counts only when the whole
  // record arrived, never as a cut name or zeros mixed with an older one.
  ProgrammerInfoRecord received = ProgrammerInfo;
  uint32_t room = kProgrammerInfoSize;
  bool data_answer = false;
  const LinkStatus r = link_.CommandRead(kCmdProgrammerInfo, 0, received.bytes.data(), 0, &room,
                                         kTimeoutProgrammerInfo, &data_answer);
  if (r != kLinkOk) return r;
  if (!data_answer || room != kProgrammerInfoSize) return kLinkCommFailure;
  ProgrammerInfo = received;
  return kLinkOk;
}

namespace {

// What came back for one primitive's command.
enum class Answer { kLinkFailed, kIncomplete, kReceived };

// Runs one primitive's command through DeviceRead. The answer must fill the
// whole room: a bare status or a short answer would otherwise leave the
// payload or stale bytes where the status and the data are looked for.
Answer Ask(Programmer& programmer, uint8_t code, uint32_t address, uint8_t* buffer,
           uint32_t payload_length, uint32_t room, uint32_t timeout_ms) {
  uint32_t count = room;
  bool data_answer = false;
  if (programmer.DeviceRead(code, address, buffer, payload_length, &count, timeout_ms,
                            &data_answer) != kLinkOk) {
    return Answer::kLinkFailed;
  }
  return data_answer && count == room ? Answer::kReceived : Answer::kIncomplete;
}

// The answer was not what the flash should have said: the log and a box get
// the same text.
template <typename... Args>
int Refused(OperationServices& out, LangText text, const Args&... args) {
  const char* format = PickLangText(text);
  out.LogPrintf(format, args...);
  out.MessageBoxPrintf(MB_ICONERROR, format, args...);
  return 1;
}

// The primitives whose answer is a status byte (0: done) and nothing else.
int StatusOnly(Programmer& programmer, uint8_t code, uint32_t timeout_ms, LangText failure,
               const uint8_t* payload = nullptr, uint32_t payload_length = 0) {
  uint8_t buffer[kReportDataSize] = {};
  if (payload != nullptr) std::memcpy(buffer, payload, payload_length);
  switch (Ask(programmer, code, 0, buffer, payload_length, 1, timeout_ms)) {
    case Answer::kLinkFailed:
      return 1;
    case Answer::kIncomplete:
      return Refused(programmer.out(), failure);
    case Answer::kReceived:
      break;
  }
  return buffer[0] == 0 ? 0 : Refused(programmer.out(), failure);
}

}  // namespace

int Programmer::FlashReadBlock(uint32_t address, uint8_t* block) {
  constexpr LangText kFailure =
      LANG_TEXT("Ошибка чтения FLASH по адресу 0x%06X", "FLASH read error at address 0x%06X");
  const Answer answer =
      Ask(*this, kCmdReadBlock, address, block, 0, kReportDataSize, kTimeoutBlock);
  if (answer == Answer::kLinkFailed) return 1;
  if (answer == Answer::kIncomplete) return Refused(out(), kFailure, address);
  return 0;
}

int Programmer::FlashRangeCrc(uint32_t first, uint32_t last, uint8_t* crc) {
  constexpr LangText kFailure =
      LANG_TEXT("Ошибка получения CRC FLASH для адресов 0x%06X...0x%06X",
                "Error get CRC FLASH at address 0x%06X...0x%06X");
  uint8_t buffer[kReportDataSize] = {};
  buffer[0] = static_cast<uint8_t>(last >> 16);
  buffer[1] = static_cast<uint8_t>(last >> 8);
  buffer[2] = static_cast<uint8_t>(last);
  const Answer answer = Ask(*this, kCmdRangeCrc, first, buffer, 3, 2, kTimeoutRangeCrc);
  if (answer == Answer::kLinkFailed) return 1;
  if (answer == Answer::kIncomplete || buffer[0] != 0) return Refused(out(), kFailure, first, last);
  *crc = buffer[1];
  return 0;
}

int Programmer::FlashReadStatus(uint8_t* value) {
  constexpr LangText kFailure =
      LANG_TEXT("Ошибка чтения SR регистра FLASH", "Error read SR FLASH register");
  uint8_t buffer[kReportDataSize] = {};
  const Answer answer = Ask(*this, kCmdReadStatus, 0, buffer, 0, 2, kTimeoutSingle);
  if (answer == Answer::kLinkFailed) return 1;
  if (answer == Answer::kIncomplete || buffer[0] != 0) return Refused(out(), kFailure);
  *value = buffer[1];
  return 0;
}

int Programmer::FlashWriteStatus(uint8_t value) {
  return StatusOnly(*this, kCmdWriteStatus, kTimeoutSingle,
                    LANG_TEXT("Ошибка записи SR регистра FLASH", "Error write to SR FLASH register"),
                    &value, 1);
}

int Programmer::FlashWriteEnable() {
  return StatusOnly(*this, kCmdWriteEnable, kTimeoutSingle,
                    LANG_TEXT("Ошибка установки WREN FLASH", "Error set WREN FLASH"));
}

int Programmer::FlashWriteDisable() {
  return StatusOnly(*this, kCmdWriteDisable, kTimeoutSingle,
                    LANG_TEXT("Ошибка установки WRDI FLASH", "Error set WRDI FLASH"));
}

int Programmer::FlashEraseChip() {
  return StatusOnly(*this, kCmdEraseChip, kTimeoutEraseChip,
                    LANG_TEXT("Ошибка стирания FLASH", "Error erase FLASH"));
}

int Programmer::FlashWriteBlock(uint32_t address, const uint8_t* block, bool manufacturer_bf) {
  constexpr LangText kFailure =
      LANG_TEXT("Ошибка записи FLASH по адресу 0x%06X", "FLASH write error at address 0x%06X");
  // The answer lands in the copy, never in the caller's image.
  uint8_t buffer[kReportDataSize];
  std::memcpy(buffer, block, kReportDataSize);
  const uint8_t code = manufacturer_bf ? kCmdWriteBlockBF : kCmdWriteBlock;
  const Answer answer = Ask(*this, code, address, buffer, kReportDataSize, 1, kTimeoutBlock);
  if (answer == Answer::kLinkFailed) return 1;
  if (answer == Answer::kIncomplete || buffer[0] != 0) return Refused(out(), kFailure, address);
  return 0;
}

void ShowProgrammerInfo(OperationDisplay& out, const ProgrammerInfoRecord& info) {
  out.LogPrintf(PickLangText(LANG_TEXT("Контроллер        \"%s\"", "Controller          \"%s\"")),
                info.ControllerName().c_str());
  out.LogPrintf(PickLangText(LANG_TEXT("Серийный номер    %lu", "The serial number   %lu")),
                static_cast<unsigned long>(info.SerialNumber()));
  const uint32_t boot = info.BootVersion();
  out.LogPrintf(PickLangText(LANG_TEXT("Версия загрузчика %u.%02u", "Boot version        %u.%02u")),
                boot / 100, boot % 100);
  const uint32_t app = info.AppVersion();
  if (app != 0) {
    out.LogPrintf(
        PickLangText(LANG_TEXT("Версия приложения %u.%02u", "Application version %u.%02u")),
        app / 100, app % 100);
  } else {
    out.LogPrintf(PickLangText(LANG_TEXT("Версия приложения (Приложение не загружено)",
                                         "Application version (application is not loaded)")));
  }
  out.LogPrintf("***********************************************");
}

}  // namespace rtd
