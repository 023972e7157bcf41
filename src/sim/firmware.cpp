// The programmer's firmware: each command as the real programmer carries it
// out on the board behind it, and the answer it builds.
#include <algorithm>
#include <array>
#include <cstring>

#include "sim/programmer_state.h"

namespace rtd::sim {
namespace {

// Status byte of the answers that carry one.
constexpr uint8_t kOk = 0;
constexpr uint8_t kRefused = 1;

}  // namespace

void VirtualProgrammer::State::BeginReply(uint8_t command_byte, uint32_t address) {
  reply.fill(0);
  reply[0] = kReportId;
  reply[1] = command_byte;
  SetReportAddress(reply, address);
}

void VirtualProgrammer::State::ReplyStatus(uint8_t status, uint32_t address) {
  BeginReply(status, address);
}

void VirtualProgrammer::State::ReplyData(uint8_t code, uint32_t address, const uint8_t* data,
                                         uint32_t n) {
  BeginReply(static_cast<uint8_t>(code | 0x80), address);
  reply[5] = EncodeReportLength(n);
  if (n > 0) std::memcpy(reply.data() + kReportDataOffset, data, n);
}

void VirtualProgrammer::State::ReplyBytes(uint8_t code, uint32_t address,
                                          std::initializer_list<uint8_t> bytes) {
  ReplyData(code, address, bytes.begin(), static_cast<uint32_t>(bytes.size()));
}

void VirtualProgrammer::State::LinkDown() { link_check_seen = false; }

void VirtualProgrammer::State::Execute(uint8_t command, uint32_t address, const uint8_t* payload,
                                       uint32_t n) {
  if ((command & 0x80) != 0) {
    // Write-type: the programmer reset is the only one.
    if (command == 0x83) {
      LinkDown();
      ReplyStatus(kReplySuccess, address);
    } else {
      ReplyStatus(kReplyParamError, address);
    }
    return;
  }
  switch (command) {
    case 0x01:
      ReplyData(command, address, requester->info.data(), kInfoSize);
      return;
    case 0x40:
      CheckLink(command, address);
      return;
    case 0x41:
      if (no_contact) {
        ReplyBytes(command, address, {kOk, 0xFF, 0xFF, 0xFF, 0xFF});
      } else {
        const std::array<uint8_t, 3> id = other_chip.value_or(config.jedec);
        ReplyBytes(command, address, {kOk, id[0], id[1], id[2], 0});
      }
      return;
    case 0x42:
      ReadBlock(command, address);
      return;
    case 0x43:
      if (n != 3) break;
      RangeCrc(command, address, payload);
      return;
    case 0x44:
      flash.set_write_enabled(true);
      ReplyBytes(command, address, {kOk});
      return;
    case 0x45:
      flash.set_write_enabled(false);
      ReplyBytes(command, address, {kOk});
      return;
    case 0x46:
      ReplyBytes(command, address, {kOk, no_contact ? uint8_t{0xFF} : flash.ReadStatus()});
      return;
    case 0x47:
      if (n != 1) break;
      WriteStatus(command, address, payload[0]);
      return;
    case 0x48:
      EraseChip(command, address);
      return;
    case 0x49:
    case 0x4A:
      if (n != kReportDataSize) break;
      ProgramPage(command, address, payload);
      return;
    case 0x4B:
      // The controller restarts and drops the programmer's link to the flash.
      LinkDown();
      ReplyBytes(command, address, {kOk});
      return;
    case 0x70:
      ReplyData(command, address, config.touch.data(), static_cast<uint32_t>(config.touch.size()));
      return;
    default:
      break;
  }
  ReplyStatus(kReplyParamError, address);
}

void VirtualProgrammer::State::CheckLink(uint8_t command, uint32_t address) {
  const uint32_t now = clock.TickCount();
  if (!link_check_seen) {
    link_check_seen = true;
    link_check_start = now;
  }
  const bool up = now - link_check_start >= config.link_up_ms;
  ReplyBytes(command, address, {static_cast<uint8_t>(up ? 0 : 1)});
}

void VirtualProgrammer::State::ReadBlock(uint8_t command, uint32_t address) {
  BeginReply(static_cast<uint8_t>(command | 0x80), address);
  reply[5] = EncodeReportLength(kReportDataSize);
  if (no_contact) {
    std::memset(reply.data() + kReportDataOffset, 0xFF, kReportDataSize);
  } else {
    flash.Read(address, reply.data() + kReportDataOffset, kReportDataSize);
  }
}

void VirtualProgrammer::State::RangeCrc(uint8_t command, uint32_t address,
                                        const uint8_t* payload) {
  const uint32_t last = uint32_t{payload[0]} << 16 | uint32_t{payload[1]} << 8 | payload[2];
  if (last < address || last >= flash.size()) {
    ReplyBytes(command, address, {kRefused});
  } else if (no_contact) {
    // The programmer's CRC runs over what it reads: 0xFF throughout.
    uint8_t crc = 0;
    uint8_t block[256];
    std::memset(block, 0xFF, sizeof block);
    for (uint32_t left = last - address + 1; left > 0;) {
      const uint32_t piece = std::min<uint32_t>(left, sizeof block);
      crc = SimCrc8(crc, block, piece);
      left -= piece;
    }
    ReplyBytes(command, address, {kOk, crc});
  } else {
    ReplyBytes(command, address, {kOk, flash.Crc(address, last)});
  }
}

void VirtualProgrammer::State::WriteStatus(uint8_t command, uint32_t address, uint8_t value) {
  if (!flash.write_enabled()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.WriteStatus(value);
  flash.set_write_enabled(false);
  ReplyBytes(command, address, {kOk});
}

void VirtualProgrammer::State::EraseChip(uint8_t command, uint32_t address) {
  if (!flash.write_enabled() || flash.Protected()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.EraseChip();
  flash.set_write_enabled(false);
  busy = config.erase_ms != 0;
  busy_start = clock.TickCount();
  busy_ms = config.erase_ms;
  ReplyBytes(command, address, {kOk});
}

void VirtualProgrammer::State::ProgramPage(uint8_t command, uint32_t address,
                                           const uint8_t* page) {
  // SST parts (manufacturer 0xBF) take their pages through the other
  // firmware routine; each routine refuses the other kind of chip.
  const uint8_t wanted = config.jedec[0] == 0xBF ? 0x4A : 0x49;
  if (command != wanted || !flash.write_enabled() || flash.Protected()) {
    ReplyBytes(command, address, {kRefused});
    return;
  }
  flash.ProgramPage(address, page);
  flash.set_write_enabled(false);
  ReplyBytes(command, address, {kOk});
}

}  // namespace rtd::sim
