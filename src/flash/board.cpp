// Single commands on the board and the programmer: RTD2662 reset, touch
// calibration readout, programmer reset.

#include <algorithm>
#include <cstring>

#include "flash/operations.h"
#include "i18n/lang.h"

namespace rtd {
namespace {

constexpr uint32_t kTouchReplySize = 11;

// A signed 16-bit little-endian value, widened with its sign to 32 bits;
// printed unsigned, so 0xFFFF shows as 4294967295.
uint32_t TouchValue(const uint8_t* data) {
  const auto value = static_cast<int16_t>(static_cast<uint16_t>(data[0] | data[1] << 8));
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

}  // namespace

OpResult FlashOperations::SpeedButtonResetRTD2662Click() {
  auto& o = out();
  uint8_t reply[256] = {};
  uint32_t count = 1;
  bool data = false;
  if (programmer_.DeviceRead(kCmdResetRTD2662, 0, reply, 0, &count, kTimeoutSingle, &data) != 0)
    return OpResult::kFailed;
  // An answer without data is no confirmation of a reset.
  if (!data || count < 1 || reply[0] != 0) {
    constexpr LangText kRefused = LANG_TEXT("Ошибка сброса RTD2662", "Error reset RTD2662");
    o.LogPrintf(PickLangText(kRefused));
    o.MessageBoxPrintf(MB_ICONERROR, PickLangText(kRefused));
    return OpResult::kFailed;
  }
  // The controller restarts with its flash: it must be identified again.
  CurrentFlash.Manufacturer.clear();
  CurrentFlash.SizeInBytes = 0;
  o.SetButtonsState(false);
  o.LogPrintf(
      PickLangText(LANG_TEXT("Сброс RTD2662 произведен успешно", "Reset RTD2662 was successful")));
  return OpResult::kOk;
}

OpResult FlashOperations::SpeedButtonGetTouchParamClick() {
  uint8_t reply[256] = {};
  uint32_t count = kTouchReplySize;
  bool data = false;
  if (programmer_.DeviceRead(kCmdTouchCalibration, 0, reply, 0, &count, kTimeoutTouch, &data) != 0)
    return OpResult::kFailed;
  // Values the reply did not carry print as 0.
  count = data ? std::min(count, kTouchReplySize) : 0;
  std::memset(reply + count, 0, kTouchReplySize - count);
  out().LogPrintf("TOUCHPARAM = { { { %u, %u }, { %u, %u } }, 0x%02X, 0x%02X, %u };",
                  TouchValue(reply), TouchValue(reply + 2), TouchValue(reply + 4),
                  TouchValue(reply + 6), unsigned{reply[8]}, unsigned{reply[9]},
                  unsigned{reply[10]});
  if (count == kTouchReplySize) return OpResult::kOk;
  // The zeros printed for the missing values are not the controller's: say
  // so, in the log beside the line and in a box.
  constexpr LangText kShort = LANG_TEXT("Неполный ответ калибровки сенсора: %u из %u байт",
                                        "Short touch calibration reply: %u of %u bytes");
  out().LogPrintf(PickLangText(kShort), count, kTouchReplySize);
  out().MessageBoxPrintf(MB_ICONERROR, PickLangText(kShort), count, kTouchReplySize);
  return OpResult::kFailed;
}

OpResult FlashOperations::SpeedButtonResetClick() {
  auto& o = out();
  o.SetButtonsState(true);
  const LinkStatus status = programmer_.ProgrammerReset();
  if (status != kLinkOk) {
    o.MessageBoxPrintf(
        MB_ICONERROR,
        PickLangText(LANG_TEXT("Ошибка сброса устройства\n%s", "Failed to reset the device\n%s")),
        LinkStatusText(status));
  }
  o.SetButtonsState(false);
  return status == kLinkOk ? OpResult::kOk : OpResult::kFailed;
}

}  // namespace rtd
