// The 263-byte feature report that carries every request and every reply:
//   0 report id (1) | 1 command | 2..4 address, big-endian | 5 length
//   6..261 data | 262 checksum of bytes 1..261
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace rtd {

inline constexpr std::size_t kReportSize = 263;
inline constexpr std::size_t kReportDataOffset = 6;
inline constexpr std::size_t kReportDataSize = 256;
inline constexpr std::size_t kReportChecksumOffset = 262;
inline constexpr uint8_t kReportId = 1;

// Reply status values in byte 1.
inline constexpr uint8_t kReplySuccess = 255;
inline constexpr uint8_t kReplyParamError = 254;
inline constexpr uint8_t kReplyFailed = 253;

using HidReport = std::array<uint8_t, kReportSize>;

// The 8-bit shift-and-xor sum of the frame (one shift per byte, not a CRC).
uint8_t FrameChecksum(uint8_t initial, const uint8_t* bytes, std::size_t count);

// Checksum of bytes 1..261 of a report.
uint8_t ReportChecksum(const HidReport& report);

// Length byte for n data bytes: n below 128 as itself, anything else 0x80.
uint8_t EncodeReportLength(uint32_t n);
// Data byte count of a length byte: bit 7 set means 256.
uint32_t DecodeReportLength(uint8_t length_byte);

// Address of bytes 2..4.
uint32_t ReportAddress(const HidReport& report);
void SetReportAddress(HidReport& report, uint32_t address);

}  // namespace rtd
