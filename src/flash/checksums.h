// The checksums the flash operations compute on the host: the programmer's
// CRC-8 of a flash range, and the CRC-32 that names a backup.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rtd {

// CRC-8/SMBUS (poly 0x07, init 0) of buffer[first..last], inclusive.
uint8_t Crc8Range(const uint8_t* buffer, uint32_t first, uint32_t last);

// CRC-32 as zip and PNG use it (reflected polynomial 0xEDB88320, initial
// and final XOR 0xFFFFFFFF): the check value of "123456789" is 0xCBF43926.
uint32_t Crc32(const uint8_t* data, std::size_t size);

}  // namespace rtd
