#include "link/report.h"

namespace rtd {

uint8_t FrameChecksum(uint8_t initial, const uint8_t* bytes, std::size_t count) {
  uint8_t sum = initial;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t t = static_cast<uint8_t>(sum ^ bytes[i]);
    sum = static_cast<uint8_t>(t << 1);
    if ((t & 0x80) != 0) sum ^= 0x21;
  }
  return sum;
}

uint8_t ReportChecksum(const HidReport& report) {
  // Command, address, length and the whole data area, zero padding included.
  return FrameChecksum(0, report.data() + 1, kReportChecksumOffset - 1);
}

uint8_t EncodeReportLength(uint32_t n) {
  return n < 128 ? static_cast<uint8_t>(n) : uint8_t{0x80};
}

uint32_t DecodeReportLength(uint8_t length_byte) {
  return (length_byte & 0x80) != 0 ? uint32_t{kReportDataSize} : uint32_t{length_byte};
}

uint32_t ReportAddress(const HidReport& report) {
  return uint32_t{report[2]} << 16 | uint32_t{report[3]} << 8 | uint32_t{report[4]};
}

void SetReportAddress(HidReport& report, uint32_t address) {
  // Only 24 address bits travel; anything above is dropped.
  report[2] = static_cast<uint8_t>(address >> 16);
  report[3] = static_cast<uint8_t>(address >> 8);
  report[4] = static_cast<uint8_t>(address);
}

}  // namespace rtd
