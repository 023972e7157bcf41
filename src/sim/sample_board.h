// The board both windows' pictures show: something like firmware at the
// start of the chip, the rest erased.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace rtd::sim {

// Puts the sample firmware on the chip, and gives the same content with a
// few settings changed, as a file to compare it with.
inline std::string PutSampleFirmware(std::span<uint8_t> flash) {
  for (std::size_t i = 0; i < 180000 && i < flash.size(); ++i)
    flash[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
  std::string changed(flash.begin(), flash.end());
  for (std::size_t at : {0x1234u, 0x1235u, 0x1237u, 0x8010u, 0x8011u, 0x8012u, 0x8021u, 0x20010u})
    if (at < changed.size()) changed[at] = static_cast<char>(changed[at] ^ 0x5A);
  return changed;
}

}  // namespace rtd::sim
