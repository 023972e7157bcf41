// Everything the programmer can be asked, and the flash primitives built on
// it. The primitives return 0 or 1; on 1 the user has already been told.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/exchange.h"

namespace rtd {

// Command codes.
inline constexpr uint8_t kCmdProgrammerInfo = 0x01;
inline constexpr uint8_t kCmdProgrammerReset = 0x03;  // write-type
inline constexpr uint8_t kCmdLinkCheck = 0x40;
inline constexpr uint8_t kCmdReadJedecId = 0x41;
inline constexpr uint8_t kCmdReadBlock = 0x42;
inline constexpr uint8_t kCmdRangeCrc = 0x43;
inline constexpr uint8_t kCmdWriteEnable = 0x44;
inline constexpr uint8_t kCmdWriteDisable = 0x45;
inline constexpr uint8_t kCmdReadStatus = 0x46;
inline constexpr uint8_t kCmdWriteStatus = 0x47;
inline constexpr uint8_t kCmdEraseChip = 0x48;
inline constexpr uint8_t kCmdWriteBlock = 0x49;
inline constexpr uint8_t kCmdWriteBlockBF = 0x4A;  // manufacturer 0xBF chips
inline constexpr uint8_t kCmdResetRTD2662 = 0x4B;
inline constexpr uint8_t kCmdTouchCalibration = 0x70;

// Timeouts, milliseconds.
inline constexpr uint32_t kTimeoutProgrammerInfo = 100;
inline constexpr uint32_t kTimeoutProgrammerReset = 1000;
inline constexpr uint32_t kTimeoutLinkCheck = 100;
inline constexpr uint32_t kTimeoutReadJedecId = 100;
inline constexpr uint32_t kTimeoutBlock = 1000;
inline constexpr uint32_t kTimeoutRangeCrc = 5000;
inline constexpr uint32_t kTimeoutSingle = 1000;
inline constexpr uint32_t kTimeoutEraseChip = 20000;
inline constexpr uint32_t kTimeoutTouch = 11;

// The programmer's 56-byte identification record, kept as it arrived.
inline constexpr std::size_t kProgrammerInfoSize = 56;
struct ProgrammerInfoRecord {
  std::array<uint8_t, kProgrammerInfoSize> bytes{};

  uint32_t AppVersion() const { return Le32(0); }    // version x 100; 0: no application
  uint32_t SerialNumber() const { return Le32(4); }
  uint32_t BootVersion() const { return Le32(8); }   // version x 100
  // The name, up to its NUL or all 40 bytes.
  std::string ControllerName() const;

 private:
  uint32_t Le32(std::size_t offset) const {
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
           uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
  }
};

class Programmer {
 public:
  explicit Programmer(Link& link) : link_(link) {}

  // CommandRead that shows a box with the LinkStatus text when it fails.
  // data_answer as for CommandRead.
  LinkStatus DeviceRead(uint8_t code, uint32_t address, uint8_t* buffer, uint32_t length,
                        uint32_t* capacity, uint32_t timeout_ms, bool* data_answer = nullptr);
  // Write-type command 3; shows nothing.
  LinkStatus ProgrammerReset();
  // Command 1 into ProgrammerInfo, through CommandRead directly; shows
  // nothing. An answer without all 56 bytes changes nothing and gives
  // kLinkCommFailure.
  LinkStatus ReadProgrammerInfo();

  int FlashReadBlock(uint32_t address, uint8_t* block);  // 256 bytes
  int FlashRangeCrc(uint32_t first, uint32_t last, uint8_t* crc);
  int FlashReadStatus(uint8_t* value);
  int FlashWriteStatus(uint8_t value);
  int FlashWriteEnable();
  int FlashWriteDisable();
  int FlashEraseChip();
  int FlashWriteBlock(uint32_t address, const uint8_t* block, bool manufacturer_bf);

  Link& link() { return link_; }
  // What the operations use of the front end (all but the link's own
  // communication log).
  OperationServices& out() { return link_.out(); }

  ProgrammerInfoRecord ProgrammerInfo;

 private:
  Link& link_;
};

// The five identification lines of a programmer, as logged when it connects.
void ShowProgrammerInfo(OperationDisplay& out, const ProgrammerInfoRecord& info);

}  // namespace rtd
