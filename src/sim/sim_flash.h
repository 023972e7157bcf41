// The SPI NOR flash chip on the simulated board: its cells, status register
// and write-enable latch, and an optional backing file that keeps the cells
// between runs. Only the virtual programmer uses it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace rtd::sim {

// CRC-8 with polynomial 0x07, initial value 0, no reflection (CRC-8/SMBUS):
// what the programmer's range-CRC command computes over the flash.
uint8_t SimCrc8(uint8_t crc, const uint8_t* bytes, std::size_t count);

class SimFlash {
 public:
  // Status register bits.
  static constexpr uint8_t kStatusBusy = 0x01;        // WIP, read-only
  static constexpr uint8_t kStatusWriteEnable = 0x02;  // WEL, read-only
  static constexpr uint8_t kStatusBlockProtect = 0x1C;  // BP0..BP2
  static constexpr uint8_t kStatusWritable = 0xFC;

  SimFlash(uint32_t size, uint8_t status);
  ~SimFlash();
  SimFlash(const SimFlash&) = delete;
  SimFlash& operator=(const SimFlash&) = delete;

  // Takes the cells from the file and writes every later change back to it.
  // A missing file is created as an erased chip; a shorter one is padded
  // with 0xFF (in the file too); bytes past the chip's size are left alone.
  // False with a message when the file cannot be read or created.
  bool AttachFile(const std::string& path, std::string& error);
  // Writes every cell to the backing file.
  void Flush();
  // Reads the cells from the backing file again, as another run may have
  // left them; the cells stay as they are when it cannot be read.
  void Reload();

  uint32_t size() const { return static_cast<uint32_t>(cells_.size()); }
  // The cells, changeable in place; their number is the chip's.
  std::span<uint8_t> cells() { return cells_; }

  // n bytes from address on; addresses wrap around the end of the chip.
  void Read(uint32_t address, uint8_t* out, uint32_t n) const;
  // CRC of the cells first..last inclusive (both inside the chip, first <= last).
  uint8_t Crc(uint32_t first, uint32_t last) const;
  // Page program: clears the bits that are 0 in data within the 256-byte
  // page of address (the column wraps inside the page, as on a real chip).
  void ProgramPage(uint32_t address, const uint8_t* data);
  void EraseChip();

  // The register as read: stored bits plus WEL while it is set.
  uint8_t ReadStatus() const;
  void WriteStatus(uint8_t value) { status_ = static_cast<uint8_t>(value & kStatusWritable); }
  bool Protected() const { return (status_ & kStatusBlockProtect) != 0; }
  bool write_enabled() const { return write_enabled_; }
  void set_write_enabled(bool on) { write_enabled_ = on; }

 private:
  void WriteBack(uint32_t offset, uint32_t count);

  std::vector<uint8_t> cells_;
  uint8_t status_;
  bool write_enabled_ = false;
  std::FILE* file_ = nullptr;
};

}  // namespace rtd::sim
