#include "flash/checksums.h"

#include <array>

namespace rtd {
namespace {

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80) != 0 ? (crc << 1) ^ 0x07 : crc << 1;
    table[i] = static_cast<uint8_t>(crc);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrc8Table();
static_assert(kCrc8Table[1] == 0x07 && kCrc8Table[0x80] == 0x89);

// Slicing by eight: kCrc8Slices[k][x] is the CRC of byte x followed by k zero
// bytes. The CRC is linear, so eight bytes fold into one register update
// from eight independent lookups instead of a chain of eight dependent
// ones; that is what takes the local CRC past a gigabyte per second.
constexpr std::array<std::array<uint8_t, 256>, 8> MakeCrc8Slices() {
  std::array<std::array<uint8_t, 256>, 8> slices{};
  slices[0] = kCrc8Table;
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t x = 0; x < 256; ++x) slices[k][x] = kCrc8Table[slices[k - 1][x]];
  return slices;
}

constexpr std::array<std::array<uint8_t, 256>, 8> kCrc8Slices = MakeCrc8Slices();

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    table[i] = crc;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

}  // namespace

uint8_t Crc8Range(const uint8_t* buffer, uint32_t first, uint32_t last) {
  uint8_t crc = 0;
  if (last < first) return crc;
  const uint8_t* p = buffer + first;
  uint64_t left = uint64_t{last} - first + 1;
  for (; left >= 8; left -= 8, p += 8) {
    crc = static_cast<uint8_t>(kCrc8Slices[7][crc ^ p[0]] ^ kCrc8Slices[6][p[1]] ^
                               kCrc8Slices[5][p[2]] ^ kCrc8Slices[4][p[3]] ^
                               kCrc8Slices[3][p[4]] ^ kCrc8Slices[2][p[5]] ^
                               kCrc8Slices[1][p[6]] ^ kCrc8Slices[0][p[7]]);
  }
  for (; left > 0; --left, ++p) crc = kCrc8Table[crc ^ *p];
  return crc;
}

uint32_t Crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = kCrc32Table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace rtd
